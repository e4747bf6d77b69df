// One generation as both front ends run it, over documents in a temporary
// cache folder.
#include "shell/generation_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "support/documents.h"
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
    // Runs a generation (the rows stay for a look) and keeps the callback's
    // counts and the output.
    int run(const std::vector<RequestedItem> &items, char *errorText = nullptr) {
        done.clear();
        StdoutCapture capture;
        Generation generation;
        openGeneration(&generation, settings, storage.storage, errorText);
        int result = runGeneration(&generation, items,
                                   [this](std::size_t count) { done.push_back(count); }, &failed);
        table = generation.table;
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

} // namespace
