// The entry of the window layer: hands its operations to the program. With
// Qt the window layer is a module that the program loads, and this is the
// one name it shows (WINDOW_LAYER_EXPORT, set by the build); on Windows it
// is part of the program.
#include "shell/window_layer.h"
#include "ui/window_system.h"

static const WindowLayer WINDOW_LAYER = {openWindowSystem, installConsoleMessageBoxes,
                                         closeWindowSystem, runMainDialog, windowMessageBoxHooks};

extern "C" WINDOW_LAYER_EXPORT const WindowLayer *tavroWindowModule() { return &WINDOW_LAYER; }
