// The service address, the client's name, the time limit and the answer rules.
#include "data/service.h"

#include <cstdlib>
#include <string>

#ifndef CORVANEDB_DEFAULT_URL
#define CORVANEDB_DEFAULT_URL "http://127.0.0.1:8765"
#endif

const char USER_AGENT[] =
    "Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/67.0.3396.62 Safari/537.36";

static long httpTimeoutSeconds = 30;

void setTransferTimeLimit(long seconds) { httpTimeoutSeconds = seconds; }

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

long retryAfterSeconds(const char *value, std::size_t length) {
    std::size_t at = 0;
    while (at < length && (value[at] == ' ' || value[at] == '\t')) ++at;
    long seconds = 0;
    std::size_t digits = 0;
    for (; at < length && value[at] >= '0' && value[at] <= '9'; ++at, ++digits) {
        seconds = seconds * 10 + (value[at] - '0');
        if (seconds > MAX_RETRY_AFTER_SECONDS) return -1;
    }
    while (at < length && (value[at] == ' ' || value[at] == '\t' || value[at] == '\r' || value[at] == '\n')) ++at;
    return digits > 0 && at == length ? seconds : -1;
}

PieceFate admitPiece(FetchWatch &watch, long status, std::size_t size, AnswerCount *count) {
    if (size > watch.maxBytes - count->received) return PIECE_REFUSED;
    count->received += size;
    if (status < 200 || status > 299) return PIECE_DROPPED;
    return !watch.arriving || watch.arriving(size) ? PIECE_KEPT : PIECE_REFUSED;
}

bool askWithinRateLimits(const std::function<bool(AnswerHead *head)> &ask,
                         const std::function<bool(long seconds)> &pause, FetchWatch &watch) {
    for (int retries = 0;; ++retries) {
        AnswerHead head;
        if (!ask(&head)) return false;
        bool limited = head.status == 429 || head.status == 503;
        if (!limited || head.retryAfter < 0 || retries == MAX_RATE_LIMIT_RETRIES) return true;
        watch.rateLimited = true;
        if (watch.limited) watch.limited();
        if (!pause(head.retryAfter)) return false;
    }
}
