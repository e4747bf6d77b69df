// File operations on Windows: UTF-8 names turned into UTF-16 for the W
// functions, exclusive creation, replacement in one step, and Windows' own
// rules for what a file name may be.
#include "data/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/utf16_win.h"

const char PATH_SEPARATOR = '\\';

// The system's form of a path: UTF-16, and when the full path (a relative
// one joined to the working folder) is beyond the classic limit of MAX_PATH,
// the full path with the \\?\ prefix, which the W functions take up to
// 32767 characters. False when the path is no valid UTF-8.
static bool systemPath(const char *path, std::wstring *wide) {
    if (!utf8ToUtf16(path, wide)) return false;
    for (wchar_t &c : *wide)
        if (c == L'/') c = L'\\';
    if (wide->rfind(L"\\\\?\\", 0) == 0) return true;
    DWORD needed = GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    if (needed < MAX_PATH - 12) return true; // room for a temporary file's longer name
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(wide->c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return false;
    full.resize(length);
    if (full.rfind(L"\\\\?\\", 0) == 0)
        *wide = full;
    else if (full.rfind(L"\\\\", 0) == 0)
        *wide = L"\\\\?\\UNC\\" + full.substr(2);
    else
        *wide = L"\\\\?\\" + full;
    return true;
}

// A stdio stream over an open file handle; the handle is closed when no
// stream can be made.
static std::FILE *streamOf(HANDLE handle, int flags, const char *mode) {
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *file = _fdopen(descriptor, mode);
    if (!file) _close(descriptor);
    return file;
}

std::FILE *openFileForReading(const char *path, FileOpenOutcome *outcome) {
    *outcome = FILE_UNREADABLE;
    std::wstring wide;
    if (!systemPath(path, &wide)) return nullptr;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) *outcome = FILE_MISSING;
        return nullptr;
    }
    // Only a file on disk: a name that reaches a device or a pipe is not
    // read as if it were a document.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *file = streamOf(handle, _O_RDONLY, "rb");
    if (file) {
        *outcome = FILE_OPENED;
        // Files are read whole in one read: a stream buffer would only copy.
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

FileOpenOutcome probeFileForReading(const char *path) {
    std::wstring wide;
    if (!systemPath(path, &wide)) return FILE_UNREADABLE;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FILE_MISSING
                                                                               : FILE_UNREADABLE;
    }
    // A folder does not open as a file. (A file that its access rights keep
    // closed still counts as opened here; the store's own open finds out.)
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? FILE_UNREADABLE : FILE_OPENED;
}

// Six characters for a temporary name that no other name of this process
// had, and that another process is unlikely to be using.
static std::string uniqueSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t value = (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
    value ^= GetTickCount64() * 0xC2B2AE3D27D4EB4Full;
    value ^= static_cast<std::uint64_t>(GetCurrentProcessId()) << 32;
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix += LETTERS[value % 36];
        value /= 36;
    }
    return suffix;
}

std::FILE *createTemporaryFile(const char *folder, const char *prefix, char *path,
                               std::size_t pathSize) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        int length = std::snprintf(path, pathSize, "%s%c%s%s", folder, PATH_SEPARATOR, prefix,
                                   uniqueSuffix().c_str());
        if (length < 0 || static_cast<std::size_t>(length) >= pathSize) return nullptr;
        std::wstring wide;
        if (!systemPath(path, &wide)) return nullptr;
        // Deleting is shared: an interrupt removes the file while it is open.
        HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return nullptr;
        }
        std::FILE *file = streamOf(handle, _O_RDWR, "w+b");
        if (!file) DeleteFileW(wide.c_str());
        return file;
    }
    return nullptr;
}

bool truncateFile(std::FILE *file) {
    if (std::fflush(file) != 0) return false;
    std::rewind(file);
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && SetEndOfFile(handle);
}

bool replaceFile(const char *from, const char *to) {
    std::wstring source, target;
    if (!systemPath(from, &source) || !systemPath(to, &target)) return false;
    // Another program (a virus scanner, an indexer) may hold the old file
    // open for a moment: try a few times before giving up.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (attempt == 4 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
            return false;
        Sleep(20);
    }
}

bool removeFile(const char *path) {
    std::wstring wide;
    return systemPath(path, &wide) && DeleteFileW(wide.c_str());
}

bool folderExists(const char *path) {
    std::wstring wide;
    if (!systemPath(path, &wide)) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The file that an interrupt removes, in the system's form, and whether one
// is armed. The console's control handler runs on a thread of its own.
static wchar_t interruptedPath[32768];
static std::atomic<bool> interruptArmed{false};

// Ctrl+C, Ctrl+Break, the console window closing, the user logging off:
// the file goes, then the next handler (the system's) ends the process.
static BOOL WINAPI removeAndEnd(DWORD) {
    if (interruptArmed.exchange(false)) DeleteFileW(interruptedPath);
    return FALSE;
}

void removeOnInterrupt(const char *path) {
    static bool handlerInstalled = false;
    interruptArmed = false;
    std::wstring wide;
    if (!systemPath(path, &wide) || wide.size() >= sizeof interruptedPath / sizeof *interruptedPath)
        return;
    std::copy(wide.c_str(), wide.c_str() + wide.size() + 1, interruptedPath);
    if (!handlerInstalled) handlerInstalled = SetConsoleCtrlHandler(removeAndEnd, TRUE);
    interruptArmed = true;
}

void releaseOnInterrupt() { interruptArmed = false; }

// The console's control handler has a thread of its own: nothing to keep
// off other threads.
void blockInterruptsOnThisThread() {}

static char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// True when `base` (a name up to its first dot, trailing blanks removed)
// names a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9,
// also with a superscript 1, 2 or 3 as the digit, in any letter case.
static bool isDeviceName(const std::string &base) {
    std::string upper;
    for (char c : base) upper += upperAscii(c);
    for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == device) return true;
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
        return false;
    std::string digit = upper.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

bool isPlatformFileName(const char *name) {
    std::wstring wide;
    if (!utf8ToUtf16(name, &wide) || wide.empty()) return false;
    for (const char *c = name; *c; ++c) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || std::strchr("<>:\"/\\|?*", byte)) return false;
    }
    // Windows drops a trailing dot or blank, so such a name would be
    // another file's.
    char last = name[std::strlen(name) - 1];
    if (last == '.' || last == ' ') return false;
    std::string base(name, std::strcspn(name, "."));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    return !isDeviceName(base);
}

bool namesSameFile(const char *a, const char *b) {
    for (; *a && upperAscii(*a) == upperAscii(*b); ++a, ++b) {
    }
    return upperAscii(*a) == upperAscii(*b);
}

bool measureRegularFile(std::FILE *file, std::size_t *length) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    long long end = _ftelli64(file);
    if (end < 0 || static_cast<unsigned long long>(end) >= SIZE_MAX) return false;
    std::rewind(file);
    *length = static_cast<std::size_t>(end);
    return true;
}
