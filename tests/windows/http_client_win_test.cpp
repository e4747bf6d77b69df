// The WinHTTP client against the stand-in, beyond what the shared client
// tests try: the in-memory fetch of the workers with its cancel flag, one
// kept connection, redirects WinHTTP would follow without a Referer, request
// addresses byte for byte, and answers that are cut short or never end.
#include "data/http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "data/service.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

class WinHttpTest : public ::testing::Test {
protected:
    void SetUp() override { openHttpClient(); }
    void TearDown() override {
        closeHttpConnection(connection);
        closeHttpClient();
        setTransferTimeLimit(30);
    }

    // Opens the workers' kind of connection (after the limit is set).
    HttpConnection *connect() {
        connection = openHttpConnection();
        return connection;
    }

    bool fetch(const std::string &pathAndQuery, const std::string &path = "answer") {
        std::FILE *file = std::fopen(path.c_str(), "wb");
        bool completed = fetchToFile((standin.baseAddress() + pathAndQuery).c_str(), file);
        std::fclose(file);
        return completed;
    }

    // The number of different connections in the request log.
    int connectionsUsed() {
        std::string log = standin.log();
        std::vector<std::string> seen;
        for (std::size_t at = 0; (at = log.find("\"conn\": \"", at)) != std::string::npos;) {
            at += 9;
            std::string name = log.substr(at, log.find('"', at) - at);
            if (std::find(seen.begin(), seen.end(), name) == seen.end()) seen.push_back(name);
        }
        return static_cast<int>(seen.size());
    }

    TempFolder folder;
    Standin standin{DATA_DIR "/sample"};
    HttpConnection *connection = nullptr;
};

TEST_F(WinHttpTest, MemoryFetchesAnswerLikeFileFetches) {
    standin.setRules(R"([{"path":"/broken","status":500,"body":"server trouble"},
                         {"path":"/gone","status":404,"body":"no such page"},
                         {"path":"/packed","gzip":true,"body":"unpacked text, unpacked text"},
                         {"path":"/old","redirect":"/new","body":"moved"},
                         {"path":"/new","body":"final answer"},
                         {"path":"/cut","body":"0123456789abcdef","truncate":4},
                         {"path":"/packed-cut","gzip":true,"body":"unpacked text, unpacked text","truncate":12}])");
    ASSERT_NE(connect(), nullptr);
    struct Row {
        const char *path;
        bool completed;
        const char *body;
    } rows[] = {
        {"/broken", true, ""},
        {"/gone", true, ""},
        {"/packed", true, "unpacked text, unpacked text"},
        {"/old", true, "final answer"},
        {"/cut", false, nullptr},
        {"/packed-cut", false, nullptr},
        {"/db/doc/item/en/3/2001.json", true, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        std::string body = "left over";
        EXPECT_EQ(fetchToMemory(connection, (standin.baseAddress() + row.path).c_str(), &body, nullptr),
                  row.completed);
        if (row.body) {
            EXPECT_EQ(body, row.body);
        } else if (row.completed) {
            EXPECT_EQ(body, readFile(DATA_DIR "/sample/items/2001.json"));
        }
    }
    std::string body = "left over";
    EXPECT_FALSE(fetchToMemory(connection, "http://127.0.0.1:1/nothing", &body, nullptr));
    EXPECT_EQ(body, "");
}

TEST_F(WinHttpTest, RequestAddressesGoOutByteForByte) {
    struct Row {
        const char *sent;
        const char *requested;
    } rows[] = {
        {"/api/search.php?text=Cr%C3%A8me%20Br%C3%BBl%C3%A9e&lang=en",
         "/api/search.php?text=Cr%C3%A8me%20Br%C3%BBl%C3%A9e&lang=en"},
        {"/x?text=%2B%26%25+a", "/x?text=%2B%26%25+a"},
        {"/x?text=%7E%2F%2001%3F", "/x?text=%7E%2F%2001%3F"},
        {"/a%20b/c?d=e f", "/a%20b/c?d=e%20f"},
        {"/x?text=Iron Ore&lang=en", "/x?text=Iron%20Ore&lang=en"},
        // WinHTTP cannot send a raw byte above 0x7F: it goes as its %XX.
        {"/x?text=Cr\xC3\xA8me", "/x?text=Cr%C3%A8me"},
    };
    ASSERT_NE(connect(), nullptr);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.sent);
        standin.clearLog();
        EXPECT_TRUE(fetch(row.sent));
        std::string body;
        EXPECT_TRUE(fetchToMemory(connection, (standin.baseAddress() + row.sent).c_str(), &body, nullptr));
        ASSERT_EQ(standin.requests().size(), 2u);
        EXPECT_EQ(standin.requests()[0], row.requested);
        EXPECT_EQ(standin.requests()[1], row.requested);
    }
}

