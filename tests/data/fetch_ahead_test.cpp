// Fetching documents ahead, end to end against the stand-in: under every
// fault the run's output, its cache and its requests are those of the
// one-at-a-time (verbose) run; refreshing downloads each item once; an
// interrupted run leaves no temporary file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/cache_snapshot.h"
#include "support/console_run.h"
#include "support/documents.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string CORE = "{\"ingredients\":{\"1\":{\"name\":\"Top\"}}}";
const std::string B1_DOCUMENT = "/db/doc/item/en/3/7.json";

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

// Big needs 1001 parts; 995 are cached, the last six, the 1001st among
// them, come from the service.
std::string writeBigTree(const std::string &root) {
    std::string dataset = root + "/dataset";
    fs::create_directories(dataset + "/items");
    std::vector<Ingredient> parts;
    for (int id = 1; id <= 1001; ++id) parts.push_back({id + 10, 1, "Part " + std::to_string(id)});
    writeFile(dataset + "/items/2.json", itemDocument("Big", 2, "", 1, 1, parts));
    for (int id = 996; id <= 1001; ++id)
        writeFile(dataset + "/items/" + std::to_string(id + 10) + ".json",
                  itemDocument("Part " + std::to_string(id), id + 10));
    writeFile(dataset + "/core.json", CORE);
    return dataset;
}

void cacheFirstParts() {
    for (int id = 1; id <= 995; ++id)
        writeFile("cache/Part " + std::to_string(id), itemDocument("Part " + std::to_string(id), id + 10));
}

// Erases every piece of `text` that begins with `start` and runs through
// `end`, and returns the text.
std::string erasePieces(std::string text, const std::string &start, const std::string &end) {
    for (std::size_t at; (at = text.find(start)) != std::string::npos;) {
        std::size_t stop = text.find(end, at + start.size());
        text.erase(at, stop == std::string::npos ? std::string::npos : stop + end.size() - at);
    }
    return text;
}

// The part of a console run's output after the header lines, with what only
// the verbose run prints taken out: its progress and diagnostic lines, and
// the columns behind each row.
std::string quietPart(const std::string &output) {
    std::size_t at = output.find(" items.\n");
    std::string text = at == std::string::npos ? output : output.substr(at + 8);
    text = erasePieces(text, "Retrieving recipe for ", "... ");
    text = erasePieces(text, "Retrieving index for ", "... ");
    text = erasePieces(text, " from disk cache\n", "");
    text = erasePieces(text, " from web\n", "");
    text = erasePieces(text, "New material ", "\n");
    text = erasePieces(text, "Adding ", "\n");
    for (std::size_t end; (end = text.find("] has no recipe.\n")) != std::string::npos;) {
        std::size_t begin = text.rfind('[', end);
        text.erase(begin, end + 17 - begin);
    }
    // The columns: blanks, then "q:" and the row's fields up to the line end.
    for (std::size_t column = 0; (column = text.find("q:", column)) != std::string::npos;) {
        std::size_t pad = column;
        while (pad > 0 && text[pad - 1] == ' ') --pad;
        text.erase(pad, text.find('\n', column) - pad);
        column = pad;
    }
    return text;
}

// A name server that answers slowly, and the command that runs the program
// with it (in a mount namespace of its own, over /etc/resolv.conf). Needs
// root; `available` is false without.
class SlowResolver {
public:
    static constexpr int DELAY_SECONDS = 4;
    SlowResolver(const std::string &folder) {
        if (geteuid() != 0) return;
        std::string address = "127.83." + std::to_string(getpid() % 200 + 20) + ".1";
        writeFile(folder + "/resolv.conf", "nameserver " + address + "\noptions timeout:30 attempts:1\n");
        std::string command = "python3 " + shellQuote(SOURCE_DIR "/tools/slow_resolver.py") + " --address " +
                              address + " --delay " + std::to_string(DELAY_SECONDS) + " --ready-file " +
                              shellQuote(folder + "/resolver-ready") + " > " + shellQuote(folder + "/resolver.log") +
                              " 2>&1 & echo $! > " + shellQuote(folder + "/resolver.pid");
        available = std::system(command.c_str()) == 0 &&
                    waitUntil([&] { return fileExists(folder + "/resolver-ready"); }, std::chrono::seconds(30));
        pid = std::atoi(readFile(folder + "/resolver.pid").c_str());
        wrapper = "unshare -m --propagation private sh -c " +
                  shellQuote("mount --bind " + shellQuote(folder + "/resolv.conf") +
                             " /etc/resolv.conf && exec \"$0\" \"$@\"");
    }
    ~SlowResolver() {
        if (pid > 0) kill(pid, SIGTERM);
    }
    bool available = false;
    std::string wrapper;

private:
    pid_t pid = 0;
};

