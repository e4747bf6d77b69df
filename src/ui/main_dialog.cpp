// The main dialog: not built yet; window mode says so and ends.
#include "ui/window.h"

#include "shell/messages.h"

void runMainDialog() {
    showMessage("The window of the shopping list generator is not built yet. Run the program "
                "from a terminal to use its console mode.");
}
