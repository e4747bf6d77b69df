// The one HTTP client of the process on POSIX systems: a libcurl easy
// handle, and the download into a file.
#include "data/http_client.h"

#include <curl/curl.h>

#include <cstdlib>
#include <string>

#include "data/service.h"

static CURL *httpClient = nullptr;

// The eight options of every client, in this order.
static void setClientOptions(CURL *client) {
    curl_easy_setopt(client, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(client, CURLOPT_SSL_VERIFYHOST, 1L);
    curl_easy_setopt(client, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(client, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(client, CURLOPT_TRANSFER_ENCODING, 1L);
    curl_easy_setopt(client, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(client, CURLOPT_TIMEOUT, transferTimeLimit());
    curl_easy_setopt(client, CURLOPT_USERAGENT, USER_AGENT);
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
    std::string *body;               // where the running transfer writes
    const std::atomic<bool> *cancel; // ends the running transfer when set
};

static std::size_t appendToBody(char *data, std::size_t size, std::size_t count, void *context) {
    static_cast<HttpConnection *>(context)->body->append(data, size * count);
    return size * count;
}

// Nonzero (abort) once the connection's cancel flag is set.
static int checkCancel(void *context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const std::atomic<bool> *cancel = static_cast<HttpConnection *>(context)->cancel;
    return cancel && cancel->load() ? 1 : 0;
}

HttpConnection *openHttpConnection() {
    CURL *client = curl_easy_init();
    if (!client) return nullptr;
    auto *connection = new HttpConnection{client, nullptr, nullptr};
    setClientOptions(client);
    // Worker threads: no signals for time-outs, and a way to stop.
    curl_easy_setopt(client, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(client, CURLOPT_WRITEFUNCTION, appendToBody);
    curl_easy_setopt(client, CURLOPT_WRITEDATA, connection);
    curl_easy_setopt(client, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(client, CURLOPT_XFERINFODATA, connection);
    curl_easy_setopt(client, CURLOPT_NOPROGRESS, 0L);
    return connection;
}

bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel) {
    body->clear();
    char escaped[ESCAPE_BUFFER_SIZE];
    if (!connection || !escapeBlanks(url, escaped, sizeof escaped)) return false;
    connection->body = body;
    connection->cancel = cancel;
    curl_easy_setopt(connection->client, CURLOPT_URL, escaped);
    bool completed = curl_easy_perform(connection->client) == CURLE_OK;
    connection->body = nullptr;
    connection->cancel = nullptr;
    return completed;
}

void closeHttpConnection(HttpConnection *connection) {
    if (!connection) return;
    curl_easy_cleanup(connection->client);
    delete connection;
}
