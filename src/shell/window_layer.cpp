// Opening, using and closing the window layer from start-up.
#include "shell/window_layer.h"

#include <cstdio>

#include "base/messages.h"

static const WindowLayer *openedLayer = nullptr;
static int *consoleArgc = nullptr;
static char **consoleArgv = nullptr;

bool openWindowMode(int &argc, char **argv) {
    std::string error;
    const WindowLayer *layer = findWindowLayer(&error);
    if (!layer) {
        std::fprintf(stderr, "Cannot load the window: %s\n", error.c_str());
        return false;
    }
    openedLayer = layer;
    return layer->openWindowSystem(argc, argv);
}

// Console mode shows only the template box, and only with a display: the
// window layer is looked up when the first such box is due.
static void showTemplateChangedLater(const char *codeText) {
    std::string error;
    const WindowLayer *layer = findWindowLayer(&error);
    if (!layer) return;
    openedLayer = layer;
    layer->installConsoleMessageBoxes(*consoleArgc, consoleArgv);
    layer->messageBoxHooks()->showTemplateChanged(codeText);
}

static void showInformationLater(const char *text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

static const MessageBoxHooks CONSOLE_MESSAGE_BOXES = {showInformationLater, showTemplateChangedLater};

void openConsoleMessageBoxes(int &argc, char **argv) {
    consoleArgc = &argc;
    consoleArgv = argv;
    setMessageBoxHooks(&CONSOLE_MESSAGE_BOXES);
}

void runWindowDialog() {
    if (openedLayer) openedLayer->runMainDialog();
}

void closeWindowLayer() {
    bool opened = openedLayer != nullptr;
    if (opened) openedLayer->closeWindowSystem();
    openedLayer = nullptr;
    setMessageBoxHooks(nullptr);
    if (opened) afterWindowLayerClosed();
}
