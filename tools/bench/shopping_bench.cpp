// In-process benchmarks of the shopping-list core on a prepared run folder:
// the core data load and its name lookups, a warm-cache expansion of a whole
// request list, the sort of the finished table, and beside them the floor:
// every document of the run and the core data read once.
//
// The run folder (environment variable SHOPPING_BENCH_DIR, default
// build/bench/run) holds cache/ with every document of the list and
// cache/corvanedbcore, and list.txt with one "Name quantity" per line.
// tools/bench/run_bench.py prepares it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/process_state.h"
#include "data/cache_folder.h"
#include "data/core_data.h"
#include "data/file_system.h"
#include "data/item_store.h"
#include "list/material_order.h"
#include "read_once_floor.h"
#include "recipe/expansion.h"
#include "recipe/generation.h"
#include "base/decimal_digits.h"

namespace {

struct Request {
    std::string name;
    int quantity;
};

std::vector<Request> requests;          // list.txt
std::vector<std::string> floorFiles;    // every file of cache/
std::vector<int> documentIds;           // the item id of every document in cache/
std::vector<std::string> documentNames; // the item name of every document in cache/
long long coreFileBytes = 0;

// Splits "Name quantity" at its last blank, as the demo does; a line without
// a number is a name with quantity 1, as on the command line.
bool readList(const std::string &path) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty()) continue;
        std::size_t blank = line.find_last_of(' ');
        if (blank != std::string::npos && line[blank + 1] >= '0' && line[blank + 1] <= '9')
            requests.push_back({line.substr(0, blank), readLeadingDigits(line.c_str() + blank + 1)});
        else
            requests.push_back({line, 1});
    }
    return !requests.empty();
}

// The id of each document of the cache folder, read as the store reads it.
void readDocumentIds() {
    for (const std::string &path : floorFiles) {
        if (path.size() >= 14 && path.compare(path.size() - 14, 14, "/corvanedbcore") == 0) {
            std::FILE *file = std::fopen(path.c_str(), "rb");
            if (file) {
                std::fseek(file, 0, SEEK_END);
                coreFileBytes = std::ftell(file);
                std::fclose(file);
            }
            continue;
        }
        documentNames.push_back(path.substr(path.find_last_of('/') + 1));
        std::FILE *file = std::fopen(path.c_str(), "rb");
        if (!file) continue;
        char *text = nullptr;
        std::size_t length = 0;
        if (readWholeFile(file, &text, &length) == 0) {
            int id = findDocumentItemId(text);
            if (id > 0) documentIds.push_back(id);
        }
        std::free(text);
        std::fclose(file);
    }
}

// Sends standard output (the expansion's progress dots) to /dev/null while
// alive, and puts it back afterwards.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved = dup(1);
        int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        dup2(devnull, 1);
        close(devnull);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }

private:
    int saved;
};

MaterialTable lastTable; // the rows of the last expandList, in materialStorage

// One whole warm generation as runCommandLine does it (one expandItem per
// line at depth 0, in one generation); the row count, or -1. With `sort`,
// the rows are sorted as the front ends do.
int expandList(bool sort = false) {
    int result = 0;
    Generation generation;
    openGeneration(&generation, settings, materialStorage, nullptr);
    for (const Request &request : requests) {
        result = expandItem(request.name.c_str(), &generation, request.quantity, 0);
        if (result != 0) break;
    }
    if (result == 0 && sort) sortMaterials(&generation.table);
    lastTable = generation.table;
    closeGeneration(&generation);
    return result == 0 ? lastTable.rowCount : -1;
}

// ------------------------------------------------------------------ floor

void BM_Floor_ReadOnce(benchmark::State &state) {
    long long bytes = 0;
    for (auto _ : state) {
        bytes = readEachFileOnce(floorFiles);
        benchmark::DoNotOptimize(bytes);
    }
    if (bytes < 0) state.SkipWithError("a file of cache/ could not be read");
    state.counters["files"] = static_cast<double>(floorFiles.size());
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_Floor_ReadOnce)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// ------------------------------------------------------------------ item store

// Every document of the run loaded once through the store (cache hits).
void BM_LoadEachDocumentOnce(benchmark::State &state) {
    long long loaded = 0;
    for (auto _ : state) {
        loaded = 0;
        ItemStore store;
        openItemStore(&store, &settings);
        for (const std::string &name : documentNames) {
            char *text = nullptr;
            int id = 0;
            if (loadItemDocument(&store, name.c_str(), &text, &id, nullptr) == 0) ++loaded;
            std::free(text);
        }
        closeItemStore(&store);
    }
    if (loaded != static_cast<long long>(documentNames.size()))
        state.SkipWithError("a document could not be loaded");
    state.counters["documents"] = static_cast<double>(documentNames.size());
}
BENCHMARK(BM_LoadEachDocumentOnce)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// ------------------------------------------------------------------ core data

