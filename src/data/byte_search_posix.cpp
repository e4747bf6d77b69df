// Byte search with the C library's memmem.
#include "data/byte_search.h"

#include <string.h>

const char *findBytes(const char *haystack, std::size_t haystackLength, const char *needle,
                      std::size_t needleLength) {
    return static_cast<const char *>(memmem(haystack, haystackLength, needle, needleLength));
}
