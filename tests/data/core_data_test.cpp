// The core data: first-time download, loading, the cut, and name lookups.
#include "data/core_data.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/process_state.h"
#include "data/http_client.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

const std::string SAMPLE = DATA_DIR "/sample";
const std::string CORE_PATH = "/db/doc/core/en/3/data.json";

class CoreDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        openHttpClient();
    }
    void TearDown() override {
        closeHttpClient();
        freeCoreData();
    }
    bool load() {
        freeCoreData();
        StdoutCapture capture;
        bool loaded = loadCoreData();
        printed = capture.finish();
        return loaded;
    }
    TempFolder folder;
    Standin standin{SAMPLE};
    std::string printed;
};

TEST_F(CoreDataTest, FirstStartDownloadsAfterTheNoticeThenStaysSilent) {
    ASSERT_TRUE(load());
    EXPECT_EQ(printed, "Loading CorvaneDB core for the first time...\n");
    EXPECT_EQ(standin.requests(), std::vector<std::string>{CORE_PATH});
    std::string file = readFile(SAMPLE + "/core.json");
    EXPECT_EQ(readFile("cache/corvanedbcore"), file);
    EXPECT_EQ(listFolder("cache"), "corvanedbcore");
    EXPECT_STREQ(coreData, file.substr(file.find("\"ingredients\":")).c_str());

    standin.clearLog();
    ASSERT_TRUE(load());
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(standin.requests().empty());
}

