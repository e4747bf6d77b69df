// UTF-8 and UTF-16 through the system's own conversion.
#include "base/utf16_win.h"

#include <windows.h>

#include <climits>

bool utf8ToUtf16(std::string_view text, std::wstring *wide) {
    wide->clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    int length = static_cast<int>(text.size());
    bool valid = true;
    DWORD flags = MB_ERR_INVALID_CHARS;
    int needed = MultiByteToWideChar(CP_UTF8, flags, text.data(), length, nullptr, 0);
    if (needed == 0) {
        valid = false;
        flags = 0;
        needed = MultiByteToWideChar(CP_UTF8, flags, text.data(), length, nullptr, 0);
        if (needed == 0) return false;
    }
    wide->resize(static_cast<std::size_t>(needed));
    MultiByteToWideChar(CP_UTF8, flags, text.data(), length, wide->data(), needed);
    return valid;
}

std::wstring wide(std::string_view text) {
    std::wstring converted;
    utf8ToUtf16(text, &converted);
    return converted;
}

std::string utf16ToUtf8(std::wstring_view text) {
    std::string narrow;
    if (text.empty() || text.size() > INT_MAX) return narrow;
    int length = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return narrow;
    narrow.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}
