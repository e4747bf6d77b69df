// The one instance of the process-wide state.
#include "shell/app_state.h"

Settings settings = {};
bool windowMode = false;
void *dialogWindow = nullptr;
int nextSequence = 0;

void resetAppState() {
    settings = Settings{};
    windowMode = false;
    dialogWindow = nullptr;
    nextSequence = 0;
}
