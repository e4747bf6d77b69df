// The built program in console mode, end to end: exact output bytes under a
// pseudo-terminal, against the stand-in web service on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/console_run.h"
#include "support/documents.h"
#include "support/standin.h"
#include "support/temp_folder.h"
#include "support/x_display.h"

namespace {

const std::string &USAGE = CONSOLE_USAGE;
const std::string WINDOW_TITLE = "TAVRO Shopping list generator by DURSK Alpha 7";
const std::string TITLE = WINDOW_TITLE + "\n";
const std::string CORE =
    "{\"version\":3,\"ingredients\":{\"1\":{\"name\":\"K\"},\"2\":{\"name\":\"L\"},"
    "\"3\":{\"name\":\"M\"},\"4\":{\"name\":\"N\"},\"5\":{\"name\":\"P\"},"
    "\"6\":{\"name\":\"Fire Crystal\"},\"7\":{\"name\":\"Wind Shard\"},"
    "\"9\":{\"name\":\"Shardstone\"}}}";

// A world of its own in a dataset folder beside the scratch folder: the
// worked example (K needs 2 L and 1 M; L yields 3 and needs 1 N; P needs 1
// L) and a lamp that needs crystals.
std::string writeWorld(const std::string &root) {
    std::string dataset = root + "/dataset";
    std::filesystem::create_directories(dataset + "/items");
    auto item = [&](int id, const std::string &document) {
        writeFile(dataset + "/items/" + std::to_string(id) + ".json", document);
    };
    item(1, itemDocument("K", 1, "", 1, 1, {{2, 2, "L"}, {3, 1, "M"}}));
    item(2, itemDocument("L", 2, "", 2, 3, {{4, 1, "N"}}));
    item(3, itemDocument("M", 3, "\"nodes\":[150]"));
    item(4, itemDocument("N", 4, "\"vendors\":[1001234]"));
    item(5, itemDocument("P", 5, "", 4, 1, {{2, 1, "L"}}));
    item(6, itemDocument("Fire Crystal", 6, "\"nodes\":[20]"));
    item(7, itemDocument("Wind Shard", 7, "\"nodes\":[21]"));
    item(9, itemDocument("Shardstone", 9, "\"nodes\":[22]"));
    item(8, itemDocument("Lamp", 8, "", 3, 1,
                         {{6, 2, "Fire Crystal"}, {7, 1, "Wind Shard"}, {3, 1, "M"}, {9, 1, "Shardstone"}}));
    const std::string longName = "Extraordinarily Long Ingredient Name For Pads"; // 45 bytes
    item(10, itemDocument("Longy", 10, "", 1, 1, {{11, 1, longName}, {3, 1, "M"}}));
    item(11, itemDocument(longName, 11));
    writeFile(dataset + "/core.json", CORE);
    return dataset;
}

class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest() : dataset(writeWorld(folder.path())), standin(dataset) {}
    void SetUp() override { writeFile("cache/corvanedbcore", CORE); }

    // Runs the program and checks that it ended with exit code 0.
    std::string run(const std::vector<std::string> &arguments) {
        ConsoleRun result = runConsole(arguments);
        EXPECT_EQ(result.exitCode, 0);
        return result.output;
    }

    TempFolder folder;
    std::string dataset;
    Standin standin;
};

