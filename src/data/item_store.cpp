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
#include "data/prefetch.h"
#include "data/service.h"
#include "data/text_reader.h"

static const char NAME_KEY[] = "\"n\":\"";
static const char ITEM_RESULT_KEY[] = "{\"type\":\"item\",\"id\":\"";
static const char AETHERIAL[] = "Aetherial";
static const int MAX_ITEM_ID = 65536;

// Documents handed out in this generation, by item name: the text as handed
// over (cut before ,"related") and the item id. A remembered text stays
// unchanged until the memory is stopped (the map's values do not move).
struct RememberedDocument {
    std::string text;
    int itemId;
};
static std::unordered_map<std::string, RememberedDocument> rememberedDocuments;
static bool rememberingDocuments = false;
static unsigned memoryEpoch = 0;

void startRememberingDocuments() {
    rememberedDocuments.clear();
    rememberingDocuments = true;
    ++memoryEpoch;
}

void stopRememberingDocuments() {
    rememberedDocuments.clear();
    rememberingDocuments = false;
    ++memoryEpoch;
}

unsigned documentMemoryEpoch() { return memoryEpoch; }

// Whether a document may be remembered and handed out again now. With
// refreshCache on, a document downloaded in this generation is read again
// from memory rather than downloaded at every visit; only the verbose run
// downloads at every visit, so that its lines stay those of each visit.
static bool rememberingAllowed() {
    return rememberingDocuments && (!settings.refreshCache || !settings.verbose);
}

// The remembered document of `name`, with the verbose line of a cache hit;
// null when there is none to hand out.
static const RememberedDocument *recallDocument(const char *name) {
    if (!rememberingAllowed()) return nullptr;
    auto found = rememberedDocuments.find(name);
    if (found == rememberedDocuments.end()) return nullptr;
    if (settings.verbose) std::printf("Retrieving recipe for %s...  from disk cache\n", name);
    return &found->second;
}

