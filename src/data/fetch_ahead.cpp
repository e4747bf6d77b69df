// Worker threads that send the store's requests ahead of the expansion and
// hold the answers, by request address, until the store takes them.
#include "data/fetch_ahead.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/process_state.h"
#include "data/cache_folder.h"
#include "data/core_data.h"
#include "data/file_system.h"
#include "data/http_client.h"
#include "data/item_facts.h"
#include "data/lookup_rules.h"

namespace {

// Who has a name in hand in this generation.
enum NameOwner {
    NAME_DECIDING, // fetching ahead is finding out whether the store would download it
    NAME_AHEAD,    // fetching ahead sends its requests
    NAME_STORE,    // the store does all of it itself
};

enum TransferState { TRANSFER_QUEUED, TRANSFER_RUNNING, TRANSFER_DONE };

// One request address and its answer.
struct Transfer {
    TransferState state = TRANSFER_QUEUED;
    bool completed = false;
    std::string body;
    std::shared_ptr<const ItemFacts> facts; // read from an item document that was followed
};

// One item to fetch: its search address is queued in `transfers`.
struct Job {
    std::string name;
    std::string searchAddress;
    int crafts;
    bool requested;
};

} // namespace

struct FetchAhead {
    Settings settings;
    std::string baseAddress;
    std::mutex lock;
    std::condition_variable workOrRoom;   // a job queued, a body taken, or the end
    std::condition_variable transferDone; // a transfer done, or a name decided
    std::condition_variable slotFree;     // a transfer ended
    std::deque<Job> queue;
    std::unordered_map<std::string, NameOwner> names;
    std::unordered_map<std::string, Transfer> transfers;
    int transfersRunning = 0;
    int storeWaiting = 0;   // the store's own transfers waiting for room: they go first
    int bodiesHeld = 0;
    std::size_t bytesHeld = 0;
    bool workersStarted = false;
    bool downloading = false; // the generation downloads: a name was found to need it
    bool stopping = false;
    std::atomic<bool> cancel{false};
    std::vector<HttpConnection *> connections;
    std::vector<std::thread> workers;
};

