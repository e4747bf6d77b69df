// One generation as both front ends run it, over documents in a temporary
// cache folder.
#include "recipe/generation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/fetch_ahead.h"
#include "data/http_client.h"
#include "list/material_order.h"
#include "recipe/expansion.h"
#include "support/documents.h"
#include "support/standin.h"
#include "support/temp_folder.h"
#include "support/test_generation.h"

namespace {

class GenerationRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        // K needs 2 L and 1 M; L yields 3 and needs 1 N; Z needs 1 Y.
        cacheDocument("K", itemDocument("K", 1, "", 1, 1, {{2, 2, "L"}, {3, 1, "M"}}));
        cacheDocument("L", itemDocument("L", 2, "", 2, 3, {{4, 1, "N"}}));
        cacheDocument("M", itemDocument("M", 3, "\"nodes\":[150]"));
        cacheDocument("N", itemDocument("N", 4));
        cacheDocument("Z", itemDocument("Z", 5, "", 1, 1, {{6, 1, "Y"}}));
        cacheDocument("Y", itemDocument("Y", 6));
        // Its only entry has no amount: the template report "5", result 0.
        cacheDocument("Odd", "{\"item\":{\"name\":\"Odd\",\"id\":\"7\",\"craft\":[{\"job\":1,"
                             "\"ingredients\":[{\"id\":1,\"n\":1}]}]}}");
        // A document whose id is 0: result 3 without any message.
        cacheDocument("Idless", "{\"item\":{\"name\":\"Idless\",\"x\":1}}");
    }
    // Runs a generation (the rows stay for a look, sorted as the front ends
    // sort them) and keeps the progress's counts as they changed, and the
    // output.
    int run(const std::vector<RequestedItem> &items, char *errorText = nullptr) {
        done.clear();
        StdoutCapture capture;
        Generation generation;
        std::size_t last = 0;
        openGeneration(&generation, settings, storage.storage, errorText, [&](std::size_t count) {
            if (count != last) done.push_back(count);
            last = count;
        });
        int result = runGeneration(&generation, items, &failed);
        if (result == RESULT_OK) sortMaterials(&generation.table);
        table = generation.table;
        counts = generation.store.aheadCounts;
        closeGeneration(&generation);
        printed = capture.finish();
        return result;
    }

    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (int i = 0; i < table.rowCount; ++i) found.push_back(table.rows[i].name);
        return found;
    }

    TempFolder folder;
    TestGeneration storage;
    MaterialTable table{};
    FetchAheadCounts counts{};
    std::vector<std::size_t> done;
    std::size_t failed = 99;
    std::string printed;
};

