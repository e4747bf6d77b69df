// Running the built program under a pseudo-terminal or without a terminal.
#include "support/console_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_folder.h"

std::string shellQuote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static std::string commandLine(const std::vector<std::string> &arguments) {
    const char *wrapper = std::getenv("SHOPPING_LIST_WRAPPER");
    std::string command = wrapper && *wrapper ? std::string(wrapper) + " " : "";
    command += shellQuote(SHOPPING_LIST_EXECUTABLE);
    for (const std::string &argument : arguments) command += " " + shellQuote(argument);
    return command;
}

// Writes the command into a script file and runs that under `wrapper`.
static ConsoleRun runShell(const std::string &inner, const std::string &wrapper) {
    writeFile(".run.sh", inner + " > .run-output 2>&1\necho $? > .run-code\n");
    std::string command = wrapper + " </dev/null >/dev/null 2>&1";
    std::system(command.c_str());
    ConsoleRun run{readFile(".run-output"), std::atoi(readFile(".run-code").c_str())};
    for (const char *file : {".run.sh", ".run-output", ".run-code"}) std::remove(file);
    return run;
}

ConsoleRun runConsole(const std::vector<std::string> &arguments, const std::string &environment,
                      bool asUser) {
    std::string user = asUser && geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    std::string inner = user + "env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " " + commandLine(arguments);
    return runShell(inner, "script -qec 'sh .run.sh' /dev/null");
}

ConsoleRun runDetached(const std::vector<std::string> &arguments, const std::string &environment) {
    std::string inner = "env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " " + commandLine(arguments);
    return runShell(inner, "setsid -w sh .run.sh");
}
