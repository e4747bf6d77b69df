// The common controls and the message boxes of the core, as Win32 shows them.
#include "ui/window_system.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/utf16_win.h"

namespace {

// Owned by the dialog once it exists.
void showInformationBox(const char *text) {
    MessageBoxW(static_cast<HWND>(dialogWindow), wide(text).c_str(), L"Message",
                MB_ICONINFORMATION | MB_OK);
}

void showTemplateChangedBox(const char *codeText) {
    MessageBoxW(nullptr, wide(codeText).c_str(), L"CorvaneDB template changed. Message:", MB_OK);
}

const MessageBoxHooks WINDOW_MESSAGE_BOXES = {showInformationBox, showTemplateChangedBox};

void initialiseCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

} // namespace

const MessageBoxHooks *windowMessageBoxHooks() { return &WINDOW_MESSAGE_BOXES; }

bool openWindowSystem(int &, char **) {
    initialiseCommonControls();
    setMessageBoxHooks(&WINDOW_MESSAGE_BOXES);
    return true;
}

void installConsoleMessageBoxes(int &, char **) {
    initialiseCommonControls();
    setMessageBoxHooks(&WINDOW_MESSAGE_BOXES);
}

void closeWindowSystem() { setMessageBoxHooks(nullptr); }
