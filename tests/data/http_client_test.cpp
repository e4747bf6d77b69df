// The fetcher with real libcurl against the stand-in web service.
#include "data/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "data/service.h"
#include "support/standin.h"
#include "support/temp_folder.h"
#include "support/wait.h"

namespace {

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override { openHttpClient(); }
    void TearDown() override {
        closeHttpClient();
        setTransferTimeLimit(30);
    }

    // Fetches base + pathAndQuery into `path`; returns the fetch result.
    bool fetch(const std::string &pathAndQuery, const std::string &path = "answer") {
        std::FILE *file = std::fopen(path.c_str(), "wb");
        bool completed = fetchToFile((standin.baseAddress() + pathAndQuery).c_str(), file);
        std::fclose(file);
        return completed;
    }

    TempFolder folder;
    Standin standin{DATA_DIR "/sample"};
};

TEST_F(HttpClientTest, OnlyBlanksAreEscaped) {
    EXPECT_TRUE(fetch("/x?text= Iron  Ore&Salt+1"));
    EXPECT_EQ(standin.requests(), std::vector<std::string>{"/x?text=%20Iron%20%20Ore&Salt+1"});
}

TEST_F(HttpClientTest, AnswersAreWrittenAsTheServiceMeantThem) {
    const std::string agent = "\"User-Agent\": \"Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 "
                              "(KHTML, like Gecko) Chrome/67.0.3396.62 Safari/537.36\"";
    struct Row {
        const char *label;
        std::string rules;
        const char *path;
        std::string written;
        std::string logged; // besides the user agent, which every request sends
    } rows[] = {
        {"error status completes without its body",
         R"([{"path":"/broken","status":500,"body":"server trouble"}])", "/broken", "", ""},
        {"missing page completes without its body", R"([{"path":"/gone","status":404,"body":"no such page"}])",
         "/gone", "", ""},
        {"redirect is followed with referer",
         R"([{"path":"/old","redirect":"/new","body":"moved"},{"path":"/new","body":"final answer"}])", "/old",
         "final answer", "\"Referer\": \"" + standin.baseAddress() + "/old\""},
        {"compressed answer is written decoded",
         R"([{"path":"/packed","gzip":true,"body":"unpacked text, unpacked text"}])", "/packed",
         "unpacked text, unpacked text", "gzip"},
        {"service's own 404 page", "[]", "/anything", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        standin.setRules(row.rules);
        standin.clearLog();
        EXPECT_TRUE(fetch(row.path));
        EXPECT_EQ(readFile("answer"), row.written);
        std::string log = standin.log();
        EXPECT_NE(log.find(agent), std::string::npos) << log;
        EXPECT_NE(log.find(row.logged), std::string::npos) << log;
    }
}

TEST_F(HttpClientTest, TwoCallsWriteIntoTheirOwnFiles) {
    standin.setRules(R"([{"path":"/one","body":"first"},{"path":"/two","body":"second"}])");
    EXPECT_TRUE(fetch("/one", "one"));
    EXPECT_TRUE(fetch("/two", "two"));
    EXPECT_EQ(readFile("one"), "first");
    EXPECT_EQ(readFile("two"), "second");
}

TEST_F(HttpClientTest, AddressBeyondTheBufferIsRefusedUnsent) {
    std::string query = "/x?text=" + std::string(ESCAPE_BUFFER_SIZE / 3, ' ');
    EXPECT_FALSE(fetch(query));
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(readFile("answer"), "");
}

TEST_F(HttpClientTest, StalledAnswerRunsIntoTheTimeLimit) {
    closeHttpClient();
    setTransferTimeLimit(1);
    openHttpClient();
    // A stall far longer than the limit: only the limit can end the fetch in
    // time, and a busy machine cannot stretch 1 s to 20 s.
    standin.setRules(R"([{"path":"/slow","delay":25,"body":"late"}])");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetch("/slow"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(HttpClientTest, ShortBodyAndRefusedConnectionFail) {
    standin.setRules(R"([{"path":"/cut","body":"0123456789abcdef","truncate":4}])");
    EXPECT_FALSE(fetch("/cut"));
    EXPECT_EQ(readFile("answer"), "0123");
    std::FILE *file = std::fopen("answer", "wb");
    EXPECT_FALSE(fetchToFile("http://127.0.0.1:1/nothing", file));
    std::fclose(file);
}

TEST_F(HttpClientTest, AnswersAreBoundedAndRateLimitsWaitedOn) {
    const std::string padded(MAX_ANSWER_BYTES, ' ');
    struct Row {
        const char *label;
        std::string rules; // for /r
        bool completed;
        std::string written; // when completed
        std::size_t requests;
        bool rateLimited;
        int waitedSeconds;
    } rows[] = {
        {"16 MiB is taken", R"([{"path":"/r","body":"","pad_to":16777216}])", true, padded, 1, false, 0},
        {"a byte more fails", R"([{"path":"/r","body":"","pad_to":16777217}])", false, "", 1, false, 0},
        {"429, a second, then the answer", R"([{"path":"/r","status":429,"headers":{"Retry-After":" 1 "},"times":1},
                                             {"path":"/r","body":"fine"}])", true, "fine", 2, true, 1},
        {"503 for good: the third answer counts", R"([{"path":"/r","status":503,"headers":{"Retry-After":"0"},
                                                    "body":"{\"id\":503,}"}])", true, "", 3, true, 0},
        {"a date is not waited for", R"([{"path":"/r","status":429,"headers":{"Retry-After":"Wed, 21 Oct 2026 07:28:00 GMT"}}])",
         true, "", 1, false, 0},
        {"a redirect to a file", R"([{"path":"/r","redirect":"file:///etc/hostname"}])", false, "", 1, false, 0},
        {"ten redirects are followed", R"([{"path":"/r","redirect":"/r","times":10},{"path":"/r","body":"fine"}])", true,
         "fine", 11, false, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        standin.setRules(row.rules);
        standin.clearLog();
        std::FILE *file = std::fopen("answer", "wb");
        FetchWatch watch;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(fetchToFile((standin.baseAddress() + "/r").c_str(), file, &watch), row.completed);
        auto took = std::chrono::steady_clock::now() - start;
        std::fclose(file);
        if (row.completed) {
            EXPECT_TRUE(readFile("answer") == row.written);
        }
        EXPECT_EQ(standin.requests().size(), row.requests);
        EXPECT_EQ(watch.rateLimited, row.rateLimited);
        EXPECT_GE(took, std::chrono::milliseconds(row.waitedSeconds * 1000 - 100));
    }
}

TEST_F(HttpClientTest, CancelEndsARateLimitWaitAtOnce) {
    standin.setRules(R"([{"path":"/busy","status":503,"headers":{"Retry-After":"30"}}])");
    HttpConnection *connection = openHttpConnection();
    ASSERT_NE(connection, nullptr);
    std::atomic<bool> cancel{false};
    std::string body;
    bool completed = true;
    auto start = std::chrono::steady_clock::now();
    std::thread worker([&] { completed = fetchToMemory(connection, (standin.baseAddress() + "/busy").c_str(), &body, &cancel); });
    waitUntil([&] { return !standin.requests().empty(); }, std::chrono::seconds(30));
    cancel = true;
    wakeHttpConnection(connection);
    worker.join();
    closeHttpConnection(connection);
    EXPECT_FALSE(completed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)); // the wait would be 30 s
    EXPECT_EQ(standin.requests().size(), 1u);
}

} // namespace
