// The fetcher with real libcurl against the stand-in web service.
#include "data/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "data/service.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override { openHttpClient(); }
    void TearDown() override {
        closeHttpClient();
        httpTimeoutSeconds = 30;
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
    struct Row {
        const char *sent;
        const char *requested;
    } rows[] = {
        {"/x?text=IronOre", "/x?text=IronOre"},
        {"/x?text=Iron Ore", "/x?text=Iron%20Ore"},
        {"/x?text=Iron  Ore", "/x?text=Iron%20%20Ore"},
        {"/x?text= Iron", "/x?text=%20Iron"},
        {"/x?text=Iron ", "/x?text=Iron%20"},
        {"/x?text=Salt&Pepper+1", "/x?text=Salt&Pepper+1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.sent);
        standin.clearLog();
        EXPECT_TRUE(fetch(row.sent));
        ASSERT_EQ(standin.requests().size(), 1u);
        EXPECT_EQ(standin.requests()[0], row.requested);
    }
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
    httpTimeoutSeconds = 1;
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

} // namespace
