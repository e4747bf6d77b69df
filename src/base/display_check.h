// Whether a screen may be there for a message box, on each operating system.
#pragma once

// True when the system may have a screen for a message box: on POSIX
// systems when DISPLAY or WAYLAND_DISPLAY is set; always on Windows.
bool displayAvailable();
