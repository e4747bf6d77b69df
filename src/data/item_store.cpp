// Item documents from the cache folder, or by search and download.
#include "data/item_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/cache_folder.h"
#include "data/fetch_ahead.h"
#include "data/file_system.h"
#include "data/request_address.h"
#include "data/service.h"

static const int MAX_ITEM_ID = 65536;

void openItemStore(ItemStore *store, const Settings *settings) {
    store->settings = settings;
    store->baseAddress = serviceBaseAddress();
    store->ahead = nullptr;
    store->aheadCounts = FetchAheadCounts{};
    store->documents.clear();
}

void expectRequestedItems(ItemStore *store, const std::vector<RequestedItem> &items) {
    stopFetchingAhead(store);
    store->ahead = openFetchAhead(store->settings, store->baseAddress);
    for (const RequestedItem &item : items) expectRequestedItem(store->ahead, item.name, item.quantity);
}

void stopFetchingAhead(ItemStore *store) {
    if (!store->ahead) return;
    closeFetchAhead(store->ahead, &store->aheadCounts);
    store->ahead = nullptr;
}

void closeItemStore(ItemStore *store) {
    stopFetchingAhead(store);
    store->documents.clear();
}

// Whether a document may be remembered and handed out again now. With
// refreshCache on, a document downloaded in this generation is read again
// from memory rather than downloaded at every visit; only the verbose run
// downloads at every visit, so that its lines stay those of each visit.
static bool rememberingAllowed(const Settings &settings) {
    return !settings.refreshCache || !settings.verbose;
}

