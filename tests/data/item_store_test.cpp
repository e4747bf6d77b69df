// The item document store: cache hits, search and download against the
// stand-in web service, the id rules, and a cache that loses nothing.
#include "data/item_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/http_client.h"
#include "support/item_store_fixture.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

const std::string SAMPLE = DATA_DIR "/sample";

std::string sampleDocument(int id) {
    return readFile(SAMPLE + "/items/" + std::to_string(id) + ".json");
}

using ItemStoreTest = ItemStoreFixture;

TEST_F(ItemStoreTest, DownloadSearchesThenFetchesAndKeepsTheDocument) {
    settings.verbose = true;
    ASSERT_EQ(load("Copper Ore"), RESULT_OK);
    EXPECT_EQ(printed, "Retrieving recipe for Copper Ore... Retrieving index for Copper Ore...  "
                       "from web\n from web\n");
    EXPECT_EQ(standin.requests(),
              (std::vector<std::string>{"/api/search.php?text=Copper%20Ore&lang=en",
                                        "/db/doc/item/en/3/2001.json"}));
    EXPECT_EQ(itemId, 2001);
    EXPECT_EQ(readFile("cache/Copper Ore"), sampleDocument(2001));
    EXPECT_EQ(listFolder("cache"), "Copper Ore");
    std::string whole = sampleDocument(2001);
    EXPECT_EQ(std::string(text), whole.substr(0, whole.find(",\"related\"")));
}

TEST_F(ItemStoreTest, CacheHitSendsNoRequest) {
    writeFile("cache/Copper Ore", "{\"item\":{\"name\":\"Copper Ore\",\"id\":\"9\",\"x\":1}}");
    settings.verbose = true;
    ASSERT_EQ(load("Copper Ore"), RESULT_OK);
    EXPECT_EQ(printed, "Retrieving recipe for Copper Ore...  from disk cache\n");
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(itemId, 9);
}

TEST_F(ItemStoreTest, RefreshDownloadsAgainAndReplacesTheFile) {
    writeFile("cache/Copper Ore", "{\"item\":{\"name\":\"Copper Ore\",\"id\":\"9\",\"x\":1}}");
    settings.refreshCache = true;
    ASSERT_EQ(load("Copper Ore"), RESULT_OK);
    ASSERT_EQ(load("Copper Ore"), RESULT_OK);
    EXPECT_EQ(standin.requests().size(), 4u);
    EXPECT_EQ(readFile("cache/Copper Ore"), sampleDocument(2001));
    EXPECT_EQ(listFolder("cache"), "Copper Ore");
}

TEST_F(ItemStoreTest, AetherialFirstResultIsPassedOver) {
    ASSERT_EQ(load("Bronze Ingot"), RESULT_OK);
    EXPECT_EQ(itemId, 2011);
    EXPECT_EQ(standin.requests().back(), "/db/doc/item/en/3/2011.json");
}

