// The entry of the window module: hands the window layer's operations to the
// program that loaded it. Everything else in the module stays hidden.
#include "shell/window_layer.h"
#include "ui/qt/main_dialog.h"
#include "ui/window_system.h"

static const WindowLayer WINDOW_LAYER = {openWindowSystem, installConsoleMessageBoxes,
                                         closeWindowSystem, runMainDialog, windowMessageBoxHooks};

extern "C" __attribute__((visibility("default"))) const WindowLayer *tavroWindowModule() {
    return &WINDOW_LAYER;
}
