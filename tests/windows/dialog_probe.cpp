// Looks at and works a window of another program, for the window tests:
//   dialog_probe.exe COMMAND... (run under Wine in the same prefix)
// Runs the commands in order and prints one line per answer; a command that
// fails prints "error: ..." and ends the run with exit code 1.
//
//   wait TITLE SECONDS        waits for a top-level dialog titled TITLE; later
//                             commands work on it
//   gone SECONDS              waits until that dialog no longer exists
//   layout                    "window X Y W H" (the dialog's frame on the screen),
//                             "client W H" (its client area in pixels), "work X Y W H"
//                             (the work area of its monitor), then
//                             "dialog STYLE EXSTYLE" and per child window, in
//                             order: "control ID CLASS STYLE EXSTYLE X Y W H",
//                             position and size in pixels of the dialog's client area
//   box TITLE SECONDS         waits for a message box titled TITLE (no dialog needed);
//                             prints "box OWNER ICON TEXT" (OWNER: dialog, none or
//                             other; ICON: icon or no-icon) and presses OK
//   checked ID                "checked 1" or "checked 0"
//   wait-checked ID 0|1 SECONDS  waits until the check box is unticked (0) or ticked (1)
//   focus                     "focus ID": the control of the dialog that has the focus
//   wait-focus ID SECONDS     waits until control ID has the focus; then as focus
//   progress                  "progress N": the progress bar's position
//   title                     "title TEXT"
//   text ID FILE              the control's text, UTF-8, byte for byte into FILE
//   wait-text ID PREFIX SECONDS  waits until the control's text begins with PREFIX
//   wait-equal ID FILE SECONDS   waits until the control's text is FILE's (UTF-8)
//   set-text ID FILE          replaces the control's text with FILE's (UTF-8)
//   click ID                  posts a click to a button (returns at once)
//   close                     posts Close of the system menu (as the close box does)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring wide(const std::string &text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
    result.resize(static_cast<std::size_t>(size > 0 ? size - 1 : 0));
    return result;
}

std::string narrow(const std::wstring &text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::string textOf(HWND window) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 30000, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 30000, &got);
    text.resize(got);
    return narrow(text);
}

std::string className(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return narrow(name);
}

// Polls `found` until it gives a window or `seconds` have passed.
template <typename Find>
HWND waitFor(Find found, double seconds) {
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (HWND window = found()) return window;
        if (GetTickCount64() > deadline) return nullptr;
        Sleep(20);
    }
}

HWND findDialog(const std::string &title) {
    return FindWindowW(L"#32770", wide(title).c_str());
}

