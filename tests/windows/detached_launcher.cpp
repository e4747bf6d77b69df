// Starts a program as cmd.exe or PowerShell start a window program on Windows:
// without a console of its own and without standard handles (the program
// must attach to its parent's console to write there). Waits for it.
//   detached_launcher.exe "PROGRAM ARGUMENTS..."
// The exit code is the program's; 99 when it cannot be started.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) return 2;
    std::wstring commandLine = argv[1];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        std::printf("cannot start: error %lu\n", GetLastError());
        return 99;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}
