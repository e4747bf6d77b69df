// The file operations that differ between operating systems. File names
// are UTF-8 text; each platform turns them into its own form.
#pragma once

#include <cstddef>
#include <cstdio>

// The character between a folder's name and a file's name.
extern const char PATH_SEPARATOR;

// What became of an attempt to open an existing file.
enum FileOpenOutcome {
    FILE_OPENED,     // the file is open
    FILE_MISSING,    // nothing stands under that name
    FILE_UNREADABLE, // something stands there that cannot be opened for reading
};

// Opens an existing file for reading in byte mode ("rb"). Null, with the
// reason in *outcome, when it cannot. Never waits for a writer (a pipe that
// stands under the name is opened at once and then fails to be read whole).
std::FILE *openFileForReading(const char *path, FileOpenOutcome *outcome);

// What openFileForReading would find at `path` now, without opening it:
// FILE_OPENED when a file stands there that may be read.
FileOpenOutcome probeFileForReading(const char *path);

// Creates a new file with a unique name beginning with `prefix` inside
// `folder`, exclusively (it never opens a file that existed), and opens it
// for reading and writing in byte mode. Its path goes to `path`. Null, with
// nothing created, when that fails.
std::FILE *createTemporaryFile(const char *folder, const char *prefix, char *path,
                               std::size_t pathSize);

// Empties an open file and puts its position at its start.
bool truncateFile(std::FILE *file);

// Moves the file `from` to `to` in one step, replacing a file that stands
// there: a reader sees either the old file or the new one, never a part.
bool replaceFile(const char *from, const char *to);

// Removes a file. False when it could not be removed.
bool removeFile(const char *path);

// True when `path` names an existing folder.
bool folderExists(const char *path);

// True when the platform takes `name` as the name of an ordinary file in a
// folder. The portable rules (not empty, no separator, not "." or "..") are
// checked by the caller; this adds the platform's own.
bool isPlatformFileName(const char *name);

// True when the platform takes the file names `a` and `b` for the same
// file: byte for byte on POSIX systems; on Windows also in another case of
// the ASCII letters (enough for the fixed names it is asked about).
bool namesSameFile(const char *a, const char *b);

// Makes `path` (a temporary file) go away if the process is interrupted
// (Ctrl+C, a request to end it) before releaseOnInterrupt: so an interrupted
// download leaves nothing behind. One file at a time; a later call replaces
// the earlier one.
void removeOnInterrupt(const char *path);
void releaseOnInterrupt();

// Keeps those interrupts off the calling thread (a worker thread), so that
// the clean-up runs on the thread that arms it.
void blockInterruptsOnThisThread();

// The length of an open file that is an ordinary file on disk, taken by
// seeking to its end and reading the position; the file is rewound after.
// False when it is no such file or the length cannot be had.
bool measureRegularFile(std::FILE *file, std::size_t *length);

// Reads the whole open file: takes its length, rewinds, and reads it in one
// read into a new block of length + 1 bytes, the text ending with a zero
// byte right after what was read (as in a zero-filled block). The block belongs
// to the caller (free with std::free). Returns 0 when the whole file was
// read, 1 after a short read (the block is still handed over), -1 when it
// is no regular file or no block could be had (nothing handed over).
int readWholeFile(std::FILE *file, char **text, std::size_t *length);
