// The entry of the window module: hands the window layer's operations to the
// program that loaded it. Everything else in the module stays hidden, so
// the module's own calls never reach the program's loader of the same names.
#include "ui/window.h"

static const WindowModule WINDOW_MODULE = {openWindowSystem, installConsoleMessageBoxes,
                                           closeWindowSystem, runMainDialog, windowMessageBoxHooks};

extern "C" __attribute__((visibility("default"))) const WindowModule *tavroWindowModule() {
    return &WINDOW_MODULE;
}
