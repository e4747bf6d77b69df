// Runs the built program as a user would from a terminal: under a
// pseudo-terminal that is its controlling terminal (so it chooses the
// console mode), with its standard output in a file so the bytes are exact.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ConsoleRun {
    std::string output; // standard output and standard error, byte for byte
    int exitCode; // -1 when it could not be read
    long peakKilobytes = -1; // the most memory it held (/usr/bin/time), when measured
};

// Runs the program in the current directory with `arguments`; the display
// variables are removed so that no message box can open. `environment` is
// put before the command ("A=1 B=2"). With `asUser`, root runs a copy of the
// program that everyone can reach through setpriv as user 65534 (so that
// file permissions hold even for root; the current directory must be
// reachable for that user); any other user runs it as itself. When
// SHOPPING_LIST_WRAPPER is set (for instance to a valgrind command line), the
// program runs under it. An exit code that cannot be read fails the test
// and is given as -1.
ConsoleRun runConsole(const std::vector<std::string> &arguments, const std::string &environment = "",
                      bool asUser = false);

// runConsole (as the current user) with its peak memory measured; not under
// SHOPPING_LIST_WRAPPER, which would be measured instead.
ConsoleRun runConsoleMeasured(const std::vector<std::string> &arguments, const std::string &environment = "");

// Runs the program without any terminal (a new session), as a desktop
// launcher starts it; `environment` is put before the command ("A=1 B=2").
ConsoleRun runDetached(const std::vector<std::string> &arguments, const std::string &environment);

// What console mode prints before any item: the option list, and for a run
// with `argumentCount` arguments the title and count lines after it.
extern const std::string CONSOLE_USAGE;
std::string consoleHeader(int argumentCount);

// Quotes a text for the shell.
std::string shellQuote(const std::string &text);

// A program started as a desktop starts it: in a new session with no
// controlling terminal, standard input from /dev/null, output to `logPath`,
// with `environment` (NAME=value entries; a NAME alone removes the variable)
// applied over this process's environment, less DISPLAY and WAYLAND_DISPLAY.
// The process and its session are killed and reaped when this object goes
// away.
class DetachedRun {
public:
    DetachedRun(const std::string &executable, const std::vector<std::string> &arguments,
                const std::vector<std::string> &environment, const std::string &logPath);
    ~DetachedRun();
    DetachedRun(const DetachedRun &) = delete;
    DetachedRun &operator=(const DetachedRun &) = delete;

    pid_t pid() const { return child; }
    // True while the process has not ended.
    bool running();
    // The exit code once it has ended; -1 while it runs or when a signal
    // ended it.
    int exitCode() const;
    // Waits until /proc/<pid>/exe is `executable` (a launcher has replaced
    // itself with the program); false when that did not happen in time.
    bool waitForExecutable(const std::string &executable, int seconds);
    // The process's current directory, from /proc/<pid>/cwd.
    std::string currentDirectory() const;

private:
    pid_t child = -1;
    bool reaped = false;
    int status = 0;
};
