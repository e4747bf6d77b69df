// Fetching ahead: the transport under the item document store while a
// generation runs. The expansion asks for documents one after the other, and
// each first download waits for two round trips to the web service. Worker
// threads send the store's own two requests (search, item document) for the
// names that the expansion will ask for, soonest first, each on a connection
// of its own, and hold the answer bodies; the store's lookup runs its steps
// as ever and takes each body from here, or has it fetched now. So the list,
// the messages, the cache and the requests are those of a one-at-a-time run.
//
// Which names come next is known from the recipes: the store names the
// requested items, in order, and every document that the store or a worker
// reads names its recipe's entries. Each name keeps the place where the
// expansion will first ask for it, as the path of entry numbers from the
// requested item down (item 2, its entry 0, that one's entry 3: 2.0.3), and
// the workers take the smallest place first: depth first through the tree
// the expansion is in, before the trees of later requested items.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

struct ItemFacts;
struct Settings;

// At most this many transfers run at once: the workers' and the store's own.
constexpr int FETCH_AHEAD_TRANSFERS = 6;

// A worker begins no further item while the answer bodies that wait for the
// store and the bodies still arriving reach this many bytes together.
constexpr std::size_t MAX_BYTES_AHEAD = 32u << 20;

// What fetching ahead did in one generation.
struct FetchAheadCounts {
    int itemsAhead;    // items whose requests a worker sent before the store needed them
    int itemsByStore;  // items whose requests the store sent itself, one after the other
    int mostTransfers; // the most transfers that ran at once
    std::size_t mostBytesAhead; // the most bytes of answers held and arriving at once
};

struct FetchAhead;

// Starts fetching ahead for a generation with `settings` (which stay as they
// are while it runs) against the service `baseAddress`. Null, and every
// call below does what a one-at-a-time run does, when verbose is on or the
// cache folder takes no new files: the store would download nothing there.
FetchAhead *openFetchAhead(const Settings *settings, const std::string &baseAddress);

// Ends fetching ahead: waiting work is dropped, running transfers end at
// once (without waiting for a name lookup or an answer), the workers are
// joined and every body held is freed. *counts (when given) receives what it
// did; zeros for null.
void closeFetchAhead(FetchAhead *ahead, FetchAheadCounts *counts);

// Names the next requested item, which the expansion will expand at the top
// by `quantity` crafts: call it for every item, in the order of the list,
// before the store's first lookup. The first item is left to the store,
// which asks for it at once.
void expectRequestedItem(FetchAhead *ahead, const char *name, int quantity);

// The store is about to download `name` itself. A name that a worker has
// begun stays with the worker (the store's requests find their bodies
// here); one that only waits for a worker is the store's from now on, and
// so is a name never heard of. Waits while a worker decides on the name.
void claimItem(FetchAhead *ahead, const char *name);

// The store read the document of `name` itself (from its cache file, or by
// its own download), with these facts: the entries of its recipe come next.
void itemLoadedByStore(FetchAhead *ahead, const char *name,
                       const std::shared_ptr<const ItemFacts> &facts);

// The answer body of `address` into `file`: taken from fetching ahead when
// a worker has fetched it (or waited for while it runs), else fetched now
// through the process's client. True when the transfer completed and the
// body was written. A transfer that failed ahead is this fetch's failure:
// it is not sent again. *facts (when given) receives the facts that the
// worker read from the body, or null.
bool fetchAnswer(FetchAhead *ahead, const char *address, std::FILE *file,
                 std::shared_ptr<const ItemFacts> *facts);