// Each in a folder of its own, set up by `rules` and `prepare`: no core data,
// a message, and no file of a download left behind.
TEST_F(CoreDataTest, FailedLoadsSayWhyAndLeaveNoDownloadBehind) {
    const std::string notice = "Loading CorvaneDB core for the first time...\n";
    const std::string address = standin.baseAddress() + CORE_PATH;
    const std::string noCore = notice + "The answer of " + address + " holds no CorvaneDB core data.\n";
    const std::vector<std::string> asked = {CORE_PATH};
    auto shell = [](const char *command) { return [command] { ASSERT_EQ(std::system(command), 0); }; };
    struct Row {
        const char *label;
        std::string rules;
        std::function<void()> prepare;
        std::string message;
        std::vector<std::string> requests;
        std::string folderAfter; // the entries of the folder and of its cache folder
        std::string cacheAfter;
        bool unprivileged = false; // loaded as user 65534 when the suite runs as root: mode 0555 stops both
    } rows[] = {
        {"error page", R"([{"path":")" + CORE_PATH + R"(","status":500,"body":"<html>down</html>"}])", {}, noCore,
         asked, "cache", ""},
        {"empty answer", R"([{"path":")" + CORE_PATH + R"(","body":""}])", {}, noCore, asked, "cache", ""},
        {"cut short", R"([{"path":")" + CORE_PATH + R"(","truncate":20}])", {},
         notice + "Cannot open " + address + "\n", asked, "cache", ""},
        {"service out of reach", "[]", [] { setenv("CORVANEDB_URL", "http://127.0.0.1:1", 1); },
         notice + "Cannot open http://127.0.0.1:1" + CORE_PATH + "\n", {}, "cache", ""},
        {"missing cache folder", "[]", shell("rmdir cache"),
         "Cannot find the cache folder. Ensure the cache folder exists alongside the program.\n", {}, "", ""},
        {"file without ingredients is not used", "[]",
         [] { writeFile("cache/corvanedbcore", "<html>Service unavailable</html>"); },
         "The CorvaneDB core data in cache/corvanedbcore holds no item names. Delete the file to download it "
         "again.\n",
         {}, "cache", "corvanedbcore"},
        {"file that cannot be opened is not replaced", "[]",
         shell("ln -s loop cache/corvanedbcore && ln -s corvanedbcore cache/loop"),
         "Error reading cache file for [cache/corvanedbcore].\n", {}, "cache", "corvanedbcore loop"},
        {"cache folder that cannot be written", "[]", shell("chmod go+x . && chmod 555 cache"),
         notice + "Error opening cache file for [corvanedbcore]. Ensure the cache folder exists alongside the "
                  "program.\n",
         {}, "cache", "", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        TempFolder rowFolder;
        standin.setRules(row.rules);
        standin.clearLog();
        if (row.prepare) row.prepare();
        bool asUser = row.unprivileged && geteuid() == 0;
        if (asUser) {
            ASSERT_EQ(seteuid(65534), 0);
        }
        EXPECT_FALSE(load());
        if (asUser) {
            ASSERT_EQ(seteuid(0), 0);
        }
        EXPECT_EQ(printed, row.message);
        EXPECT_EQ(coreData, nullptr);
        EXPECT_EQ(standin.requests(), row.requests);
        EXPECT_EQ(listFolder("."), row.folderAfter);
        if (!row.folderAfter.empty()) {
            EXPECT_EQ(listFolder("cache"), row.cacheAfter);
        }
        setenv("CORVANEDB_URL", standin.baseAddress().c_str(), 1);
    }
}

TEST_F(CoreDataTest, TextBeginsAtTheFirstIngredientsKey) {
    struct Row {
        std::string file;
        const char *loaded;
    } rows[] = {
        {"{\"a\":1,\"ingredients\":{\"1\":{\"name\":\"X\"}},\"ingredients\":2}",
         "\"ingredients\":{\"1\":{\"name\":\"X\"}},\"ingredients\":2}"},
        {"\"ingredients\":{}", "\"ingredients\":{}"},
        {std::string("\"ingredients\":{\"1\":{\"name\":\"X\"}}\0tail", 37),
         "\"ingredients\":{\"1\":{\"name\":\"X\"}}"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.loaded);
        writeFile("cache/corvanedbcore", row.file);
        ASSERT_TRUE(load());
        EXPECT_STREQ(coreData, row.loaded);
    }
}

TEST_F(CoreDataTest, LookupsFindOnlyWholeEntriesBehindTheKey) {
    writeFile("cache/corvanedbcore",
              "{\"notes\":{\"7\":{\"name\":\"Before\"}},\"ingredients\":{"
              "\"12061\":{\"name\":\"Lake Eel\"},\"2061\":{\"name\":\"Distilled Water\"},"
              "\"30\":{\"name\":\"Say \\\"Hi\\\"\"},\"31\":{\"name\":\"\"},"
              "\"-4\":{\"name\":\"Negative\"},\"32\":{\"icon\":1,\"name\":\"Icon First\"},"
              "\"33\":{\"name\":\"No end");
    ASSERT_TRUE(load());
    struct Row {
        int id;
        bool found;
        const char *name;
    } rows[] = {
        {2061, true, "Distilled Water"}, {12061, true, "Lake Eel"},
        {7, false, "unchanged"},         {30, true, "Say \\"},
        {31, true, ""},                  {-4, true, "Negative"},
        {32, false, "unchanged"},        {33, true, ""},
        {61, false, "unchanged"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.id);
        char name[CORE_NAME_BUFFER_SIZE] = "unchanged";
        EXPECT_EQ(lookupCoreItemName(row.id, name), row.found);
        EXPECT_STREQ(name, row.name);
    }
}

TEST_F(CoreDataTest, OverlongNameIsCutToTheBuffer) {
    // Names that just fit, as long as the buffer, and far longer; the room
    // behind the buffer shows a byte written past it.
    for (std::size_t length : {CORE_NAME_BUFFER_SIZE - 1, CORE_NAME_BUFFER_SIZE, std::size_t{5000}}) {
        SCOPED_TRACE(length);
        writeFile("cache/corvanedbcore",
                  "\"ingredients\":{\"1\":{\"name\":\"" + std::string(length, 'n') + "\"}}");
        ASSERT_TRUE(load());
        char name[CORE_NAME_BUFFER_SIZE + 8];
        std::memset(name, 'x', sizeof name);
        ASSERT_TRUE(lookupCoreItemName(1, name));
        EXPECT_EQ(std::strlen(name), CORE_NAME_BUFFER_SIZE - 1);
    }
}



// The lookup as a plain search of the text from its start.
bool searchCoreName(const std::string &text, int id, std::string *name) {
    std::string key = "\"" + std::to_string(id) + "\":{\"name\":\"";
    std::size_t at = text.find(key);
    if (at == std::string::npos) return false;
    std::size_t start = at + key.size();
    std::size_t end = text.find('"', start);
    *name = end == std::string::npos ? "" : text.substr(start, end - start);
    return true;
}

TEST(CoreNameIndex, AnswersLikeASearchFromTheStart) {
    const std::string text =
        "\"ingredients\":{\"5\":{\"name\":\"Five\"},\"05\":{\"name\":\"Zero Five\"},"
        "\"-0\":{\"name\":\"Minus Zero\"},\"0\":{\"name\":\"Zero\"},\"-7\":{\"name\":\"Minus Seven\"},"
        "\"x-8\":{\"name\":\"Dash Eight\"},\"5\":{\"name\":\"Second Five\"},"
        "\"note\":\"a\\\"12\\\":{\\\"name\\\":\\\"Escaped\",\"12\":{\"name\":\"Twelve\"},"
        "\"112\":{\"name\":\"One Twelve\"},\"9999999999\":{\"name\":\"Too Big\"},"
        "\"2147483647\":{\"name\":\"Max\"},\"-2147483648\":{\"name\":\"Min\"},"
        "\"30\":{\"name\":\"\":{\"name\":\"Nested\"},\"31\":{\"icon\":1,\"name\":\"Icon\"},"
        "\"\"40\":{\"name\":\"Double Quote\"},\"41\":{\"name\":\"No end";
    freeCoreData();
    useCoreData(text.c_str());
    std::vector<int> ids = {0, 5, 7, -7, 8, -8, 12, 112, 30, 31, 40, 41, 2147483647, -2147483648, 1410065407};
    for (int id = -20; id <= 200; ++id) ids.push_back(id);
    for (int id : ids) {
        SCOPED_TRACE(id);
        std::string expected;
        bool expectedFound = searchCoreName(text, id, &expected);
        char name[CORE_NAME_BUFFER_SIZE] = "unchanged";
        EXPECT_EQ(lookupCoreItemName(id, name), expectedFound);
        EXPECT_EQ(std::string(name), expectedFound ? expected : "unchanged");
    }
    freeCoreData();
}

} // namespace
