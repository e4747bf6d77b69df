// Worker threads that send the store's requests ahead of the expansion,
// soonest needed first, and hold the answers, by request address, until the
// store takes them.
#include "data/fetch_ahead.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/process_state.h"
#include "data/cache_folder.h"
#include "data/core_data.h"
#include "data/file_system.h"
#include "data/http_client.h"
#include "data/item_facts.h"
#include "data/lookup_rules.h"
#include "data/request_address.h"

namespace {

// Where the expansion will first ask for a name: the entry numbers from the
// requested item down. Compared element by element, a shorter path that is
// the start of a longer one first: the order of a depth-first walk.
using Place = std::vector<std::uint32_t>;

// Who has a name in hand in this generation.
enum NameState {
    NAME_UNDECIDED, // needed; nobody looked yet whether the store would download it
    NAME_DECIDING,  // a worker looks whether the store would download it
    NAME_AHEAD,     // a worker sends its requests
    NAME_STORE,     // the store does all of it itself
};

// What fetching ahead knows of one name.
struct NameRecord {
    NameState state = NAME_UNDECIDED;
    Place place;             // where the expansion will first ask for it
    int depth = 1;           // of that expansion: 0 for a requested item
    int crafts = 0;          // how many crafts it is expanded by; 0: only its yield is read
    bool queued = false;     // waits in the queue for a worker
    bool followed = false;   // its recipe's entries were named
    std::string searchAddress;              // of a name fetched ahead
    std::shared_ptr<const ItemFacts> facts; // once its document was read
};

// One request address and its answer: running until done.
struct Transfer {
    bool done = false;
    bool completed = false;
    bool awaited = false; // the store waits for it: it may pass the byte budget
    bool dropped = false; // given up for room: the store sends the request itself
    std::string body;
    std::shared_ptr<const ItemFacts> facts; // read from an item document
};

} // namespace

struct FetchAhead {
    Settings settings;
    std::string baseAddress;
    std::mutex lock;
    std::condition_variable workOrRoom;   // a name queued, room, a slot free, or the end
    std::condition_variable transferDone; // a transfer done, or a name decided
    std::condition_variable slotFree;     // a transfer ended
    std::set<std::pair<Place, std::string>> queue; // names for the workers, soonest first
    std::unordered_map<std::string, NameRecord> names;
    // Documents the store read while nothing needed a download (a warm
    // cache): followed once something does.
    std::vector<std::pair<std::string, std::shared_ptr<const ItemFacts>>> readWhileWarm;
    std::unordered_map<std::string, Transfer> transfers; // running or done, by address
    std::uint32_t requestedItems = 0;
    int transfersRunning = 0;
    int storeWaiting = 0;  // the store's own transfers waiting for room: they go first
    bool oneAtATime = false; // the service asked to slow down: one transfer at a time from then on
    std::size_t bytesHeld = 0;     // of the answer bodies that wait for the store
    std::size_t bytesArriving = 0; // of the bodies of running worker transfers
    bool workersStarted = false;
    bool downloading = false; // the generation downloads: a name was found to need it
    bool stopping = false;
    FetchAheadCounts counts{};
    std::atomic<bool> cancel{false};
    std::vector<HttpConnection *> connections;
    std::vector<std::thread> workers;
};