// Reads the document from an open file and checks its id. On RESULT_OK the
// text is handed over in *text; otherwise nothing is.
static int readDocument(std::FILE *file, const char *name, char **text, int *itemId,
                        char *errorText) {
    std::size_t length = 0;
    int readResult = readWholeFile(file, text, &length);
    if (readResult < 0) {
        reportFailure(errorText, "Error reading cache file for [%s].\n", shownName(name).c_str());
        return RESULT_CACHE_FILE_ERROR;
    }
    // A zero byte would end the text early: such a document lacks its keys.
    bool zeroByte = readResult == 0 && std::memchr(*text, '\0', length);
    int id = zeroByte ? 0 : findDocumentItemId(*text);
    int result = RESULT_OK;
    if (id == 0)
        result = RESULT_UNEXPECTED_DOCUMENT;
    else if (id > MAX_ITEM_ID)
        result = RESULT_BAD_ITEM_ID;
    else if (readResult != 0) {
        reportFailure(errorText, "Error reading cache file for [%s].\n", shownName(name).c_str());
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

// What one lookup works with.
struct Lookup {
    ItemStore *store;
    const char *name;
    char *errorText;
    char *work; // WORK_BUFFER_SIZE bytes: each request address in turn
    std::shared_ptr<const ItemFacts> facts; // read by fetching ahead from the document, or null
};

// Fetches `work`'s address into the download file; the web error when it
// fails.
static int fetchInto(Lookup *lookup, CacheDownload *download, std::shared_ptr<const ItemFacts> *facts) {
    if (!fetchAnswer(lookup->store->ahead, lookup->work, download->file, facts)) {
        reportFailure(lookup->errorText, "Web error on [%s]\n", shownName(lookup->name).c_str());
        return RESULT_WEB_ERROR;
    }
    if (lookup->store->settings->verbose) std::printf(" from web\n");
    return RESULT_OK;
}

// Searches the service (the address is in the work buffer) and leaves the
// chosen id in *itemId.
static int searchItem(Lookup *lookup, CacheDownload *download, int *itemId) {
    int result = fetchInto(lookup, download, nullptr);
    if (result != RESULT_OK) return result;
    char *answer = nullptr;
    std::size_t answerLength = 0;
    if (readWholeFile(download->file, &answer, &answerLength) != 0) {
        std::free(answer);
        reportFailure(lookup->errorText, "Error reading cache file for [%s].\n", shownName(lookup->name).c_str());
        return RESULT_CACHE_FILE_ERROR;
    }
    bool chosen = chooseSearchResult(answer, itemId);
    std::free(answer);
    return chosen ? RESULT_OK : RESULT_UNEXPECTED_DOCUMENT;
}

// Reads the downloaded document back, checks it and moves it to `path`; on
// any failure (also an earlier one in `result`) the download is discarded.
static int checkAndCommit(Lookup *lookup, const char *path, int result, CacheDownload *download,
                          char **text, int *itemId) {
    if (result == RESULT_OK)
        result = readDocument(download->file, lookup->name, text, itemId, lookup->errorText);
    if (result != RESULT_OK) {
        discardCacheDownload(download);
        return result;
    }
    if (!commitCacheDownload(download, path)) {
        std::free(*text);
        *text = nullptr;
        reportFailure(lookup->errorText, "Error writing cache file for [%s].\n", shownName(lookup->name).c_str());
        return RESULT_CACHE_FILE_ERROR;
    }
    return RESULT_OK;
}

// Searches, downloads the chosen document into a temporary file, checks it
// and only then moves it to `path`. Each answer comes from fetching ahead
// when it has it.
static int downloadDocument(Lookup *lookup, const char *path, char **text, int *itemId) {
    const char *name = lookup->name;
    DownloadRefusal refusal = checkDownload(name, lookup->store->baseAddress.c_str(), lookup->work);
    CacheDownload download;
    if (refusal == DOWNLOAD_NOT_A_FILE_NAME || !openCacheDownload(&download)) {
        reportFailure(lookup->errorText,
                      "Error opening cache file for [%s]. Ensure the cache folder exists "
                      "alongside the program.\n",
                      shownName(name).c_str());
        return RESULT_CACHE_FILE_ERROR;
    }
    if (lookup->store->settings->verbose) std::printf("Retrieving index for %s... ", shownName(name).c_str());
    flushProgress();
    int result = RESULT_OK;
    if (refusal == DOWNLOAD_ADDRESS_TOO_LONG) {
        reportFailure(lookup->errorText, "Request address too long for [%s]\n", shownName(name).c_str());
        result = RESULT_WEB_ERROR;
    }
    int searchId = 0;
    if (result == RESULT_OK) result = searchItem(lookup, &download, &searchId);
    if (result == RESULT_OK && !rewindCacheDownload(&download)) {
        reportFailure(lookup->errorText, "Error writing cache file for [%s].\n", shownName(name).c_str());
        result = RESULT_CACHE_FILE_ERROR;
    }
    // A short name and an id of many digits make the item address the
    // longer one: it is refused like the search address, never sent cut.
    if (result == RESULT_OK &&
        !formItemAddress(lookup->store->baseAddress.c_str(), searchId, lookup->work, WORK_BUFFER_SIZE)) {
        reportFailure(lookup->errorText, "Request address too long for [%s]\n", shownName(name).c_str());
        result = RESULT_WEB_ERROR;
    }
    if (result == RESULT_OK) result = fetchInto(lookup, &download, &lookup->facts);
    return checkAndCommit(lookup, path, result, &download, text, itemId);
}

// Reads the document of `name` from its cache file or downloads it. On
// RESULT_OK *text (the caller's) is cut before ,"related" and *itemId set.
static int loadFreshDocument(Lookup *lookup, char **text, int *itemId) {
    const Settings &settings = *lookup->store->settings;
    const char *name = lookup->name;
    char *path = static_cast<char *>(std::malloc(PATH_BUFFER_SIZE));
    lookup->work = static_cast<char *>(std::malloc(WORK_BUFFER_SIZE));
    FileOpenOutcome outcome = FILE_MISSING;
    std::FILE *cached = path && cachePathOf(name, path) ? openFileForReading(path, &outcome) : nullptr;
    if (settings.verbose) std::printf("Retrieving recipe for %s... ", shownName(name).c_str());
    int result = RESULT_OK;
    if (!path || !lookup->work) {
        reportFailure(lookup->errorText, "Error reading cache file for [%s].\n", shownName(name).c_str());
        result = RESULT_CACHE_FILE_ERROR;
    } else {
        switch (lookupSource(outcome, settings.refreshCache)) {
        case LOOKUP_UNREADABLE:
            // Something stands under that name that cannot be opened: leave
            // it alone rather than replace it with a download.
            reportFailure(lookup->errorText, "Error reading cache file for [%s].\n", shownName(name).c_str());
            result = RESULT_CACHE_FILE_ERROR;
            break;
        case LOOKUP_CACHE_FILE:
            if (settings.verbose) std::printf(" from disk cache\n");
            result = readDocument(cached, name, text, itemId, lookup->errorText);
            break;
        case LOOKUP_DOWNLOAD:
            // The old file is closed before the new one takes its place:
            // Windows replaces no file that is open.
            if (cached) std::fclose(cached);
            cached = nullptr;
            claimItem(lookup->store->ahead, name);
            result = downloadDocument(lookup, path, text, itemId);
            break;
        }
    }
    if (cached) std::fclose(cached);
    if (result == RESULT_OK) cutBeforeRelated(*text);
    std::free(path);
    std::free(lookup->work);
    lookup->work = nullptr;
    return result;
}

int lookupItemDocument(ItemStore *store, const char *name, std::shared_ptr<ItemDocument> *document,
                       char *errorText) {
    document->reset();
    int result = checkItemNameLength(name, errorText);
    if (result != RESULT_OK) return result;
    bool remembering = rememberingAllowed(*store->settings);
    if (remembering) {
        auto found = store->documents.find(name);
        if (found != store->documents.end()) {
            if (store->settings->verbose)
                std::printf("Retrieving recipe for %s...  from disk cache\n", name);
            *document = found->second;
            return RESULT_OK;
        }
    }
    Lookup lookup{store, name, errorText, nullptr, nullptr};
    char *text = nullptr;
    int itemId = 0;
    result = loadFreshDocument(&lookup, &text, &itemId);
    if (result != RESULT_OK) return result;
    // The block the file was read into is kept, without what the cut left
    // behind it (a document's related tail is often most of it).
    std::size_t length = std::strlen(text);
    if (char *shrunk = static_cast<char *>(std::realloc(text, length + 1))) text = shrunk;
    bool readAhead = lookup.facts != nullptr;
    auto made = std::make_shared<ItemDocument>(
        ItemDocument{std::unique_ptr<char, DocumentTextFree>(text), length, itemId, std::move(lookup.facts)});
    // A document that no worker read leads fetching ahead to its entries.
    if (store->ahead && !readAhead) {
        itemFacts(made.get());
        itemLoadedByStore(store->ahead, name, made->facts);
    }
    if (remembering) store->documents.emplace(name, made);
    *document = std::move(made);
    return RESULT_OK;
}

const ItemFacts &itemFacts(ItemDocument *document) {
    if (!document->facts) {
        auto facts = std::make_shared<ItemFacts>();
        readItemFacts(document->text.get(), facts.get());
        document->facts = std::move(facts);
    }
    return *document->facts;
}

int loadItemDocument(ItemStore *store, const char *name, char **documentText, int *itemId,
                     char *errorText) {
    *documentText = nullptr;
    std::shared_ptr<ItemDocument> document;
    int result = lookupItemDocument(store, name, &document, errorText);
    if (result != RESULT_OK) return result;
    char *copy = static_cast<char *>(std::malloc(document->length + 1));
    if (!copy) {
        reportFailure(errorText, "Error reading cache file for [%s].\n", shownName(name).c_str());
        return RESULT_CACHE_FILE_ERROR;
    }
    std::memcpy(copy, document->text.get(), document->length + 1);
    *documentText = copy;
    if (itemId) *itemId = document->itemId;
    return RESULT_OK;
}
