// Fetching ahead: the transport under the item document store while a
// generation runs. The expansion asks for documents one after the other, and
// each first download waits for two round trips to the web service. Worker
// threads send the store's own two requests (search, item document) for the
// names that the expansion is known to need, each on a connection of its
// own, and hold the answer bodies; the store's lookup runs its steps as
// ever and takes each body from here, or has it fetched now. So the list,
// the messages, the cache and the requests are those of a one-at-a-time run.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

struct ItemFacts;
struct Settings;

// At most this many transfers run at once: the workers' and the store's own.
constexpr int FETCH_AHEAD_TRANSFERS = 6;

// A worker begins no further item while this many answer bodies, or this
// many bytes of them, wait for the store.
constexpr int MAX_BODIES_AHEAD = 64;
constexpr std::size_t MAX_BYTES_AHEAD = 8u << 20;

struct FetchAhead;

// Starts fetching ahead for a generation with `settings` (which stay as they
// are while it runs) against the service `baseAddress`. Null, and every
// call below does what a one-at-a-time run does, when verbose is on or the
// cache folder takes no new files: the store would download nothing there.
FetchAhead *openFetchAhead(const Settings *settings, const std::string &baseAddress);

// Ends fetching ahead: waiting work is dropped, running transfers end at
// once (without waiting for a name lookup or an answer), the workers are
// joined and every body held is freed. Harmless for null.
void closeFetchAhead(FetchAhead *ahead);

// Has the answers for item `name` fetched ahead, when the store would
// search and download it now and nothing decided on the name yet in this
// generation. `crafts` above 0 (or `requested`) says that the item will be
// expanded, so that the entries of its recipe are fetched ahead in turn.
// `urgent` names go before the waiting ones. Without workers (none could be
// started) nothing is fetched ahead; nor is an item that is not requested
// while no name of the generation needed a download yet.
void fetchItemAhead(FetchAhead *ahead, const char *name, int crafts, bool requested, bool urgent);

// The store takes `name` in hand. A name that fetching ahead has taken on
// stays with it (the store's requests for it find their bodies here); any
// other is never fetched ahead in this generation. Waits while fetching
// ahead is deciding on the name.
void claimItem(FetchAhead *ahead, const char *name);

// The answer body of `address` into `file`: taken from fetching ahead when
// it has fetched it (or waited for while it runs), else fetched now through
// the process's client. True when the transfer completed and the body was
// written. A transfer that failed ahead is this fetch's failure: it is not
// sent again. *facts (when given) receives the facts that fetching ahead
// read from the body, or null.
bool fetchAnswer(FetchAhead *ahead, const char *address, std::FILE *file,
                 std::shared_ptr<const ItemFacts> *facts);
