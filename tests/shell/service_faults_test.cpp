// The built program against a failing web service and bad cache folders:
// each fault ends with its message and result, exit code 0, and a cache
// folder that holds what it held before, apart from documents that were
// fetched completely and checked.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/cache_snapshot.h"
#include "support/console_run.h"
#include "support/documents.h"
#include "support/request_log.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string SAMPLE = DATA_DIR "/sample";
const std::string SEARCH = "/api/search.php";
const std::string INGOT = "/db/doc/item/en/3/2011.json"; // Bronze Ingot


std::string header(int count) { return consoleHeader(count); }

class ServiceFaultTest : public ::testing::Test {
protected:
    ServiceFaultTest() {
        char pattern[] = "/tmp/shopping-fixtures-XXXXXX";
        fixtures = mkdtemp(pattern);
    }
    ~ServiceFaultTest() override {
        std::error_code ignored;
        fs::remove_all(fixtures, ignored);
    }

    // Serves `bytes` from a fixture file for requests of `path`.
    void serveFile(const std::string &path, const std::string &bytes) {
        writeFile(fixtures + "/body", bytes);
        standin.setRules(R"([{"path":")" + path + R"(","body_file":")" + fixtures + R"(/body"}])");
    }

    void SetUp() override {
        writeFile("cache/corvanedbcore", readFile(SAMPLE + "/core.json"));
        writeFile("cache/Copper Ore", readFile(SAMPLE + "/items/2001.json"));
        before = snapshotFolder("cache");
    }

    std::string run(const std::vector<std::string> &arguments, const std::string &environment = "",
                    bool asUser = false) {
        ConsoleRun result = runConsole(arguments, environment, asUser);
        EXPECT_EQ(result.exitCode, 0);
        return result.output;
    }

    // Makes the cache hold `files` and nothing else.
    void restoreCache(const CacheSnapshot &files) {
        fs::remove_all("cache");
        fs::create_directory("cache");
        for (const auto &[name, bytes] : files) writeFile("cache/" + name, bytes);
    }

    // The cache holds what it held before plus exactly `added` (name: bytes).
    void expectCacheGrewBy(const CacheSnapshot &added) {
        CacheSnapshot expected = before;
        expected.insert(added.begin(), added.end());
        EXPECT_EQ(snapshotFolder("cache"), expected);
        EXPECT_EQ(listFolder("."), "cache");
    }

    std::string fixtures;
    TempFolder folder;
    Standin standin{SAMPLE};
    CacheSnapshot before;
};

TEST_F(ServiceFaultTest, FaultsOfTheServiceLeaveTheCacheAsItWas) {
    std::string refused = "CORVANEDB_URL=http://127.0.0.1:1";
    struct Row {
        const char *label;
        std::string rules;
        std::string environment;
        std::string output;
    } rows[] = {
        {"connection refused", "[]", refused, ".Web error on [Bronze Ingot]\nError 1\n"},
        {"stalled past the time limit", R"([{"path":")" + SEARCH + R"(","delay":4}])",
         "CORVANEDB_TIMEOUT=1", ".Web error on [Bronze Ingot]\nError 1\n"},
        {"document cut short", R"([{"path":")" + INGOT + R"(","truncate":30}])", "",
         ".Web error on [Bronze Ingot]\nError 1\n"},
        {"search error page", R"([{"path":")" + SEARCH + R"(","status":500,"body":"<html>Internal error</html>"}])",
         "", ".Error 3\n"},
        {"HTML where the document belongs",
         R"([{"path":")" + INGOT + R"(","content_type":"text/html","body":"<html><body>Maintenance</body></html>"}])",
         "", ".Error 3\n"},
        {"document id above 65536",
         R"([{"path":")" + INGOT + R"(","body":"{\"item\":{\"name\":\"Bronze Ingot\",\"id\":\"70000\",\"x\":1}}"}])",
         "", ".Error 5\n"},
    };
    for (bool refresh : {false, true}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(row.label) + (refresh ? ", refreshing" : ""));
            if (refresh) {
                writeFile("cache/Bronze Ingot", "{\"item\":{\"name\":\"Bronze Ingot\",\"id\":\"2011\",\"x\":1}}");
                before = snapshotFolder("cache");
            }
            standin.setRules(row.rules);
            std::vector<std::string> arguments = {"Bronze Ingot", "2"};
            if (refresh) arguments.push_back("-rc");
            EXPECT_EQ(run(arguments, row.environment), header(refresh ? 3 : 2) + row.output);
            expectCacheGrewBy({});
        }
    }
}

