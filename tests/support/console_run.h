// Runs the built program as a user would from a terminal: under a
// pseudo-terminal that is its controlling terminal (so it chooses the
// console mode), with its standard output in a file so the bytes are exact.
#pragma once

#include <string>
#include <vector>

struct ConsoleRun {
    std::string output; // standard output and standard error, byte for byte
    int exitCode;
};

// Runs the program in the current directory with `arguments`; the display
// variables are removed so that no message box can open. `environment` is
// put before the command ("A=1 B=2"), `asUser` runs it through setpriv as an
// unprivileged user (so that file permissions hold even for root). When
// SHOPPING_LIST_WRAPPER is set (for instance to a valgrind command line), the
// program runs under it.
ConsoleRun runConsole(const std::vector<std::string> &arguments, const std::string &environment = "",
                      bool asUser = false);

// Runs the program without any terminal (a new session), as a desktop
// launcher starts it; `environment` is put before the command ("A=1 B=2").
ConsoleRun runDetached(const std::vector<std::string> &arguments, const std::string &environment);

// Quotes a text for the shell.
std::string shellQuote(const std::string &text);
