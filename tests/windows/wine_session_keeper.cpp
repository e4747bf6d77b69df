// Keeps a Wine session up for a test run: while a program of the prefix
// runs, the wineserver and Wine's own processes stay, and every test program
// starts in a fraction of a second instead of starting all of Wine again.
// With a display it also starts the session's desktop there, so that the
// windows of later programs appear on that display.
//   wine_session_keeper.exe READY-FILE
// Writes READY-FILE when the session is ready, then waits until the session
// is ended (wineserver -k) or for two hours at most.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) return 2;
    GetDesktopWindow();
    FILE *ready = _wfopen(argv[1], L"w");
    if (!ready) return 1;
    std::fputs("ready\n", ready);
    std::fclose(ready);
    Sleep(2 * 60 * 60 * 1000);
    return 0;
}
