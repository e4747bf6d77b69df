// The item document store's rules for a name: which names it takes, the
// requests it sends for one, and where it takes a document from. The store
// follows them, and so does fetching ahead, which must never send a request
// that the store would not.
#pragma once

#include <cstddef>

#include "data/file_system.h"

// The longest item name that the system takes, in bytes: a material row's
// name field holds 99 characters and its terminator.
constexpr std::size_t MAX_ITEM_NAME_LENGTH = 99;

// Room for a request address with its terminator.
constexpr std::size_t WORK_BUFFER_SIZE = 1000;

// Refuses a name longer than MAX_ITEM_NAME_LENGTH: prints the message, copies
// it into errorText and returns RESULT_NAME_TOO_LONG; RESULT_OK otherwise.
int checkItemNameLength(const char *name, char *errorText);

// Writes the search text for `name` into buffer: every byte other than
// A-Z, a-z, 0-9, '-', '_', '.', '~' as %XX. False when it does not fit.
bool percentEncode(const char *name, char *buffer, std::size_t bufferSize);

// The search address for `name` at the service `base`, and the address of
// item `itemId`'s document. False when it does not fit `size` bytes.
bool formSearchAddress(const char *base, const char *name, char *address, std::size_t size);
bool formItemAddress(const char *base, int itemId, char *address, std::size_t size);

// Where the store takes the document of a name from, given what became of
// opening its cache file.
enum LookupSource {
    LOOKUP_CACHE_FILE, // the cache file, read as it is
    LOOKUP_DOWNLOAD,   // a search and a download (no cache file, or refreshCache on)
    LOOKUP_UNREADABLE, // something stands there that cannot be read: left alone, an error
};
LookupSource lookupSource(FileOpenOutcome cacheFile, bool refreshCache);

// Why the store refuses to download `name` before it sends anything.
enum DownloadRefusal {
    DOWNLOAD_TAKEN,            // nothing refuses it
    DOWNLOAD_NOT_A_FILE_NAME,  // the name cannot be a file of the cache folder
    DOWNLOAD_ADDRESS_TOO_LONG, // its search address does not fit WORK_BUFFER_SIZE
};
// Checks a download of `name` from the service `base`; on DOWNLOAD_TAKEN the
// search address is in `address` (WORK_BUFFER_SIZE bytes).
DownloadRefusal checkDownload(const char *name, const char *base, char *address);

// The cache path of a name that can be a cache file, into `path`
// (PATH_BUFFER_SIZE bytes). False for a name that cannot.
bool cachePathOf(const char *name, char *path);
