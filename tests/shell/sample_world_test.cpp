// The sample world end to end: the demo request of data/sample/list.txt run
// by the built program in console mode against the stand-in serving
// data/sample, compared byte for byte with lists worked out by hand from
// data/sample/README.md and the documents in data/sample/items/.
//
// How the lists come about ("job" is the stored value, 1 + job number).
//
// Quantities. A row's amount is the sum, over the recipes that use it, of
// amount per craft x crafts of that recipe; its quantity is
// ceil(amount / yield). With all options off everything is crafted:
//   Bronze Lamp 3      -> Frame 3, Globe 3, Candle 6/4 -> 2, Wind 6
//   Ceremonial Rack 1  -> Lumber 4, Dagger 2, Vase 1, Rivets 6, Wind 3
//   Tribal Totem 2     -> Whistle, Token, Charm, Talisman, Clay Idol 2 each, Earth 2
//   Hunter Satchel 2   -> Leather 4, Cloth 2, Buckle 4/2 -> 2, Rivets 4, Earth 4
//   Rivets 6 + 4 + 12 (Frame) + 3 (Globe) = 25/3 -> 9; Plate 3 + 2 (Token) = 5;
//   Bronze Ingot 2x5 + 9 + 2x2 (Dagger) = 23 -> Copper 69, Tin 23;
//   Lumber 4 + 2 (Dagger) + 2 (Whistle) = 8 -> Maple Log 24;
//   Crystal Glass 3 + 2 (Vase) = 5/2 -> 3 -> Silica 6 + 4 (Clay Idol) = 10, Shardstone 3;
//   Twine 2 (Candle) + 2 (Whistle) + 4 (Talisman) = 8/2 -> 4 -> Hemp 8;
//   Yarn 4 (Charm) + 4 (Cloth) = 8/2 -> 4 -> Cotton Boll 8; Pine Resin 1 + 2 = 3;
//   Leather 4 + 2 (Talisman) = 6 -> Hide 2 + 6 = 8, Distilled Water 6, Eel Oil 6/10 -> 1;
//   Water Crystal 2 (Clay Idol) + 1 (Eel Oil) = 3; Iron Ingot 2 -> Iron Ore 6;
//   Earth 2 + 4 + 1 (Vase) + 6 (Leather) = 13; Fire 23 + 9 + 5 + 3 + 2 + 2 + 2 + 1 = 47;
//   Wind 6 + 3 + 3 + 3 + 8 (Lumber) + 4 (Twine) + 4 (Yarn) + 2 (Cloth) = 33.
//
// Rows. The requested items get no row. A row is made when an item is first
// met as an ingredient, at the depth of the call that meets it, and takes the
// next creation number. The expansion is depth first in recipe order, so rows
// (and first downloads) come in this order: Lamp's tree: Frame, Plate, Ingot,
// Copper, Tin, Fire, Rivets, Wind, Globe, Crystal Glass, Silica, Shardstone,
// Candle, Beeswax, Twine, Hemp; Rack's: Lumber, Maple Log, Dagger, Vase,
// Earth, Pine Resin; Totem's: Whistle, Token, Hide, Charm, Yarn, Boll,
// Talisman, Leather, Eel Oil, Lake Eel, Water, Distilled, Clay Idol;
// Satchel's: Cloth, Buckle, Iron Ingot, Iron Ore.
//
// Order: gear last (only Bronze Dagger); sources from the README, ascending,
// source 0 after the others; ties by depth (deepest first), job, creation:
//   145 Silica (depth 2, #10) before Shardstone (depth 2, #11);
//   148 Wind (depth 1, #7) before Maple Log (depth 1, #17);
//   153 Hemp (depth 2, #15) before Cotton Boll (depth 2, #27);
//   1001234 Water (depth 3) > Distilled (depth 2) > Beeswax (depth 1);
//   source 0 (crafted, and Pine Resin whose "nodes":[] reads as "]"):
//     depth 2 Ingot (job 2), Eel Oil (8); depth 1 Pine Resin (0), Plate (2, #1),
//     Iron Ingot (2, #37), Rivets (3), Leather (5), Twine (6, #14), Yarn (6, #26),
//     Crystal Glass (7); depth 0 Buckle (3), Frame (4, #0), Globe (4, #8),
//     Vase (4, #19), Cloth (6), Candle (7).
// Dots: one per expansion call, that is per requested item and per growth of
// an ingredient's quantity: 33 in Lamp's tree, 27 in Rack's, 37 in Totem's,
// 22 in Satchel's (there Eel Oil stays at 1 craft and is not expanded) = 119.
//
// The window's defaults (-dcisbm -cbti -cmg -oc) change this:
//   Maple Lumber (one ordinary vendor, met below the top) is bought: not
//     expanded, so no Maple Log and 8 fewer Wind Shards.
//   Feather Talisman (two vendors, one of a beast tribe) is bought: its
//     Leather 2 and Twine 4 go, so Leather 4 (Hide 2 + 4 = 6, Distilled 4,
//     Eel Oil 4/10 -> 1, Earth 2 + 4 + 1 + 4 = 11) and Twine 4/2 -> 2 (Hemp 4).
//   Reed Whistle, Scale Token, Moss Charm and Clay Idol (21017337 holds
//     1017337) have a single beast-tribe vendor: crafted, source cleared to 0.
//   Bronze Dagger (sold gear) is crafted; Iron Ingot's "vendors" stands after
//     its recipe, so no merchant rule applies to it.
//   Hidden: Fire Crystal, Wind Shard, Earth Cluster, Water Crystal and
//     Shardstone (the console filter hides a name beginning with "Shard");
//     shown: Crystal Glass (no blank before "Crystal") and the Mhigan vase.
//   Clay Idol now makes Water Crystal (#29, depth 1) before the Satchel makes
//     Leather (depth 0), Eel Oil (depth 1), Lake Eel (depth 2), Distilled (depth 1).
//   1001234: Beeswax (#13), Water (#29), Distilled (#33), all depth 1.
//   source 0: depth 2 Ingot; depth 1 Pine Resin (0), Plate (2), Iron Ingot (2),
//     Rivets (3), Twine (6, #14), Yarn (6, #25), Crystal Glass (7), Eel Oil (8);
//     depth 0 Whistle (1), Token (3, #22), Buckle (3, #35), Frame, Globe, Vase
//     (4), Leather (5), Charm (6, #24), Cloth (6, #34), Candle (7, #12),
//     Clay Idol (7, #28).
//   Dots: 33 + 23 + 24 + 26 = 106.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/console_run.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace {

const std::string LOADING_CORE = "Loading CorvaneDB core for the first time...\n";
const std::string CORE_REQUEST = "/db/doc/core/en/3/data.json";

// data/sample/list.txt as console arguments.
const std::vector<std::string> DEMO_REQUEST = {"Bronze Lamp",  "3", "Ceremonial Rack", "1",
                                               "Tribal Totem", "2", "Hunter Satchel",  "2"};

const std::map<std::string, int> ITEM_IDS = {
    {"Copper Ore", 2001},        {"Tin Ore", 2002},           {"Fire Crystal", 2003},
    {"Wind Shard", 2004},        {"Earth Cluster", 2005},     {"Water Crystal", 2006},
    {"Silica Sand", 2007},       {"Shardstone", 2008},        {"Maple Log", 2009},
    {"Bronze Ingot", 2011},      {"Bronze Rivets", 2012},     {"Bronze Plate", 2013},
    {"Bronze Lamp", 2014},       {"Bronze Lamp Frame", 2015}, {"Glass Globe", 2016},
    {"Crystal Glass", 2017},     {"Beeswax", 2018},           {"Beeswax Candle", 2019},
    {"Hemp", 2020},              {"Hemp Twine", 2021},        {"Ceremonial Rack", 2022},
    {"Maple Lumber", 2023},      {"Bronze Dagger", 2024},     {"Vel Mhigan Crystal Vase", 2025},
    {"Pine Resin", 2026},        {"Tribal Totem", 2027},      {"Reed Whistle", 2028},
    {"Scale Token", 2029},       {"Moss Charm", 2030},        {"Feather Talisman", 2031},
    {"Clay Idol", 2032},         {"Hunter Satchel", 2033},    {"Antelope Hide", 2034},
    {"Antelope Leather", 2035},  {"Eel Oil", 2036},           {"Cotton Boll", 2037},
    {"Cotton Yarn", 2038},       {"Cotton Cloth", 2039},      {"Iron Buckle", 2040},
    {"Iron Ingot", 2041},        {"Distilled Water", 2061},   {"Lake Eel", 12061},
    {"Iron Ore", 65536},
};