namespace {

// The request address of the search for `name`, when the store would search
// and download it now: a name it takes, with no cache file (or refreshCache
// on), never one whose cache entry it cannot read.
bool storeWouldDownload(const FetchAhead &ahead, const std::string &name, std::string *searchAddress) {
    char path[PATH_BUFFER_SIZE];
    char address[WORK_BUFFER_SIZE];
    if (name.size() > MAX_ITEM_NAME_LENGTH || !cachePathOf(name.c_str(), path)) return false;
    if (lookupSource(probeFileForReading(path), ahead.settings.refreshCache) != LOOKUP_DOWNLOAD)
        return false;
    if (checkDownload(name.c_str(), ahead.baseAddress.c_str(), address) != DOWNLOAD_TAKEN) return false;
    *searchAddress = address;
    return true;
}

// How many transfers may run at once now.
int transferLimit(const FetchAhead &ahead) { return ahead.oneAtATime ? 1 : FETCH_AHEAD_TRANSFERS; }

bool slotAvailable(const FetchAhead &ahead) {
    return ahead.transfersRunning + ahead.storeWaiting < transferLimit(ahead);
}

// Has a transfer that meets a rate limit make the rest of the run send one
// request at a time, from the moment the service asks to wait.
void watchRateLimit(FetchAhead &ahead, FetchWatch *watch) {
    watch->limited = [&ahead] {
        std::lock_guard<std::mutex> guard(ahead.lock);
        ahead.oneAtATime = true;
    };
}

void takeSlot(FetchAhead &ahead) {
    ++ahead.transfersRunning;
    ahead.counts.mostTransfers = std::max(ahead.counts.mostTransfers, ahead.transfersRunning);
}

void giveSlot(FetchAhead &ahead) {
    --ahead.transfersRunning;
    ahead.slotFree.notify_all();
    ahead.workOrRoom.notify_all();
}

void countBytesAhead(FetchAhead &ahead) {
    ahead.counts.mostBytesAhead = std::max(ahead.counts.mostBytesAhead, ahead.bytesHeld + ahead.bytesArriving);
}

bool roomAhead(const FetchAhead &ahead) { return ahead.bytesHeld + ahead.bytesArriving < MAX_BYTES_AHEAD; }

bool workersGaveUp(const FetchAhead &ahead) { return ahead.workersStarted && ahead.workers.empty(); }

void startWorkers(FetchAhead &ahead);

// Puts a name in the queue; the lock is held.
void enqueue(FetchAhead &ahead, const std::string &name, NameRecord &record) {
    if (record.queued || workersGaveUp(ahead)) return;
    record.queued = true;
    ahead.queue.emplace(record.place, name);
    if (!ahead.workersStarted) startWorkers(ahead);
    ahead.workOrRoom.notify_one();
}

void dequeue(FetchAhead &ahead, const std::string &name, NameRecord &record) {
    if (!record.queued) return;
    ahead.queue.erase({record.place, name});
    record.queued = false;
}

bool expanded(const NameRecord &record) { return record.depth == 0 || record.crafts > 0; }

void noteNeeded(FetchAhead &ahead, const std::string &name, const Place &place, int depth, int crafts);
void follow(FetchAhead &ahead, NameRecord &record);

// The store has read the document of `name` itself: the name is the store's
// (unless a worker fetched it), and its entries are named. The lock is held.
void takeStoreDocument(FetchAhead &ahead, const std::string &name,
                       const std::shared_ptr<const ItemFacts> &facts) {
    // A name never heard of comes from a recipe that was not followed: how
    // the expansion uses it is not known, so its entries are not named.
    NameRecord &record = ahead.names[name];
    dequeue(ahead, name, record);
    if (record.state != NAME_AHEAD) record.state = NAME_STORE;
    record.facts = facts;
    follow(ahead, record);
}

// The generation downloads: the documents read before are followed now, in
// the order they were read, and their entries queued, to be decided by the
// workers. The lock is held.
void startDownloading(FetchAhead &ahead) {
    if (ahead.downloading) return;
    ahead.downloading = true;
    for (const auto &[name, facts] : ahead.readWhileWarm) takeStoreDocument(ahead, name, facts);
    ahead.readWhileWarm.clear();
    ahead.readWhileWarm.shrink_to_fit();
}

// Names the entries of a document whose item the expansion will expand, as
// the expansion will ask for them. Once per name; the lock is held.
void follow(FetchAhead &ahead, NameRecord &record) {
    if (record.followed || !record.facts || !expanded(record)) return;
    if (recipeStep(*record.facts, ahead.settings, record.depth) != RECIPE_CRAFTED) return;
    record.followed = true;
    Place place = record.place;
    place.push_back(0);
    const std::vector<RecipeEntry> &entries = record.facts->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        place.back() = static_cast<std::uint32_t>(i);
        noteNeeded(ahead, entries[i].name, place, record.depth + 1,
                   entryGrows(entries[i], record.crafts) ? 1 : 0);
    }
}

