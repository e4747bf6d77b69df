// Fetching item documents ahead, several at once, while a generation runs:
// the expansion asks for documents one after the other, and each first
// download waits for two round trips to the web service. Documents that the
// expansion is known to need are searched and downloaded by worker threads
// into memory; the item document store takes them from here when the
// expansion asks, and runs them through its own checks into the cache. So the
// cache and the output are what the one-at-a-time store would have made.
#pragma once

#include <string>

#include <vector>

// At most this many transfers run at once, each worker on a kept connection.
constexpr int FETCH_AHEAD_WORKERS = 6;

// A document asked for, with what is known of its use: whether the item
// will be expanded (crafts above 0, or requested) and so its recipe's
// entries are needed too.
struct AheadRequest {
    std::string name;
    int crafts;     // 0: only the document is needed (a row's yield); above 0: expanded
    bool requested; // a requested item: expanded at depth 0, whatever its crafts
};

// Reads a document fetched ahead (cut before its ,"related" key) and adds to
// `next` the documents that the expansion will need because of it. Runs on a
// worker thread: it may only read the document, the settings and the core
// data.
using AheadFollower = void (*)(const AheadRequest &fetched, const char *document,
                               std::vector<AheadRequest> *next);

// Installs the follower (null: none); the recipe layer installs its own.
void setFetchAheadFollower(AheadFollower follower);

// Starts fetching ahead for one generation, when verbose is off and the cache
// folder takes new files; otherwise fetching ahead stays off and every call
// below does nothing.
void startFetchingAhead();

// Ends fetching ahead: queued names are dropped, running transfers are
// stopped and waited for, and every document held is forgotten.
void stopFetchingAhead();

// True between startFetchingAhead and stopFetchingAhead when it is on.
bool fetchingAhead();

// Asks for the document of `request.name` to be fetched ahead, when the
// store would download it (no cache file, or refreshCache on) and it was not
// asked for before in this generation. Names the store would refuse are left
// alone. `urgent` names go before the ones already waiting. Once fetched,
// the follower names what comes next, which is fetched ahead too.
void fetchAhead(const AheadRequest &request, bool urgent);

// Marks `name` as handled by the store itself in this generation: it is not
// fetched ahead any more.
void skipFetchingAhead(const char *name);

// What fetching ahead has for a name.
enum AheadOutcome {
    AHEAD_NOTHING,  // not asked for, or its fetch failed: the store fetches it itself
    AHEAD_DOCUMENT, // *document holds the item's document as the service sent it
    AHEAD_NO_ITEM,  // the search answer names no usable item
};

// Takes what was fetched ahead for `name`, waiting while its fetch runs. A
// name that is still waiting for a worker is taken back (AHEAD_NOTHING), so
// the store fetches it at once. What is taken is forgotten here.
AheadOutcome takeFetchedAhead(const char *name, std::string *document);

// Around a transfer of the store's own while fetching ahead runs, so that no
// more than FETCH_AHEAD_WORKERS transfers run at once.
void beginOwnTransfer();
void endOwnTransfer();
