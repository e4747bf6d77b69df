// The one HTTP client of the process on POSIX systems: a libcurl easy
// handle, and the download into a file.
#include "data/http_client.h"

#include <curl/curl.h>

#include <cstdlib>

#include "data/service.h"

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
    curl_easy_setopt(httpClient, CURLOPT_TIMEOUT, transferTimeLimit());
    curl_easy_setopt(httpClient, CURLOPT_USERAGENT, USER_AGENT);
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
