// Fetching documents ahead on a cold cache, end to end against the stand-in:
// the run's output and the cache it leaves are those of the one-at-a-time
// (verbose) run, also when it stops at a fault in the middle of the tree;
// refreshing downloads each item once; an interrupted run leaves no
// temporary file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/console_run.h"
#include "support/documents.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string CORE = "{\"ingredients\":{\"1\":{\"name\":\"Top\"}}}";

// Top needs 2 A, 1 B and 1 C; A needs 1 A1 and 3 A2; B needs B1; C needs
// C1 and C2. `change` replaces documents for one fault.
std::string writeTree(const std::string &root, const std::map<int, std::string> &change = {}) {
    std::string dataset = root + "/dataset";
    fs::create_directories(dataset + "/items");
    std::map<int, std::string> documents = {
        {1, itemDocument("Top", 1, "", 1, 1, {{2, 2, "A"}, {3, 1, "B"}, {4, 1, "C"}})},
        {2, itemDocument("A", 2, "", 2, 1, {{5, 1, "A1"}, {6, 3, "A2"}})},
        {3, itemDocument("B", 3, "", 2, 1, {{7, 1, "B1"}})},
        {4, itemDocument("C", 4, "", 3, 1, {{8, 1, "C1"}, {9, 1, "C2"}})},
        {5, itemDocument("A1", 5, "\"nodes\":[301]")},
        {6, itemDocument("A2", 6, "\"nodes\":[302]")},
        {7, itemDocument("B1", 7, "\"nodes\":[303]")},
        {8, itemDocument("C1", 8, "", -1, 2)},
        {9, itemDocument("C2", 9, "", -1, 2)},
    };
    for (const auto &[id, document] : change) documents[id] = document;
    for (const auto &[id, document] : documents)
        writeFile(dataset + "/items/" + std::to_string(id) + ".json", document);
    writeFile(dataset + "/core.json", CORE);
    return dataset;
}