[[noreturn]] void fail(const std::string &message) {
    std::printf("error: %s\n", message.c_str());
    std::fflush(stdout);
    std::exit(1);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
    HWND dialog = nullptr;
    auto control = [&](const std::string &id) {
        HWND item = GetDlgItem(dialog, std::atoi(id.c_str()));
        if (!item) fail("no control " + id);
        return item;
    };
    auto need = [&](std::size_t i, std::size_t count) {
        if (i + count >= args.size() + 1) fail("missing arguments for " + args[i - 1]);
        if (!dialog && args[i - 1] != "wait" && args[i - 1] != "box") fail("no dialog yet for " + args[i - 1]);
    };
    for (std::size_t i = 0; i < args.size();) {
        const std::string command = args[i++];
        if (command == "wait") {
            need(i, 2);
            std::string title = args[i++];
            double seconds = std::atof(args[i++].c_str());
            dialog = waitFor([&] { return findDialog(title); }, seconds);
            if (!dialog) fail("no dialog titled " + title);
            std::printf("window found\n");
        } else if (command == "gone") {
            need(i, 1);
            double seconds = std::atof(args[i++].c_str());
            HWND watched = dialog;
            HWND left = waitFor([&] { return IsWindow(watched) ? nullptr : watched; }, seconds);
            if (!left) fail("the dialog is still there");
            std::printf("gone\n");
        } else if (command == "layout") {
            need(i, 0);
            // MapDialogRect works only inside the dialog's process: the test
            // finds the base units from the client area's size.
            RECT frame, client;
            GetWindowRect(dialog, &frame);
            GetClientRect(dialog, &client);
            std::printf("window %ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                        frame.bottom - frame.top);
            std::printf("client %ld %ld\n", client.right, client.bottom);
            MONITORINFO monitor{};
            monitor.cbSize = sizeof monitor;
            GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
            std::printf("work %ld %ld %ld %ld\n", monitor.rcWork.left, monitor.rcWork.top,
                        monitor.rcWork.right - monitor.rcWork.left, monitor.rcWork.bottom - monitor.rcWork.top);
            std::printf("dialog %08lx %08lx\n", static_cast<unsigned long>(GetWindowLongW(dialog, GWL_STYLE)),
                        static_cast<unsigned long>(GetWindowLongW(dialog, GWL_EXSTYLE)));
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                RECT rect;
                GetWindowRect(child, &rect);
                MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
                std::printf("control %d %s %08lx %08lx %ld %ld %ld %ld\n", GetDlgCtrlID(child),
                            className(child).c_str(), static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)),
                            static_cast<unsigned long>(GetWindowLongW(child, GWL_EXSTYLE)), rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top);
            }
        } else if (command == "box") {
            need(i, 2);
            std::string title = args[i++];
            double seconds = std::atof(args[i++].c_str());
            // Looked at once it shows: it fills itself in before that.
            HWND box = waitFor([&] {
                HWND found = findDialog(title);
                return found && IsWindowVisible(found) ? found : nullptr;
            }, seconds);
            if (!box) fail("no box titled " + title);
            HWND owner = GetWindow(box, GW_OWNER);
            std::string ownerText = !owner ? "none" : owner == dialog ? "dialog" : "other";
            // A message box shows its icon in a static control: id 20 on
            // Windows, 1088 under Wine.
            HWND icon = GetDlgItem(box, 20);
            if (!icon) icon = GetDlgItem(box, 1088);
            bool hasIcon = icon && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
            HWND textControl = GetDlgItem(box, 0xFFFF);
            std::printf("box %s %s %s\n", ownerText.c_str(), hasIcon ? "icon" : "no-icon",
                        textControl ? textOf(textControl).c_str() : "");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            HWND closed = waitFor([&] { return IsWindow(box) ? nullptr : box; }, seconds);
            if (!closed) fail("the box stays");
        } else if (command == "checked") {
            need(i, 1);
            std::printf("checked %d\n", IsDlgButtonChecked(dialog, std::atoi(args[i++].c_str())) == BST_CHECKED);
        } else if (command == "wait-checked") {
            need(i, 3);
            int box = std::atoi(args[i++].c_str());
            UINT wanted = args[i++] == "1" ? BST_CHECKED : BST_UNCHECKED;
            double seconds = std::atof(args[i++].c_str());
            if (!waitFor([&] { return IsDlgButtonChecked(dialog, box) == wanted ? dialog : nullptr; }, seconds))
                fail("check box " + std::to_string(box) + " stays as it was");
            std::printf("checked %d\n", wanted == BST_CHECKED);
        } else if (command == "focus" || command == "wait-focus") {
            bool waiting = command == "wait-focus";
            need(i, waiting ? 2 : 0);
            int wanted = waiting ? std::atoi(args[i++].c_str()) : 0;
            double seconds = waiting ? std::atof(args[i++].c_str()) : 0;
            auto focused = [&] {
                GUITHREADINFO info{};
                info.cbSize = sizeof info;
                GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
                return info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : -1;
            };
            // Keys typed from outside arrive a moment later: a wait gives them time.
            if (waiting) waitFor([&] { return focused() == wanted ? dialog : nullptr; }, seconds);
            std::printf("focus %d\n", focused());
        } else if (command == "progress") {
            need(i, 0);
            std::printf("progress %d\n", static_cast<int>(SendMessageW(control("40007"), PBM_GETPOS, 0, 0)));
        } else if (command == "title") {
            need(i, 0);
            std::printf("title %s\n", textOf(dialog).c_str());
        } else if (command == "text") {
            need(i, 2);
            std::string text = textOf(control(args[i++]));
            std::ofstream out(std::filesystem::path(wide(args[i++])), std::ios::binary);
            out << text;
        } else if (command == "wait-equal") {
            need(i, 3);
            HWND item = control(args[i++]);
            std::ifstream in(std::filesystem::path(wide(args[i++])), std::ios::binary);
            std::ostringstream expected;
            expected << in.rdbuf();
            double seconds = std::atof(args[i++].c_str());
            HWND ready = waitFor([&] { return textOf(item) == expected.str() ? item : nullptr; }, seconds);
            if (!ready) fail("the text is not as expected: [" + textOf(item) + "]");
            std::printf("text equal\n");
        } else if (command == "wait-text") {
            need(i, 3);
            HWND item = control(args[i++]);
            std::string prefix = args[i++];
            double seconds = std::atof(args[i++].c_str());
            HWND ready = waitFor([&] { return textOf(item).rfind(prefix, 0) == 0 ? item : nullptr; }, seconds);
            if (!ready) fail("the text does not begin with " + prefix);
            std::printf("text ready\n");
        } else if (command == "set-text") {
            need(i, 2);
            HWND item = control(args[i++]);
            std::ifstream in(std::filesystem::path(wide(args[i++])), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            std::wstring converted = wide(text.str());
            SendMessageW(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(converted.c_str()));
        } else if (command == "click") {
            need(i, 1);
            PostMessageW(control(args[i++]), BM_CLICK, 0, 0);
        } else if (command == "close") {
            need(i, 0);
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            fail("unknown command " + command);
        }
        std::fflush(stdout);
    }
    return 0;
}
