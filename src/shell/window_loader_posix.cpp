// The program's side of the window layer: loads the window module (and with
// it the toolkit) on first need, from beside the program or from the
// installed library folder, and forwards to it. Includes no toolkit.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "shell/app_state.h"
#include "shell/messages.h"
#include "ui/window.h"

#ifndef WINDOW_MODULE_FILE
#define WINDOW_MODULE_FILE "libtavro-shopping-list-ui.so"
#endif
#ifndef WINDOW_MODULE_INSTALL_DIR
#define WINDOW_MODULE_INSTALL_DIR "../lib/tavro-shopping-list"
#endif

static const WindowModule *windowModule = nullptr;
static std::string windowModuleError;
static int *consoleArgc = nullptr;
static char **consoleArgv = nullptr;

// The folder of the running program, with a trailing slash.
static std::string programFolder() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "./";
    std::string folder(path, static_cast<std::size_t>(length));
    return folder.substr(0, folder.rfind('/') + 1);
}

// The window module, loaded on the first call; null (with the reason kept in
// windowModuleError) when it cannot be loaded.
static const WindowModule *loadWindowModule() {
    if (windowModule || !windowModuleError.empty()) return windowModule;
    std::string folder = programFolder();
    for (const std::string &path : {folder + WINDOW_MODULE_FILE,
                                    folder + WINDOW_MODULE_INSTALL_DIR "/" WINDOW_MODULE_FILE}) {
        if (access(path.c_str(), F_OK) != 0) continue;
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            windowModuleError = dlerror();
            return nullptr;
        }
        auto entry = reinterpret_cast<const WindowModule *(*)()>(dlsym(handle, WINDOW_MODULE_ENTRY));
        if (!entry) {
            windowModuleError = path + ": no " WINDOW_MODULE_ENTRY;
            return nullptr;
        }
        windowModule = entry();
        return windowModule;
    }
    windowModuleError = WINDOW_MODULE_FILE " not found beside " + folder;
    return nullptr;
}

bool openWindowSystem(int &argc, char **argv) {
    const WindowModule *module = loadWindowModule();
    if (!module) {
        std::fprintf(stderr, "Cannot load the window: %s\n", windowModuleError.c_str());
        return false;
    }
    return module->openWindowSystem(argc, argv);
}

// Console mode shows only the template box, and only with a display: the
// module is loaded when the first such box is due.
static void showTemplateChangedLater(const char *codeText) {
    const WindowModule *module = loadWindowModule();
    if (!module) return;
    module->installConsoleMessageBoxes(*consoleArgc, consoleArgv);
    module->messageBoxHooks()->showTemplateChanged(codeText);
}

static void showInformationLater(const char *text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

static void redrawNothing() {}

static const MessageBoxHooks CONSOLE_MESSAGE_BOXES = {showInformationLater, showTemplateChangedLater,
                                                      redrawNothing};

void installConsoleMessageBoxes(int &argc, char **argv) {
    consoleArgc = &argc;
    consoleArgv = argv;
    setMessageBoxHooks(&CONSOLE_MESSAGE_BOXES);
}

void closeWindowSystem() {
    // The module stays mapped: the toolkit keeps exit handlers of its own.
    if (windowModule) windowModule->closeWindowSystem();
    setMessageBoxHooks(nullptr);
}

void runMainDialog() {
    if (windowModule) windowModule->runMainDialog();
}
