// The one instance of the process-wide state.
#include "base/process_state.h"

Settings settings = {};
bool windowMode = false;
void *dialogWindow = nullptr;

void resetProcessState() {
    settings = Settings{};
    windowMode = false;
    dialogWindow = nullptr;
}