TEST_F(ServiceFaultTest, SearchAnswerOfSeveralMegabytesIsReadWhole) {
    std::string filler(4 * 1024 * 1024, 'x');
    serveFile(SEARCH, "{\"pad\":\"" + filler +
                          "\",\"results\":[{\"type\":\"item\",\"id\":\"2001\",\"n\":\"Copper Ore\"}]}");
    std::remove("cache/Copper Ore");
    before = snapshotFolder("cache");
    EXPECT_EQ(run({"Copper Ore"}), header(1) + ".\n");
    expectCacheGrewBy({{"Copper Ore", readFile(SAMPLE + "/items/2001.json")}});
}

// A hostile answer, run fetched ahead and one at a time (-v): the output,
// the requests, the cache (no temporary file), and the peak memory.
struct Hostile {
    const char *label;
    std::string rules;                  // besides `document`
    std::string document;               // served as Bronze Ingot's, when not empty
    std::vector<std::string> arguments;
    std::string output;                 // of the default run, after the header
    std::vector<std::string> sent;      // in any order
    CacheSnapshot added;
    bool firstStart = false;            // no core data cached: the output is all there is
};

TEST_F(ServiceFaultTest, HostileAnswersAreBoundedRefusedAndNeverStored) {
    const std::string ingot = readFile(SAMPLE + "/items/2011.json"), core = "/db/doc/core/en/3/data.json";
    const std::string search = SEARCH + "?text=Bronze%20Ingot&lang=en", coreAddress = standin.baseAddress() + core;
    const std::string webError = ".Web error on [Bronze Ingot]\nError 1\n", firstNotice = "Loading CorvaneDB core for the first time...\n";
    auto on = [](const std::string &path, const std::string &rule) { return "[{\"path\":\"" + path + "\"," + rule + "}]"; };
    auto refused = [](const std::string &shown) {
        return "Error opening cache file for [" + shown + "]. Ensure the cache folder exists alongside the program.\nError 4\n";
    };
    auto withIngredient = [](const std::string &name) { return itemDocument("Bronze Ingot", 2011, "", 1, 1, {{2001, 1, name}}); };
    std::string zeroByte = ingot;
    zeroByte.insert(zeroByte.find(",\"ilvl\"") + 1, 1, '\0'); // after the id
    std::vector<std::string> loop(12, INGOT);
    loop[0] = search;
    const Hostile rows[] = {
        {"endless document", on(INGOT, "\"endless\":true"), "", {"Bronze Ingot"}, webError, {search, INGOT}, {}},
        {"1 MB of gzip decoding to 1 GiB", on(INGOT, "\"gzip_bomb\":1024"), "", {"Bronze Ingot"}, webError, {search, INGOT}, {}},
        {"document of 16 MiB and one byte", on(INGOT, "\"pad_to\":16777217"), "", {"Bronze Ingot"}, webError, {search, INGOT}, {}},
        {"endless search answer", on(SEARCH, "\"endless\":true"), "", {"Bronze Ingot"}, webError, {search}, {}},
        {"redirect to ftp", on(INGOT, "\"redirect\":\"ftp://127.0.0.1:1/2011.json\""), "", {"Bronze Ingot"}, webError, {search, INGOT}, {}},
        {"redirect loop", on(INGOT, "\"redirect\":\"" + INGOT + "\""), "", {"Bronze Ingot"}, webError, loop, {}},
        {"429 whose body holds an id", on(INGOT, R"("status":429,"body":"{\"id\":429,\"n\":1}")"), "", {"Bronze Ingot"},
         ".Error 3\n", {search, INGOT}, {}},
        {"503 with an id, Retry-After too long", on(INGOT, R"("status":503,"headers":{"Retry-After":"31"},"body":"{\"id\":\"503\",}")"),
         "", {"Bronze Ingot"}, ".Error 3\n", {search, INGOT}, {}},
        {"document with a zero byte", "", zeroByte, {"Bronze Ingot"}, ".Error 3\n", {search, INGOT}, {}},
        {"ESC and newline in an ingredient", "", withIngredient("Ore\x1b[31m\nred"), {"Bronze Ingot"},
         "." + refused("Ore\\x1B[31m\\x0Ared"), {search, INGOT}, {{"Bronze Ingot", withIngredient("Ore\x1b[31m\nred")}}},
        {"the core data's name as an ingredient", "", withIngredient("corvanedbcore"), {"Bronze Ingot", "-rc"},
         "." + refused("corvanedbcore"), {search, INGOT}, {{"Bronze Ingot", withIngredient("corvanedbcore")}}},
        {"typed control bytes", "[]", "", {"\x1b]0;title\x07"}, "." + refused("\\x1B]0;title\\x07"), {}, {}},
        {"endless core data", on(core, "\"endless\":true"), "", {"Bronze Ingot"}, firstNotice + "Cannot open " + coreAddress + "\n",
         {core}, {}, true},
        {"core data in a 500 page", on(core, R"("status":500,"body":"{\"ingredients\":{\"1\":{\"name\":\"X\"}}}")"), "",
         {"Bronze Ingot"}, firstNotice + "The answer of " + coreAddress + " holds no CorvaneDB core data.\n", {core}, {}, true},
    };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const long peakLimit = 600 << 10; // the sanitizers' shadow and quarantine
#else
    const long peakLimit = 100 << 10;
#endif
    const CacheSnapshot start = before;
    for (const Hostile &row : rows) {
        for (bool verbose : {false, true}) {
            SCOPED_TRACE(std::string(row.label) + (verbose ? ", one at a time" : ", fetched ahead"));
            before = start;
            if (row.firstStart) before.erase("corvanedbcore");
            restoreCache(before);
            if (!row.document.empty()) serveFile(INGOT, row.document); else standin.setRules(row.rules);
            standin.clearLog();
            std::vector<std::string> arguments = row.arguments;
            if (verbose) arguments.push_back("-v");
            ConsoleRun run = runConsoleMeasured(arguments);
            EXPECT_EQ(run.exitCode, 0);
            std::string tail = row.output.substr(row.output.find_first_not_of('.'));
            if (row.firstStart) EXPECT_EQ(run.output, row.output);
            else if (!verbose) EXPECT_EQ(run.output, header(static_cast<int>(arguments.size())) + row.output);
            else EXPECT_TRUE(run.output.ends_with(tail)) << run.output;
            EXPECT_EQ(run.output.find_first_of("\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c\x0d\x0e\x0f\x1b\x7f"), std::string::npos);
            expectCacheGrewBy(row.added);
            std::vector<std::string> sent = standin.requests();
            EXPECT_EQ(std::multiset<std::string>(sent.begin(), sent.end()), std::multiset<std::string>(row.sent.begin(), row.sent.end()));
            EXPECT_TRUE(run.peakKilobytes > 0 && run.peakKilobytes < peakLimit) << run.peakKilobytes << " KiB";
        }
    }
}

// A service that answers the first request for every fourth address with a
// 429 and "Retry-After: 1" gives the healthy service's list and cache, both
// ways; each of those addresses is asked once more.
TEST_F(ServiceFaultTest, RateLimitedServiceGivesTheHealthyList) {
    for (bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "one at a time" : "fetched ahead");
        std::map<bool, std::tuple<std::string, CacheSnapshot, std::vector<std::string>>> seen; // by limited
        for (bool limited : {false, true}) {
            restoreCache(before);
            standin.setRules(limited ? R"([{"path":"*","first_of_every":4,"status":429,"headers":{"Retry-After":"1"}}])" : "[]");
            standin.clearLog();
            std::string output = run({"Bronze Lamp", "3", "Ceremonial Rack", "1", "Tribal Totem", "2", verbose ? "-v" : "-oc"});
            seen[limited] = {output, snapshotFolder("cache"), standin.requests()};
            // Once the service asked to wait, no new request goes out beside
            // another: every address first asked after the first one asked
            // again is asked alone (only the waits begun before may end
            // together).
            std::vector<std::string> sent = standin.requests();
            std::vector<int> inFlight = inFlightInLog(standin.log());
            auto askedBefore = [&](std::size_t i) { return std::count(sent.begin(), sent.begin() + i, sent[i]) > 0; };
            std::size_t again = 0;
            while (again < sent.size() && !askedBefore(again)) ++again;
            EXPECT_EQ(again < sent.size(), limited);
            for (std::size_t i = again; i < inFlight.size(); ++i) {
                if (!askedBefore(i)) {
                    EXPECT_EQ(inFlight[i], 1) << sent[i];
                }
            }
        }
        EXPECT_EQ(std::get<0>(seen[true]), std::get<0>(seen[false]));
        EXPECT_EQ(std::get<1>(seen[true]), std::get<1>(seen[false]));
        const std::vector<std::string> &healthy = std::get<2>(seen[false]), &limited = std::get<2>(seen[true]);
        std::set<std::string> distinct(healthy.begin(), healthy.end());
        EXPECT_EQ(std::set<std::string>(limited.begin(), limited.end()), distinct);
        EXPECT_EQ(limited.size(), healthy.size() + distinct.size() / 4); // each fourth address asked twice
    }
}

// A requested item whose document the service replaces with `document`;
// the document is complete and checked, so it may stay in the cache.
struct BadDocument {
    const char *label;
    std::string document;
    std::string output;
    CacheSnapshot alsoCached; // documents of ingredients that were fetched whole
};

TEST_F(ServiceFaultTest, BadDocumentsEndWithAClearMessage) {
    std::string longName(300, 'L');
    std::string cycleA = itemDocument("Bronze Ingot", 2011, "", 1, 1, {{2011, 1, "Bronze Ingot"}});
    const BadDocument rows[] = {
        {"ingredient name far over 99 bytes", itemDocument("Bronze Ingot", 2011, "", 1, 1, {{2001, 1, longName}}),
         ".Item name too long (more than 99 bytes): [" + std::string(99, 'L') + "...]\nError 6\n", {}},
        {"../ in an ingredient name", itemDocument("Bronze Ingot", 2011, "", 1, 1, {{2001, 1, "../escape"}}),
         ".Error opening cache file for [../escape]. Ensure the cache folder exists alongside the "
         "program.\nError 4\n", {}},
        {"recipe cycle", cycleA,
         "..Recipe cycle: [Bronze Ingot] is an ingredient of itself.\nError 7\n", {}},
    };
    for (const BadDocument &row : rows) {
        SCOPED_TRACE(row.label);
        std::remove("cache/Bronze Ingot");
        before = snapshotFolder("cache");
        serveFile(INGOT, row.document);
        standin.clearLog();
        EXPECT_EQ(run({"Bronze Ingot"}), header(1) + row.output);
        CacheSnapshot added = row.alsoCached;
        added["Bronze Ingot"] = row.document;
        expectCacheGrewBy(added);
        // Nothing is asked for the refused ingredient.
        EXPECT_EQ(standin.requests(), (std::vector<std::string>{SEARCH + "?text=Bronze%20Ingot&lang=en", INGOT}));
    }
    EXPECT_FALSE(fileExists(folder.path() + "/escape"));
}

TEST_F(ServiceFaultTest, ThousandAndFirstMaterialEndsTheRun) {
    std::vector<Ingredient> ingredients;
    for (int id = 1; id <= 1001; ++id) {
        std::string name = "Part " + std::to_string(id);
        ingredients.push_back({id, 1, name});
        writeFile("cache/" + name, itemDocument(name, id));
    }
    before = snapshotFolder("cache");
    std::string document = itemDocument("Bronze Ingot", 2011, "", 1, 1, ingredients);
    serveFile(INGOT, document);
    std::string output = run({"Bronze Ingot"});
    EXPECT_EQ(output, header(1) + "." + std::string(1000, '.') +
                          "Too many materials: the list holds at most 1000, [Part 1001] is one more.\n"
                          "Error 9\n");
    expectCacheGrewBy({{"Bronze Ingot", document}});
}

TEST_F(ServiceFaultTest, ReadOnlyOrMissingCacheFolder) {
    // The program runs as user 65534 when the suite runs as root, else as
    // the suite's user: a cache of mode 0555 is read-only for both.
    fs::permissions(folder.path(), fs::perms::all);
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions("cache", readOnly);
    ASSERT_EQ(before.size(), 2u);
    for (auto &[name, bytes] : before) fs::permissions("cache/" + name, fs::perms::all);
    EXPECT_EQ(run({"Bronze Ingot"}, "", true),
              header(1) + ".Error opening cache file for [Bronze Ingot]. Ensure the cache folder "
                          "exists alongside the program.\nError 4\n");
    expectCacheGrewBy({});
    // A cached document that cannot be read is reported, not replaced.
    fs::permissions("cache", fs::perms::all);
    fs::permissions("cache/Copper Ore", fs::perms::none);
    EXPECT_EQ(run({"Bronze Ingot"}, "", true),
              header(1) + ".Error reading cache file for [Copper Ore].\nError 4\n");
    fs::permissions("cache/Copper Ore", fs::perms::owner_read | fs::perms::owner_write);
    fs::remove("cache/Bronze Ingot");
    expectCacheGrewBy({});
    fs::remove_all("cache");
    EXPECT_EQ(run({"Bronze Ingot"}),
              "Cannot find the cache folder. Ensure the cache folder exists alongside the program.\n");
    EXPECT_EQ(listFolder("."), "");
}

} // namespace
