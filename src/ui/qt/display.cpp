// Reaching the X11 or Wayland display before the toolkit tries to.
#include "ui/qt/display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

static bool startsWith(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The connection by which the X server was found reachable. It stays open
// until the toolkit has its own: were it the server's only client, closing
// it would make the server reset, and refuse the toolkit for a moment.
static xcb_connection_t *probeConnection = nullptr;

// True when the X server named by DISPLAY accepts a connection.
static bool x11Reachable() {
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    releaseReachableDisplay();
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    bool reachable = connection && xcb_connection_has_error(connection) == 0;
    if (reachable)
        probeConnection = connection;
    else if (connection)
        xcb_disconnect(connection);
    return reachable;
}

void releaseReachableDisplay() {
    if (probeConnection) xcb_disconnect(probeConnection);
    probeConnection = nullptr;
}

// True when the compositor's socket named by WAYLAND_DISPLAY accepts a
// connection.
static bool waylandReachable() {
    const char *name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return false;
    std::string path = name;
    if (name[0] != '/') {
        const char *runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return false;
        path = std::string(runtime) + "/" + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) return false;
    bool reachable = connect(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(descriptor);
    return reachable;
}

bool chooseReachableDisplay(std::string *platforms) {
    platforms->clear();
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) {
        // A platform chosen by the user: check the two that need a display
        // and trust the others (offscreen, vnc, ...).
        if (startsWith(platform, "xcb")) return x11Reachable();
        if (startsWith(platform, "wayland")) return waylandReachable();
        return true;
    }
    bool wayland = waylandReachable();
    bool x11 = x11Reachable();
    if (!wayland && !x11) return false;
    *platforms = wayland && x11 ? "wayland;xcb" : wayland ? "wayland" : "xcb";
    return true;
}
