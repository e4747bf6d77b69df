// Region-bounded substring search and value reading over document texts.
#include "data/text_reader.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "data/byte_search.h"

TextRegion regionOfText(const char *text) {
    return TextRegion{text, text + std::strlen(text)};
}

const char *findInRegion(TextRegion region, const char *from, const char *key) {
    if (from < region.begin || from > region.end) return nullptr;
    // A search for the whole key rather than a scan for the first character: every key begins
    // with a quote, the most frequent character of a document.
    return findBytes(from, static_cast<std::size_t>(region.end - from), key, std::strlen(key));
}

const char *findCharInRegion(TextRegion region, const char *from, char c) {
    if (from < region.begin || from >= region.end) return nullptr;
    const void *at = std::memchr(from, c, static_cast<std::size_t>(region.end - from));
    return static_cast<const char *>(at);
}

bool readValue(TextRegion region, const char *from, const char *key, char delimiter,
               char *value, std::size_t valueSize) {
    value[0] = '\0';
    const char *keyAt = findInRegion(region, from, key);
    if (!keyAt) return false;
    const char *start = keyAt + std::strlen(key);
    const char *stop = findCharInRegion(region, start, delimiter);
    if (!stop) return false;
    std::size_t length = static_cast<std::size_t>(stop - start);
    if (length > valueSize - 1) length = valueSize - 1;
    std::memcpy(value, start, length);
    value[length] = '\0';
    return true;
}

int convertNumber(const char *text) {
    errno = 0;
    long long number = std::strtoll(text, nullptr, 10);
    if (number > INT_MAX) return INT_MAX;
    if (number < INT_MIN) return INT_MIN;
    return static_cast<int>(number);
}