struct DemoCase {
    const char *label;
    std::vector<std::string> options;
    int dots;
    std::string rows;
    // Distinct items in the order of their first use; each is searched for
    // and downloaded once, right then.
    std::vector<std::string> firstUse;
};

const std::vector<DemoCase> DEMO_CASES = {
    {"all options off",
     {},
     119,
     "  47 Fire Crystal\n"
     "  69 Copper Ore\n"
     "   8 Antelope Hide\n"
     "   1 Lake Eel\n"
     "  10 Silica Sand\n"
     "   3 Shardstone\n"
     "   6 Iron Ore\n"
     "  33 Wind Shard\n"
     "  24 Maple Log\n"
     "  13 Earth Cluster\n"
     "   8 Hemp\n"
     "   8 Cotton Boll\n"
     "  23 Tin Ore\n"
     "   3 Water Crystal\n"
     "   6 Distilled Water\n"
     "   2 Beeswax\n"
     "   8 Maple Lumber\n"
     "   2 Reed Whistle\n"
     "   2 Scale Token\n"
     "   2 Feather Talisman\n"
     "   2 Moss Charm\n"
     "   2 Clay Idol\n"
     "  23 Bronze Ingot\n"
     "   1 Eel Oil (1 x 10 for 6)\n"
     "   3 Pine Resin\n"
     "   5 Bronze Plate\n"
     "   2 Iron Ingot\n"
     "   9 Bronze Rivets (9 x 3 for 25)\n"
     "   6 Antelope Leather\n"
     "   4 Hemp Twine (4 x 2 for 8)\n"
     "   4 Cotton Yarn (4 x 2 for 8)\n"
     "   3 Crystal Glass (3 x 2 for 5)\n"
     "   2 Iron Buckle (2 x 2 for 4)\n"
     "   3 Bronze Lamp Frame\n"
     "   3 Glass Globe\n"
     "   1 Vel Mhigan Crystal Vase\n"
     "   2 Cotton Cloth\n"
     "   2 Beeswax Candle (2 x 4 for 6)\n"
     "   2 Bronze Dagger\n",
     {"Bronze Lamp", "Bronze Lamp Frame", "Bronze Plate", "Bronze Ingot", "Copper Ore", "Tin Ore",
      "Fire Crystal", "Bronze Rivets", "Wind Shard", "Glass Globe", "Crystal Glass", "Silica Sand",
      "Shardstone", "Beeswax Candle", "Beeswax", "Hemp Twine", "Hemp", "Ceremonial Rack",
      "Maple Lumber", "Maple Log", "Bronze Dagger", "Vel Mhigan Crystal Vase", "Earth Cluster",
      "Pine Resin", "Tribal Totem", "Reed Whistle", "Scale Token", "Antelope Hide", "Moss Charm",
      "Cotton Yarn", "Cotton Boll", "Feather Talisman", "Antelope Leather", "Eel Oil", "Lake Eel",
      "Water Crystal", "Distilled Water", "Clay Idol", "Hunter Satchel", "Cotton Cloth",
      "Iron Buckle", "Iron Ingot", "Iron Ore"}},
    {"the window's default options",
     {"-dcisbm", "-cbti", "-cmg", "-oc"},
     106,
     "  69 Copper Ore\n"
     "   6 Antelope Hide\n"
     "   1 Lake Eel\n"
     "  10 Silica Sand\n"
     "   6 Iron Ore\n"
     "   4 Hemp\n"
     "   8 Cotton Boll\n"
     "  23 Tin Ore\n"
     "   2 Beeswax\n"
     "   4 Distilled Water\n"
     "   8 Maple Lumber\n"
     "   2 Feather Talisman\n"
     "  23 Bronze Ingot\n"
     "   3 Pine Resin\n"
     "   5 Bronze Plate\n"
     "   2 Iron Ingot\n"
     "   9 Bronze Rivets (9 x 3 for 25)\n"
     "   2 Hemp Twine (2 x 2 for 4)\n"
     "   4 Cotton Yarn (4 x 2 for 8)\n"
     "   3 Crystal Glass (3 x 2 for 5)\n"
     "   1 Eel Oil (1 x 10 for 4)\n"
     "   2 Reed Whistle\n"
     "   2 Scale Token\n"
     "   2 Iron Buckle (2 x 2 for 4)\n"
     "   3 Bronze Lamp Frame\n"
     "   3 Glass Globe\n"
     "   1 Vel Mhigan Crystal Vase\n"
     "   4 Antelope Leather\n"
     "   2 Moss Charm\n"
     "   2 Cotton Cloth\n"
     "   2 Beeswax Candle (2 x 4 for 6)\n"
     "   2 Clay Idol\n"
     "   2 Bronze Dagger\n",
     {"Bronze Lamp", "Bronze Lamp Frame", "Bronze Plate", "Bronze Ingot", "Copper Ore", "Tin Ore",
      "Fire Crystal", "Bronze Rivets", "Wind Shard", "Glass Globe", "Crystal Glass", "Silica Sand",
      "Shardstone", "Beeswax Candle", "Beeswax", "Hemp Twine", "Hemp", "Ceremonial Rack",
      "Maple Lumber", "Bronze Dagger", "Vel Mhigan Crystal Vase", "Earth Cluster", "Pine Resin",
      "Tribal Totem", "Reed Whistle", "Scale Token", "Antelope Hide", "Moss Charm", "Cotton Yarn",
      "Cotton Boll", "Feather Talisman", "Clay Idol", "Water Crystal", "Hunter Satchel",
      "Antelope Leather", "Eel Oil", "Lake Eel", "Distilled Water", "Cotton Cloth", "Iron Buckle",
      "Iron Ingot", "Iron Ore"}},
};

