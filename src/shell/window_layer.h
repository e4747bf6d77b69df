// The window layer as the rest of the program reaches it: a table of its
// operations, which the window layer fills and the program looks up once.
// On Linux the window layer is a module loaded on first need (so the console
// mode starts without the toolkit); on Windows it is part of the program.
#pragma once

#include <string>

struct MessageBoxHooks;

// The operations of the window layer.
struct WindowLayer {
    // Window mode: makes the window system ready and installs the message
    // boxes. False, with a line on standard error, when no display can be
    // reached (the run then ends through tear-down).
    bool (*openWindowSystem)(int &argc, char **argv);
    // Console mode: installs the template box, which makes the window system
    // ready only when such a box is to be shown and a display can be reached.
    void (*installConsoleMessageBoxes)(int &argc, char **argv);
    // Releases what openWindowSystem or a console box made ready.
    void (*closeWindowSystem)();
    // Shows the main dialog and runs the event loop until the dialog asks to
    // quit. Sets dialogWindow while the dialog exists.
    void (*runMainDialog)();
    // The window layer's message boxes.
    const MessageBoxHooks *(*messageBoxHooks)();
};

// Name of the function by which the window layer hands over its table:
// extern "C" const WindowLayer *tavroWindowModule().
#define WINDOW_LAYER_ENTRY "tavroWindowModule"

// The window layer, found on the first call; null when it cannot be had,
// with the reason in *error.
const WindowLayer *findWindowLayer(std::string *error);

// Called once the window layer that was found is closed, before the process
// ends: the toolkit's libraries leave threads of their own, which they run
// down only while the process exits.
void afterWindowLayerClosed();

// Window mode: finds the window layer and opens its window system. False,
// with a line on standard error, when either fails.
bool openWindowMode(int &argc, char **argv);

// Console mode: installs message boxes that print their lines and leave the
// window layer unloaded until a template box is due.
void openConsoleMessageBoxes(int &argc, char **argv);

// Runs the main dialog of the window layer opened by openWindowMode.
void runWindowDialog();

// Releases the window system, if one was made ready, and the boxes.
void closeWindowLayer();
