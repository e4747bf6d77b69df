// Process entry on Windows. The arguments are taken in UTF-16 and handed on
// in UTF-8, so item names with any characters arrive whole, whatever the
// system's code page.
#include <string>
#include <vector>

#include "base/utf16_win.h"
#include "shell/startup.h"

int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(utf16ToUtf8(argv[i]));
    std::vector<char *> pointers;
    for (std::string &argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return runProgram(argc, pointers.data());
}
