// The window system that the window module sets up: the toolkit's application
// object (Qt) or the common controls (Windows), and the message boxes that the
// core shows.
#pragma once

struct MessageBoxHooks;

// Window mode: makes the window system ready and installs the message boxes.
// False, with a line on standard error, when no display can be reached (Qt);
// Windows always has a desktop to show them on.
bool openWindowSystem(int &argc, char **argv);

// Console mode: installs the message boxes (the core shows only the template
// box there). With Qt they create the application object only when a box is to
// be shown and a display can be reached.
void installConsoleMessageBoxes(int &argc, char **argv);

// Removes the message boxes and releases what openWindowSystem or a box made.
void closeWindowSystem();

// The window layer's own message boxes.
const MessageBoxHooks *windowMessageBoxHooks();
