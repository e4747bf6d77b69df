// Finds the window layer on POSIX systems: loads the window module (and with
// it the toolkit) from beside the program or from the installed library
// folder, once, and takes its table.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "shell/window_layer.h"

#ifndef WINDOW_MODULE_FILE
#define WINDOW_MODULE_FILE "libtavro-shopping-list-ui.so"
#endif
#ifndef WINDOW_MODULE_INSTALL_DIR
#define WINDOW_MODULE_INSTALL_DIR "../lib/tavro-shopping-list"
#endif

// The folder of the running program, with a trailing slash.
static std::string programFolder() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "./";
    std::string folder(path, static_cast<std::size_t>(length));
    return folder.substr(0, folder.rfind('/') + 1);
}

// Loads the module at `path` and takes its table; null with *error set.
static const WindowLayer *loadModule(const std::string &path, std::string *error) {
    // The module stays loaded to the end of the process: the toolkit keeps
    // exit handlers of its own.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        *error = dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<const WindowLayer *(*)()>(dlsym(handle, WINDOW_LAYER_ENTRY));
    if (!entry) {
        *error = path + ": no " WINDOW_LAYER_ENTRY;
        return nullptr;
    }
    return entry();
}

const WindowLayer *findWindowLayer(std::string *error) {
    static const WindowLayer *layer = nullptr;
    static std::string failure;
    if (!layer && failure.empty()) {
        std::string folder = programFolder();
        failure = WINDOW_MODULE_FILE " not found beside " + folder;
        for (const std::string &path : {folder + WINDOW_MODULE_FILE,
                                        folder + WINDOW_MODULE_INSTALL_DIR "/" WINDOW_MODULE_FILE}) {
            if (access(path.c_str(), F_OK) != 0) continue;
            layer = loadModule(path, &failure);
            break;
        }
        if (layer) failure.clear();
    }
    *error = failure;
    return layer;
}

// The leak check of a LeakSanitizer build, when the program is one.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

// Qt's threads (the X connection's reader, D-Bus, the thread pool) are
// detached, and Qt ends them only in its exit handlers: the process's end
// finds them still exiting, and LeakSanitizer's check at the end of the
// process cannot stop them (its tracer then fails). Here, with the window
// layer closed and those threads idle, is the end of the program's own
// work: a LeakSanitizer build checks for leaks now, and not again at exit.
void afterWindowLayerClosed() {
    if (__lsan_do_leak_check) __lsan_do_leak_check();
}
