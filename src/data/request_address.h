// The service's request addresses: the two that the store sends for a name,
// and the escaping of every address, one rule for each set of bytes escaped.
#pragma once

#include <cstddef>
#include <string>

// The longest item name that the system takes, in bytes: a material row's
// name field holds it and its terminator, and a search text holds it escaped.
constexpr std::size_t MAX_ITEM_NAME_LENGTH = 99;

// Room for a request address with its terminator.
constexpr std::size_t WORK_BUFFER_SIZE = 1000;

// The bytes that an escape writes as %XX (upper-case hex); all others stay.
enum AddressEscape {
    ESCAPE_SEARCH_TEXT, // all but A-Z, a-z, 0-9, '-', '_', '.', '~': a name as search text
    ESCAPE_BLANKS,      // the blank alone: what both clients do to the address they are given
    ESCAPE_NON_ASCII,   // bytes up to the blank and from 0x7F on: WinHTTP sends only ASCII as given
};

// Writes `text` escaped by `rule` into buffer. False when the result with
// its terminator does not fit bufferSize bytes.
bool escapeAddress(const char *text, AddressEscape rule, char *buffer, std::size_t bufferSize);
std::string escapeAddress(const std::string &text, AddressEscape rule);

// The search address for `name` at the service `base` (false also when the
// escaped name is longer than MAX_ITEM_NAME_LENGTH escaped bytes may be), and
// the address of item `itemId`'s document. False when it does not fit `size`
// bytes.
bool formSearchAddress(const char *base, const char *name, char *address, std::size_t size);
bool formItemAddress(const char *base, int itemId, char *address, std::size_t size);
