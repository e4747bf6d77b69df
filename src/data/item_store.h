// The item document store: item name to item document, from the cache
// folder or by searching the web service and downloading the document.
#pragma once

#include <cstddef>

// The longest item name that the system takes, in bytes: a material row's
// name field holds 99 characters and its terminator.
constexpr std::size_t MAX_ITEM_NAME_LENGTH = 99;

// Room for a request address with its terminator.
constexpr std::size_t WORK_BUFFER_SIZE = 1000;

// Refuses a name longer than MAX_ITEM_NAME_LENGTH: prints the message, copies
// it into errorText and returns RESULT_NAME_TOO_LONG; RESULT_OK otherwise.
int checkItemNameLength(const char *name, char *errorText);

// Finds the document of item `name`: from cache/<name> unless refreshCache
// is on, else by search and download, which replaces the cache file only
// once the new document has passed the checks. On RESULT_OK *documentText
// receives the text (cut before its ,"related" key), which the caller frees
// with std::free, and *itemId (when given) the item's id. On any other
// result nothing is handed over, and the cache folder holds what it held.
// errorText, when given, receives the message of a failure that prints one.
int loadItemDocument(const char *name, char **documentText, int *itemId, char *errorText);

// Ends a document's text before its ,"related" key (the long list of
// related items, which nothing reads), as the store hands documents out.
void cutBeforeRelated(char *text);

// A document as the store hands it out without a copy: either a remembered
// text (see below), or a block that belongs to the view.
struct ItemDocumentView {
    const char *text; // the document, cut before its ,"related" key
    char *owned;      // the block to free, or null for a remembered text
    bool remembered;  // the text stays as it is until stopRememberingDocuments
};

// As loadItemDocument, but a remembered document is handed out as it is,
// and the same text comes back for every later call of the generation.
// Release the view with releaseItemDocumentView.
int viewItemDocument(const char *name, ItemDocumentView *view, int *itemId, char *errorText);
void releaseItemDocumentView(ItemDocumentView *view);

// A generation asks for the same documents again and again. Between these
// two calls, a document that was read once is handed out again without
// reading its file; the verbose lines are those of a cache hit. With
// refreshCache on, a document is downloaded once per generation and read
// from memory afterwards; only with verbose on as well is it downloaded at
// every visit. Stopping forgets every document.
void startRememberingDocuments();
void stopRememberingDocuments();

// Changes whenever the document memory starts or stops: what was read from
// remembered texts before is stale then.
unsigned documentMemoryEpoch();

// The search answer's choice of item: the id of the first item result, or
// of the first one after a first name beginning with "Aetherial". False
// when the answer has no usable item result.
bool chooseSearchResult(const char *answer, int *itemId);

// The id text of an item document as a number: the quoted form "id":"..."
// wherever it stands, else the unquoted "id":...; 0 when neither is there.
int findDocumentItemId(const char *document);

// The search address for `name` at the service `base`, and the address of
// item `itemId`'s document. False when it does not fit `size` bytes.
bool formSearchAddress(const char *base, const char *name, char *address, std::size_t size);
bool formItemAddress(const char *base, int itemId, char *address, std::size_t size);

// Writes the search text for `name` into buffer: every byte other than
// A-Z, a-z, 0-9, '-', '_', '.', '~' as %XX. False when it does not fit.
bool percentEncode(const char *name, char *buffer, std::size_t bufferSize);
