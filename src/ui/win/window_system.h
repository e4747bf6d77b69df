// The window system on Windows: the common controls and the message boxes
// that the core shows.
#pragma once

struct MessageBoxHooks;

// Window mode: makes the common controls ready and installs the message
// boxes. Windows always has a desktop to show them on.
bool openWindowSystem(int &argc, char **argv);

// Console mode: installs the same message boxes (the core shows only the
// template box there).
void installConsoleMessageBoxes(int &argc, char **argv);

// Removes the message boxes.
void closeWindowSystem();

// The window layer's own message boxes.
const MessageBoxHooks *windowMessageBoxHooks();
