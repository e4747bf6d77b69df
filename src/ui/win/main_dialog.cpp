// The main dialog on Windows: the dialog template 101 of the resources,
// shown modeless with its own message loop, and the Generate command over
// its controls.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/process_state.h"
#include "base/utf16_win.h"
#include "base/version.h"
#include "ui/dialog_template.h"
#include "ui/generate_command.h"

namespace {

// What the dialog keeps while it exists.
struct DialogState {
    bool running = false; // a generation runs
};

// The recipe box's text; the box holds its lines with CR LF already.
std::string recipeText(HWND dialog) {
    int length = GetWindowTextLengthW(GetDlgItem(dialog, IDC_RECIPES));
    std::wstring wideText(static_cast<std::size_t>(length) + 1, L'\0');
    UINT got = GetDlgItemTextW(dialog, IDC_RECIPES, wideText.data(), length + 1);
    wideText.resize(got);
    return utf16ToUtf8(wideText);
}

// Moves the bar and paints it now: the message loop does not run during a
// generation.
void setProgress(HWND dialog, int position) {
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    UpdateWindow(GetDlgItem(dialog, IDC_PROGRESS));
}

void setButtonCaption(HWND dialog, const std::string &caption) {
    SetDlgItemTextW(dialog, IDC_GENERATE, wide(caption).c_str());
    UpdateWindow(GetDlgItem(dialog, IDC_GENERATE));
}

// The Generate command: reads the option boxes and the recipe box, runs the
// generation with the progress on the bar and the button, and writes the
// shopping list, or the first error, into the shopping-list box, or shows
// the warning that refuses the list. Unticks "Refresh cache" after a
// completed run. A call made while a generation runs (from a message box
// opened by it) does nothing.
void generate(HWND dialog, DialogState *state) {
    if (state->running) return;
    state->running = true;
    setProgress(dialog, 0);
    Settings chosen{};
    for (const OptionBox &option : OPTION_BOXES)
        chosen.*option.setting = IsDlgButtonChecked(dialog, option.box) == BST_CHECKED;
    GenerateProgress progress{[dialog](int position, const std::string &caption) {
                                  setProgress(dialog, position);
                                  setButtonCaption(dialog, caption);
                              },
                              [dialog] {
                                  // What waits to be painted, children included, without
                                  // taking input.
                                  RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                              }};
    GenerateResult result = generateShoppingList(chosen, recipeText(dialog), progress);
    if (result.outcome == GENERATE_REFUSED) {
        std::wstring message = wide(result.text);
        MessageBoxW(dialog, message.c_str(), message.c_str(), MB_ICONWARNING | MB_OK);
    } else {
        SetDlgItemTextW(dialog, IDC_SHOPPING_LIST, wide(result.text).c_str());
        if (result.outcome == GENERATE_COMPLETED) CheckDlgButton(dialog, IDC_REFRESH_CACHE, BST_UNCHECKED);
        setButtonCaption(dialog, GENERATE_CAPTION);
    }
    state->running = false;
}

void setIcons(HWND dialog) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (int which : {ICON_BIG, ICON_SMALL}) {
        int size = GetSystemMetrics(which == ICON_BIG ? SM_CXICON : SM_CXSMICON);
        HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_SHARED);
        if (icon) SendMessageW(dialog, WM_SETICON, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(icon));
    }
}

void initialiseDialog(HWND dialog) {
    for (const OptionBox &option : OPTION_BOXES)
        CheckDlgButton(dialog, option.box, option.initiallyTicked ? BST_CHECKED : BST_UNCHECKED);
    for (int box : {IDC_RECIPES, IDC_SHOPPING_LIST}) {
        int tabStop = TAB_STOP_UNITS;
        SendDlgItemMessageW(dialog, box, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tabStop));
        // Beyond the default 30000 characters: a long list, or a recipe list
        // too big for a generation, which then says so.
        SendDlgItemMessageW(dialog, box, EM_SETLIMITTEXT, 0, 0);
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
    setIcons(dialog);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        initialiseDialog(dialog);
        return TRUE; // the focus goes to the first control with a tab stop, the recipe box
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL: // Escape, the close box, Close in the system menu
            PostQuitMessage(0);
            return TRUE;
        case IDC_GENERATE:
            generate(dialog, reinterpret_cast<DialogState *>(GetWindowLongPtrW(dialog, GWLP_USERDATA)));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

// Shows the main dialog, titled with the program's name and version in
// place of the template's caption, and runs the message loop until the
// dialog asks to quit (Escape, the close box, Close in the system menu).
// Returns at once when the dialog cannot be made.
void runMainDialog() {
    HWND desktop = GetDesktopWindow();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    DialogState state;
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), desktop, dialogProcedure,
                                     reinterpret_cast<LPARAM>(&state));
    dialogWindow = dialog;
    if (!dialog) return;
    SetWindowTextW(dialog, wide(PROGRAM_TITLE_WITH_VERSION).c_str());
    ShowWindow(dialog, SW_SHOW);
    MSG message;
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) {
            MessageBoxW(nullptr, L"Windows error", L"Windows error", MB_ICONERROR | MB_OK);
            break;
        }
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(dialog);
    dialogWindow = nullptr;
}