TEST_F(ConsoleTest, ArgumentsAndTheirOutput) {
    const std::string header = USAGE + TITLE + "Will generate shopping list with ";
    // Sources: Fire Crystal 20, Wind Shard 21, Shardstone 22, M 150.
    const std::string lamp = header + "2 items.\n.....\n";
    struct Row {
        const char *label;
        std::vector<std::string> arguments;
        std::string output;
        bool sendsRequests;
        const char *cacheAfter = nullptr; // the cache folder's entries afterwards, when checked
    } rows[] = {
        {"no arguments: usage, and a request for an item", {}, USAGE + "No item name was input.\n", false},
        {"an option alone makes an empty list", {"-v"}, header + "1 items.\n\n", false},
        {"worked example", {"K", "3", "P", "1"},
         header + "4 items.\n.......\n   3 M\n   3 N\n   3 L (3 x 3 for 7)\n", true, "K L M N P corvanedbcore"},
        {"capital option after the last item applies",
         {"Lamp", "-rC"}, lamp + "   2 Fire Crystal\n   1 Wind Shard\n   1 Shardstone\n   1 M\n", true},
        {"crystals hidden without blank lines", {"Lamp", "-OC"}, lamp + "   1 M\n", true},
        {"long capital option before the item", {"-Omit-Crystals", "Lamp"}, lamp + "   1 M\n", true},
        {"quantity is the leading digits of the next argument", {"K", "2abc"},
         header + "2 items.\n....\n   2 M\n   2 N\n   2 L (2 x 3 for 4)\n", true},
        {"a third number and an unknown option are ignored", {"K", "1", "7", "-unknown"},
         header + "4 items.\n....\n   1 M\n   1 N\n   1 L (1 x 3 for 2)\n", true},
        {"error on the second of three items is the last line", {"K", "Nothing Like It", "P"},
         header + "3 items.\n.....Error 3\n", true},
        {"huge quantity ends with an overflow error, not a wrong number", {"K", "99999999999"},
         header + "2 items.\n.Amount of [L] too large to count.\nError 10\n", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove_all("cache");
        std::filesystem::create_directory("cache");
        writeFile("cache/corvanedbcore", CORE);
        standin.clearLog();
        EXPECT_EQ(run(row.arguments), row.output);
        EXPECT_EQ(standin.requests().empty(), !row.sendsRequests);
        if (row.cacheAfter) {
            EXPECT_EQ(listFolder("cache"), row.cacheAfter);
        }
    }
}

TEST_F(ConsoleTest, VerboseColumnsAndYieldNotes) {
    std::string output = run({"K", "3", "-V"});
    EXPECT_EQ(output,
              USAGE + TITLE + "Will generate shopping list with 3 items.\n"
              ".Retrieving recipe for K... Retrieving index for K...  from web\n from web\n"
              "Retrieving recipe for L... Retrieving index for L...  from web\n from web\n"
              "New material 2 [L]\n"
              "Adding 6 to L\n"
              ".Retrieving recipe for L...  from disk cache\n"
              "Retrieving recipe for N... Retrieving index for N...  from web\n from web\n"
              "New material 4 [N]\n"
              "Adding 2 to N\n"
              ".Retrieving recipe for N...  from disk cache\n"
              "[N] has no recipe.\n"
              "Retrieving recipe for M... Retrieving index for M...  from web\n from web\n"
              "New material 3 [M]\n"
              "Adding 3 to M\n"
              ".Retrieving recipe for M...  from disk cache\n"
              "[M] has no recipe.\n"
              "\n"
              "   3 M                                       q: 3 a: 3 c: 0 s:  2 lv:0 y:1 g:     150 mg:0\n"
              "   2 N                                       q: 2 a: 2 c: 0 s:  1 lv:1 y:1 g: 1001234 mg:0\n"
              "   2 L (2 x 3 for 6)                                       q: 2 a: 6 c: 3 s:  0 lv:0 y:3 g:       0 mg:0\n");
}

TEST_F(ConsoleTest, VerbosePadIsOneBlankForLongNames) {
    std::string output = run({"-verbose", "Longy"});
    std::string rows = output.substr(output.rfind("\n\n") + 2);
    EXPECT_EQ(rows,
              "   1 M                                       q: 1 a: 1 c: 0 s:  1 lv:0 y:1 g:     150 mg:0\n"
              "   1 Extraordinarily Long Ingredient Name For Pads q: 1 a: 1 c: 0 s:  0 lv:0 y:1 g:       0 mg:0\n");
}

TEST_F(ConsoleTest, SecondRunIsAnsweredFromTheCache) {
    std::string first = run({"K", "3", "P", "1"});
    standin.clearLog();
    EXPECT_EQ(run({"K", "3", "P", "1"}), first);
    EXPECT_TRUE(standin.requests().empty());
}

TEST_F(ConsoleTest, FirstStartLoadsTheCoreDataBeforeTheUsageList) {
    std::remove("cache/corvanedbcore");
    EXPECT_EQ(run({}), "Loading CorvaneDB core for the first time...\n" + USAGE +
                           "No item name was input.\n");
    EXPECT_EQ(standin.requests(), std::vector<std::string>{"/db/doc/core/en/3/data.json"});
    EXPECT_EQ(readFile("cache/corvanedbcore"), CORE);
}

TEST_F(ConsoleTest, NoCoreDataMeansNoFrontEnd) {
    std::remove("cache/corvanedbcore");
    standin.setRules(R"([{"path":"/db/doc/core/en/3/data.json","status":503,"body":"busy"}])");
    EXPECT_EQ(run({"K"}), "Loading CorvaneDB core for the first time...\nThe answer of " +
                              standin.baseAddress() +
                              "/db/doc/core/en/3/data.json holds no CorvaneDB core data.\n");
    EXPECT_EQ(listFolder("cache"), "");
}

TEST_F(ConsoleTest, TheHttpLibraryIsLoadedForTheFirstDownloadOnly) {
    // The dynamic loader names each library it loads (LD_DEBUG=files).
    for (bool cached : {false, true}) {
        SCOPED_TRACE(cached ? "everything cached" : "cold");
        ConsoleRun result = runConsole({"K", "3"}, "LD_DEBUG=files");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.output.find("   2 N\n"), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("file=libcurl.so.4") != std::string::npos, !cached);
    }
}

