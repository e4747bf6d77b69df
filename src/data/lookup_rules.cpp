// The store's rules for names, requests and where documents come from.
#include "data/lookup_rules.h"

#include <cstdio>
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

bool percentEncode(const char *name, char *buffer, std::size_t bufferSize) {
    static const char HEX[] = "0123456789ABCDEF";
    std::size_t used = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; ++c) {
        bool plain = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') ||
                     (*c >= '0' && *c <= '9') || *c == '-' || *c == '_' || *c == '.' ||
                     *c == '~';
        std::size_t length = plain ? 1 : 3;
        if (used + length + 1 > bufferSize) return false;
        if (plain) {
            buffer[used] = static_cast<char>(*c);
        } else {
            buffer[used] = '%';
            buffer[used + 1] = HEX[*c >> 4];
            buffer[used + 2] = HEX[*c & 15];
        }
        used += length;
    }
    buffer[used] = '\0';
    return true;
}

bool formSearchAddress(const char *base, const char *name, char *address, std::size_t size) {
    char encoded[MAX_ITEM_NAME_LENGTH * 3 + 1];
    if (!percentEncode(name, encoded, sizeof encoded)) return false;
    int length = std::snprintf(address, size, "%s/api/search.php?text=%s&lang=en", base, encoded);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

bool formItemAddress(const char *base, int itemId, char *address, std::size_t size) {
    int length = std::snprintf(address, size, "%s/db/doc/item/en/3/%d.json", base, itemId);
    return length >= 0 && static_cast<std::size_t>(length) < size;
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
