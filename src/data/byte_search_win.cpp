// Byte search on Windows, whose C library has no memmem.
#include "data/byte_search.h"

#include <cstring>

const char *findBytes(const char *haystack, std::size_t haystackLength, const char *needle,
                      std::size_t needleLength) {
    if (needleLength == 0) return haystack;
    if (needleLength > haystackLength) return nullptr;
    // Keys of documents begin with a quote, the commonest byte of a
    // document: look for the key's second byte and check around it.
    std::size_t probe = needleLength > 1 ? 1 : 0;
    const char *end = haystack + haystackLength - needleLength + probe; // last place for the probe byte
    for (const char *at = haystack + probe; at <= end;) {
        at = static_cast<const char *>(std::memchr(at, needle[probe], static_cast<std::size_t>(end - at) + 1));
        if (!at) return nullptr;
        const char *start = at - probe;
        if (std::memcmp(start, needle, needleLength) == 0) return start;
        ++at;
    }
    return nullptr;
}
