// The window layer's operations, as each toolkit's folder implements them
// (src/ui/qt with Qt, src/ui/win with Win32). Each does what its entry of
// the WindowLayer table says (shell/window_layer.h), where its contract is
// written; ui/window_module.cpp hands the table to the program.
#pragma once

struct MessageBoxHooks;

bool openWindowSystem(int &argc, char **argv);
void installConsoleMessageBoxes(int &argc, char **argv);
void closeWindowSystem();
void runMainDialog();
const MessageBoxHooks *windowMessageBoxHooks();
