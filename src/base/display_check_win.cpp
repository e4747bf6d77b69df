// Whether a message box may have a screen, on Windows: a desktop is always
// there to show one.
#include "base/display_check.h"

bool displayAvailable() { return true; }
