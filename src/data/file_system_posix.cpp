// File operations on POSIX systems.
#include "data/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <cstdlib>

const char PATH_SEPARATOR = '/';

std::FILE *openFileForReading(const char *path, FileOpenOutcome *outcome) {
    std::FILE *file = std::fopen(path, "rb");
    *outcome = file ? FILE_OPENED : errno == ENOENT ? FILE_MISSING : FILE_UNREADABLE;
    // Files are read whole in one read: a stream buffer would only copy.
    if (file) std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

std::FILE *createTemporaryFile(const char *folder, const char *prefix, char *path,
                               std::size_t pathSize) {
    int length = std::snprintf(path, pathSize, "%s/%sXXXXXX", folder, prefix);
    if (length < 0 || static_cast<std::size_t>(length) >= pathSize) return nullptr;
    int descriptor = mkstemp(path);
    if (descriptor < 0) return nullptr;
    std::FILE *file = fdopen(descriptor, "wb+");
    if (!file) {
        close(descriptor);
        unlink(path);
    }
    return file;
}

bool truncateFile(std::FILE *file) {
    if (std::fflush(file) != 0) return false;
    if (ftruncate(fileno(file), 0) != 0) return false;
    std::rewind(file);
    return true;
}

bool replaceFile(const char *from, const char *to) { return std::rename(from, to) == 0; }

bool removeFile(const char *path) { return unlink(path) == 0; }

bool folderExists(const char *path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool isPlatformFileName(const char *) { return true; }

// The file to remove on an interrupt. The handler may use only what is safe
// in a signal handler: the path is in place before the flag says so.
static char interruptedPath[4096];
static volatile std::sig_atomic_t interruptArmed = 0;
static bool handlersInstalled = false;

static void removeAndEnd(int signalNumber) {
    if (interruptArmed) unlink(interruptedPath);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void removeOnInterrupt(const char *path) {
    interruptArmed = 0;
    std::size_t length = std::strlen(path);
    if (length >= sizeof interruptedPath) return;
    std::memcpy(interruptedPath, path, length + 1);
    if (!handlersInstalled) {
        handlersInstalled = true;
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction action = {};
            struct sigaction previous = {};
            sigaction(signalNumber, nullptr, &previous);
            if (previous.sa_handler == SIG_IGN) continue; // keep what the parent chose
            action.sa_handler = removeAndEnd;
            sigemptyset(&action.sa_mask);
            sigaction(signalNumber, &action, nullptr);
        }
    }
    interruptArmed = 1;
}

void releaseOnInterrupt() { interruptArmed = 0; }

bool measureRegularFile(std::FILE *file, std::size_t *length) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    long end = std::ftell(file);
    if (end < 0) return false;
    std::rewind(file);
    *length = static_cast<std::size_t>(end);
    return true;
}
