// The window layer's table on Windows, where the window layer is part of the
// program: the shell's loader takes it through tavroWindowModule.
#include "shell/window_layer.h"
#include "ui/win/main_dialog.h"
#include "ui/window_system.h"

static const WindowLayer WINDOW_LAYER = {openWindowSystem, installConsoleMessageBoxes,
                                         closeWindowSystem, runMainDialog, windowMessageBoxHooks};

extern "C" const WindowLayer *tavroWindowModule() { return &WINDOW_LAYER; }
