// File operations on POSIX systems.
#include "data/file_system.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <cstdlib>

const char PATH_SEPARATOR = '/';

std::FILE *openFileForReading(const char *path, FileOpenOutcome *outcome) {
    // Without O_NONBLOCK, opening a pipe would wait for a writer for ever.
    // Reads of an ordinary file do not heed it, and only those are read.
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        *outcome = errno == ENOENT ? FILE_MISSING : FILE_UNREADABLE;
        return nullptr;
    }
    std::FILE *file = fdopen(descriptor, "rb");
    if (!file) {
        close(descriptor);
        *outcome = FILE_UNREADABLE;
        return nullptr;
    }
    *outcome = FILE_OPENED;
    // Files are read whole in one read: a stream buffer would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

FileOpenOutcome probeFileForReading(const char *path) {
    if (access(path, R_OK) == 0) return FILE_OPENED;
    return errno == ENOENT ? FILE_MISSING : FILE_UNREADABLE;
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

bool namesSameFile(const char *a, const char *b) { return std::strcmp(a, b) == 0; }

// The file to remove on an interrupt. The handler may use only what is safe
// in a signal handler: the path is in place before the flag says so (the
// release store orders the copy before it, the handler's acquire load the
// reads after it), and only the thread that arms it takes the signals.
static char interruptedPath[4096];
static std::atomic<int> interruptArmed{0};
static_assert(std::atomic<int>::is_always_lock_free, "the flag is read in a signal handler");
static bool handlersInstalled = false;
static const int INTERRUPT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

static void removeAndEnd(int signalNumber) {
    if (interruptArmed.load(std::memory_order_acquire)) unlink(interruptedPath);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void blockInterruptsOnThisThread() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signalNumber : INTERRUPT_SIGNALS) sigaddset(&blocked, signalNumber);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
}

void removeOnInterrupt(const char *path) {
    interruptArmed.store(0, std::memory_order_release);
    std::size_t length = std::strlen(path);
    if (length >= sizeof interruptedPath) return;
    std::memcpy(interruptedPath, path, length + 1);
    if (!handlersInstalled) {
        handlersInstalled = true;
        for (int signalNumber : INTERRUPT_SIGNALS) {
            struct sigaction action = {};
            struct sigaction previous = {};
            sigaction(signalNumber, nullptr, &previous);
            if (previous.sa_handler == SIG_IGN) continue; // keep what the parent chose
            action.sa_handler = removeAndEnd;
            sigemptyset(&action.sa_mask);
            sigaction(signalNumber, &action, nullptr);
        }
    }
    interruptArmed.store(1, std::memory_order_release);
}

void releaseOnInterrupt() { interruptArmed.store(0, std::memory_order_release); }

bool measureRegularFile(std::FILE *file, std::size_t *length) {
    // The end is sought on the descriptor (the stream's seek to the end
    // would ask for the file's status once more), after the stream has
    // written what it holds; the rewind puts the stream and the descriptor
    // back at the start together.
    if (std::fflush(file) != 0) return false;
    int descriptor = fileno(file);
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    off_t end = lseek(descriptor, 0, SEEK_END);
    if (end < 0) return false;
    std::rewind(file);
    *length = static_cast<std::size_t>(end);
    return true;
}
