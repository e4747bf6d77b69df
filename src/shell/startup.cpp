// Mode choice, set-up of the shared state, the front end, and tear-down.
#include "shell/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "data/core_data.h"
#include "data/http_client.h"
#include "recipe/material_table.h"
#include "shell/app_state.h"
#include "shell/command_line.h"
#include "ui/window.h"

bool hasWritableTerminal() {
    int terminal = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return false;
    close(terminal);
    return true;
}

int runProgram(int argc, char **argv) {
    windowMode = !hasWritableTerminal();
    bool windowSystemReady = windowMode ? openWindowSystem(argc, argv) : true;
    if (!windowMode) installConsoleMessageBoxes(argc, argv);
    openHttpClient();
    allocMaterialTable();
    if (windowSystemReady && loadCoreData()) {
        if (windowMode)
            runMainDialog();
        else
            runCommandLine(argc, argv);
    }
    std::fflush(stdout);
    closeHttpClient();
    freeMaterialTable();
    freeCoreData();
    closeWindowSystem();
    return 0;
}