// One fault, run both ways: one at a time (-v) and fetched ahead.
struct Fault {
    const char *label;
    std::function<std::string(const std::string &root)> dataset; // writes it; its folder
    std::string rules;                      // the stand-in's fault rules
    std::vector<std::string> arguments;     // the request and options, without -v
    std::function<void()> prepareCache;     // besides the core data, in the run's folder
    std::string environment;                // before the program: variables, a wrapper
    std::string output;                     // after the header, verbose lines taken out
    std::vector<std::string> neverSent;     // requests that neither run may send
    bool asUser = false;                    // run as an unprivileged user (root)
    bool slowResolver = false;              // the service's host name resolves slowly
};

const std::string TREE_LIST = ".........\n   4 A1\n  12 A2\n   2 B1\n   2 C1\n   2 C2\n   4 A\n   2 B\n   2 C\n";
const std::string B1_WEB_ERROR = ".....Web error on [B1]\nError 1\n";

std::function<std::string(const std::string &)> tree(std::map<int, std::string> change = {}) {
    return [change](const std::string &root) { return writeTree(root, change); };
}

std::string onB1Document(const std::string &rule) {
    return "[{\"path\":\"" + B1_DOCUMENT + "\"," + rule + "}]";
}

TEST(FetchAhead, EveryFaultLeavesWhatTheOneAtATimeRunLeaves) {
    const Fault faults[] = {
        {"no fault", tree(), "[]", {"Top", "2"}, {}, "", TREE_LIST, {}},
        {"a stall past the time limit", tree(), onB1Document("\"delay\":20"), {"Top", "2"}, {},
         "CORVANEDB_TIMEOUT=2", B1_WEB_ERROR, {}},
        {"a body cut short once", tree(), onB1Document("\"truncate\":10,\"times\":1"), {"Top", "2"}, {}, "",
         B1_WEB_ERROR, {}},
        {"a 500 answer", tree(), onB1Document("\"status\":500,\"body\":\"<html>oops</html>\""), {"Top", "2"},
         {}, "", ".....Error 3\n", {}},
        {"a dropped connection", tree(), onB1Document("\"drop\":true"), {"Top", "2"}, {}, "",
         B1_WEB_ERROR, {}},
        {"a refused ingredient name", tree({{3, itemDocument("B", 3, "", 2, 1, {{7, 1, "../B1"}})}}), "[]",
         {"Top", "2"}, {}, "",
         ".....Error opening cache file for [../B1]. Ensure the cache folder exists alongside the "
         "program.\nError 4\n",
         {"/api/search.php?text=..%2FB1&lang=en"}},
        {"an id above 65536", tree({{7, itemDocument("B1", 70000, "\"nodes\":[303]")}}), "[]", {"Top", "2"}, {}, "",
         ".....Error 5\n", {}},
        {"a recipe cycle", tree({{7, itemDocument("B1", 7, "", 2, 1, {{1, 1, "Top"}})}}), "[]", {"Top", "2"}, {},
         "", ".......Recipe cycle: [Top] is an ingredient of itself.\nError 7\n", {}},
        {"the 1001st material", writeBigTree, "[]", {"Big"}, cacheFirstParts, "",
         std::string(1001, '.') + "Too many materials: the list holds at most 1000, [Part 1001] is one more.\nError 9\n", {}},
        {"a slow name lookup and an early end", tree({{1, itemDocument("Top", -1, "", 1, 1, {{2, 2, "A"}, {3, 1, "B"}, {4, 1, "C"}})}}),
         "[]", {"Top", "2"}, {}, "", ".Couldn't find a CorvaneDB page for [Top]\nError 2\n", {}, false, true},
        // (A leak check needs a thread of its own, which the limit forbids.)
        {"no thread to be had", tree(), "[]", {"Top", "2"}, {}, "ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=1:1",
         TREE_LIST, {}, true},
        {"-rc over a cache entry that cannot be read", tree(), "[]", {"Top", "2", "-rc"},
         [] { ASSERT_EQ(std::system("ln -s loop cache/B1 && ln -s B1 cache/loop"), 0); }, "",
         ".....Error reading cache file for [B1].\nError 4\n", {"/api/search.php?text=B1&lang=en"}},
    };
    for (const Fault &fault : faults) {
        SCOPED_TRACE(fault.label);
        if (fault.asUser && geteuid() != 0 && std::system("prlimit --nproc=1:1 true 2>/dev/null") != 0) continue;
        TempFolder root(false);
        fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        std::string dataset = fault.dataset(root.path());
        Standin standin(dataset);
        SlowResolver resolver(root.path());
        if (fault.slowResolver) {
            if (!resolver.available) {
                std::printf("skipped [%s]: a name server of its own needs root\n", fault.label);
                continue;
            }
            setenv("CORVANEDB_URL", ("http://slow.tavro.test:" + std::to_string(standin.port())).c_str(), 1);
        }
        std::string environment = fault.environment + (fault.slowResolver ? " " + resolver.wrapper : "");
        std::map<bool, CacheSnapshot> caches;
        std::map<bool, std::multiset<std::string>> requests;
        std::map<bool, double> seconds;
        for (bool verbose : {true, false}) {
            SCOPED_TRACE(verbose ? "one at a time" : "fetched ahead");
            std::string folder = root.path() + (verbose ? "/one-at-a-time" : "/ahead");
            fs::create_directories(folder + "/cache");
            fs::permissions(folder, fs::perms::all);
            fs::permissions(folder + "/cache", fs::perms::all);
            fs::current_path(folder);
            writeFile("cache/corvanedbcore", CORE);
            if (fault.prepareCache) fault.prepareCache();
            // Rules that differ from the last ones, so that their counts
            // ("times") start again.
            standin.setRules(fault.rules.substr(0, fault.rules.size() - 1) + (fault.rules == "[]" ? "" : ",") +
                             "{\"path\":\"/" + folder + "\"}]");
            standin.clearLog();
            std::vector<std::string> arguments = fault.arguments;
            if (verbose) arguments.push_back("-v");
            auto started = std::chrono::steady_clock::now();
            ConsoleRun run = runConsole(arguments, environment, fault.asUser);
            seconds[verbose] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(quietPart(run.output), fault.output);
            caches[verbose] = snapshotFolder("cache");
            std::vector<std::string> sent = standin.requests();
            requests[verbose] = std::multiset<std::string>(sent.begin(), sent.end());
            for (const std::string &request : fault.neverSent) EXPECT_EQ(requests[verbose].count(request), 0u);
            fs::current_path(root.path());
        }
        // The same files, byte for byte, and no temporary file left over.
        EXPECT_EQ(caches[false], caches[true]);
        // Every request of the one-at-a-time run, as often (refreshing: once,
        // where the verbose run downloads at every visit); fetching ahead may
        // have sent others only where the run ended early, and each once.
        bool refreshing = std::count(fault.arguments.begin(), fault.arguments.end(), "-rc") > 0;
        const std::multiset<std::string> &one = requests[true], &ahead = requests[false];
        auto wantedOf = [&](const std::string &request) -> std::size_t {
            std::size_t sent = one.count(request);
            return refreshing && sent ? 1 : sent;
        };
        for (const std::string &request : ahead) {
            std::size_t wanted = wantedOf(request);
            EXPECT_EQ(ahead.count(request), wanted ? wanted : 1u) << request;
            if (!wanted) {
                EXPECT_NE(fault.output, TREE_LIST) << "fetched ahead beyond the run: " << request;
            }
        }
        for (const std::string &request : one) EXPECT_EQ(ahead.count(request), wantedOf(request)) << request;
        // Ending does not wait for the name lookups of the workers.
        if (fault.slowResolver) {
            EXPECT_LT(seconds[false], seconds[true] + SlowResolver::DELAY_SECONDS / 2.0);
        }
    }
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
    CacheSnapshot cold = snapshotFolder("cache");
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
        EXPECT_EQ(snapshotFolder("cache"), cold);
    }
    fs::current_path(root.path());
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
        ASSERT_TRUE(waitUntil([&] {
            std::size_t seen = 0;
            for (const std::string &request : standin.requests())
                seen += request.rfind("/api/search.php?text=Top", 0) == 0 ||
                        request == "/db/doc/item/en/3/2.json" || request == "/db/doc/item/en/3/3.json";
            return seen >= delayed && fileExists("../pid");
        }, std::chrono::seconds(60))) << readFile("../output");
        pid_t program = std::atoi(readFile("../pid").c_str());
        ASSERT_GT(program, 0);
        // Ctrl+C: SIGINT, as the terminal sends it.
        ASSERT_EQ(kill(program, SIGINT), 0);
        int status = 0;
        ASSERT_TRUE(waitUntil([&] { return waitpid(script, &status, WNOHANG) == script; },
                              std::chrono::seconds(60)));
        EXPECT_EQ(kill(program, 0), -1);
        for (const auto &[name, bytes] : snapshotFolder("cache")) {
            EXPECT_NE(name.rfind(".download-", 0), 0u) << "left behind: " << name;
            EXPECT_NE(bytes, "") << name;
        }
        fs::current_path(root.path());
    }
}

} // namespace
