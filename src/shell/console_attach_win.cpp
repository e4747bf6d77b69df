// The console on Windows. The program is a window program (it gets no
// console of its own), so console mode means: the program that started it
// has a console. Its standard output then goes where that program put it:
// into a file or pipe when redirected, else onto the console, written as
// UTF-16 so that any item name shows right whatever the console's code page.
#include "shell/console_attach.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/utf16_win.h"

namespace {

// A stream that reaches the console through a pipe: a thread reads the
// pipe and writes what came as UTF-16 with WriteConsoleW. (The C library
// would write each byte of a UTF-8 text as a character of its own.)
struct ConsoleStream {
    std::FILE *stream = nullptr;
    int descriptor = -1;         // 1 or 2
    int savedDescriptor = -1;    // what the descriptor was before, or -1
    HANDLE console = nullptr;    // where the thread writes
    HANDLE pipeRead = nullptr;
    HANDLE thread = nullptr;
};

ConsoleStream consoleStreams[2];

// How many bytes at the start of `bytes` end on a whole UTF-8 character.
std::size_t wholeCharacters(const std::string &bytes) {
    std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        unsigned char c = static_cast<unsigned char>(bytes[size - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: look further back
        std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? size - back : size;
    }
    return size;
}

void writeConsole(HANDLE console, const std::string &bytes) {
    std::wstring wide;
    utf8ToUtf16(bytes, &wide);
    const wchar_t *at = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
        DWORD written = 0;
        DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left);
        if (!WriteConsoleW(console, at, chunk, &written, nullptr) || written == 0) return;
        at += written;
        left -= written;
    }
}

DWORD WINAPI forwardToConsole(void *context) {
    auto *stream = static_cast<ConsoleStream *>(context);
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(stream->pipeRead, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        std::size_t whole = wholeCharacters(pending);
        writeConsole(stream->console, pending.substr(0, whole));
        pending.erase(0, whole);
    }
    if (!pending.empty()) writeConsole(stream->console, pending);
    return 0;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Redirected: a file, a pipe, or a character device that is no console
// (NUL). The C library's stream already writes there.
bool isRedirected(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return false;
    DWORD type = GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || (type == FILE_TYPE_CHAR && !isConsole(handle));
}

void disconnect(ConsoleStream *slot);

// Points `stream` (descriptor `descriptor`, whose handle at start was
// `startHandle`) at the console unless it is redirected.
void connectToConsole(ConsoleStream *slot, std::FILE *stream, int descriptor, HANDLE startHandle) {
    if (isRedirected(startHandle)) return;
    // The thread writes to a handle of its own: the descriptor's handle goes
    // when the pipe takes the descriptor's place.
    HANDLE console = nullptr;
    if (isConsole(startHandle) && !DuplicateHandle(GetCurrentProcess(), startHandle, GetCurrentProcess(),
                                                   &console, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    if (!console) {
        // Started without standard handles (from cmd or PowerShell): the
        // console that was attached is reached by name.
        console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console == INVALID_HANDLE_VALUE) return;
    }
    HANDLE pipeRead = nullptr, pipeWrite = nullptr;
    if (!CreatePipe(&pipeRead, &pipeWrite, nullptr, 0)) {
        CloseHandle(console);
        return;
    }
    int pipeDescriptor = _open_osfhandle(reinterpret_cast<intptr_t>(pipeWrite), _O_WRONLY | _O_TEXT);
    if (pipeDescriptor < 0) {
        CloseHandle(pipeRead);
        CloseHandle(pipeWrite);
        CloseHandle(console);
        return;
    }
    std::fflush(stream);
    slot->savedDescriptor = _dup(descriptor);
    if (_dup2(pipeDescriptor, descriptor) != 0) {
        _close(pipeDescriptor);
        CloseHandle(pipeRead);
        CloseHandle(console);
        if (slot->savedDescriptor >= 0) _close(slot->savedDescriptor);
        slot->savedDescriptor = -1;
        return;
    }
    _close(pipeDescriptor);
    // A stream that had no handle at start is marked closed (descriptor -2)
    // by some C libraries; give it its descriptor back.
    if (_fileno(stream) < 0) stream->_file = descriptor;
    slot->stream = stream;
    slot->descriptor = descriptor;
    slot->console = console;
    slot->pipeRead = pipeRead;
    slot->thread = CreateThread(nullptr, 0, forwardToConsole, slot, 0, nullptr);
    if (!slot->thread) {
        // Nobody would read the pipe: back to the stream as it was.
        disconnect(slot);
    }
}

// Ends the forwarding: the pipe's last writer goes, the thread writes what
// is left and ends.
void disconnect(ConsoleStream *slot) {
    if (!slot->stream) return;
    std::fflush(slot->stream);
    if (slot->savedDescriptor >= 0) {
        _dup2(slot->savedDescriptor, slot->descriptor);
        _close(slot->savedDescriptor);
    } else {
        _close(slot->descriptor);
    }
    if (slot->thread) {
        WaitForSingleObject(slot->thread, INFINITE);
        CloseHandle(slot->thread);
    }
    CloseHandle(slot->pipeRead);
    CloseHandle(slot->console);
    *slot = ConsoleStream{};
}

// True when a console can be reached by name: the process is attached to one.
bool consoleReachable() {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return false;
    CloseHandle(console);
    return true;
}

} // namespace

bool attachConsole() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    // Access denied: the process has a console already, handed down by the
    // program that started it; unless none can be reached, as for a 32-bit
    // program that Wine starts without a terminal (its process parameters
    // name a console that is not there).
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && (GetLastError() != ERROR_ACCESS_DENIED || !consoleReachable()))
        return false;
    connectToConsole(&consoleStreams[0], stdout, 1, output);
    connectToConsole(&consoleStreams[1], stderr, 2, error);
    return true;
}

void detachConsole() {
    disconnect(&consoleStreams[0]);
    disconnect(&consoleStreams[1]);
    FreeConsole();
}
