// The common controls and the message boxes of the core, as Win32 shows them.
#include "ui/window_system.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/utf16_win.h"

namespace {

std::wstring wide(const char *text) {
    std::wstring converted;
    utf8ToUtf16(text, &converted);
    return converted;
}

// Owned by the dialog once it exists.
void showInformationBox(const char *text) {
    MessageBoxW(static_cast<HWND>(dialogWindow), wide(text).c_str(), L"Message",
                MB_ICONINFORMATION | MB_OK);
}

void showTemplateChangedBox(const char *codeText) {
    MessageBoxW(nullptr, wide(codeText).c_str(), L"CorvaneDB template changed. Message:", MB_OK);
}

// Paints what waits to be painted, children included, without taking input:
// the message loop does not run during a generation.
void redrawDialogNow() {
    if (dialogWindow)
        RedrawWindow(static_cast<HWND>(dialogWindow), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

const MessageBoxHooks WINDOW_MESSAGE_BOXES = {showInformationBox, showTemplateChangedBox, redrawDialogNow};

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
