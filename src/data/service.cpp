// The service address, the client's name, the time limit and escaping.
#include "data/service.h"

#include <cstdlib>
#include <cstring>
#include <string>

#ifndef CORVANEDB_DEFAULT_URL
#define CORVANEDB_DEFAULT_URL "http://127.0.0.1:8765"
#endif

const char USER_AGENT[] =
    "Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/67.0.3396.62 Safari/537.36";

long httpTimeoutSeconds = 30;

// A shorter limit from CORVANEDB_TIMEOUT (whole seconds, 1 to 30), so that a
// stalled service can be tried out without waiting half a minute.
long transferTimeLimit() {
    const char *text = std::getenv("CORVANEDB_TIMEOUT");
    long seconds = text ? std::strtol(text, nullptr, 10) : 0;
    return seconds >= 1 && seconds < httpTimeoutSeconds ? seconds : httpTimeoutSeconds;
}

std::string serviceBaseAddress() {
    const char *configured = std::getenv("CORVANEDB_URL");
    std::string address = configured && *configured ? configured : CORVANEDB_DEFAULT_URL;
    while (!address.empty() && address.back() == '/') address.pop_back();
    return address;
}

bool escapeBlanks(const char *url, char *buffer, std::size_t bufferSize) {
    std::size_t used = 0;
    for (const char *c = url; *c; ++c) {
        const char *piece = *c == ' ' ? "%20" : nullptr;
        std::size_t length = piece ? 3 : 1;
        if (used + length + 1 > bufferSize) return false;
        if (piece)
            std::memcpy(buffer + used, piece, 3);
        else
            buffer[used] = *c;
        used += length;
    }
    buffer[used] = '\0';
    return true;
}
