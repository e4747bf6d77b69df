// Item documents from the cache folder, or by search and download.
#include "data/item_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/cache_folder.h"
#include "data/file_system.h"
#include "data/http_client.h"
#include "data/service.h"
#include "data/text_reader.h"

static const char NAME_KEY[] = "\"n\":\"";
static const char ITEM_RESULT_KEY[] = "{\"type\":\"item\",\"id\":\"";
static const char AETHERIAL[] = "Aetherial";
static const int MAX_ITEM_ID = 65536;

// Documents handed out in this generation, by item name: the text as handed
// over (cut before ,"related") and the item id.
struct RememberedDocument {
    std::string text;
    int itemId;
};
static std::unordered_map<std::string, RememberedDocument> rememberedDocuments;
static bool rememberingDocuments = false;

void startRememberingDocuments() {
    rememberedDocuments.clear();
    rememberingDocuments = true;
}

void stopRememberingDocuments() {
    rememberedDocuments.clear();
    rememberingDocuments = false;
}

// Hands out a remembered document as a cache hit would; false when there is
// none to hand out.
static bool recallDocument(const char *name, char **documentText, int *itemId) {
    if (!rememberingDocuments || settings.refreshCache) return false;
    auto found = rememberedDocuments.find(name);
    if (found == rememberedDocuments.end()) return false;
    const std::string &text = found->second.text;
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (!copy) return false;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    if (settings.verbose) std::printf("Retrieving recipe for %s...  from disk cache\n", name);
    *documentText = copy;
    if (itemId) *itemId = found->second.itemId;
    return true;
}

int checkItemNameLength(const char *name, char *errorText) {
    if (std::strlen(name) <= MAX_ITEM_NAME_LENGTH) return RESULT_OK;
    reportFailure(errorText, "Item name too long (more than %zu bytes): [%.*s...]\n",
                  MAX_ITEM_NAME_LENGTH, static_cast<int>(MAX_ITEM_NAME_LENGTH), name);
    return RESULT_NAME_TOO_LONG;
}

bool percentEncode(const char *name, char *buffer, std::size_t bufferSize) {
    static const char HEX[] = "0123456789ABCDEF";
    std::size_t used = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; ++c) {
        bool plain = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') ||
                     (*c >= '0' && *c <= '9') || *c == '-' || *c == '_' || *c == '.' ||
                     *c == '~';
        std::size_t length = plain ? 1 : 3;
        if (used + length + 1 > bufferSize) return false;
        if (plain) {
            buffer[used] = static_cast<char>(*c);
        } else {
            buffer[used] = '%';
            buffer[used + 1] = HEX[*c >> 4];
            buffer[used + 2] = HEX[*c & 15];
        }
        used += length;
    }
    buffer[used] = '\0';
    return true;
}

bool chooseSearchResult(const char *answer, int *itemId) {
    const char *firstName = std::strstr(answer, NAME_KEY);
    if (!firstName) return false;
    const char *nameText = firstName + std::strlen(NAME_KEY);
    const char *start = std::strncmp(nameText, AETHERIAL, std::strlen(AETHERIAL)) == 0
                            ? firstName
                            : answer;
    const char *itemResult = std::strstr(start, ITEM_RESULT_KEY);
    if (!itemResult) return false;
    const char *idText = itemResult + std::strlen(ITEM_RESULT_KEY);
    if (!std::strchr(idText, '"')) return false;
    *itemId = convertNumber(idText);
    return true;
}

int findDocumentItemId(const char *document) {
    const char *quoted = std::strstr(document, "\"id\":\"");
    if (quoted && std::strstr(quoted + 6, "\",")) return convertNumber(quoted + 6);
    const char *bare = std::strstr(document, "\"id\":");
    if (bare && std::strchr(bare + 5, ',')) return convertNumber(bare + 5);
    return 0;
}

// Reads the document from an open file and checks its id. On RESULT_OK the
// text is handed over in *text; otherwise nothing is.
static int readDocument(std::FILE *file, const char *name, char **text, int *itemId,
                        char *errorText) {
    std::size_t length = 0;
    int readResult = readWholeFile(file, text, &length);
    if (readResult < 0) {
        reportFailure(errorText, "Error reading cache file for [%s].\n", name);
        return RESULT_CACHE_FILE_ERROR;
    }
    int id = findDocumentItemId(*text);
    int result = RESULT_OK;
    if (id == 0)
        result = RESULT_UNEXPECTED_DOCUMENT;
    else if (id > MAX_ITEM_ID)
        result = RESULT_BAD_ITEM_ID;
    else if (readResult != 0) {
        reportFailure(errorText, "Error reading cache file for [%s].\n", name);
        result = RESULT_CACHE_FILE_ERROR;
    }
    if (result != RESULT_OK) {
        std::free(*text);
        *text = nullptr;
        return result;
    }
    *itemId = id;
    return RESULT_OK;
}

