// Whether a message box may have a screen, on POSIX systems.
#include <cstdlib>

#include "base/display_check.h"

bool displayAvailable() {
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}
