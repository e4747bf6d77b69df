// The one HTTP client of the process on POSIX systems: a libcurl easy
// handle, and the download into a file; and the connections of the worker
// threads, each an easy handle in a multi handle of its own, so that
// another thread can wake a running transfer and end it at once.
//
// libcurl, with the thirty libraries it brings, is loaded on the first
// transfer: a run that finds everything in the cache starts without it. The
// client is then made as openHttpClient describes.
#include "data/http_client.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "data/request_address.h"
#include "data/service.h"

namespace {

// The libcurl functions that the client uses, looked up once.
struct CurlFunctions {
    CURLcode (*globalInit)(long flags);
    CURL *(*easyInit)();
    CURLcode (*easySetopt)(CURL *client, CURLoption option, ...);
    CURLcode (*easyPerform)(CURL *client);
    void (*easyCleanup)(CURL *client);
    CURLM *(*multiInit)();
    CURLMcode (*multiAddHandle)(CURLM *transfers, CURL *client);
    CURLMcode (*multiRemoveHandle)(CURLM *transfers, CURL *client);
    CURLMcode (*multiPerform)(CURLM *transfers, int *running);
    CURLMcode (*multiPoll)(CURLM *transfers, struct curl_waitfd *extra, unsigned count, int timeoutMs,
                           int *ready);
    CURLMcode (*multiWakeup)(CURLM *transfers);
    CURLMsg *(*multiInfoRead)(CURLM *transfers, int *left);
    CURLMcode (*multiCleanup)(CURLM *transfers);
};

// The library's file, by its ABI version.
const char CURL_LIBRARY[] = "libcurl.so.4";

std::mutex clientLock; // guards everything below
bool clientOpen = false;   // between openHttpClient and closeHttpClient
bool libraryTried = false; // the library was looked for
bool libraryReady = false; // ... and found, and initialised
CurlFunctions curl{};
CURL *httpClient = nullptr;
bool httpClientMade = false;

template <typename Function>
bool lookUp(void *library, const char *name, Function *function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}

// Loads and initialises libcurl once; false when it cannot be had (every
// transfer then fails). The lock is held.
bool ensureLibrary() {
    if (libraryTried) return libraryReady;
    libraryTried = true;
    // Kept loaded to the end of the process, as a linked library would be.
    void *library = dlopen(CURL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    libraryReady =
        library && lookUp(library, "curl_global_init", &curl.globalInit) &&
        lookUp(library, "curl_easy_init", &curl.easyInit) &&
        lookUp(library, "curl_easy_setopt", &curl.easySetopt) &&
        lookUp(library, "curl_easy_perform", &curl.easyPerform) &&
        lookUp(library, "curl_easy_cleanup", &curl.easyCleanup) &&
        lookUp(library, "curl_multi_init", &curl.multiInit) &&
        lookUp(library, "curl_multi_add_handle", &curl.multiAddHandle) &&
        lookUp(library, "curl_multi_remove_handle", &curl.multiRemoveHandle) &&
        lookUp(library, "curl_multi_perform", &curl.multiPerform) &&
        lookUp(library, "curl_multi_poll", &curl.multiPoll) &&
        lookUp(library, "curl_multi_wakeup", &curl.multiWakeup) &&
        lookUp(library, "curl_multi_info_read", &curl.multiInfoRead) &&
        lookUp(library, "curl_multi_cleanup", &curl.multiCleanup) &&
        curl.globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return libraryReady;
}

// The only schemes that a client speaks, on the first request and on every
// redirect: an answer may not send it to a file, another protocol or
// another program.
const char WEB_PROTOCOLS[] = "http,https";

// What one fetch reads of its answers: the head of the latest, and its
// decoded body, counted and kept or dropped.
struct Reception {
    FetchWatch *watch;
    std::FILE *file;   // where kept bytes go, or null:
    std::string *body; // ... here
    AnswerHead head;
    AnswerCount count;
};

// Each line of each answer's head, redirects' heads too: a status line
// begins a new answer.
std::size_t receiveHeader(char *data, std::size_t size, std::size_t count, void *context) {
    auto *reception = static_cast<Reception *>(context);
    std::size_t length = size * count;
    static const char RETRY_AFTER[] = "retry-after:";
    const std::size_t retryLength = sizeof RETRY_AFTER - 1;
    if (length > 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        reception->head = AnswerHead{};
        reception->count = AnswerCount{};
        const char *at = static_cast<const char *>(std::memchr(data, ' ', length));
        for (int digits = 0; at && ++at < data + length && *at >= '0' && *at <= '9' && digits < 3; ++digits)
            reception->head.status = reception->head.status * 10 + (*at - '0');
    } else if (length > retryLength && strncasecmp(data, RETRY_AFTER, retryLength) == 0) {
        reception->head.retryAfter = retryAfterSeconds(data + retryLength, length - retryLength);
    }
    return length;
}

// Each piece of decoded body. A piece that may not be kept, a write that
// fails and an allocation that fails all fail the transfer (a count other
// than the piece's); nothing is thrown into libcurl.
std::size_t receiveBody(char *data, std::size_t size, std::size_t count, void *context) {
    auto *reception = static_cast<Reception *>(context);
    std::size_t length = size * count;
    try {
        switch (admitPiece(*reception->watch, reception->head.status, length, &reception->count)) {
        case PIECE_REFUSED: return length == 0 ? 1 : 0;
        case PIECE_DROPPED: return length;
        case PIECE_KEPT: break;
        }
        if (reception->file) return std::fwrite(data, 1, length, reception->file);
        reception->body->append(data, length);
        return length;
    } catch (...) {
        return length == 0 ? 1 : 0;
    }
}

// The eight options of every client, in this order, the limits on where it
// may be sent, the one that a process with threads needs, and the readers
// of answers. False when the library refuses a limit: such a client is not
// used.
bool setClientOptions(CURL *client) {
    curl.easySetopt(client, CURLOPT_SSL_VERIFYPEER, 1L);
    curl.easySetopt(client, CURLOPT_SSL_VERIFYHOST, 1L);
    curl.easySetopt(client, CURLOPT_AUTOREFERER, 1L);
    curl.easySetopt(client, CURLOPT_ACCEPT_ENCODING, "");
    curl.easySetopt(client, CURLOPT_TRANSFER_ENCODING, 1L);
    curl.easySetopt(client, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easySetopt(client, CURLOPT_TIMEOUT, transferTimeLimit());
    curl.easySetopt(client, CURLOPT_USERAGENT, USER_AGENT);
    // A process with threads: libcurl must not use signals (for a time-out
    // or against SIGPIPE), which would reach the whole process.
    curl.easySetopt(client, CURLOPT_NOSIGNAL, 1L);
    curl.easySetopt(client, CURLOPT_WRITEFUNCTION, receiveBody);
    curl.easySetopt(client, CURLOPT_HEADERFUNCTION, receiveHeader);
    return curl.easySetopt(client, CURLOPT_PROTOCOLS_STR, WEB_PROTOCOLS) == CURLE_OK &&
           curl.easySetopt(client, CURLOPT_REDIR_PROTOCOLS_STR, WEB_PROTOCOLS) == CURLE_OK &&
           curl.easySetopt(client, CURLOPT_MAXREDIRS, static_cast<long>(MAX_REDIRECTS)) == CURLE_OK;
}

// Sets where the next transfer's answers go.
void receiveInto(CURL *client, Reception *reception) {
    curl.easySetopt(client, CURLOPT_WRITEDATA, reception);
    curl.easySetopt(client, CURLOPT_HEADERDATA, reception);
}

// The process's client, made on its first use; null when it cannot be had.
CURL *processClient() {
    std::lock_guard<std::mutex> held(clientLock);
    if (!clientOpen || !ensureLibrary()) return nullptr;
    if (!httpClientMade) {
        httpClientMade = true;
        httpClient = curl.easyInit();
        if (httpClient && !setClientOptions(httpClient)) {
            curl.easyCleanup(httpClient);
            httpClient = nullptr;
        }
    }
    return httpClient;
}

} // namespace

void openHttpClient() {
    std::lock_guard<std::mutex> held(clientLock);
    clientOpen = true;
    httpClientMade = false;
}

bool fetchToFile(const char *url, std::FILE *file, FetchWatch *watch) {
    FetchWatch defaults;
    Reception reception{watch ? watch : &defaults, file, nullptr, {}, {}};
    char *escaped = static_cast<char *>(std::malloc(ESCAPE_BUFFER_SIZE));
    bool completed = false;
    CURL *client = escaped ? processClient() : nullptr;
    if (client && escapeAddress(url, ESCAPE_BLANKS, escaped, ESCAPE_BUFFER_SIZE)) {
        curl.easySetopt(client, CURLOPT_URL, escaped);
        receiveInto(client, &reception);
        completed = askWithinRateLimits(
            [&](AnswerHead *head) {
                reception.head = AnswerHead{};
                bool done = curl.easyPerform(client) == CURLE_OK;
                *head = reception.head;
                return done;
            },
            [](long seconds) {
                std::this_thread::sleep_for(std::chrono::seconds(seconds));
                return true;
            },
            *reception.watch);
    }
    std::free(escaped);
    return completed;
}

void closeHttpClient() {
    std::lock_guard<std::mutex> held(clientLock);
    if (httpClient) curl.easyCleanup(httpClient);
    httpClient = nullptr;
    httpClientMade = false;
    clientOpen = false;
    // libcurl stays initialised and loaded: a later client (a test's) takes
    // it up again, and the end of the process releases it.
}

struct HttpConnection {
    CURL *client;
    CURLM *transfers; // runs the client's transfer; woken by wakeHttpConnection
};

HttpConnection *openHttpConnection() {
    {
        std::lock_guard<std::mutex> held(clientLock);
        if (!ensureLibrary()) return nullptr;
    }
    CURL *client = curl.easyInit();
    CURLM *transfers = client ? curl.multiInit() : nullptr;
    if (!transfers) {
        if (client) curl.easyCleanup(client);
        return nullptr;
    }
    if (!setClientOptions(client)) {
        curl.multiCleanup(transfers);
        curl.easyCleanup(client);
        return nullptr;
    }
    auto *connection = new HttpConnection{client, transfers};
    // Giving up a transfer does not wait for its name lookup to end.
    curl.easySetopt(client, CURLOPT_QUICK_EXIT, 1L);
    return connection;
}

// Runs the added transfer until it ends or *cancel is set; true when it
// completed.
static bool runTransfer(HttpConnection *connection, const std::atomic<bool> *cancel) {
    for (;;) {
        if (cancel && cancel->load()) return false;
        int running = 0;
        if (curl.multiPerform(connection->transfers, &running) != CURLM_OK) return false;
        if (running == 0) break;
        if (curl.multiPoll(connection->transfers, nullptr, 0, 1000, nullptr) != CURLM_OK) return false;
    }
    int left = 0;
    while (CURLMsg *message = curl.multiInfoRead(connection->transfers, &left))
        if (message->msg == CURLMSG_DONE) return message->data.result == CURLE_OK;
    return false;
}

// Waits `seconds` unless *cancel is set (and the connection woken) first;
// false then.
static bool pauseUnlessCancelled(HttpConnection *connection, long seconds, const std::atomic<bool> *cancel) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (cancel && cancel->load()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        int slice = static_cast<int>(left < 1000 ? left : 1000);
        if (curl.multiPoll(connection->transfers, nullptr, 0, slice, nullptr) != CURLM_OK) return false;
    }
}

bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel, FetchWatch *watch) {
    body->clear();
    char escaped[ESCAPE_BUFFER_SIZE];
    if (!connection || !escapeAddress(url, ESCAPE_BLANKS, escaped, sizeof escaped)) return false;
    FetchWatch defaults;
    Reception reception{watch ? watch : &defaults, nullptr, body, {}, {}};
    curl.easySetopt(connection->client, CURLOPT_URL, escaped);
    receiveInto(connection->client, &reception);
    return askWithinRateLimits(
        [&](AnswerHead *head) {
            reception.head = AnswerHead{};
            bool done = curl.multiAddHandle(connection->transfers, connection->client) == CURLM_OK &&
                        runTransfer(connection, cancel);
            curl.multiRemoveHandle(connection->transfers, connection->client);
            *head = reception.head;
            return done;
        },
        [&](long seconds) { return pauseUnlessCancelled(connection, seconds, cancel); }, *reception.watch);
}

void wakeHttpConnection(HttpConnection *connection) {
    if (connection) curl.multiWakeup(connection->transfers);
}

void closeHttpConnection(HttpConnection *connection) {
    if (!connection) return;
    curl.multiCleanup(connection->transfers);
    curl.easyCleanup(connection->client);
    delete connection;
}
