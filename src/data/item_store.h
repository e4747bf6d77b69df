// The item document store: item name to item document, from the cache
// folder or by searching the web service and downloading the document. One
// store serves one generation and remembers what it read in it.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/item_facts.h"
#include "data/lookup_rules.h"

#include "data/fetch_ahead.h"

struct Settings;

// Frees a document's text.
struct DocumentTextFree {
    void operator()(char *text) const { std::free(text); }
};

// One item document as a generation read it.
struct ItemDocument {
    std::unique_ptr<char, DocumentTextFree> text; // cut before its ,"related" key; the block it was read into
    std::size_t length;                      // of the text, without its terminator
    int itemId;                              // the id found in it, range-checked
    std::shared_ptr<const ItemFacts> facts;  // read on first use, once
};

// An item that a generation expands at the top: its name and the number of
// crafts of it.
struct RequestedItem {
    const char *name;
    int quantity;
};

// The documents of one generation. A document read once is handed out
// again without reading its file; the verbose lines are those of a cache
// hit. With refreshCache on, a document is downloaded once per generation;
// only with verbose on as well is it downloaded at every visit.
struct ItemStore {
    const Settings *settings;  // the generation's, unchanged while it runs
    std::string baseAddress;   // the web service, taken when the store opened
    FetchAhead *ahead;         // the transport that fetches ahead, or null: one at a time
    FetchAheadCounts aheadCounts; // what fetching ahead did, once it ended
    std::unordered_map<std::string, std::shared_ptr<ItemDocument>> documents;
};

// Opens the store of a generation with `settings` (kept by address).
void openItemStore(ItemStore *store, const Settings *settings);

// Tells the store the items that the generation will expand at the top, in
// order, before it asks for any: from here on the store fetches ahead what
// the expansion will ask for (when it can: not with verbose on, and only
// into a cache folder that takes new files).
void expectRequestedItems(ItemStore *store, const std::vector<RequestedItem> &items);

// Ends fetching ahead at once; aheadCounts then says what it did.
void stopFetchingAhead(ItemStore *store);

// Forgets every document and ends fetching ahead.
void closeItemStore(ItemStore *store);

// Finds the document of item `name`: remembered, else from cache/<name>
// unless refreshCache is on, else by search and download, which replaces the
// cache file only once the new document has passed the checks. On RESULT_OK
// *document holds it. On any other result nothing is handed over, and the
// cache folder holds what it held. errorText, when given, receives the
// message of a failure that prints one.
int lookupItemDocument(ItemStore *store, const char *name, std::shared_ptr<ItemDocument> *document,
                       char *errorText);

// The facts of a document that the store handed out, read on first use.
const ItemFacts &itemFacts(ItemDocument *document);

// The store's lookup as a text: on RESULT_OK *documentText receives a copy of
// the document (cut before its ,"related" key), which the caller frees with
// std::free, and *itemId (when given) the item's id.
int loadItemDocument(ItemStore *store, const char *name, char **documentText, int *itemId,
                     char *errorText);
