// The one HTTP client of the process on POSIX systems: a libcurl easy
// handle, and the download into a file; and the connections of the worker
// threads, each an easy handle in a multi handle of its own, so that
// another thread can wake a running transfer and end it at once.
#include "data/http_client.h"

#include <curl/curl.h>

#include <cstdlib>
#include <string>

#include "data/service.h"

static CURL *httpClient = nullptr;

// The eight options of every client, in this order, and the one that a
// process with threads needs.
static void setClientOptions(CURL *client) {
    curl_easy_setopt(client, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(client, CURLOPT_SSL_VERIFYHOST, 1L);
    curl_easy_setopt(client, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(client, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(client, CURLOPT_TRANSFER_ENCODING, 1L);
    curl_easy_setopt(client, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(client, CURLOPT_TIMEOUT, transferTimeLimit());
    curl_easy_setopt(client, CURLOPT_USERAGENT, USER_AGENT);
    // A process with threads: libcurl must not use signals (for a time-out
    // or against SIGPIPE), which would reach the whole process.
    curl_easy_setopt(client, CURLOPT_NOSIGNAL, 1L);
}

void openHttpClient() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    httpClient = curl_easy_init();
    setClientOptions(httpClient);
}

bool fetchToFile(const char *url, std::FILE *file) {
    char *escaped = static_cast<char *>(std::malloc(ESCAPE_BUFFER_SIZE));
    bool completed = false;
    if (escaped && httpClient && escapeBlanks(url, escaped, ESCAPE_BUFFER_SIZE)) {
        curl_easy_setopt(httpClient, CURLOPT_URL, escaped);
        curl_easy_setopt(httpClient, CURLOPT_WRITEDATA, file);
        completed = curl_easy_perform(httpClient) == CURLE_OK;
    }
    std::free(escaped);
    return completed;
}

void closeHttpClient() {
    if (httpClient) curl_easy_cleanup(httpClient);
    httpClient = nullptr;
    curl_global_cleanup();
}

struct HttpConnection {
    CURL *client;
    CURLM *transfers; // runs the client's transfer; woken by wakeHttpConnection
    std::string *body; // where the running transfer writes
};

static std::size_t appendToBody(char *data, std::size_t size, std::size_t count, void *context) {
    static_cast<HttpConnection *>(context)->body->append(data, size * count);
    return size * count;
}

HttpConnection *openHttpConnection() {
    CURL *client = curl_easy_init();
    CURLM *transfers = client ? curl_multi_init() : nullptr;
    if (!transfers) {
        if (client) curl_easy_cleanup(client);
        return nullptr;
    }
    auto *connection = new HttpConnection{client, transfers, nullptr};
    setClientOptions(client);
    curl_easy_setopt(client, CURLOPT_WRITEFUNCTION, appendToBody);
    curl_easy_setopt(client, CURLOPT_WRITEDATA, connection);
    // Giving up a transfer does not wait for its name lookup to end.
    curl_easy_setopt(client, CURLOPT_QUICK_EXIT, 1L);
    return connection;
}

// Runs the added transfer until it ends or *cancel is set; true when it
// completed.
static bool runTransfer(HttpConnection *connection, const std::atomic<bool> *cancel) {
    for (;;) {
        if (cancel && cancel->load()) return false;
        int running = 0;
        if (curl_multi_perform(connection->transfers, &running) != CURLM_OK) return false;
        if (running == 0) break;
        if (curl_multi_poll(connection->transfers, nullptr, 0, 1000, nullptr) != CURLM_OK) return false;
    }
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(connection->transfers, &left))
        if (message->msg == CURLMSG_DONE) return message->data.result == CURLE_OK;
    return false;
}

bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel) {
    body->clear();
    char escaped[ESCAPE_BUFFER_SIZE];
    if (!connection || !escapeBlanks(url, escaped, sizeof escaped)) return false;
    connection->body = body;
    curl_easy_setopt(connection->client, CURLOPT_URL, escaped);
    bool completed = curl_multi_add_handle(connection->transfers, connection->client) == CURLM_OK &&
                     runTransfer(connection, cancel);
    curl_multi_remove_handle(connection->transfers, connection->client);
    connection->body = nullptr;
    return completed;
}

void wakeHttpConnection(HttpConnection *connection) {
    if (connection) curl_multi_wakeup(connection->transfers);
}

void closeHttpConnection(HttpConnection *connection) {
    if (!connection) return;
    curl_multi_cleanup(connection->transfers);
    curl_easy_cleanup(connection->client);
    delete connection;
}