void cutBeforeRelated(char *text) {
    if (char *related = std::strstr(text, ",\"related\"")) *related = '\0';
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

bool formSearchAddress(const char *base, const char *name, char *address, std::size_t size) {
    char encoded[MAX_ITEM_NAME_LENGTH * 3 + 1];
    if (!percentEncode(name, encoded, sizeof encoded)) return false;
    int length = std::snprintf(address, size, "%s/api/search.php?text=%s&lang=en", base, encoded);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

bool formItemAddress(const char *base, int itemId, char *address, std::size_t size) {
    int length = std::snprintf(address, size, "%s/db/doc/item/en/3/%d.json", base, itemId);
    return length >= 0 && static_cast<std::size_t>(length) < size;
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
    bool shared = fetchingAhead();
    if (shared) beginOwnTransfer();
    bool fetched = fetchToFile(address, download->file);
    if (shared) endOwnTransfer();
    if (!fetched) {
        reportFailure(errorText, "Web error on [%s]\n", name);
        return RESULT_WEB_ERROR;
    }
    if (settings.verbose) std::printf(" from web\n");
    return RESULT_OK;
}

// Searches the service for `name` and leaves the chosen id in *itemId.
static int searchItem(const char *name, CacheDownload *download, char *work, int *itemId,
                      char *errorText) {
    if (!formSearchAddress(serviceBaseAddress(), name, work, WORK_BUFFER_SIZE)) {
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

// Reads the downloaded document back, checks it and moves it to `path`; on
// any failure (also an earlier one in `result`) the download is discarded.
static int checkAndCommit(const char *name, const char *path, int result, CacheDownload *download,
                          char **text, int *itemId, char *errorText) {
    if (result == RESULT_OK) result = readDocument(download->file, name, text, itemId, errorText);
    if (result != RESULT_OK) {
        discardCacheDownload(download);
        return result;
    }
    if (!commitCacheDownload(download, path)) {
        std::free(*text);
        *text = nullptr;
        reportFailure(errorText, "Error writing cache file for [%s].\n", name);
        return RESULT_CACHE_FILE_ERROR;
    }
    return RESULT_OK;
}

// A document fetched ahead enters the cache as a download of the store's own
// would: written into the temporary file, read back, checked, moved.
static int storeDocumentFetchedAhead(const char *name, const char *path, const std::string &ahead,
                                     CacheDownload *download, char **text, int *itemId,
                                     char *errorText) {
    int result = RESULT_OK;
    if (std::fwrite(ahead.data(), 1, ahead.size(), download->file) != ahead.size()) {
        reportFailure(errorText, "Error writing cache file for [%s].\n", name);
        result = RESULT_CACHE_FILE_ERROR;
    }
    return checkAndCommit(name, path, result, download, text, itemId, errorText);
}

// Searches, downloads the chosen document into a temporary file, checks it
// and only then moves it to `path`. Takes the document from fetching ahead
// when it is there.
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
    flushProgress();
    std::string ahead;
    switch (takeFetchedAhead(name, &ahead)) {
    case AHEAD_DOCUMENT:
        return storeDocumentFetchedAhead(name, path, ahead, &download, text, itemId, errorText);
    case AHEAD_NO_ITEM:
        discardCacheDownload(&download);
        return RESULT_UNEXPECTED_DOCUMENT;
    case AHEAD_NOTHING:
        break;
    }
    int searchId = 0;
    int result = searchItem(name, &download, work, &searchId, errorText);
    if (result == RESULT_OK && !rewindCacheDownload(&download)) {
        reportFailure(errorText, "Error writing cache file for [%s].\n", name);
        result = RESULT_CACHE_FILE_ERROR;
    }
    if (result == RESULT_OK) {
        formItemAddress(serviceBaseAddress(), searchId, work, WORK_BUFFER_SIZE);
        result = fetchInto(work, &download, name, errorText);
    }
    return checkAndCommit(name, path, result, &download, text, itemId, errorText);
}

// Loads the document of `name` from the cache file or by download, without
// the document memory. On RESULT_OK *text (the caller's) is cut before
// ,"related" and *itemId set.
static int loadFreshDocument(const char *name, char **text, int *itemId, char *errorText) {
    char *path = static_cast<char *>(std::malloc(PATH_BUFFER_SIZE));
    char *work = static_cast<char *>(std::malloc(WORK_BUFFER_SIZE));
    bool plain = isPlainFileName(name) && formCachePath(name, path, PATH_BUFFER_SIZE);
    FileOpenOutcome outcome = FILE_MISSING;
    std::FILE *cached = plain ? openFileForReading(path, &outcome) : nullptr;
    bool unreadable = outcome == FILE_UNREADABLE;
    if (settings.verbose) std::printf("Retrieving recipe for %s... ", name);
    int result = RESULT_OK;
    if (unreadable) {
        // Something stands under that name that cannot be opened: leave it
        // alone rather than replace it with a download.
        reportFailure(errorText, "Error reading cache file for [%s].\n", name);
        result = RESULT_CACHE_FILE_ERROR;
    } else if (cached && !settings.refreshCache) {
        if (settings.verbose) std::printf(" from disk cache\n");
        result = readDocument(cached, name, text, itemId, errorText);
        std::fclose(cached);
    } else {
        if (cached) std::fclose(cached);
        result = downloadDocument(name, path, work, text, itemId, errorText);
        // Whatever became of it, the name is not fetched ahead again.
        skipFetchingAhead(name);
    }
    if (result == RESULT_OK) cutBeforeRelated(*text);
    std::free(path);
    std::free(work);
    return result;
}

int viewItemDocument(const char *name, ItemDocumentView *view, int *itemId, char *errorText) {
    *view = ItemDocumentView{nullptr, nullptr, false};
    int result = checkItemNameLength(name, errorText);
    if (result != RESULT_OK) return result;
    if (const RememberedDocument *remembered = recallDocument(name)) {
        *view = ItemDocumentView{remembered->text.c_str(), nullptr, true};
        if (itemId) *itemId = remembered->itemId;
        return RESULT_OK;
    }
    char *text = nullptr;
    int id = 0;
    result = loadFreshDocument(name, &text, &id, errorText);
    if (result != RESULT_OK) return result;
    if (itemId) *itemId = id;
    if (rememberingAllowed()) {
        auto [entry, added] = rememberedDocuments.try_emplace(name, RememberedDocument{text, id});
        if (added) {
            std::free(text);
            *view = ItemDocumentView{entry->second.text.c_str(), nullptr, true};
            return RESULT_OK;
        }
    }
    *view = ItemDocumentView{text, text, false};
    return RESULT_OK;
}

void releaseItemDocumentView(ItemDocumentView *view) {
    std::free(view->owned);
    *view = ItemDocumentView{nullptr, nullptr, false};
}

int loadItemDocument(const char *name, char **documentText, int *itemId, char *errorText) {
    *documentText = nullptr;
    ItemDocumentView view;
    int result = viewItemDocument(name, &view, itemId, errorText);
    if (result != RESULT_OK) return result;
    if (view.owned) {
        *documentText = view.owned;
        return RESULT_OK;
    }
    std::size_t length = std::strlen(view.text);
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (!copy) {
        reportFailure(errorText, "Error reading cache file for [%s].\n", name);
        return RESULT_CACHE_FILE_ERROR;
    }
    std::memcpy(copy, view.text, length + 1);
    *documentText = copy;
    return RESULT_OK;
}
