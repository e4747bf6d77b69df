// Whether the toolkit can show anything: the toolkit ends the whole process
// when it cannot open its display, so it is asked only once one can be
// reached.
#pragma once

// True when a display that the toolkit can use is reachable now. When the
// platform is not chosen by QT_QPA_PLATFORM, it is set to the reachable
// ones (Wayland before X11), so the toolkit tries only those.
bool chooseReachableDisplay();
