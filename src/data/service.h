// The web service as every platform's HTTP client addresses it: its base
// address, the client's name, the transfer time limit, the rules for what an
// answer may be, and what a caller learns of one fetch.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// The most decoded bytes an answer may have: a search answer or item document, and the core data.
constexpr std::size_t MAX_ANSWER_BYTES = 16u << 20;
constexpr std::size_t MAX_CORE_DATA_BYTES = 256u << 20;

// What a caller learns of, and may do to, one fetch besides its body.
struct FetchWatch {
    std::size_t maxBytes = MAX_ANSWER_BYTES;          // decoded bytes past which the transfer fails
    // Called (on the fetching thread) before each piece of decoded body is kept, with its size;
    // it may wait; false fails the transfer. Null: nothing is called.
    std::function<bool(std::size_t)> arriving;
    bool rateLimited = false;                          // out: a 429 or 503 was waited on and asked again
    // Called (on the fetching thread) as a rate limit's wait begins. Null: nothing is called.
    std::function<void()> limited;
};

// The User-Agent header of every request.
extern const char USER_AGENT[];

// The whole-transfer time limit in seconds, redirects included: 30 at
// process start. Read when the client opens.
void setTransferTimeLimit(long seconds);

// The limit that a client opened now uses: the one set, or less when the
// environment variable CORVANEDB_TIMEOUT (whole seconds) asks for less.
long transferTimeLimit();

// The web service's base address: CORVANEDB_URL when set, else the address
// fixed at build time. No trailing slash. A generation takes it once, at its
// start.
std::string serviceBaseAddress();

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
