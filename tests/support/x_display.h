// A private X server (Xvfb) for tests that open real windows, and a look at
// its windows through xdotool.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class XDisplay {
public:
    // Starts Xvfb on a free display number and waits (up to 60 s) until it
    // answers. Throws, with what Xvfb printed, when it cannot be started.
    XDisplay();
    // Stops the server and removes its files.
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    // ":N", for DISPLAY.
    const std::string &name() const { return displayName; }

    // True while the server takes connections.
    bool answers() const;
    // Ids of the mapped windows whose title is exactly `title`.
    std::vector<std::string> windowsTitled(const std::string &title) const;
    // Sends one key press (an xdotool key name such as "Escape") to a window;
    // false when xdotool failed.
    bool sendKey(const std::string &window, const std::string &key) const;

private:
    pid_t server = -1;
    std::string displayName;
    std::string folder;
};