TEST_F(ItemStoreTest, FailedLookupsLeaveTheCacheAsItWas) {
    const std::string old = "{\"item\":{\"name\":\"Copper Ore\",\"id\":\"9\",\"x\":1}}";
    const std::string search = "/api/search.php";
    const std::string document = "/db/doc/item/en/3/2001.json";
    struct Row {
        const char *label;
        std::string rules;
        int result;
        std::string printed;
        std::string name = "Copper Ore";
        std::string base = {}; // the service address; the stand-in's when empty
    } rows[] = {
        {"search error page", R"([{"path":")" + search + R"(","status":500,"body":"<html>oops</html>"}])",
         RESULT_UNEXPECTED_DOCUMENT, ""},
        {"no results", R"([{"path":")" + search + R"(","body":"{\"results\":[],\"total\":0}"}])",
         RESULT_UNEXPECTED_DOCUMENT, ""},
        {"name but no item result",
         R"([{"path":")" + search + R"(","body":"{\"results\":[{\"type\":\"npc\",\"id\":\"3\",\"n\":\"Copper Ore\"}]}"}])",
         RESULT_UNEXPECTED_DOCUMENT, ""},
        {"document error page", R"([{"path":")" + document + R"(","status":404,"body":"<html>gone</html>"}])",
         RESULT_UNEXPECTED_DOCUMENT, ""},
        {"document id too big",
         R"([{"path":")" + document + R"(","body":"{\"item\":{\"id\":\"65537\",\"x\":1}}"}])",
         RESULT_BAD_ITEM_ID, ""},
        {"document cut short", R"([{"path":")" + document + R"(","truncate":10}])", RESULT_WEB_ERROR,
         "Web error on [Copper Ore]\n"},
        {"search cut short", R"([{"path":")" + search + R"(","truncate":10}])", RESULT_WEB_ERROR,
         "Web error on [Copper Ore]\n"},
        // 99 bytes escaped as 297 fill the search text's buffer exactly.
        {"search text that fills its buffer", "[]", RESULT_UNEXPECTED_DOCUMENT, "", std::string(99, '+')},
        // Only a short name and a long id make the item address the longer one:
        // with 968 bytes of base, the search address takes 999 bytes, the item's 1000.
        {"item address beyond its buffer",
         R"([{"path":"*","body":"{\"type\":\"item\",\"id\":\"123456789\",\"n\":\"Cu\"}"}])", RESULT_WEB_ERROR, "Request address too long for [Cu]\n", "Cu",
         standin.baseAddress() + "/" + std::string(967 - standin.baseAddress().size(), 'p')},
    };
    for (bool refresh : {false, true}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(row.label) + (refresh ? ", refreshing" : ", not cached"));
            if (refresh) writeFile("cache/" + row.name, old);
            settings.refreshCache = refresh;
            standin.setRules(row.rules);
            standin.clearLog();
            setenv("CORVANEDB_URL", (row.base.empty() ? standin.baseAddress() : row.base).c_str(), 1);
            EXPECT_EQ(load(row.name), row.result);
            EXPECT_EQ(text, nullptr);
            EXPECT_EQ(printed, row.printed);
            EXPECT_EQ(errorText, row.printed);
            EXPECT_FALSE(standin.requests().empty()); // the search was sent
            EXPECT_EQ(listFolder("cache"), refresh ? row.name : "");
            if (refresh) {
                EXPECT_EQ(readFile("cache/" + row.name), old);
            }
            std::remove(("cache/" + row.name).c_str());
        }
    }
}

TEST_F(ItemStoreTest, LongSearchAnswerIsReadWhole) {
    std::string filler(120000, 'x');
    standin.setRules(R"([{"path":"/api/search.php","body":"{\"pad\":\")" + filler +
                     R"(\",\"results\":[{\"type\":\"item\",\"id\":\"2001\",\"n\":\"Copper Ore\"}]}"}])");
    ASSERT_EQ(load("Copper Ore"), RESULT_OK);
    EXPECT_EQ(itemId, 2001);
    EXPECT_EQ(readFile("cache/Copper Ore"), sampleDocument(2001));
}

TEST_F(ItemStoreTest, CachedDocumentIdRules) {
    struct Row {
        const char *document;
        int result;
        int id;
    } rows[] = {
        {"{\"id\":\"42\",\"x\":1}", RESULT_OK, 42},
        {"{\"id\":42,\"x\":1}", RESULT_OK, 42},
        {"{\"a\":{\"id\":7,\"b\":1},\"id\":\"42\",\"x\":1}", RESULT_OK, 42}, // quoted form wins
        {"{\"id\":\"0\",\"x\":1}", RESULT_UNEXPECTED_DOCUMENT, 0},
        {"{\"x\":1}", RESULT_UNEXPECTED_DOCUMENT, 0},
        {"", RESULT_UNEXPECTED_DOCUMENT, 0},
        {"{\"id\":\"65536\",\"x\":1}", RESULT_OK, 65536},
        {"{\"id\":\"65537\",\"x\":1}", RESULT_BAD_ITEM_ID, 0},
        {"{\"id\":\"-1\",\"x\":1}", RESULT_OK, -1},
        {"{\"id\":\"99999999999\",\"x\":1}", RESULT_BAD_ITEM_ID, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.document);
        writeFile("cache/Thing", row.document);
        EXPECT_EQ(load("Thing"), row.result);
        EXPECT_EQ(printed, "");
        if (row.result == RESULT_OK) {
            EXPECT_EQ(itemId, row.id);
        } else {
            EXPECT_EQ(itemId, 12345);
            EXPECT_EQ(text, nullptr);
        }
    }
    EXPECT_TRUE(standin.requests().empty());
}

TEST_F(ItemStoreTest, TextIsCutBeforeRelatedButTheFileKeepsIt) {
    const std::string document = "{\"id\":\"5\",\"a\":1,\"related\":[{\"yield\":9}],\"related\":2}";
    writeFile("cache/Thing", document);
    ASSERT_EQ(load("Thing"), RESULT_OK);
    EXPECT_STREQ(text, "{\"id\":\"5\",\"a\":1");
    EXPECT_EQ(readFile("cache/Thing"), document);
}

