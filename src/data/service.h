// The web service as every platform's HTTP client addresses it: its base
// address, the client's name, the transfer time limit, the escaping of
// request addresses, and the rules for what an answer may be.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

struct FetchWatch;

// The User-Agent header of every request.
extern const char USER_AGENT[];

// Whole-transfer time limit in seconds, redirects included. Read when the
// client opens; tests lower it before opening the client.
extern long httpTimeoutSeconds;

// The limit that a client opened now uses: httpTimeoutSeconds, or less when
// the environment variable CORVANEDB_TIMEOUT (whole seconds) asks for less.
long transferTimeLimit();

// The web service's base address: CORVANEDB_URL when set, else the address
// fixed at build time. No trailing slash. A generation takes it once, at its
// start.
std::string serviceBaseAddress();

// Copies url into buffer with every blank replaced by "%20" and nothing else
// changed. False when the result with its terminator does not fit.
bool escapeBlanks(const char *url, char *buffer, std::size_t bufferSize);

// Redirects that one request may follow; one more fails it.
constexpr int MAX_REDIRECTS = 10;

// A rate-limited request (429 or 503) is asked again at most this often, and
// only when its Retry-After asks for at most MAX_RETRY_AFTER_SECONDS.
constexpr int MAX_RATE_LIMIT_RETRIES = 2;
constexpr long MAX_RETRY_AFTER_SECONDS = 30;

// The seconds that a Retry-After header's value (`length` bytes) asks for
// when they may be waited: delta-seconds (digits, blanks around them) of at
// most MAX_RETRY_AFTER_SECONDS. -1 for anything else, an HTTP-date among
// them: a wait that depends on two clocks agreeing is not taken.
long retryAfterSeconds(const char *value, std::size_t length);

// What one request's answer was, as far as the rules below need it.
struct AnswerHead {
    long status = 0;      // the final answer's HTTP status
    long retryAfter = -1; // retryAfterSeconds of its Retry-After, or -1
};

// One answer's decoded body as it arrives: each piece is counted against
// the watch's limit, and kept only when the answer's status is 2xx.
struct AnswerCount {
    std::size_t received = 0; // decoded bytes of this answer so far
};
enum PieceFate {
    PIECE_KEPT,    // goes to the caller (the watch's `arriving` agreed)
    PIECE_DROPPED, // belongs to an answer that is no document: not kept
    PIECE_REFUSED, // the answer is too long, or `arriving` said no: the transfer fails
};
PieceFate admitPiece(FetchWatch &watch, long status, std::size_t size, AnswerCount *count);

// Asks one request through `ask` (true when the transfer completed, with
// what it answered in *head) and, while the answer is a rate limit that may
// be waited on, waits through `pause` (false: cancelled) and asks again, at
// most MAX_RATE_LIMIT_RETRIES times. True when the last request completed.
bool askWithinRateLimits(const std::function<bool(AnswerHead *head)> &ask,
                         const std::function<bool(long seconds)> &pause, FetchWatch &watch);