void BM_LoadCoreData(benchmark::State &state) {
    for (auto _ : state) {
        if (!loadCoreData()) {
            state.SkipWithError("loadCoreData failed");
            break;
        }
        freeCoreData();
    }
    state.SetBytesProcessed(state.iterations() * coreFileBytes);
}
BENCHMARK(BM_LoadCoreData)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Loading plus the first lookup: whatever a lookup prepares on first use
// (an index, say) is paid here, once per run.
void BM_LoadCoreDataAndFirstLookup(benchmark::State &state) {
    char name[CORE_NAME_BUFFER_SIZE];
    int id = documentIds.empty() ? 1 : documentIds.front();
    for (auto _ : state) {
        if (!loadCoreData()) {
            state.SkipWithError("loadCoreData failed");
            break;
        }
        benchmark::DoNotOptimize(lookupCoreItemName(id, name));
        freeCoreData();
    }
}
BENCHMARK(BM_LoadCoreDataAndFirstLookup)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Every item id of the run's documents looked up once per iteration, the
// core data loaded once before (so a first-use preparation is not counted).
void BM_LookupCoreItemName(benchmark::State &state) {
    if (!loadCoreData()) {
        state.SkipWithError("loadCoreData failed");
        return;
    }
    char name[CORE_NAME_BUFFER_SIZE];
    long long found = 0;
    for (auto _ : state) {
        found = 0;
        for (int id : documentIds) found += lookupCoreItemName(id, name) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    freeCoreData();
    if (found != static_cast<long long>(documentIds.size()))
        state.SkipWithError("an id of the run has no core data entry");
    state.counters["ids"] = static_cast<double>(documentIds.size());
    state.counters["per_lookup"] = benchmark::Counter(
        static_cast<double>(state.iterations() * documentIds.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(documentIds.size()));
}
BENCHMARK(BM_LookupCoreItemName)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The worst case: an id that the core data does not hold, a full scan.
void BM_LookupCoreItemName_Missing(benchmark::State &state) {
    if (!loadCoreData()) {
        state.SkipWithError("loadCoreData failed");
        return;
    }
    char name[CORE_NAME_BUFFER_SIZE];
    for (auto _ : state) benchmark::DoNotOptimize(lookupCoreItemName(-424242, name));
    freeCoreData();
}
BENCHMARK(BM_LookupCoreItemName_Missing)->Unit(benchmark::kMicrosecond);

// ------------------------------------------------------------------ expansion

// The whole list expanded from the warm cache, as the console does it: one
// expandItem per line at depth 0, on a cleared table. Core data stays loaded.
void BM_WarmExpansion(benchmark::State &state) {
    if (!loadCoreData()) {
        state.SkipWithError("loadCoreData failed");
        return;
    }
    int rowCount = 0;
    {
        QuietStdout quiet;
        for (auto _ : state) {
            rowCount = expandList();
            if (rowCount < 0) break;
        }
    }
    freeCoreData();
    if (rowCount < 0) state.SkipWithError("an expansion failed");
    state.counters["rows"] = rowCount;
    state.counters["requests"] = static_cast<double>(requests.size());
}
BENCHMARK(BM_WarmExpansion)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Everything a warm console run does in-process but printing: load the core
// data, expand every line, sort, release the core data.
void BM_WarmRun(benchmark::State &state) {
    int rowCount = 0;
    {
        QuietStdout quiet;
        for (auto _ : state) {
            if (!loadCoreData()) {
                rowCount = -1;
                break;
            }
            rowCount = expandList(true);
            freeCoreData();
            if (rowCount < 0) break;
        }
    }
    if (rowCount < 0) state.SkipWithError("the run failed");
    state.counters["rows"] = rowCount;
}
BENCHMARK(BM_WarmRun)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ------------------------------------------------------------------ sort

// sortMaterials over the rows of one warm generation, in creation order as
// the console sorts them. Restoring the unsorted rows is not timed.
void BM_SortMaterials(benchmark::State &state) {
    if (!loadCoreData()) {
        state.SkipWithError("loadCoreData failed");
        return;
    }
    int rowCount = 0;
    {
        QuietStdout quiet;
        rowCount = expandList();
    }
    freeCoreData();
    if (rowCount < 0) {
        state.SkipWithError("the expansion failed");
        return;
    }
    std::vector<MaterialRecord> unsorted(lastTable.rows, lastTable.rows + rowCount);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(lastTable.rows, unsorted.data(), sizeof(MaterialRecord) * unsorted.size());
        state.ResumeTiming();
        sortMaterials(&lastTable);
    }
    state.counters["rows"] = rowCount;
}
BENCHMARK(BM_SortMaterials)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    const char *folder = std::getenv("SHOPPING_BENCH_DIR");
    std::string runFolder = folder && *folder ? folder : "build/bench/run";
    if (chdir(runFolder.c_str()) != 0) {
        std::fprintf(stderr, "no run folder %s (set SHOPPING_BENCH_DIR)\n", runFolder.c_str());
        return 2;
    }
    if (!readList("list.txt")) {
        std::fprintf(stderr, "no requests in %s/list.txt\n", runFolder.c_str());
        return 2;
    }
    floorFiles = listFloorFiles(CACHE_FOLDER);
    readDocumentIds();
    resetProcessState();
    materialStorage = allocMaterialStorage();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    freeMaterialStorage(materialStorage);
    return 0;
}
