// The store's rules for names, requests and where documents come from.
#include "data/lookup_rules.h"

#include <cstring>
#include <string>

#include "base/messages.h"
#include "base/result.h"
#include "data/cache_folder.h"

int checkItemNameLength(const char *name, char *errorText) {
    if (std::strlen(name) <= MAX_ITEM_NAME_LENGTH) return RESULT_OK;
    reportFailure(errorText, "Item name too long (more than %zu bytes): [%s...]\n", MAX_ITEM_NAME_LENGTH,
                  shownName(std::string(name, MAX_ITEM_NAME_LENGTH).c_str()).c_str());
    return RESULT_NAME_TOO_LONG;
}

LookupSource lookupSource(FileOpenOutcome cacheFile, bool refreshCache) {
    switch (cacheFile) {
    case FILE_OPENED: return refreshCache ? LOOKUP_DOWNLOAD : LOOKUP_CACHE_FILE;
    case FILE_MISSING: return LOOKUP_DOWNLOAD;
    case FILE_UNREADABLE: return LOOKUP_UNREADABLE;
    }
    return LOOKUP_UNREADABLE;
}

bool cachePathOf(const char *name, char *path) {
    return isPlainFileName(name) && formCachePath(name, path, PATH_BUFFER_SIZE);
}

DownloadRefusal checkDownload(const char *name, const char *base, char *address) {
    if (!isPlainFileName(name)) return DOWNLOAD_NOT_A_FILE_NAME;
    if (!formSearchAddress(base, name, address, WORK_BUFFER_SIZE)) return DOWNLOAD_ADDRESS_TOO_LONG;
    return DOWNLOAD_TAKEN;
}
