// Searching bytes for bytes, as the document reader does it: for the short
// key texts of documents in long texts.
#pragma once

#include <cstddef>

// The first occurrence of the `needleLength` bytes of `needle` in the
// `haystackLength` bytes of `haystack`, or null; `haystack` for an empty
// needle.
const char *findBytes(const char *haystack, std::size_t haystackLength, const char *needle,
                      std::size_t needleLength);