// The expansion will ask for `name` at `place`, at `depth`, and expand it by
// `crafts` (0: it reads only its yield). A name met again keeps the sooner
// place and the larger need; one that is expanded only now has its entries
// named now, when its document was read already. The lock is held.
void noteNeeded(FetchAhead &ahead, const std::string &name, const Place &place, int depth, int crafts) {
    auto [found, added] = ahead.names.try_emplace(name);
    NameRecord &record = found->second;
    if (added) {
        record.place = place;
        record.depth = depth;
        record.crafts = crafts;
        enqueue(ahead, name, record);
        return;
    }
    bool expandedBefore = expanded(record);
    record.depth = std::min(record.depth, depth);
    record.crafts = std::max(record.crafts, crafts);
    if (place < record.place) {
        bool queued = record.queued;
        dequeue(ahead, name, record);
        record.place = place;
        if (queued) enqueue(ahead, name, record);
    }
    if (!expandedBefore) follow(ahead, record);
}

// Records the answer of a running transfer; the lock is held.
void finishTransfer(FetchAhead &ahead, const std::string &address, bool completed, std::string &&body,
                    std::shared_ptr<const ItemFacts> facts) {
    Transfer &transfer = ahead.transfers[address];
    transfer.done = true;
    transfer.completed = completed;
    if (transfer.dropped) std::string().swap(body);
    transfer.facts = std::move(facts);
    ahead.bytesHeld += body.size();
    countBytesAhead(ahead);
    transfer.body = std::move(body);
    ahead.transferDone.notify_all();
}

// One transfer on a worker's connection, in the slot it holds; the slot is
// given back. Its body counts against the byte budget as it arrives; one
// that would pass the budget while the store does not wait for it is
// dropped (the store sends that request itself when it comes to it).
bool fetchOnWorker(FetchAhead &ahead, HttpConnection *connection, const std::string &address,
                   std::string *body, std::unique_lock<std::mutex> &held) {
    std::size_t arrived = 0;
    FetchWatch watch;
    watch.arriving = [&](std::size_t bytes) {
        std::lock_guard<std::mutex> guard(ahead.lock);
        Transfer &transfer = ahead.transfers[address];
        if (!transfer.awaited && ahead.bytesHeld + ahead.bytesArriving + bytes > MAX_BYTES_AHEAD) {
            transfer.dropped = true;
            return false;
        }
        ahead.bytesArriving += bytes;
        arrived += bytes;
        countBytesAhead(ahead);
        return true;
    };
    watchRateLimit(ahead, &watch);
    held.unlock();
    bool completed = fetchToMemory(connection, address.c_str(), body, &ahead.cancel, &watch);
    held.lock();
    ahead.bytesArriving -= arrived;
    giveSlot(ahead);
    return completed && !ahead.transfers[address].dropped;
}

// The facts of a fetched item document as the store will hand it out (cut
// before its ,"related" key; the text ends at a zero byte, too).
std::shared_ptr<const ItemFacts> readFetchedFacts(std::string &body) {
    auto facts = std::make_shared<ItemFacts>();
    readUncutItemFacts(body.data(), facts.get());
    return facts;
}

// Runs one name, in the slot the worker took for it: the search, the choice
// of item, the item's document, and the entries it leads to. The lock is
// held on entry and on return.
void runItem(FetchAhead &ahead, HttpConnection *connection, const std::string &name,
             std::unique_lock<std::mutex> &held) {
    NameRecord &record = ahead.names[name];
    ++ahead.counts.itemsAhead;
    std::string searchAddress = record.searchAddress;
    ahead.transfers[searchAddress] = Transfer{};
    std::string answer;
    bool completed = fetchOnWorker(ahead, connection, searchAddress, &answer, held);
    // The item's document is claimed with the answer's arrival, so that the
    // store, once it has the answer, finds the document on its way.
    int itemId = 0;
    char address[WORK_BUFFER_SIZE];
    bool chosen = completed && chooseSearchResult(answer.c_str(), &itemId) &&
                  formItemAddress(ahead.baseAddress.c_str(), itemId, address, sizeof address) &&
                  ahead.transfers.find(address) == ahead.transfers.end();
    finishTransfer(ahead, searchAddress, completed, std::move(answer), nullptr);
    if (!chosen || ahead.stopping) return;
    std::string itemAddress = address;
    ahead.transfers[itemAddress] = Transfer{};
    ahead.slotFree.wait(held, [&] { return ahead.stopping || slotAvailable(ahead); });
    std::string document;
    std::shared_ptr<const ItemFacts> facts;
    completed = false;
    if (!ahead.stopping) {
        takeSlot(ahead);
        completed = fetchOnWorker(ahead, connection, itemAddress, &document, held);
    }
    if (completed) {
        held.unlock();
        facts = readFetchedFacts(document);
        held.lock();
        record.facts = facts;
    }
    finishTransfer(ahead, itemAddress, completed, std::move(document), std::move(facts));
    follow(ahead, record);
}

