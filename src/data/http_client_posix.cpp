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

#include <cstdlib>
#include <mutex>
#include <string>

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

// The eight options of every client, in this order, and the one that a
// process with threads needs.
void setClientOptions(CURL *client) {
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
}

// The process's client, made on its first use; null when it cannot be had.
CURL *processClient() {
    std::lock_guard<std::mutex> held(clientLock);
    if (!clientOpen || !ensureLibrary()) return nullptr;
    if (!httpClientMade) {
        httpClientMade = true;
        httpClient = curl.easyInit();
        if (httpClient) setClientOptions(httpClient);
    }
    return httpClient;
}

} // namespace

void openHttpClient() {
    std::lock_guard<std::mutex> held(clientLock);
    clientOpen = true;
    httpClientMade = false;
}

bool fetchToFile(const char *url, std::FILE *file) {
    char *escaped = static_cast<char *>(std::malloc(ESCAPE_BUFFER_SIZE));
    bool completed = false;
    CURL *client = escaped ? processClient() : nullptr;
    if (client && escapeBlanks(url, escaped, ESCAPE_BUFFER_SIZE)) {
        curl.easySetopt(client, CURLOPT_URL, escaped);
        curl.easySetopt(client, CURLOPT_WRITEDATA, file);
        completed = curl.easyPerform(client) == CURLE_OK;
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
    CURLM *transfers;  // runs the client's transfer; woken by wakeHttpConnection
    std::string *body; // where the running transfer writes
};

static std::size_t appendToBody(char *data, std::size_t size, std::size_t count, void *context) {
    static_cast<HttpConnection *>(context)->body->append(data, size * count);
    return size * count;
}

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
    auto *connection = new HttpConnection{client, transfers, nullptr};
    setClientOptions(client);
    curl.easySetopt(client, CURLOPT_WRITEFUNCTION, appendToBody);
    curl.easySetopt(client, CURLOPT_WRITEDATA, connection);
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

bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel) {
    body->clear();
    char escaped[ESCAPE_BUFFER_SIZE];
    if (!connection || !escapeBlanks(url, escaped, sizeof escaped)) return false;
    connection->body = body;
    curl.easySetopt(connection->client, CURLOPT_URL, escaped);
    bool completed = curl.multiAddHandle(connection->transfers, connection->client) == CURLM_OK &&
                     runTransfer(connection, cancel);
    curl.multiRemoveHandle(connection->transfers, connection->client);
    connection->body = nullptr;
    return completed;
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
