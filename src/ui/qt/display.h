// Whether the toolkit can show anything: the toolkit ends the whole process
// when it cannot open its display, so it is asked only once one can be
// reached.
#pragma once

#include <string>

// True when a display that the toolkit can use is reachable now. When the
// platform is not chosen by QT_QPA_PLATFORM, *platforms receives the
// reachable ones (Wayland before X11, as the toolkit's -platform argument
// takes them), so that the toolkit tries only those; else it is emptied.
// The environment is left as it is: other threads may be reading it.
bool chooseReachableDisplay(std::string *platforms);

// Closes the connection by which chooseReachableDisplay found the X server,
// once the toolkit has connected (or given up): the server must not lose its
// last client in between.
void releaseReachableDisplay();