// Takes the soonest name of the queue and decides on it, in a slot taken
// for it: true when it is to be fetched, with the slot held. The lock is
// held.
bool takeNext(FetchAhead &ahead, std::string *name, std::unique_lock<std::mutex> &held) {
    auto next = ahead.queue.begin();
    *name = next->second;
    NameRecord &record = ahead.names[*name];
    dequeue(ahead, *name, record);
    if (record.state != NAME_UNDECIDED && record.state != NAME_AHEAD) return false;
    takeSlot(ahead);
    if (record.state == NAME_UNDECIDED) {
        // Deciding may wait for the file system; the store waits meanwhile
        // only if it comes to this very name.
        record.state = NAME_DECIDING;
        held.unlock();
        std::string searchAddress;
        bool download = storeWouldDownload(ahead, *name, &searchAddress);
        held.lock();
        record.state = download && !ahead.stopping ? NAME_AHEAD : NAME_STORE;
        record.searchAddress = std::move(searchAddress);
        ahead.transferDone.notify_all();
    }
    if (record.state == NAME_AHEAD) return true;
    giveSlot(ahead);
    return false;
}

void runWorker(FetchAhead *ahead, HttpConnection *connection) {
    blockInterruptsOnThisThread();
    std::unique_lock<std::mutex> held(ahead->lock);
    for (;;) {
        ahead->workOrRoom.wait(held, [&] {
            return ahead->stopping ||
                   (!ahead->queue.empty() && roomAhead(*ahead) && slotAvailable(*ahead));
        });
        if (ahead->stopping) break;
        std::string name;
        if (takeNext(*ahead, &name, held)) runItem(*ahead, connection, name, held);
    }
}

// Leaves the generation one at a time: every name waiting for a worker goes
// back to the store. The lock is held.
void giveUpFetchingAhead(FetchAhead &ahead) {
    for (const auto &[place, name] : ahead.queue) {
        NameRecord &record = ahead.names[name];
        record.queued = false;
        record.state = NAME_STORE;
    }
    ahead.queue.clear();
    ahead.transferDone.notify_all();
}

// Starts the workers, each with a connection of its own, on the first name
// queued. When not one can be had (no thread, no connection), fetching
// ahead gives up and the run goes on one at a time. The lock is held.
void startWorkers(FetchAhead &ahead) {
    ahead.workersStarted = true;
    for (int i = 0; i < FETCH_AHEAD_TRANSFERS; ++i) {
        HttpConnection *connection = openHttpConnection();
        if (!connection) break;
        try {
            ahead.workers.emplace_back(runWorker, &ahead, connection);
        } catch (const std::system_error &) {
            closeHttpConnection(connection);
            break;
        }
        ahead.connections.push_back(connection);
    }
    if (ahead.workers.empty()) giveUpFetchingAhead(ahead);
}

} // namespace

FetchAhead *openFetchAhead(const Settings *settings, const std::string &baseAddress) {
    if (settings->verbose || !cacheFolderExists()) return nullptr;
    // The store downloads only into a cache folder that takes new files; so
    // does fetching ahead, which would otherwise send requests the store
    // never would.
    CacheDownload probe;
    if (!openCacheDownload(&probe)) return nullptr;
    discardCacheDownload(&probe);
    // The workers name recipe entries from the core data: its index is built
    // here, once, so that they only read it.
    prepareCoreItemNames();
    auto *ahead = new FetchAhead;
    ahead->settings = *settings;
    ahead->baseAddress = baseAddress;
    return ahead;
}

