// The item document store's rules for a name: which names it takes, the
// requests it sends for one, and where it takes a document from. The store
// follows them, and so does fetching ahead, which must never send a request
// that the store would not.
#pragma once

#include "data/file_system.h"
#include "data/request_address.h"

// Refuses a name longer than MAX_ITEM_NAME_LENGTH: prints the message, copies
// it into errorText and returns RESULT_NAME_TOO_LONG; RESULT_OK otherwise.
int checkItemNameLength(const char *name, char *errorText);

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
