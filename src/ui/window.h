// The window layer as start-up sees it. This header includes no toolkit, so
// the shell can call it without depending on one.
#pragma once

// Window mode: creates the application object and installs the message
// boxes. False, with a line on standard error, when no display can be
// reached (the run then ends through tear-down).
bool openWindowSystem(int &argc, char **argv);

// Console mode: installs the message boxes, which create the application
// object only when a box is to be shown (and a display is available).
void installConsoleMessageBoxes(int &argc, char **argv);

// Releases the application object, if one was created.
void closeWindowSystem();

// Shows the main dialog and runs the event loop until the dialog asks to
// quit. Sets dialogWindow while the dialog exists.
void runMainDialog();
