// The request addresses and their escaping.
#include "data/request_address.h"

#include <cstdio>

static bool escapes(unsigned char c, AddressEscape rule) {
    switch (rule) {
    case ESCAPE_SEARCH_TEXT:
        return !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~');
    case ESCAPE_BLANKS: return c == ' ';
    case ESCAPE_NON_ASCII: return c <= 0x20 || c >= 0x7F;
    }
    return false;
}

static const char HEX[] = "0123456789ABCDEF";

bool escapeAddress(const char *text, AddressEscape rule, char *buffer, std::size_t bufferSize) {
    std::size_t used = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
        bool escaped = escapes(*c, rule);
        if (used + (escaped ? 3 : 1) + 1 > bufferSize) return false;
        if (escaped) {
            buffer[used++] = '%';
            buffer[used++] = HEX[*c >> 4];
            buffer[used++] = HEX[*c & 15];
        } else {
            buffer[used++] = static_cast<char>(*c);
        }
    }
    buffer[used] = '\0';
    return true;
}

std::string escapeAddress(const std::string &text, AddressEscape rule) {
    std::string escaped;
    for (unsigned char c : text) {
        if (escapes(c, rule)) {
            escaped += '%';
            escaped += HEX[c >> 4];
            escaped += HEX[c & 15];
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

bool formSearchAddress(const char *base, const char *name, char *address, std::size_t size) {
    char encoded[MAX_ITEM_NAME_LENGTH * 3 + 1];
    if (!escapeAddress(name, ESCAPE_SEARCH_TEXT, encoded, sizeof encoded)) return false;
    int length = std::snprintf(address, size, "%s/api/search.php?text=%s&lang=en", base, encoded);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

bool formItemAddress(const char *base, int itemId, char *address, std::size_t size) {
    int length = std::snprintf(address, size, "%s/db/doc/item/en/3/%d.json", base, itemId);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}
