// Worker threads that search and download item documents ahead of the
// expansion, each with an HTTP connection of its own.
#include "data/prefetch.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/process_state.h"
#include "data/cache_folder.h"
#include "data/core_data.h"
#include "data/file_system.h"
#include "data/http_client.h"
#include "data/item_store.h"
#include "data/service.h"

namespace {

enum EntryState { ENTRY_QUEUED, ENTRY_RUNNING, ENTRY_DONE };

// One name asked for: its place in the work and, once done, what came of it.
struct AheadEntry {
    AheadRequest request;
    EntryState state = ENTRY_QUEUED;
    AheadOutcome outcome = AHEAD_NOTHING;
    std::string document;
};

// Everything the workers and the store's thread share, behind one lock.
struct FetchAhead {
    std::mutex lock;
    std::condition_variable workWaiting;  // a name was queued, or the run ends
    std::condition_variable entryDone;    // a running fetch ended
    std::condition_variable transferFree; // a transfer ended
    bool active = false;
    bool stopping = false;
    std::string baseAddress;              // taken once: the workers must not read the environment
    std::deque<std::string> queue;
    std::unordered_map<std::string, AheadEntry> entries;
    std::unordered_set<std::string> asked; // every name asked for or skipped in this generation
    int transfersRunning = 0;
    std::atomic<bool> cancel{false};
    std::vector<std::thread> workers;
    AheadFollower follower = nullptr;
};

FetchAhead ahead;

// Waits for room for one more transfer; the lock is held by the caller.
// False, with no room taken, once the run is being stopped.
bool takeTransfer(std::unique_lock<std::mutex> &held) {
    ahead.transferFree.wait(held, [] {
        return ahead.cancel.load() || ahead.transfersRunning < FETCH_AHEAD_WORKERS;
    });
    if (ahead.cancel.load()) return false;
    ++ahead.transfersRunning;
    return true;
}

void giveTransfer() {
    std::lock_guard<std::mutex> held(ahead.lock);
    --ahead.transfersRunning;
    ahead.transferFree.notify_one();
}

// One transfer on a worker's connection, counted among the running ones.
bool transfer(HttpConnection *connection, const char *address, std::string *body) {
    {
        std::unique_lock<std::mutex> held(ahead.lock);
        if (!takeTransfer(held)) return false;
    }
    bool completed = fetchToMemory(connection, address, body, &ahead.cancel);
    giveTransfer();
    return completed;
}

// The store's two-step lookup, into memory: the search, the choice of item,
// the item's document.
AheadOutcome fetchDocument(HttpConnection *connection, const std::string &base, const std::string &name,
                           std::string *document) {
    char address[WORK_BUFFER_SIZE];
    if (!formSearchAddress(base.c_str(), name.c_str(), address, sizeof address)) return AHEAD_NOTHING;
    std::string answer;
    if (!transfer(connection, address, &answer)) return AHEAD_NOTHING;
    int itemId = 0;
    // The store reads the answer as text, which ends at a zero byte.
    if (!chooseSearchResult(answer.c_str(), &itemId)) return AHEAD_NO_ITEM;
    formItemAddress(base.c_str(), itemId, address, sizeof address);
    if (!transfer(connection, address, document)) return AHEAD_NOTHING;
    return AHEAD_DOCUMENT;
}

// Lets the follower read `document` as the store will hand it out: cut
// before its ,"related" key (the text ends at its first zero byte, too).
void follow(AheadFollower follower, const AheadRequest &request, const std::string &document,
            std::vector<AheadRequest> *next) {
    std::string text(document.c_str());
    cutBeforeRelated(text.data());
    follower(request, text.c_str(), next);
}

bool storeWouldDownload(const char *name);
void startWorkers();

// Queues one request unless it was asked for before or the store would not
// download it.
void queueRequest(const AheadRequest &request, bool urgent) {
    {
        std::lock_guard<std::mutex> held(ahead.lock);
        if (!ahead.active || !ahead.asked.insert(request.name).second) return;
    }
    if (!storeWouldDownload(request.name.c_str())) return;
    std::lock_guard<std::mutex> held(ahead.lock);
    if (!ahead.active) return;
    AheadEntry entry;
    entry.request = request;
    ahead.entries.emplace(request.name, std::move(entry));
    if (urgent)
        ahead.queue.emplace_front(request.name);
    else
        ahead.queue.emplace_back(request.name);
    startWorkers();
    ahead.workWaiting.notify_one();
}

void runWorker(HttpConnection *connection) {
    std::unique_lock<std::mutex> held(ahead.lock);
    for (;;) {
        ahead.workWaiting.wait(held, [] { return ahead.stopping || !ahead.queue.empty(); });
        if (ahead.stopping) break;
        std::string name = std::move(ahead.queue.front());
        ahead.queue.pop_front();
        auto found = ahead.entries.find(name);
        if (found == ahead.entries.end()) continue; // taken back by the store
        found->second.state = ENTRY_RUNNING;
        AheadRequest request = found->second.request;
        std::string base = ahead.baseAddress;
        AheadFollower follower = ahead.follower;
        held.unlock();
        std::string document;
        AheadOutcome outcome = fetchDocument(connection, base, name, &document);
        std::vector<AheadRequest> next;
        if (outcome == AHEAD_DOCUMENT && follower) follow(follower, request, document, &next);
        for (auto request = next.rbegin(); request != next.rend(); ++request) queueRequest(*request, true);
        held.lock();
        found = ahead.entries.find(name);
        if (found != ahead.entries.end()) {
            found->second.state = ENTRY_DONE;
            found->second.outcome = outcome;
            found->second.document = std::move(document);
        }
        ahead.entryDone.notify_all();
    }
    held.unlock();
    closeHttpConnection(connection);
}

// Starts the workers on the first name queued.
void startWorkers() {
    if (!ahead.workers.empty()) return;
    for (int i = 0; i < FETCH_AHEAD_WORKERS; ++i) {
        HttpConnection *connection = openHttpConnection();
        if (!connection) break;
        ahead.workers.emplace_back(runWorker, connection);
    }
}

// True when the store would download the document of `name` now.
bool storeWouldDownload(const char *name) {
    if (std::strlen(name) > MAX_ITEM_NAME_LENGTH || !isPlainFileName(name)) return false;
    if (settings.refreshCache) return true;
    char path[PATH_BUFFER_SIZE];
    if (!formCachePath(name, path, sizeof path)) return false;
    FileOpenOutcome outcome = FILE_MISSING;
    std::FILE *file = openFileForReading(path, &outcome);
    if (file) std::fclose(file);
    return outcome == FILE_MISSING;
}

} // namespace