TEST_F(ConsoleTest, WithoutTerminalOrDisplayTheWindowModeEndsCleanly) {
    ConsoleRun result = runDetached({"K", "3"}, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "No display to show the window on, and no terminal for the console "
                             "mode: start the program from a terminal or a desktop session.\n");
    EXPECT_TRUE(standin.requests().empty());
}



TEST(ProgramFile, CarriesNoToolkitOfItsOwn) {
    std::string command = "ldd " + shellQuote(SHOPPING_LIST_EXECUTABLE) + " > .ldd-output";
    TempFolder folder;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string linked = readFile(".ldd-output");
    // Neither the toolkit nor the HTTP library comes with the program: each
    // is loaded when it is needed.
    EXPECT_EQ(linked.find("libcurl"), std::string::npos) << linked;
    EXPECT_EQ(linked.find("libQt6"), std::string::npos) << linked;
}

TEST(ProgramFile, WindowModeWithoutItsModuleSaysSoAndEnds) {
    TempFolder folder;
    std::filesystem::copy_file(SHOPPING_LIST_EXECUTABLE, "alone");
    std::filesystem::permissions("alone", std::filesystem::perms::owner_all);
    std::system("setsid -w env QT_QPA_PLATFORM=offscreen ./alone > .alone-output 2>&1 < /dev/null;"
                " echo $? > .alone-code");
    EXPECT_EQ(readFile(".alone-code"), "0\n");
    EXPECT_EQ(readFile(".alone-output"), "Cannot load the window: libtavro-shopping-list-ui.so not found "
                                         "beside " + folder.path() + "/\n");
}



TEST(ProgramFile, WindowModeIgnoresTheCommandLine) {
    // Were the arguments handed to the toolkit, it would look for a platform
    // named "nosuchplatform" and end at once; ignored, the window opens on
    // the display, and Escape closes it.
    TempFolder folder;
    writeFile("cache/corvanedbcore", "\"ingredients\":{}");
    XDisplay display;
    std::string log = folder.path() + "/.window-output";
    DetachedRun run(SHOPPING_LIST_EXECUTABLE, {"-platform", "nosuchplatform", "-reverse"},
                    {"DISPLAY=" + display.name(), "QT_QPA_PLATFORM"}, log);
    std::vector<std::string> windows;
    waitUntil([&] { return !(windows = display.windowsTitled(WINDOW_TITLE)).empty() || !run.running(); },
              std::chrono::seconds(60));
    ASSERT_EQ(windows.size(), 1u) << (run.running() ? "no window within 60 s" : "ended without a window")
                                  << "; the display " << (display.answers() ? "answers" : "is gone")
                                  << "; the program printed: " << readFile(log);
    // Escape again should the first one come before the dialog takes keys.
    bool ended = waitUntil(
        [&] {
            display.sendKey(windows[0], "Escape");
            return waitUntil([&] { return !run.running(); }, std::chrono::seconds(2));
        },
        std::chrono::seconds(60));
    ASSERT_TRUE(ended) << "Escape did not close the window; the program printed: " << readFile(log);
    EXPECT_EQ(run.exitCode(), 0) << readFile(log);
}

} // namespace