TEST_F(WinHttpTest, OneConnectionServesTheRun) {
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(fetch("/db/doc/item/en/3/2001.json"));
    standin.setRules(R"([{"path":"/old","redirect":"/new","body":"moved"},{"path":"/new","body":"here"}])");
    EXPECT_TRUE(fetch("/old"));
    EXPECT_TRUE(fetch("/gone")); // a 404 page
    EXPECT_EQ(standin.requests().size(), 8u);
    EXPECT_EQ(connectionsUsed(), 1);
}

TEST_F(WinHttpTest, RedirectsOfEveryFormCarryTheirReferer) {
    std::string base = standin.baseAddress();
    standin.setRules("[{\"path\":\"/a/first\",\"redirect\":\"second?x=1\"},"
                     "{\"path\":\"/a/second\",\"status\":301,\"redirect\":\"" + base + "/b/third\"},"
                     "{\"path\":\"/b/third\",\"status\":307,\"redirect\":\"/c/last\"},"
                     "{\"path\":\"/c/last\",\"body\":\"arrived\"}]");
    EXPECT_TRUE(fetch("/a/first"));
    EXPECT_EQ(readFile("answer"), "arrived");
    EXPECT_EQ(standin.requests(),
              (std::vector<std::string>{"/a/first", "/a/second?x=1", "/b/third", "/c/last"}));
    std::string log = standin.log();
    for (const char *referer : {"/a/first\"", "/a/second?x=1\"", "/b/third\""})
        EXPECT_NE(log.find("\"Referer\": \"" + base + referer), std::string::npos) << referer << "\n" << log;
}

TEST_F(WinHttpTest, RedirectLoopFailsInsteadOfRunningOn) {
    standin.setRules(R"([{"path":"/loop","redirect":"/loop"}])");
    EXPECT_FALSE(fetch("/loop"));
    EXPECT_EQ(standin.requests().size(), 11u);
}

TEST_F(WinHttpTest, CancellingEndsAStalledMemoryFetchAtOnce) {
    standin.setRules(R"([{"path":"/slow","delay":20,"body":"late"}])");
    ASSERT_NE(connect(), nullptr);
    std::atomic<bool> cancel{false};
    std::string body;
    bool completed = true;
    auto start = Clock::now();
    std::thread worker([&] { completed = fetchToMemory(connection, (standin.baseAddress() + "/slow").c_str(), &body, &cancel); });
    // Cancelled once the request is on its way.
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (standin.requests().empty() && Clock::now() < deadline) std::this_thread::yield();
    cancel = true;
    worker.join();
    EXPECT_FALSE(completed);
    EXPECT_EQ(body, "");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)); // the answer would take 20 s
    // The connection goes on serving after a cancelled fetch.
    cancel = false;
    EXPECT_TRUE(fetchToMemory(connection, (standin.baseAddress() + "/db/doc/item/en/3/2001.json").c_str(),
                              &body, &cancel));
    EXPECT_EQ(body, readFile(DATA_DIR "/sample/items/2001.json"));
}

TEST_F(WinHttpTest, CancelledBeforeItStartsSendsNothing) {
    ASSERT_NE(connect(), nullptr);
    std::atomic<bool> cancel{true};
    std::string body;
    EXPECT_FALSE(fetchToMemory(connection, (standin.baseAddress() + "/anything").c_str(), &body, &cancel));
    EXPECT_TRUE(standin.requests().empty());
}

TEST_F(WinHttpTest, TimeLimitCoversRedirectsAndMemoryFetches) {
    closeHttpClient();
    setTransferTimeLimit(2);
    openHttpClient();
    ASSERT_NE(connect(), nullptr);
    // Each step is quick enough, the whole is not.
    standin.setRules(R"([{"path":"/one","delay":1.5,"redirect":"/two"},
                         {"path":"/two","delay":1.5,"redirect":"/three"},
                         {"path":"/three","delay":1.5,"redirect":"/four"},
                         {"path":"/four","delay":1.5,"body":"too late"}])");
    for (bool memory : {false, true}) {
        SCOPED_TRACE(memory ? "memory" : "file");
        standin.clearLog();
        auto start = Clock::now();
        std::string body;
        bool completed = memory ? fetchToMemory(connection, (standin.baseAddress() + "/one").c_str(), &body, nullptr)
                                : fetch("/one");
        EXPECT_FALSE(completed);
        auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(1900));
        EXPECT_LT(took, std::chrono::milliseconds(5000)); // the whole chain takes 6 s
        EXPECT_EQ(standin.requests().size(), 2u);
    }
}

TEST_F(WinHttpTest, EnvironmentCanOnlyShortenTheLimit) {
    standin.setRules(R"([{"path":"/slow","delay":3,"body":"late"}])");
    struct Row {
        const char *timeout;
        bool completed;
    } rows[] = {{"1", false}, {"60", true}, {"0", true}, {"soon", true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.timeout);
        setenv("CORVANEDB_TIMEOUT", row.timeout, 1);
        closeHttpClient();
        openHttpClient();
        EXPECT_EQ(fetch("/slow"), row.completed);
    }
    unsetenv("CORVANEDB_TIMEOUT");
}

} // namespace