using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string &folder) {
    Snapshot files;
    for (const auto &entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = readFile(entry.path().string());
    return files;
}

// The part of a console run's output after the header lines.
std::string afterHeader(const std::string &output) {
    std::size_t at = output.find(" items.\n");
    return at == std::string::npos ? output : output.substr(at + 8);
}

struct Fault {
    const char *label;
    std::map<int, std::string> documents; // replaced in the dataset
    std::string rules;                    // the stand-in's fault rules
    std::string output;                   // after the header, without -v
};

TEST(FetchAhead, FaultsInTheMiddleOfTheTreeLeaveWhatTheOneAtATimeRunLeaves) {
    const Fault faults[] = {
        {"no fault", {}, "[]", ".........\n   4 A1\n  12 A2\n   2 B1\n   2 C1\n   2 C2\n   4 A\n   2 B\n   2 C\n"},
        {"500 answer for B1's document", {}, R"([{"path":"/db/doc/item/en/3/7.json","status":500,"body":"<html>oops</html>"}])",
         ".....Error 3\n"},
        {"refused ingredient name", {{3, itemDocument("B", 3, "", 2, 1, {{7, 1, "../B1"}})}}, "[]",
         ".....Error opening cache file for [../B1]. Ensure the cache folder exists alongside "
         "the program.\nError 4\n"},
        {"id above 65536", {{7, itemDocument("B1", 70000, "\"nodes\":[303]")}}, "[]", ".....Error 5\n"},
        {"recipe cycle", {{7, itemDocument("B1", 7, "", 2, 1, {{1, 1, "Top"}})}}, "[]",
         ".......Recipe cycle: [Top] is an ingredient of itself.\nError 7\n"},
    };
    for (const Fault &fault : faults) {
        SCOPED_TRACE(fault.label);
        TempFolder root(false);
        std::string dataset = writeTree(root.path(), fault.documents);
        Standin standin(dataset);
        standin.setRules(fault.rules);
        std::map<bool, Snapshot> caches;
        std::map<bool, std::vector<std::string>> requests;
        for (bool verbose : {true, false}) {
            std::string folder = root.path() + (verbose ? "/one-at-a-time" : "/ahead");
            fs::create_directories(folder + "/cache");
            writeFile(folder + "/cache/corvanedbcore", CORE);
            fs::current_path(folder);
            standin.clearLog();
            std::vector<std::string> arguments = {"Top", "2"};
            if (verbose) arguments.push_back("-v");
            ConsoleRun run = runConsole(arguments);
            EXPECT_EQ(run.exitCode, 0);
            if (!verbose) {
                EXPECT_EQ(afterHeader(run.output), fault.output);
            }
            caches[verbose] = snapshot("cache");
            requests[verbose] = standin.requests();
            fs::current_path(root.path());
        }
        // The same files, byte for byte, and no temporary file left over.
        EXPECT_EQ(caches[false], caches[true]);
        // Every request of the one-at-a-time run was sent; fetching ahead
        // may have sent more only when the run stopped at a fault.
        std::multiset<std::string> one(requests[true].begin(), requests[true].end());
        std::multiset<std::string> ahead(requests[false].begin(), requests[false].end());
        for (const std::string &request : one) EXPECT_EQ(ahead.count(request), 1u) << request;
        if (fault.rules == "[]" && fault.documents.empty()) {
            EXPECT_EQ(ahead, one);
        }
    }
}

TEST(FetchAhead, ThousandAndFirstMaterialStopsTheRunWithTheCacheOfTheOneAtATimeRun) {
    // 995 parts are cached; the last six, the 1001st among them, come from
    // the service.
    TempFolder root(false);
    std::string dataset = root.path() + "/dataset";
    fs::create_directories(dataset + "/items");
    std::vector<Ingredient> parts;
    for (int id = 1; id <= 1001; ++id) parts.push_back({id + 10, 1, "Part " + std::to_string(id)});
    writeFile(dataset + "/items/2.json", itemDocument("Big", 2, "", 1, 1, parts));
    for (int id = 996; id <= 1001; ++id)
        writeFile(dataset + "/items/" + std::to_string(id + 10) + ".json",
                  itemDocument("Part " + std::to_string(id), id + 10));
    writeFile(dataset + "/core.json", CORE);
    Standin standin(dataset);
    std::map<bool, Snapshot> caches;
    for (bool verbose : {true, false}) {
        std::string folder = root.path() + (verbose ? "/one-at-a-time" : "/ahead");
        fs::create_directories(folder + "/cache");
        writeFile(folder + "/cache/corvanedbcore", CORE);
        for (int id = 1; id <= 995; ++id)
            writeFile(folder + "/cache/Part " + std::to_string(id), itemDocument("Part " + std::to_string(id), id + 10));
        fs::current_path(folder);
        std::vector<std::string> arguments = {"Big"};
        if (verbose) arguments.push_back("-v");
        ConsoleRun run = runConsole(arguments);
        EXPECT_EQ(run.exitCode, 0);
        if (!verbose) {
            EXPECT_EQ(afterHeader(run.output), std::string(1001, '.') +
                                                   "Too many materials: the list holds at most 1000, "
                                                   "[Part 1001] is one more.\nError 9\n");
        }
        caches[verbose] = snapshot("cache");
        fs::current_path(root.path());
    }
    EXPECT_EQ(caches[false].size(), 1 + 1 + 1000u); // core data, Big, 1000 parts
    EXPECT_EQ(caches[false].count("Part 1001"), 0u);
    EXPECT_EQ(caches[false], caches[true]);
}

TEST(FetchAhead, RefreshingDownloadsEachItemOncePerRunUnlessVerbose) {
    TempFolder root(false);
    // C1 and C2 are each used twice: by C, and by D.
    std::string dataset = writeTree(root.path(), {{1, itemDocument("Top", 1, "", 1, 1,
                                                                   {{2, 2, "A"}, {3, 1, "B"}, {4, 1, "C"}, {10, 1, "D"}})},
                                                  {10, itemDocument("D", 10, "", 3, 1, {{8, 5, "C1"}, {9, 5, "C2"}})}});
    Standin standin(dataset);
    fs::create_directories(root.path() + "/run/cache");
    fs::current_path(root.path() + "/run");
    writeFile("cache/corvanedbcore", CORE);
    ASSERT_EQ(runConsole({"Top"}).exitCode, 0);
    Snapshot cold = snapshot("cache");
    for (bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "verbose" : "quiet");
        standin.clearLog();
        std::vector<std::string> arguments = {"Top", "-rc"};
        if (verbose) arguments.push_back("-v");
        ASSERT_EQ(runConsole(arguments).exitCode, 0);
        std::vector<std::string> requests = standin.requests();
        std::map<std::string, int> counts;
        for (const std::string &request : requests) ++counts[request];
        // Top and the nine items below it: a search and a document each.
        EXPECT_EQ(counts.size(), 20u);
        int most = 0;
        for (const auto &[request, count] : counts) most = std::max(most, count);
        // Quiet: each once. Verbose: at every visit, as the diagnostic run
        // always did (C1 is visited for its row, and at each growth).
        if (verbose) {
            EXPECT_GT(most, 1);
        } else {
            EXPECT_EQ(most, 1);
        }
        EXPECT_EQ(snapshot("cache"), cold);
    }
    fs::current_path(root.path());
}

