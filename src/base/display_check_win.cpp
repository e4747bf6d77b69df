// Whether a message box may have a screen, on Windows: a desktop is always
// there to show one.
#include "base/messages.h"

bool displayAvailable() { return true; }