void startFetchingAhead() {
    stopFetchingAhead();
    if (settings.verbose || !cacheFolderExists()) return;
    // The store downloads only into a cache folder that takes new files; so
    // does fetching ahead, which would otherwise send requests the store
    // never would.
    CacheDownload probe;
    if (!openCacheDownload(&probe)) return;
    discardCacheDownload(&probe);
    // The workers' followers look names up; the index is built here, once.
    prepareCoreItemNames();
    std::lock_guard<std::mutex> held(ahead.lock);
    ahead.baseAddress = serviceBaseAddress();
    ahead.cancel = false;
    ahead.active = true;
}

void stopFetchingAhead() {
    {
        std::lock_guard<std::mutex> held(ahead.lock);
        ahead.active = false;
        ahead.stopping = true;
        ahead.queue.clear();
        ahead.cancel = true;
    }
    ahead.workWaiting.notify_all();
    ahead.transferFree.notify_all();
    for (std::thread &worker : ahead.workers) worker.join();
    std::lock_guard<std::mutex> held(ahead.lock);
    ahead.workers.clear();
    ahead.entries.clear();
    ahead.asked.clear();
    ahead.stopping = false;
    ahead.transfersRunning = 0;
}

bool fetchingAhead() {
    std::lock_guard<std::mutex> held(ahead.lock);
    return ahead.active;
}

void fetchAhead(const AheadRequest &request, bool urgent) { queueRequest(request, urgent); }

void setFetchAheadFollower(AheadFollower follower) {
    std::lock_guard<std::mutex> held(ahead.lock);
    ahead.follower = follower;
}

void skipFetchingAhead(const char *name) {
    std::lock_guard<std::mutex> held(ahead.lock);
    if (ahead.active) ahead.asked.insert(name);
}

AheadOutcome takeFetchedAhead(const char *name, std::string *document) {
    std::unique_lock<std::mutex> held(ahead.lock);
    if (!ahead.active) return AHEAD_NOTHING;
    auto found = ahead.entries.find(name);
    if (found == ahead.entries.end()) return AHEAD_NOTHING;
    if (found->second.state == ENTRY_QUEUED) {
        // Not begun: the store's own fetch is as quick, and needs no worker.
        ahead.entries.erase(found);
        return AHEAD_NOTHING;
    }
    ahead.entryDone.wait(held, [&] {
        found = ahead.entries.find(name);
        return found == ahead.entries.end() || found->second.state == ENTRY_DONE;
    });
    if (found == ahead.entries.end()) return AHEAD_NOTHING;
    AheadOutcome outcome = found->second.outcome;
    *document = std::move(found->second.document);
    ahead.entries.erase(found);
    return outcome;
}

// The store's own transfer waits for room like a worker's; it is never
// refused, as the store runs only while fetching ahead is not being stopped.
void beginOwnTransfer() {
    std::unique_lock<std::mutex> held(ahead.lock);
    ahead.transferFree.wait(held, [] { return ahead.transfersRunning < FETCH_AHEAD_WORKERS; });
    ++ahead.transfersRunning;
}

void endOwnTransfer() { giveTransfer(); }
