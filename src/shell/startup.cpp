// Mode choice, set-up of the shared state, the front end, and tear-down.
#include "shell/startup.h"

#include <cstdio>

#include "base/messages.h"
#include "base/process_state.h"
#include "data/core_data.h"
#include "data/http_client.h"
#include "recipe/material_table.h"
#include "shell/console_mode.h"
#include "shell/console_attach.h"
#include "shell/window_layer.h"

int runProgram(int argc, char **argv) {
    windowMode = !attachConsole();
    bool windowSystemReady = windowMode ? openWindowMode(argc, argv) : true;
    if (!windowMode) openConsoleMessageBoxes(argc, argv);
    openHttpClient();
    materialStorage = allocMaterialStorage();
    if (!materialStorage) showMessage("Not enough memory for the shopping list.");
    if (windowSystemReady && materialStorage && loadCoreData()) {
        if (windowMode)
            runWindowDialog();
        else
            runCommandLine(argc, argv);
    }
    std::fflush(stdout);
    if (!windowMode) detachConsole();
    closeHttpClient();
    freeMaterialStorage(materialStorage);
    materialStorage = nullptr;
    freeCoreData();
    closeWindowLayer();
    // Kept as the users know it: exit code 0 on every path, failures too;
    // the messages say what went wrong.
    return 0;
}