namespace {

// The request address of the search for `name`, when the store would search
// and download it now: a name it takes, with no cache file (or refreshCache
// on), never one whose cache entry it cannot read.
bool storeWouldDownload(const FetchAhead &ahead, const char *name, std::string *searchAddress) {
    char path[PATH_BUFFER_SIZE];
    char address[WORK_BUFFER_SIZE];
    if (std::strlen(name) > MAX_ITEM_NAME_LENGTH || !cachePathOf(name, path)) return false;
    if (lookupSource(probeFileForReading(path), ahead.settings.refreshCache) != LOOKUP_DOWNLOAD)
        return false;
    if (checkDownload(name, ahead.baseAddress.c_str(), address) != DOWNLOAD_TAKEN) return false;
    *searchAddress = address;
    return true;
}

// Waits for room for a worker's transfer and takes it; false once stopping.
bool takeWorkerSlot(FetchAhead &ahead, std::unique_lock<std::mutex> &held) {
    ahead.slotFree.wait(held, [&] {
        return ahead.stopping || ahead.transfersRunning + ahead.storeWaiting < FETCH_AHEAD_TRANSFERS;
    });
    if (ahead.stopping) return false;
    ++ahead.transfersRunning;
    return true;
}

void giveSlot(FetchAhead &ahead) {
    --ahead.transfersRunning;
    ahead.slotFree.notify_all();
}

// Records the answer of a running transfer; the lock is held.
void finishTransfer(FetchAhead &ahead, const std::string &address, bool completed, std::string &&body,
                    std::shared_ptr<const ItemFacts> facts) {
    Transfer &transfer = ahead.transfers[address];
    transfer.state = TRANSFER_DONE;
    transfer.completed = completed;
    transfer.facts = std::move(facts);
    ahead.bytesHeld += body.size();
    ++ahead.bodiesHeld;
    transfer.body = std::move(body);
    ahead.transferDone.notify_all();
}

// One transfer on a worker's connection, in its slot.
bool fetchOnWorker(FetchAhead &ahead, HttpConnection *connection, const std::string &address,
                   std::string *body, std::unique_lock<std::mutex> &held) {
    held.unlock();
    bool completed = fetchToMemory(connection, address.c_str(), body, &ahead.cancel);
    held.lock();
    giveSlot(ahead);
    return completed;
}

// The facts of a fetched item document as the store will hand it out (cut
// before its ,"related" key; the text ends at a zero byte, too), and the
// items its expansion will need next.
std::shared_ptr<const ItemFacts> followDocument(FetchAhead &ahead, const Job &job, const std::string &body,
                                                std::vector<Job> *next) {
    std::string text(body.c_str());
    cutBeforeRelated(text.data());
    auto facts = std::make_shared<ItemFacts>();
    readItemFacts(text.c_str(), facts.get());
    bool crafted = facts->hasRecipe && !facts->vendorListBroken && !facts->ingredientListBroken &&
                   (job.requested || craftedBelowTheTop(*facts, ahead.settings));
    if (crafted)
        for (const RecipeEntry &entry : facts->entries)
            next->push_back({entry.name, "", entryGrows(entry, job.crafts) ? 1 : 0, false});
    return facts;
}

// Runs one job: the search, the choice of item, the item's document, and
// the items it leads to. The lock is held on entry and on return.
void runJob(FetchAhead &ahead, HttpConnection *connection, const Job &job,
            std::unique_lock<std::mutex> &held) {
    // A search that is no longer queued was taken back by the store.
    auto queued = [&] {
        auto search = ahead.transfers.find(job.searchAddress);
        return search != ahead.transfers.end() && search->second.state == TRANSFER_QUEUED;
    };
    if (!queued() || !takeWorkerSlot(ahead, held)) return;
    if (!queued()) {
        giveSlot(ahead);
        return;
    }
    ahead.transfers[job.searchAddress].state = TRANSFER_RUNNING;
    std::string answer;
    bool completed = fetchOnWorker(ahead, connection, job.searchAddress, &answer, held);
    // The item's document is claimed with the answer's arrival, so that the
    // store, once it has the answer, finds the document on its way.
    int itemId = 0;
    char address[WORK_BUFFER_SIZE];
    bool chosen = completed && chooseSearchResult(answer.c_str(), &itemId) &&
                  formItemAddress(ahead.baseAddress.c_str(), itemId, address, sizeof address) &&
                  ahead.transfers.find(address) == ahead.transfers.end();
    finishTransfer(ahead, job.searchAddress, completed, std::move(answer), nullptr);
    if (!chosen || ahead.stopping) return;
    std::string itemAddress = address;
    ahead.transfers[itemAddress].state = TRANSFER_RUNNING;
    std::string document;
    completed = takeWorkerSlot(ahead, held) && fetchOnWorker(ahead, connection, itemAddress, &document, held);
    std::shared_ptr<const ItemFacts> facts;
    std::vector<Job> next;
    if (completed && (job.requested || job.crafts > 0)) {
        held.unlock();
        facts = followDocument(ahead, job, document, &next);
        held.lock();
    }
    finishTransfer(ahead, itemAddress, completed, std::move(document), std::move(facts));
    held.unlock();
    // The first entry first: each goes before the ones that wait.
    for (auto entry = next.rbegin(); entry != next.rend(); ++entry)
        fetchItemAhead(&ahead, entry->name.c_str(), entry->crafts, false, true);
    held.lock();
}

bool roomAhead(const FetchAhead &ahead) {
    return ahead.bodiesHeld < MAX_BODIES_AHEAD && ahead.bytesHeld < MAX_BYTES_AHEAD;
}

void runWorker(FetchAhead *ahead, HttpConnection *connection) {
    blockInterruptsOnThisThread();
    std::unique_lock<std::mutex> held(ahead->lock);
    for (;;) {
        ahead->workOrRoom.wait(held, [&] {
            return ahead->stopping || (!ahead->queue.empty() && roomAhead(*ahead));
        });
        if (ahead->stopping) break;
        Job job = std::move(ahead->queue.front());
        ahead->queue.pop_front();
        runJob(*ahead, connection, job, held);
    }
}

// Leaves the generation one at a time: every name waiting for a worker goes
// back to the store. The lock is held.
void giveUpFetchingAhead(FetchAhead &ahead) {
    for (const Job &job : ahead.queue) {
        ahead.transfers.erase(job.searchAddress);
        ahead.names[job.name] = NAME_STORE;
    }
    ahead.queue.clear();
    ahead.transferDone.notify_all();
}

// Starts the workers, each with a connection of its own, on the first job.
// When not one can be had (no thread, no connection), fetching ahead gives
// up and the run goes on one at a time. The lock is held.
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

void closeFetchAhead(FetchAhead *ahead) {
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
    delete ahead;
}

void fetchItemAhead(FetchAhead *ahead, const char *name, int crafts, bool requested, bool urgent) {
    if (!ahead) return;
    {
        std::lock_guard<std::mutex> held(ahead->lock);
        if (ahead->stopping || (ahead->workersStarted && ahead->workers.empty())) return;
        // While nothing needs a download (a warm cache), the entries of the
        // recipes are not looked at: each would cost a look at the file
        // system for nothing. The requested items, and the first download,
        // set it off.
        if (!requested && !ahead->downloading) return;
        if (!ahead->names.try_emplace(name, NAME_DECIDING).second) return;
    }
    // Deciding may wait for the file system; the store waits meanwhile only
    // if it comes to this very name.
    Job job{name, "", crafts, requested};
    bool download = storeWouldDownload(*ahead, name, &job.searchAddress);
    std::lock_guard<std::mutex> held(ahead->lock);
    NameOwner &owner = ahead->names[name];
    ahead->transferDone.notify_all();
    if (!download || ahead->stopping) {
        owner = NAME_STORE;
        return;
    }
    owner = NAME_AHEAD;
    ahead->downloading = true;
    ahead->transfers[job.searchAddress] = Transfer{};
    if (urgent)
        ahead->queue.push_front(std::move(job));
    else
        ahead->queue.push_back(std::move(job));
    if (!ahead->workersStarted) startWorkers(*ahead);
    ahead->workOrRoom.notify_one();
}

void claimItem(FetchAhead *ahead, const char *name) {
    if (!ahead) return;
    std::unique_lock<std::mutex> held(ahead->lock);
    ahead->downloading = true;
    auto [entry, added] = ahead->names.try_emplace(name, NAME_STORE);
    if (added) return;
    ahead->transferDone.wait(held, [&] { return ahead->names[name] != NAME_DECIDING; });
}

bool fetchAnswer(FetchAhead *ahead, const char *address, std::FILE *file,
                 std::shared_ptr<const ItemFacts> *facts) {
    if (facts) facts->reset();
    if (!ahead) return fetchToFile(address, file);
    std::unique_lock<std::mutex> held(ahead->lock);
    auto found = ahead->transfers.find(address);
    if (found != ahead->transfers.end() && found->second.state == TRANSFER_QUEUED) {
        // Not begun: the store's own fetch is as quick, and needs no worker.
        ahead->transfers.erase(found);
        found = ahead->transfers.end();
    }
    if (found != ahead->transfers.end()) {
        ahead->transferDone.wait(held, [&] {
            found = ahead->transfers.find(address);
            return found->second.state == TRANSFER_DONE;
        });
        Transfer taken = std::move(found->second);
        ahead->transfers.erase(found);
        --ahead->bodiesHeld;
        ahead->bytesHeld -= taken.body.size();
        ahead->workOrRoom.notify_all();
        held.unlock();
        if (facts) *facts = std::move(taken.facts);
        return taken.completed &&
               std::fwrite(taken.body.data(), 1, taken.body.size(), file) == taken.body.size();
    }
    ++ahead->storeWaiting;
    ahead->slotFree.wait(held, [&] { return ahead->transfersRunning < FETCH_AHEAD_TRANSFERS; });
    --ahead->storeWaiting;
    ++ahead->transfersRunning;
    held.unlock();
    bool completed = fetchToFile(address, file);
    held.lock();
    giveSlot(*ahead);
    return completed;
}
