// Substring reading of documents: find a fixed key text in a region and take
// the value behind it up to a delimiter. No parsing; documents never change.
#pragma once

#include <cstddef>

// A region of a document, [begin, end). A key matches only when it lies
// wholly inside the region, as if the text were cut at `end`.
struct TextRegion {
    const char *begin;
    const char *end;
};

// Size of the scratch buffer into which a value is copied before use.
constexpr std::size_t VALUE_BUFFER_SIZE = 1000;

// The whole zero-terminated text as a region.
TextRegion regionOfText(const char *text);

// First occurrence of key at or after `from` inside the region, or null.
const char *findInRegion(TextRegion region, const char *from, const char *key);

// First occurrence of key inside the region, or null.
inline const char *findInRegion(TextRegion region, const char *key) {
    return findInRegion(region, region.begin, key);
}

// First character c at or after `from` inside the region, or null.
const char *findCharInRegion(TextRegion region, const char *from, char c);

// Reads the value behind the first `key` found at or after `from` in the
// region, up to (not including) the first `delimiter` at or after the
// value's start in the same region. Copies at most valueSize - 1 bytes of it
// into `value` (terminated). Returns false, with `value` empty, when the key
// or the delimiter is missing.
bool readValue(TextRegion region, const char *from, const char *key, char delimiter,
               char *value, std::size_t valueSize);

// Base-10 conversion as strtol does it (leading blanks and a sign accepted,
// stops at the first non-digit, no digits give 0), clamped to 32 bits.
int convertNumber(const char *text);