// Waits up to a minute for `done`.
template <typename Condition>
bool waitFor(Condition done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(FetchAhead, InterruptedRunsLeaveNoTemporaryFile) {
    // The interrupt comes while documents are in flight: with -v, while the
    // store's own download of Top waits; without, while the workers wait.
    for (bool verbose : {true, false}) {
        SCOPED_TRACE(verbose ? "one at a time" : "ahead");
        TempFolder root(false);
        std::string dataset = writeTree(root.path());
        Standin standin(dataset);
        standin.setRules(verbose ? R"([{"path":"/api/search.php","delay":60}])"
                                 : R"([{"path":"/db/doc/item/en/3/2.json","delay":60},{"path":"/db/doc/item/en/3/3.json","delay":60}])");
        fs::create_directories(root.path() + "/run/cache");
        fs::current_path(root.path() + "/run");
        writeFile("cache/corvanedbcore", CORE);
        // Started without a shell's "&", which would make it ignore SIGINT.
        std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY sh -c 'echo $$ > ../pid; exec " +
                              shellQuote(SHOPPING_LIST_EXECUTABLE) + " Top" + (verbose ? " -v" : "") +
                              "' > ../output 2>&1";
        pid_t script = fork();
        if (script == 0) {
            setsid();
            execlp("script", "script", "-qec", command.c_str(), "/dev/null", static_cast<char *>(nullptr));
            _exit(127);
        }
        ASSERT_GT(script, 0);
        // In flight: the delayed requests have arrived at the service.
        std::size_t delayed = verbose ? 1 : 2;
        ASSERT_TRUE(waitFor([&] {
            std::size_t seen = 0;
            for (const std::string &request : standin.requests())
                seen += request.rfind("/api/search.php?text=Top", 0) == 0 ||
                        request == "/db/doc/item/en/3/2.json" || request == "/db/doc/item/en/3/3.json";
            return seen >= delayed && fileExists("../pid");
        })) << readFile("../output");
        pid_t program = std::atoi(readFile("../pid").c_str());
        ASSERT_GT(program, 0);
        // Ctrl+C: SIGINT, as the terminal sends it.
        ASSERT_EQ(kill(program, SIGINT), 0);
        int status = 0;
        ASSERT_TRUE(waitFor([&] { return waitpid(script, &status, WNOHANG) == script; }));
        EXPECT_EQ(kill(program, 0), -1);
        for (const auto &[name, bytes] : snapshot("cache")) {
            EXPECT_NE(name.rfind(".download-", 0), 0u) << "left behind: " << name;
            EXPECT_NE(bytes, "") << name;
        }
        fs::current_path(root.path());
    }
}

} // namespace