// Fetches `address` into the download file; the web error when it fails.
static int fetchInto(const char *address, CacheDownload *download, const char *name,
                     char *errorText) {
    if (!fetchToFile(address, download->file)) {
        reportFailure(errorText, "Web error on [%s]\n", name);
        return RESULT_WEB_ERROR;
    }
    if (settings.verbose) std::printf(" from web\n");
    return RESULT_OK;
}

// Searches the service for `name` and leaves the chosen id in *itemId.
static int searchItem(const char *name, CacheDownload *download, char *work, int *itemId,
                      char *errorText) {
    char encoded[MAX_ITEM_NAME_LENGTH * 3 + 1];
    percentEncode(name, encoded, sizeof encoded);
    int length = std::snprintf(work, WORK_BUFFER_SIZE, "%s/api/search.php?text=%s&lang=en",
                               serviceBaseAddress(), encoded);
    if (length < 0 || static_cast<std::size_t>(length) >= WORK_BUFFER_SIZE) {
        reportFailure(errorText, "Request address too long for [%s]\n", name);
        return RESULT_WEB_ERROR;
    }
    int result = fetchInto(work, download, name, errorText);
    if (result != RESULT_OK) return result;
    char *answer = nullptr;
    std::size_t answerLength = 0;
    if (readWholeFile(download->file, &answer, &answerLength) != 0) {
        std::free(answer);
        reportFailure(errorText, "Error reading cache file for [%s].\n", name);
        return RESULT_CACHE_FILE_ERROR;
    }
    bool chosen = chooseSearchResult(answer, itemId);
    std::free(answer);
    return chosen ? RESULT_OK : RESULT_UNEXPECTED_DOCUMENT;
}

// Searches, downloads the chosen document into a temporary file, checks it
// and only then moves it to `path`.
static int downloadDocument(const char *name, const char *path, char *work, char **text,
                            int *itemId, char *errorText) {
    CacheDownload download;
    if (!isPlainFileName(name) || !openCacheDownload(&download)) {
        reportFailure(errorText,
                      "Error opening cache file for [%s]. Ensure the cache folder exists "
                      "alongside the program.\n",
                      name);
        return RESULT_CACHE_FILE_ERROR;
    }
    if (settings.verbose) std::printf("Retrieving index for %s... ", name);
    int searchId = 0;
    int result = searchItem(name, &download, work, &searchId, errorText);
    if (result == RESULT_OK && !rewindCacheDownload(&download)) {
        reportFailure(errorText, "Error writing cache file for [%s].\n", name);
        result = RESULT_CACHE_FILE_ERROR;
    }
    if (result == RESULT_OK) {
        std::snprintf(work, WORK_BUFFER_SIZE, "%s/db/doc/item/en/3/%d.json",
                      serviceBaseAddress(), searchId);
        result = fetchInto(work, &download, name, errorText);
    }
    if (result == RESULT_OK) result = readDocument(download.file, name, text, itemId, errorText);
    if (result != RESULT_OK) {
        discardCacheDownload(&download);
        return result;
    }
    if (!commitCacheDownload(&download, path)) {
        std::free(*text);
        *text = nullptr;
        reportFailure(errorText, "Error writing cache file for [%s].\n", name);
        return RESULT_CACHE_FILE_ERROR;
    }
    return RESULT_OK;
}

int loadItemDocument(const char *name, char **documentText, int *itemId, char *errorText) {
    *documentText = nullptr;
    int result = checkItemNameLength(name, errorText);
    if (result != RESULT_OK) return result;
    if (recallDocument(name, documentText, itemId)) return RESULT_OK;
    char *path = static_cast<char *>(std::malloc(PATH_BUFFER_SIZE));
    char *work = static_cast<char *>(std::malloc(WORK_BUFFER_SIZE));
    bool plain = isPlainFileName(name) && formCachePath(name, path, PATH_BUFFER_SIZE);
    FileOpenOutcome outcome = FILE_MISSING;
    std::FILE *cached = plain ? openFileForReading(path, &outcome) : nullptr;
    bool unreadable = outcome == FILE_UNREADABLE;
    if (settings.verbose) std::printf("Retrieving recipe for %s... ", name);
    char *text = nullptr;
    int id = 0;
    if (unreadable) {
        // Something stands under that name that cannot be opened: leave it
        // alone rather than replace it with a download.
        reportFailure(errorText, "Error reading cache file for [%s].\n", name);
        result = RESULT_CACHE_FILE_ERROR;
    } else if (cached && !settings.refreshCache) {
        if (settings.verbose) std::printf(" from disk cache\n");
        result = readDocument(cached, name, &text, &id, errorText);
        std::fclose(cached);
    } else {
        if (cached) std::fclose(cached);
        result = downloadDocument(name, path, work, &text, &id, errorText);
    }
    if (result == RESULT_OK) {
        char *related = std::strstr(text, ",\"related\"");
        if (related) *related = '\0';
        *documentText = text;
        if (itemId) *itemId = id;
        if (rememberingDocuments && !settings.refreshCache) rememberedDocuments[name] = {text, id};
    }
    std::free(path);
    std::free(work);
    return result;
}