TEST_F(ItemStoreTest, RefreshingDownloadsOncePerGenerationUnlessVerbose) {
    settings.refreshCache = true;
    for (bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "verbose: at every visit" : "once per generation");
        settings.verbose = verbose;
        standin.clearLog();
        ASSERT_EQ(load("Copper Ore"), RESULT_OK);
        ASSERT_EQ(loadAgain("Copper Ore"), RESULT_OK);
        EXPECT_EQ(standin.requests().size(), verbose ? 4u : 2u);
    }
    // A new generation downloads it again.
    settings.verbose = false;
    standin.clearLog();
    ASSERT_EQ(load("Copper Ore"), RESULT_OK);
    EXPECT_EQ(standin.requests().size(), 2u);
}

// Lookups refused before a request is sent or a cache file is made: each
// in a folder of its own, set up by `prepare`.
TEST_F(ItemStoreTest, RefusedLookupsSendNothingAndLeaveTheCacheAlone) {
    const std::string openError = "]. Ensure the cache folder exists alongside the program.\n";
    const std::string tooLongBase = standin.baseAddress() + "/" + std::string(990, 'p');
    auto service = [](const std::string &address) {
        return [address] { setenv("CORVANEDB_URL", address.c_str(), 1); };
    };
    auto shell = [](const char *command) { return [command] { ASSERT_EQ(std::system(command), 0); }; };
    struct Row {
        std::string label;
        std::function<void()> prepare;
        std::string name;
        bool refresh;
        int result;
        std::string message;
        std::string folderAfter; // the entries of the folder and of its cache folder
        std::string cacheAfter;
    } rows[] = {
        {"service out of reach", service("http://127.0.0.1:1"), "Copper Ore", false, RESULT_WEB_ERROR,
         "Web error on [Copper Ore]\n", "cache", ""},
        {"search address beyond its buffer", service(tooLongBase), "Copper Ore", false, RESULT_WEB_ERROR,
         "Request address too long for [Copper Ore]\n", "cache", ""},
        {"name over 99 bytes", {}, std::string(100, 'a'), false, RESULT_NAME_TOO_LONG,
         "Item name too long (more than 99 bytes): [" + std::string(99, 'a') + "...]\n", "cache", ""},
        {"missing cache folder", shell("rmdir cache"), "Copper Ore", false, RESULT_CACHE_FILE_ERROR,
         "Error opening cache file for [Copper Ore" + openError, "", ""},
        {"cache entry that is a folder", shell("mkdir 'cache/Odd Thing'"), "Odd Thing", false,
         RESULT_CACHE_FILE_ERROR, "Error reading cache file for [Odd Thing].\n", "cache", "Odd Thing"},
        {"cache entry that is a pipe (no writer is waited for)", shell("mkfifo 'cache/Odd Thing'"), "Odd Thing",
         false, RESULT_CACHE_FILE_ERROR, "Error reading cache file for [Odd Thing].\n", "cache", "Odd Thing"},
    };
    std::vector<Row> table(std::begin(rows), std::end(rows));
    for (bool refresh : {false, true})
        table.push_back({std::string("cache entry that cannot be opened") + (refresh ? ", refreshing" : ""),
                         shell("ln -s loop 'cache/Copper Ore' && ln -s 'Copper Ore' cache/loop"), "Copper Ore",
                         refresh, RESULT_CACHE_FILE_ERROR, "Error reading cache file for [Copper Ore].\n", "cache",
                         "Copper Ore loop"});
    for (const char *name : {"a/b", "../Copper Ore", ".", "..", "", "back\\slash"})
        table.push_back({std::string("no plain file name: ") + name, {}, name, false, RESULT_CACHE_FILE_ERROR,
                         std::string("Error opening cache file for [") + name + openError, "cache", ""});
    ASSERT_EQ(table.size(), 14u);
    for (const Row &row : table) {
        SCOPED_TRACE(row.label);
        TempFolder rowFolder;
        if (row.prepare) row.prepare();
        settings.refreshCache = row.refresh;
        EXPECT_EQ(load(row.name), row.result);
        EXPECT_EQ(printed, row.message);
        EXPECT_EQ(errorText, row.message);
        EXPECT_EQ(text, nullptr);
        EXPECT_TRUE(standin.requests().empty());
        EXPECT_EQ(listFolder("."), row.folderAfter);
        if (!row.folderAfter.empty()) {
            EXPECT_EQ(listFolder("cache"), row.cacheAfter);
        }
        setenv("CORVANEDB_URL", standin.baseAddress().c_str(), 1);
    }
    // One byte less is looked up.
    EXPECT_EQ(load(std::string(99, 'a')), RESULT_UNEXPECTED_DOCUMENT);
    EXPECT_EQ(standin.requests().size(), 1u);
}

} // namespace
