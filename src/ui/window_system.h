// The toolkit's application object and the message boxes that the core
// shows, as the window module implements them.
#pragma once

struct MessageBoxHooks;

// Window mode: creates the application object and installs the message
// boxes. False, with a line on standard error, when no display can be
// reached.
bool openWindowSystem(int &argc, char **argv);

// Console mode: installs the message boxes, which create the application
// object only when a box is to be shown and a display can be reached.
void installConsoleMessageBoxes(int &argc, char **argv);

// Releases the application object, if one was created, and the boxes.
void closeWindowSystem();

// The window layer's own message boxes.
const MessageBoxHooks *windowMessageBoxHooks();
