// The window layer as start-up sees it. This header includes no toolkit, so
// the shell can call it without depending on one.
//
// The program itself carries no toolkit: it loads the window layer as a
// module (the toolkit with it) only when a window or a message box is to be
// shown, so the console mode starts without it.
#pragma once

struct MessageBoxHooks;

// Window mode: creates the application object and installs the message
// boxes. False, with a line on standard error, when no display can be
// reached or the window layer cannot be loaded (the run then ends through
// tear-down).
bool openWindowSystem(int &argc, char **argv);

// Console mode: installs the message boxes, which create the application
// object only when a box is to be shown (and a display is available).
void installConsoleMessageBoxes(int &argc, char **argv);

// Releases the application object, if one was created.
void closeWindowSystem();

// Shows the main dialog and runs the event loop until the dialog asks to
// quit. Sets dialogWindow while the dialog exists.
void runMainDialog();

// The window layer's own message boxes.
const MessageBoxHooks *windowMessageBoxHooks();

// What the window module hands to the program that loads it: the operations
// above, as the module implements them.
struct WindowModule {
    bool (*openWindowSystem)(int &argc, char **argv);
    void (*installConsoleMessageBoxes)(int &argc, char **argv);
    void (*closeWindowSystem)();
    void (*runMainDialog)();
    const MessageBoxHooks *(*messageBoxHooks)();
};

// The module's one exported function: const WindowModule *tavroWindowModule().
#define WINDOW_MODULE_ENTRY "tavroWindowModule"
