// Files of the cache folder: cache paths, and downloads that land in a
// temporary file and replace a cache file only when complete.
#pragma once

#include <cstddef>
#include <cstdio>

// The cache folder, relative to the current directory. Never created here.
extern const char CACHE_FOLDER[];

// The core data's file in the cache folder: no item may have its name.
extern const char CORE_DATA_FILE[];

// Room for a cache path with its terminator.
constexpr std::size_t PATH_BUFFER_SIZE = 1000;

// True when name can be an item's file directly inside the cache folder:
// not empty, not "." or "..", without '/' or '\\', without a control byte
// (below 0x20 but the tab, or 0x7F: it would reach a terminal through the
// messages), not the core data's file (in the platform's letter case), and
// a name the platform takes for an ordinary file.
bool isPlainFileName(const char *name);

// Forms "cache<separator><name>" into path. False when it does not fit.
bool formCachePath(const char *name, char *path, std::size_t pathSize);

// True when the cache folder exists as a folder.
bool cacheFolderExists();

// A download in progress: a new, uniquely named file in the cache folder,
// open for reading and writing.
struct CacheDownload {
    std::FILE *file;                    // null when none is open
    char temporaryPath[PATH_BUFFER_SIZE];
};

// Creates the temporary file. False (nothing created) when that fails.
bool openCacheDownload(CacheDownload *download);

// Empties the temporary file and puts its position at the start.
bool rewindCacheDownload(CacheDownload *download);

// Closes the file and moves it to finalPath, replacing what stood there.
// False when writing or moving failed; the temporary file is then removed.
bool commitCacheDownload(CacheDownload *download, const char *finalPath);

// Closes and removes the temporary file, if one is open.
void discardCacheDownload(CacheDownload *download);
