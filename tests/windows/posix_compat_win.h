// What the core's tests take from POSIX and the Windows build of the tests
// gives them (support_win.cpp). Put before every test source of that build.
#pragma once

#include <string>

// Sets (overwrite != 0) or adds an environment variable of this process, as
// the C library sees it. An empty value is kept as one blank: Windows has no
// empty variables.
int setenv(const char *name, const char *value, int overwrite);

// Removes an environment variable of this process.
int unsetenv(const char *name);

// Windows has no user ids: the process is never root, and switching fails.
unsigned geteuid();
int seteuid(unsigned user);

// The Windows path under which Wine shows a Linux path (Z:\... by default).
std::string windowsPathOf(const std::string &unixPath);