// The search as the program sends it: blanks as %20, nothing else to escape
// in the sample names.
std::string searchRequest(const std::string &name) {
    std::string text;
    for (char c : name) text += c == ' ' ? std::string("%20") : std::string(1, c);
    return "/api/search.php?text=" + text + "&lang=en";
}

std::vector<std::string> expectedRequests(const std::vector<std::string> &firstUse) {
    std::vector<std::string> requests = {CORE_REQUEST};
    for (const std::string &name : firstUse) {
        requests.push_back(searchRequest(name));
        requests.push_back("/db/doc/item/en/3/" + std::to_string(ITEM_IDS.at(name)) + ".json");
    }
    return requests;
}

// The cache folder after the run: one file per item, named after it, and the core data.
std::string expectedCacheFolder(std::vector<std::string> names) {
    names.push_back("corvanedbcore");
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string &name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

TEST(SampleWorld, DemoListMatchesTheHandWorkedListAndASecondRunNeedsNoRequest) {
    Standin standin(std::string(DATA_DIR) + "/sample");
    for (const DemoCase &demo : DEMO_CASES) {
        SCOPED_TRACE(demo.label);
        TempFolder folder; // empty cache/: the core data is downloaded first
        standin.clearLog();
        std::vector<std::string> arguments = DEMO_REQUEST;
        arguments.insert(arguments.end(), demo.options.begin(), demo.options.end());
        std::string output = consoleHeader(static_cast<int>(arguments.size())) +
                             std::string(demo.dots, '.') + "\n" + demo.rows;

        ConsoleRun first = runConsole(arguments);
        EXPECT_EQ(first.exitCode, 0);
        EXPECT_EQ(first.output, LOADING_CORE + output);
        // Documents are fetched ahead, several at once, so the requests come
        // in any order; but each distinct item is looked up exactly once.
        std::vector<std::string> requests = standin.requests();
        std::vector<std::string> expected = expectedRequests(demo.firstUse);
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front(), CORE_REQUEST);
        std::sort(requests.begin(), requests.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(requests, expected);
        EXPECT_EQ(listFolder("cache"), expectedCacheFolder(demo.firstUse));

        standin.clearLog();
        ConsoleRun again = runConsole(arguments);
        EXPECT_EQ(again.exitCode, 0);
        EXPECT_EQ(again.output, output);
        EXPECT_EQ(standin.requests(), std::vector<std::string>{});
    }
}

} // namespace
