// Starting and stopping Xvfb, and finding and typing into its windows.
#include "support/x_display.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "support/console_run.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

static void stopServer(pid_t server) {
    kill(server, SIGTERM);
    if (!waitUntil([&] { return waitpid(server, nullptr, WNOHANG) == server; }, 20s)) {
        kill(server, SIGKILL);
        waitpid(server, nullptr, 0);
    }
}

XDisplay::XDisplay() {
    char pattern[] = "/tmp/shopping-xvfb-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for Xvfb");
    folder = pattern;
    std::string failures;
    int tries = 0;
    // Numbers far above those of desktops and of other tests; one that
    // another server takes meanwhile makes Xvfb end, and the next is tried.
    for (int number = 140; number < 400 && server < 0 && tries < 5; ++number) {
        std::string digits = std::to_string(number);
        if (fileExists("/tmp/.X11-unix/X" + digits) || fileExists("/tmp/.X" + digits + "-lock")) continue;
        ++tries;
        std::string display = ":" + digits;
        std::string log = folder + "/xvfb" + digits + ".log";
        pid_t child = fork();
        if (child < 0) break;
        if (child == 0) {
            int input = open("/dev/null", O_RDONLY);
            int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (input >= 0) dup2(input, STDIN_FILENO);
            if (output >= 0) {
                dup2(output, STDOUT_FILENO);
                dup2(output, STDERR_FILENO);
            }
            // -noreset: no reset (during which it takes no client) each time
            // the last client, such as a probe, goes.
            execlp("Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24",
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        // It answers, and the lock names it: not a server that took the
        // number just before it (that one ends it soon).
        bool ended = false;
        std::string probe = "xdpyinfo -display " + display + " >/dev/null 2>&1";
        bool answered = waitUntil(
            [&] {
                ended = waitpid(child, nullptr, WNOHANG) == child;
                return ended || (std::system(probe.c_str()) == 0 &&
                                 std::atoi(readFile("/tmp/.X" + digits + "-lock").c_str()) == child);
            },
            60s);
        if (answered && !ended) {
            server = child;
            displayName = display;
        } else {
            if (!ended) stopServer(child);
            failures += "Xvfb " + display + (ended ? " ended" : " did not answer within 60 s") + ": " +
                        readFile(log) + "\n";
        }
    }
    if (server < 0) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        throw std::runtime_error("cannot start an X server:\n" + failures);
    }
}

XDisplay::~XDisplay() {
    stopServer(server);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Runs an xdotool command on this display; its standard output, or
// nothing when it failed.
static bool xdotool(const std::string &display, const std::string &arguments, std::string *output) {
    std::string command = "DISPLAY=" + display + " xdotool " + arguments + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output) output->append(buffer, got);
    return pclose(pipe) == 0;
}

bool XDisplay::answers() const {
    return std::system(("xdpyinfo -display " + displayName + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> XDisplay::windowsTitled(const std::string &title) const {
    std::string pattern = "^";
    for (char c : title) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
        pattern += c;
    }
    std::string output;
    std::vector<std::string> windows;
    if (!xdotool(displayName, "search --onlyvisible --name " + shellQuote(pattern + "$"), &output))
        return windows;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) windows.push_back(line);
    return windows;
}

bool XDisplay::sendKey(const std::string &window, const std::string &key) const {
    return xdotool(displayName, "key --window " + shellQuote(window) + " " + shellQuote(key), nullptr);
}
