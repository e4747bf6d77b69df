// The main dialog on Windows: the template from the resources, the Generate
// command through the toolkit-free GenerationControls, and the message loop.
#include "ui/win/main_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/process_state.h"
#include "base/utf16_win.h"
#include "base/version.h"
#include "ui/dialog_template.h"
#include "ui/generation.h"

namespace {

std::wstring wide(std::string_view text) {
    std::wstring converted;
    utf8ToUtf16(text, &converted);
    return converted;
}

// The dialog's controls as a generation uses them.
class DialogControls : public GenerationControls {
public:
    explicit DialogControls(HWND dialog) : dialog(dialog) {}

    bool isBoxTicked(DialogControlId box) override {
        return IsDlgButtonChecked(dialog, box) == BST_CHECKED;
    }

    void untickBox(DialogControlId box) override { CheckDlgButton(dialog, box, BST_UNCHECKED); }

    bool readRecipeText(std::size_t limit, std::string *text) override {
        // The box holds its lines with CR LF already.
        int length = GetWindowTextLengthW(GetDlgItem(dialog, IDC_RECIPES));
        std::wstring wideText(static_cast<std::size_t>(length) + 1, L'\0');
        UINT got = GetDlgItemTextW(dialog, IDC_RECIPES, wideText.data(), length + 1);
        wideText.resize(got);
        std::string bytes = utf16ToUtf8(wideText);
        if (bytes.size() + 1 > limit) return false;
        *text = std::move(bytes);
        return true;
    }

    void setProgress(int position) override {
        SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        // The message loop does not run during a generation: paint now.
        UpdateWindow(GetDlgItem(dialog, IDC_PROGRESS));
    }

    void setButtonCaption(const std::string &caption) override {
        SetDlgItemTextW(dialog, IDC_GENERATE, wide(caption).c_str());
        UpdateWindow(GetDlgItem(dialog, IDC_GENERATE));
    }

    void setListText(const std::string &text) override {
        SetDlgItemTextW(dialog, IDC_SHOPPING_LIST, wide(text).c_str());
    }

    void showWarning(const char *text) override {
        std::wstring message = wide(text);
        MessageBoxW(dialog, message.c_str(), message.c_str(), MB_ICONWARNING | MB_OK);
    }

private:
    HWND dialog;
};

void setIcons(HWND dialog) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (int which : {ICON_BIG, ICON_SMALL}) {
        int size = GetSystemMetrics(which == ICON_BIG ? SM_CXICON : SM_CXSMICON);
        HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_SHARED);
        if (icon) SendMessageW(dialog, WM_SETICON, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(icon));
    }
}

void initialiseDialog(HWND dialog) {
    for (int box : {IDC_OMIT_CRYSTALS, IDC_DONT_CRAFT_SOLD, IDC_CRAFT_BEAST_TRIBE, IDC_CRAFT_MATERIAL_GEAR})
        CheckDlgButton(dialog, box, BST_CHECKED);
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

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initialiseDialog(dialog);
        return TRUE; // the focus goes to the first control with a tab stop, the recipe box
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL: // Escape, the close box, Close in the system menu
            PostQuitMessage(0);
            return TRUE;
        case IDC_GENERATE: {
            DialogControls controls(dialog);
            generateShoppingList(controls);
            return TRUE;
        }
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

void runMainDialog() {
    HWND desktop = GetDesktopWindow();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), desktop, dialogProcedure, 0);
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