void closeFetchAhead(FetchAhead *ahead, FetchAheadCounts *counts) {
    if (counts) *counts = FetchAheadCounts{};
    if (!ahead) return;
    {
        std::lock_guard<std::mutex> held(ahead->lock);
        ahead->stopping = true;
        ahead->queue.clear();
        ahead->cancel = true;
    }
    ahead->workOrRoom.notify_all();
    ahead->slotFree.notify_all();
    ahead->transferDone.notify_all();
    for (HttpConnection *connection : ahead->connections) wakeHttpConnection(connection);
    for (std::thread &worker : ahead->workers) worker.join();
    for (HttpConnection *connection : ahead->connections) closeHttpConnection(connection);
    if (counts) *counts = ahead->counts;
    delete ahead;
}

void expectRequestedItem(FetchAhead *ahead, const char *name, int quantity) {
    if (!ahead) return;
    std::string searchAddress;
    // Only a requested item is looked at while nothing needs a download: a
    // warm cache then costs no look at the entries' files, and the first
    // download sets the rest off.
    bool download = storeWouldDownload(*ahead, name, &searchAddress);
    std::lock_guard<std::mutex> held(ahead->lock);
    if (ahead->stopping) return;
    std::uint32_t index = ahead->requestedItems++;
    auto [found, added] = ahead->names.try_emplace(name);
    NameRecord &record = found->second;
    if (!added) {
        noteNeeded(*ahead, name, Place{index}, 0, quantity);
        return;
    }
    record.place = Place{index};
    record.depth = 0;
    record.crafts = quantity;
    if (!download || index == 0) {
        // Cached, or the first one: the store asks for it at once, before a
        // worker could have started.
        record.state = NAME_STORE;
        return;
    }
    record.state = NAME_AHEAD;
    record.searchAddress = std::move(searchAddress);
    startDownloading(*ahead);
    enqueue(*ahead, name, record);
}

void claimItem(FetchAhead *ahead, const char *name) {
    if (!ahead) return;
    std::unique_lock<std::mutex> held(ahead->lock);
    startDownloading(*ahead);
    NameRecord &record = ahead->names[name];
    ahead->transferDone.wait(held, [&] { return record.state != NAME_DECIDING; });
    if (record.state == NAME_AHEAD && !record.queued) return; // a worker has begun it
    dequeue(*ahead, name, record);
    record.state = NAME_STORE;
    ++ahead->counts.itemsByStore;
}

void itemLoadedByStore(FetchAhead *ahead, const char *name,
                       const std::shared_ptr<const ItemFacts> &facts) {
    if (!ahead) return;
    std::lock_guard<std::mutex> held(ahead->lock);
    // While nothing needs a download (a warm cache), the entries are not
    // looked at: the run may never download at all.
    if (!ahead->downloading)
        ahead->readWhileWarm.emplace_back(name, facts);
    else
        takeStoreDocument(*ahead, name, facts);
}

bool fetchAnswer(FetchAhead *ahead, const char *address, std::FILE *file,
                 std::shared_ptr<const ItemFacts> *facts) {
    if (facts) facts->reset();
    if (!ahead) return fetchToFile(address, file);
    std::unique_lock<std::mutex> held(ahead->lock);
    auto found = ahead->transfers.find(address);
    if (found != ahead->transfers.end()) {
        found->second.awaited = true;
        ahead->transferDone.wait(held, [&] {
            found = ahead->transfers.find(address);
            return found->second.done;
        });
        Transfer taken = std::move(found->second);
        ahead->transfers.erase(found);
        ahead->bytesHeld -= taken.body.size();
        ahead->workOrRoom.notify_all();
        if (!taken.dropped) {
            held.unlock();
            if (facts) *facts = std::move(taken.facts);
            return taken.completed &&
                   std::fwrite(taken.body.data(), 1, taken.body.size(), file) == taken.body.size();
        }
    }
    ++ahead->storeWaiting;
    ahead->slotFree.wait(held, [&] { return ahead->transfersRunning < transferLimit(*ahead); });
    --ahead->storeWaiting;
    takeSlot(*ahead);
    held.unlock();
    FetchWatch watch;
    watchRateLimit(*ahead, &watch);
    bool completed = fetchToFile(address, file, &watch);
    held.lock();
    giveSlot(*ahead);
    return completed;
}
