// The built program in console mode, end to end: exact output bytes under a
// pseudo-terminal, against the stand-in web service on 127.0.0.1.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/console_run.h"
#include "support/documents.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

const std::string USAGE =
    "Parameter list:\n"
    "-v or -verbose\n"
    "-oc or -omit-crystals\n"
    "-dcisbm or -dont-craft-items-sold-by-merchants\n"
    "-cbti or -craft-beast-tribe-items\n"
    "-cmg or -craft-material-gear\n"
    "-rc or -refresh-cache\n";
const std::string TITLE = "TAVRO Shopping list generator by DURSK Alpha 7\n";
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

TEST_F(ConsoleTest, NoArgumentsPrintsUsageAndAsksForAnItem) {
    EXPECT_EQ(run({}), USAGE + "No item name was input.\n");
    EXPECT_TRUE(standin.requests().empty());
}

TEST_F(ConsoleTest, OptionAloneMakesAnEmptyList) {
    EXPECT_EQ(run({"-v"}), USAGE + TITLE + "Will generate shopping list with 1 items.\n\n");
}

TEST_F(ConsoleTest, WorkedExampleAsAConsoleRun) {
    EXPECT_EQ(run({"K", "3", "P", "1"}),
              USAGE + TITLE + "Will generate shopping list with 4 items.\n"
                              ".......\n"
                              "   3 M\n"
                              "   3 N\n"
                              "   3 L (3 x 3 for 7)\n");
    EXPECT_EQ(listFolder("cache"), "K L M N P corvanedbcore");
}

TEST_F(ConsoleTest, CapitalOptionsAfterTheLastItemApplyAndHideCrystalsWithoutBlankLines) {
    // Sources: Fire Crystal 20, Wind Shard 21, Shardstone 22, M 150.
    std::string header = USAGE + TITLE + "Will generate shopping list with 2 items.\n.....\n";
    EXPECT_EQ(run({"Lamp", "-rC"}),
              header + "   2 Fire Crystal\n   1 Wind Shard\n   1 Shardstone\n   1 M\n");
    EXPECT_EQ(run({"Lamp", "-OC"}), header + "   1 M\n");
    EXPECT_EQ(run({"-Omit-Crystals", "Lamp"}), header + "   1 M\n");
}

TEST_F(ConsoleTest, QuantityIsTheLeadingDigitsOfTheNextArgument) {
    std::string header = USAGE + TITLE;
    EXPECT_EQ(run({"K", "2abc"}), header + "Will generate shopping list with 2 items.\n....\n"
                                           "   2 M\n   2 N\n   2 L (2 x 3 for 4)\n");
    // A third number is ignored; an unknown option is ignored.
    EXPECT_EQ(run({"K", "1", "7", "-unknown"}),
              header + "Will generate shopping list with 4 items.\n....\n"
                       "   1 M\n   1 N\n   1 L (1 x 3 for 2)\n");
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

TEST_F(ConsoleTest, ErrorOnTheSecondOfThreeItemsIsTheLastLine) {
    EXPECT_EQ(run({"K", "Nothing Like It", "P"}),
              USAGE + TITLE + "Will generate shopping list with 3 items.\n.....Error 3\n");
}

TEST_F(ConsoleTest, SecondRunIsAnsweredFromTheCache) {
    std::string first = run({"K", "3", "P", "1"});
    standin.clearLog();
    EXPECT_EQ(run({"K", "3", "P", "1"}), first);
    EXPECT_TRUE(standin.requests().empty());
}

TEST_F(ConsoleTest, HugeQuantityEndsWithAnOverflowErrorNotAWrongNumber) {
    EXPECT_EQ(run({"K", "99999999999"}),
              USAGE + TITLE + "Will generate shopping list with 2 items.\n"
                              ".Amount of [L] too large to count.\nError 10\n");
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

TEST_F(ConsoleTest, WithoutTerminalOrDisplayTheWindowModeEndsCleanly) {
    ConsoleRun result = runDetached({"K", "3"}, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "No display to show the window on, and no terminal for the console "
                             "mode: start the program from a terminal or a desktop session.\n");
    EXPECT_TRUE(standin.requests().empty());
}

} // namespace

namespace {

TEST(ProgramFile, CarriesNoToolkitOfItsOwn) {
    std::string command = "ldd " + shellQuote(SHOPPING_LIST_EXECUTABLE) + " > .ldd-output";
    TempFolder folder;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string linked = readFile(".ldd-output");
    EXPECT_NE(linked.find("libcurl"), std::string::npos);
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

} // namespace

namespace {

TEST(ProgramFile, WindowModeIgnoresTheCommandLine) {
    // Were the arguments handed to the toolkit, it would look for a platform
    // named "nosuchplatform" and end at once; ignored, the window opens and
    // waits for the user until the time limit ends it (exit code 124).
    TempFolder folder;
    writeFile("cache/corvanedbcore", "\"ingredients\":{}");
    std::string command = "setsid -w timeout 3 env QT_QPA_PLATFORM=offscreen " +
                          shellQuote(SHOPPING_LIST_EXECUTABLE) +
                          " -platform nosuchplatform -reverse > .window-output 2>&1 < /dev/null;"
                          " echo $? > .window-code";
    std::system(command.c_str());
    EXPECT_EQ(readFile(".window-code"), "124\n") << readFile(".window-output");
}

} // namespace
