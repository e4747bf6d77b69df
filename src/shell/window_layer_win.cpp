// Finds the window layer on Windows: it is linked into the program (the
// Win32 dialog needs no toolkit to load), and hands over its table through
// the same entry that the module of other systems exports.
#include <string>

#include "shell/window_layer.h"

extern "C" const WindowLayer *tavroWindowModule();

const WindowLayer *findWindowLayer(std::string *error) {
    error->clear();
    return tavroWindowModule();
}

// The Win32 window layer leaves no threads of its own.
void afterWindowLayerClosed() {}