TEST_F(GenerationRunTest, ExpandsEveryItemFromAFreshTableAndSorts) {
    // Leftovers of an earlier generation must not count.
    ASSERT_EQ(run({{"Z", 4}}), RESULT_OK);
    ASSERT_EQ(run({{"K", 3}, {"Z", 1}}), RESULT_OK);
    EXPECT_EQ(done, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(failed, 99u);
    // M has a source and comes first; then the deeper N; then Y (no job)
    // before L (job 2).
    EXPECT_EQ(names(), (std::vector<std::string>{"M", "N", "Y", "L"}));
    EXPECT_EQ(table.rows[2].quantity, 1);
    EXPECT_EQ(table.nextSequence, 4);
    EXPECT_EQ(printed, "......"); // K, L, N, M, then Z, Y
}

TEST_F(GenerationRunTest, FirstErrorEndsTheRunWithTheFailingItem) {
    ASSERT_EQ(run({{"K", 1}, {"Idless", 1}, {"Z", 1}}), RESULT_UNEXPECTED_DOCUMENT);
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(done, (std::vector<std::size_t>{1}));
    // Z was not expanded, and the rows stay in creation order.
    EXPECT_EQ(names(), (std::vector<std::string>{"L", "N", "M"}));
}

TEST_F(GenerationRunTest, EachItemStartsWithAnEmptyErrorText) {
    char errorText[ERROR_TEXT_SIZE] = "left over";
    ASSERT_EQ(run({{"Odd", 1}}, errorText), RESULT_OK);
    EXPECT_STREQ(errorText, "CorvaneDB template changed. Message: [5].\n");
    // The report of the first item is not taken for the silent failure of
    // the second.
    ASSERT_EQ(run({{"Odd", 1}, {"Idless", 1}}, errorText), RESULT_UNEXPECTED_DOCUMENT);
    EXPECT_STREQ(errorText, "");
}

TEST_F(GenerationRunTest, NoItemsGiveAnEmptyList) {
    ASSERT_EQ(run({{"K", 1}}), RESULT_OK);
    ASSERT_EQ(run({}), RESULT_OK);
    EXPECT_EQ(table.rowCount, 0);
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(printed, "");
}

// A layered world of 280 items with much reuse: 120 raw materials, 70 + 40
// + 30 intermediates on three levels, each made of items of the two levels
// below, and 20 goals, which are the requested items. Writes the stand-in's dataset
// under `root` and returns its folder.
std::string writeLayeredWorld(const std::string &root, std::vector<std::string> *goals) {
    std::string dataset = root + "/dataset";
    std::filesystem::create_directories(dataset + "/items");
    const int sizes[] = {120, 70, 40, 30, 20};
    std::vector<std::vector<std::pair<int, std::string>>> levels;
    unsigned seed = 7;
    int id = 1;
    for (int level = 0; level < 5; ++level) {
        levels.emplace_back();
        for (int i = 0; i < sizes[level]; ++i, ++id) {
            char name[32];
            std::snprintf(name, sizeof name, level == 0 ? "Raw %02d" : level == 4 ? "Goal %02d" : "Piece %d-%02d",
                          level == 0 || level == 4 ? i : level, i);
            std::vector<Ingredient> entries;
            for (int below = level - 1; below >= 0 && below >= level - 2; --below) {
                for (int n = below == level - 1 ? 2 : 1; n > 0; --n) {
                    seed = seed * 1103515245u + 12345u;
                    const auto &[entryId, entryName] = levels[below][(seed >> 8) % levels[below].size()];
                    bool taken = false;
                    for (const Ingredient &entry : entries) taken = taken || entry.id == entryId;
                    if (!taken) entries.push_back({entryId, 1 + static_cast<int>(seed % 3), entryName});
                }
            }
            writeFile(dataset + "/items/" + std::to_string(id) + ".json",
                      level == 0 ? itemDocument(name, id, "\"nodes\":[" + std::to_string(300 + i) + "]")
                                 : itemDocument(name, id, "", 1, 1, entries));
            levels.back().push_back({id, name});
        }
    }
    for (const auto &[goalId, goal] : levels.back()) goals->push_back(goal);
    writeFile(dataset + "/core.json", "{\"ingredients\":{}}");
    return dataset;
}

// A cold generation against a service whose every answer waits: the workers
// fetch ahead what the expansion will ask for, so the store seldom has to
// send its own requests one after the other, also when the requested items'
// documents come from the cache; and never more transfers run at once than
// fetching ahead allows.
TEST_F(GenerationRunTest, ColdRunIsFetchedAheadWithinTheTransferLimit) {
    std::vector<std::string> goals;
    std::string dataset = writeLayeredWorld(folder.path(), &goals);
    Standin standin(dataset, 25);
    openHttpClient();
    std::vector<RequestedItem> items;
    for (std::size_t i = 0; i < goals.size(); ++i) items.push_back({goals[i].c_str(), 1 + static_cast<int>(i % 3)});
    for (bool goalsCached : {false, true}) {
        SCOPED_TRACE(goalsCached ? "the requested items' documents cached" : "cold");
        std::filesystem::remove_all("cache");
        std::filesystem::create_directory("cache");
        if (goalsCached) {
            ASSERT_EQ(run(items), RESULT_OK);
            for (const auto &entry : std::filesystem::directory_iterator("cache"))
                if (entry.path().filename().string().rfind("Goal ", 0) != 0) std::filesystem::remove(entry.path());
        }
        standin.clearLog();
        ASSERT_EQ(run(items), RESULT_OK);
        int downloaded = counts.itemsAhead + counts.itemsByStore;
        auto files = std::distance(std::filesystem::directory_iterator("cache"), {});
        EXPECT_EQ(downloaded, files - (goalsCached ? 20 : 0));
        EXPECT_LE(counts.itemsByStore * 5, downloaded);
        EXPECT_EQ(standin.requests().size(), 2u * downloaded);
        EXPECT_LE(standin.mostInFlight(), FETCH_AHEAD_TRANSFERS);
        EXPECT_EQ(counts.mostTransfers, FETCH_AHEAD_TRANSFERS);
    }
    closeHttpClient();
}

// Answers of 14 MiB each, six of them fetched ahead at once: the answers
// held and those still arriving stay within the byte budget together (the
// one the store waits for may pass it), and the list is the same.
TEST_F(GenerationRunTest, LargeAnswersAheadStayWithinTheByteBudget) {
    std::filesystem::create_directories("dataset/items");
    std::vector<Ingredient> entries;
    for (int id = 2; id <= 7; ++id) {
        std::string name = "Slab " + std::to_string(id);
        entries.push_back({id, 1, name});
        writeFile("dataset/items/" + std::to_string(id) + ".json",
                  itemDocument(name, id, "\"lore\":\"" + std::string(14u << 20, 'x') + "\",\"nodes\":[301]"));
    }
    writeFile("dataset/items/1.json", itemDocument("Wall", 1, "", 1, 1, entries));
    writeFile("dataset/core.json", "{\"ingredients\":{}}");
    Standin standin(folder.path() + "/dataset");
    openHttpClient();
    ASSERT_EQ(run({{"Wall", 2}}), RESULT_OK);
    closeHttpClient();
    EXPECT_EQ(table.rowCount, 6);
    EXPECT_EQ(table.rows[5].quantity, 2);
    EXPECT_GT(counts.mostBytesAhead, std::size_t{14} << 20);
    EXPECT_LE(counts.mostBytesAhead, MAX_BYTES_AHEAD + MAX_ANSWER_BYTES);
}

} // namespace
