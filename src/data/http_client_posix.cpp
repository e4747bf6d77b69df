// The one libcurl easy handle of the process and the download into a file.
#include "data/http_client.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#ifndef CORVANEDB_DEFAULT_URL
#define CORVANEDB_DEFAULT_URL "http://127.0.0.1:8765"
#endif

static const char USER_AGENT[] =
    "Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/67.0.3396.62 Safari/537.36";

long httpTimeoutSeconds = 30;

// A shorter limit from CORVANEDB_TIMEOUT (whole seconds, 1 to 30), so that a
// stalled service can be tried out without waiting half a minute.
static long configuredTimeout() {
    const char *text = std::getenv("CORVANEDB_TIMEOUT");
    long seconds = text ? std::strtol(text, nullptr, 10) : 0;
    return seconds >= 1 && seconds < httpTimeoutSeconds ? seconds : httpTimeoutSeconds;
}

static CURL *httpClient = nullptr;

void openHttpClient() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    httpClient = curl_easy_init();
    curl_easy_setopt(httpClient, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(httpClient, CURLOPT_SSL_VERIFYHOST, 1L);
    curl_easy_setopt(httpClient, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(httpClient, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(httpClient, CURLOPT_TRANSFER_ENCODING, 1L);
    curl_easy_setopt(httpClient, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(httpClient, CURLOPT_TIMEOUT, configuredTimeout());
    curl_easy_setopt(httpClient, CURLOPT_USERAGENT, USER_AGENT);
}

// Copies url into buffer with every blank replaced by "%20". False when the
// result with its terminator does not fit.
static bool escapeBlanks(const char *url, char *buffer, std::size_t bufferSize) {
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

const char *serviceBaseAddress() {
    static std::string address;
    const char *configured = std::getenv("CORVANEDB_URL");
    address = configured && *configured ? configured : CORVANEDB_DEFAULT_URL;
    while (!address.empty() && address.back() == '/') address.pop_back();
    return address.c_str();
}
