// Text at the Windows API: the program keeps its text in UTF-8 and hands the
// system UTF-16 (the W functions), so any name works whatever the code page.
#pragma once

#include <string>
#include <string_view>

// The UTF-16 form of UTF-8 text in *wide. False when the text is no valid
// UTF-8; *wide then holds it with each invalid byte as U+FFFD, good for
// showing but not for naming a file.
bool utf8ToUtf16(std::string_view text, std::wstring *wide);

// The UTF-16 form of UTF-8 text for showing (invalid bytes as U+FFFD).
std::wstring wide(std::string_view text);

// The UTF-8 form of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::wstring_view text);
