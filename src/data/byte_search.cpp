// Byte search anchored on the needle's rarest byte: the key texts begin with
// a quote and hold colons and commas, the commonest bytes of a document,
// but also a letter that is rare in it ('j' of "job":, 'q' of "equip":).
// memchr runs to each place of that byte, and only there is the whole key
// compared.
#include "data/byte_search.h"

#include <cstring>

// How common each byte is in a document: punctuation of JSON and blanks,
// digits, then the letters of English text by their frequency (e t a o i n
// s h r d l u c m f w y p v b g k j q x z, capitals a little rarer); other
// bytes count as rare.
struct ByteCommonness {
    unsigned char rank[256];
    constexpr ByteCommonness() : rank() {
        const char byFrequency[] = "etaoinshrdlucmfwypvbgkjqxz";
        for (int i = 0; byFrequency[i]; ++i) {
            rank[static_cast<unsigned char>(byFrequency[i])] = static_cast<unsigned char>(60 - 2 * i);
            rank[static_cast<unsigned char>(byFrequency[i] - 32)] = static_cast<unsigned char>(59 - 2 * i);
        }
        for (char c = '0'; c <= '9'; ++c) rank[static_cast<unsigned char>(c)] = 90;
        const char punctuation[] = "\":, {}[]";
        for (int i = 0; punctuation[i]; ++i) rank[static_cast<unsigned char>(punctuation[i])] = 100;
    }
};
static constexpr ByteCommonness COMMONNESS;

const char *findBytes(const char *haystack, std::size_t haystackLength, const char *needle,
                      std::size_t needleLength) {
    if (needleLength == 0) return haystack;
    if (needleLength > haystackLength) return nullptr;
    std::size_t probe = 0;
    for (std::size_t i = 1; i < needleLength; ++i)
        if (COMMONNESS.rank[static_cast<unsigned char>(needle[i])] <
            COMMONNESS.rank[static_cast<unsigned char>(needle[probe])])
            probe = i;
    const char *last = haystack + haystackLength - needleLength + probe; // last place for the probe byte
    for (const char *at = haystack + probe; at <= last; ++at) {
        at = static_cast<const char *>(std::memchr(at, needle[probe], static_cast<std::size_t>(last - at) + 1));
        if (!at) return nullptr;
        const char *start = at - probe;
        if (std::memcmp(start, needle, needleLength) == 0) return start;
    }
    return nullptr;
}
