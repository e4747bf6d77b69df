// Running the built program under a pseudo-terminal or without a terminal.
#include "support/console_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

const std::string CONSOLE_USAGE =
    "Parameter list:\n"
    "-v or -verbose\n"
    "-oc or -omit-crystals\n"
    "-dcisbm or -dont-craft-items-sold-by-merchants\n"
    "-cbti or -craft-beast-tribe-items\n"
    "-cmg or -craft-material-gear\n"
    "-rc or -refresh-cache\n";

std::string consoleHeader(int argumentCount) {
    return CONSOLE_USAGE + "TAVRO Shopping list generator by DURSK Alpha 7\n" +
           "Will generate shopping list with " + std::to_string(argumentCount) + " items.\n";
}

std::string shellQuote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static std::string commandLine(const std::string &program, const std::vector<std::string> &arguments) {
    const char *wrapper = std::getenv("SHOPPING_LIST_WRAPPER");
    std::string command = wrapper && *wrapper ? std::string(wrapper) + " " : "";
    command += shellQuote(program);
    for (const std::string &argument : arguments) command += " " + shellQuote(argument);
    return command;
}

// Writes the command into a script file and runs that under `wrapper`. An
// exit code that cannot be read (the wrapper failed before the script ran
// or finished) is a failure of the test, with what was found.
static ConsoleRun runShell(const std::string &inner, const std::string &wrapper) {
    writeFile(".run.sh", inner + " > .run-output 2>&1\necho $? > .run-code\n");
    std::string command = wrapper + " </dev/null >.run-wrapper 2>&1";
    int status = std::system(command.c_str());
    ConsoleRun run{readFile(".run-output"), -1};
    std::string code = readFile(".run-code");
    char *end = nullptr;
    long value = std::strtol(code.c_str(), &end, 10);
    if (!code.empty() && end != code.c_str() && std::string(end) == "\n") {
        run.exitCode = static_cast<int>(value);
    } else {
        ADD_FAILURE() << "no exit code from [" << wrapper << "] (system() gave " << status
                      << "): .run-code held [" << code << "]; the wrapper printed ["
                      << readFile(".run-wrapper") << "]; the program printed [" << run.output << "]";
    }
    for (const char *file : {".run.sh", ".run-output", ".run-code", ".run-wrapper"}) std::remove(file);
    return run;
}

static const std::string TERMINAL = "script -qec 'sh .run.sh' /dev/null";

ConsoleRun runConsole(const std::vector<std::string> &arguments, const std::string &environment,
                      bool asUser) {
    std::string inner = "env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " ";
    if (!asUser || geteuid() != 0) return runShell(inner + commandLine(SHOPPING_LIST_EXECUTABLE, arguments), TERMINAL);
    // The other user may not reach the build folder (in a private folder, say):
    // it runs a copy in a folder that everyone may read and search.
    char folder[] = "/tmp/shopping-program-XXXXXX";
    bool made = mkdtemp(folder) != nullptr;
    std::error_code error(made ? 0 : errno, std::generic_category());
    std::string copy = std::string(folder) + "/shopping-list";
    const fs::perms readAndRun = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec;
    if (!error) fs::copy_file(SHOPPING_LIST_EXECUTABLE, copy, error);
    if (!error) fs::permissions(folder, readAndRun, error);
    if (!error) fs::permissions(copy, readAndRun, error);
    // A sanitizer's suppressions file goes along: the other user may not
    // reach it either, and the sanitizer will not run without it.
    std::string sanitizers;
    for (const char *variable : {"LSAN_OPTIONS", "TSAN_OPTIONS"}) {
        const char *options = std::getenv(variable);
        const char *key = options ? std::strstr(options, "suppressions=") : nullptr;
        if (error || !key) continue;
        std::string file = std::string(key + 13).substr(0, std::strcspn(key + 13, ":"));
        std::string placed = std::string(folder) + "/" + variable + ".supp";
        fs::copy_file(file, placed, error);
        if (!error) fs::permissions(placed, readAndRun, error);
        sanitizers += std::string(variable) + "=suppressions=" + placed + " ";
    }
    ConsoleRun run{"", -1};
    if (error)
        ADD_FAILURE() << "cannot copy the program for user 65534 into " << folder << ": " << error.message();
    else
        run = runShell("setpriv --reuid=65534 --regid=65534 --clear-groups env " + sanitizers + inner +
                           commandLine(copy, arguments),
                       TERMINAL);
    if (made) fs::remove_all(folder, error);
    return run;
}

ConsoleRun runConsoleMeasured(const std::vector<std::string> &arguments, const std::string &environment) {
    const char *wrapper = std::getenv("SHOPPING_LIST_WRAPPER");
    if (wrapper && *wrapper) return runConsole(arguments, environment);
    ConsoleRun run = runShell("env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " /usr/bin/time -v -o .run-time " +
                                  commandLine(SHOPPING_LIST_EXECUTABLE, arguments),
                              TERMINAL);
    std::string report = readFile(".run-time");
    std::size_t at = report.find("Maximum resident set size (kbytes): ");
    if (at != std::string::npos) run.peakKilobytes = std::atol(report.c_str() + at + 36);
    std::remove(".run-time");
    return run;
}

ConsoleRun runDetached(const std::vector<std::string> &arguments, const std::string &environment) {
    std::string inner = "env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " " +
                        commandLine(SHOPPING_LIST_EXECUTABLE, arguments);
    return runShell(inner, "setsid -w sh .run.sh");
}

extern char **environ;

DetachedRun::DetachedRun(const std::string &executable, const std::vector<std::string> &arguments,
                         const std::vector<std::string> &environment, const std::string &logPath) {
    // The environment: this process's, less the display, with the changes.
    std::vector<std::string> entries;
    for (char **entry = environ; *entry; ++entry) entries.push_back(*entry);
    auto remove = [&](const std::string &name) {
        std::erase_if(entries, [&](const std::string &e) { return e.rfind(name + "=", 0) == 0; });
    };
    remove("DISPLAY");
    remove("WAYLAND_DISPLAY");
    for (const std::string &change : environment) {
        std::size_t equals = change.find('=');
        remove(change.substr(0, equals));
        if (equals != std::string::npos) entries.push_back(change);
    }
    std::vector<char *> envp;
    for (std::string &entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argumentCopies{executable};
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : argumentCopies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        setsid(); // a new session: no controlling terminal, as from a desktop
        int input = open("/dev/null", O_RDONLY);
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (input < 0 || log < 0) _exit(126);
        dup2(input, STDIN_FILENO);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

DetachedRun::~DetachedRun() {
    if (child > 0 && !reaped) {
        kill(-child, SIGKILL); // its session's process group
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

bool DetachedRun::running() {
    if (reaped) return false;
    if (waitpid(child, &status, WNOHANG) == child) reaped = true;
    return !reaped;
}

int DetachedRun::exitCode() const { return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

bool DetachedRun::waitForExecutable(const std::string &executable, int seconds) {
    std::error_code ignored;
    fs::path wanted = fs::canonical(executable, ignored);
    bool replaced = false;
    waitUntil(
        [&] {
            if (!running()) return true;
            fs::path current = fs::read_symlink("/proc/" + std::to_string(child) + "/exe", ignored);
            replaced = !current.empty() && current == wanted;
            return replaced;
        },
        std::chrono::seconds(seconds));
    return replaced;
}

std::string DetachedRun::currentDirectory() const {
    std::error_code ignored;
    return fs::read_symlink("/proc/" + std::to_string(child) + "/cwd", ignored).string();
}
