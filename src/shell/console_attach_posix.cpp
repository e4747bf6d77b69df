// The controlling terminal on POSIX systems.
#include "shell/console_attach.h"

#include <fcntl.h>
#include <unistd.h>

// Console mode when the controlling terminal opens for writing, also when
// standard output is redirected to a file from it.
bool attachConsole() {
    int terminal = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return false;
    close(terminal);
    return true;
}

void detachConsole() {}
