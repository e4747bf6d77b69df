// Adding rows to the material table, with the yields of their documents.
#include "recipe/material_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "support/temp_folder.h"
#include "support/test_generation.h"

namespace {

class AddMaterialTest : public ::testing::Test {
protected:
    void TearDown() override { resetProcessState(); }
    int add(const std::string &name, int depth = 2, int job = 4) {
        run.takeSettings();
        StdoutCapture capture;
        int result = addMaterial(77, name.c_str(), depth, job, &run.generation);
        printed = capture.finish();
        return result;
    }
    TempFolder folder;
    TestGeneration run;
    MaterialTable &table = run.generation.table;
    int &rowCount = table.rowCount;
    char *errorText = run.errorText;
    std::string printed;
};

TEST_F(AddMaterialTest, YieldsAndTheirResults) {
    struct Row {
        const char *yieldText;
        int result;
        int yield;
        std::string printed;
    } rows[] = {
        {"3,", RESULT_OK, 3, ""},
        {"127,", RESULT_OK, 127, ""},
        {"0,", RESULT_UNEXPECTED_DOCUMENT, 0, ""},
        {"x,", RESULT_UNEXPECTED_DOCUMENT, 0, ""},
        {"128,", RESULT_UNEXPECTED_DOCUMENT, 0, "Unsupported recipe yield 128 for [Item] (1 to 127).\n"},
        {"-2,", RESULT_UNEXPECTED_DOCUMENT, 0, "Unsupported recipe yield -2 for [Item] (1 to 127).\n"},
        {"5}", RESULT_UNEXPECTED_DOCUMENT, 0, "CorvaneDB template changed. Message: [1].\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.yieldText);
        writeFile("cache/Item", std::string("{\"id\":\"5\",\"yield\":") + row.yieldText + "}");
        run.reopen();
        int before = rowCount;
        EXPECT_EQ(add("Item"), row.result);
        EXPECT_EQ(rowCount, before + 1);
        const MaterialRecord &added = table.rows[rowCount - 1];
        EXPECT_STREQ(added.name, "Item");
        EXPECT_EQ(added.yield, row.yield);
        EXPECT_EQ(added.depth, 2);
        EXPECT_EQ(added.job, row.result == RESULT_OK ? 4 : 0);
        EXPECT_EQ(printed, row.printed);
        EXPECT_EQ(errorText, row.printed);
    }
}

TEST_F(AddMaterialTest, SequenceNumbersRunOnAfterAFailure) {
    writeFile("cache/Good", "{\"id\":\"5\",\"x\":1}");
    EXPECT_EQ(add("Good"), RESULT_OK);
    EXPECT_EQ(add("Missing/Name"), RESULT_CACHE_FILE_ERROR);
    EXPECT_EQ(add("Good"), RESULT_OK);
    ASSERT_EQ(rowCount, 3);
    EXPECT_EQ(table.rows[0].sequence, 0);
    EXPECT_EQ(table.rows[1].sequence, 1);
    EXPECT_EQ(table.rows[2].sequence, 2);
    EXPECT_EQ(table.rows[0].yield, 1);
    EXPECT_EQ(table.nextSequence, 3);
}

TEST_F(AddMaterialTest, VerboseLineOnlyWhenVerbose) {
    writeFile("cache/Good", "{\"id\":\"5\",\"x\":1}");
    EXPECT_EQ(add("Good"), RESULT_OK);
    EXPECT_EQ(printed, "");
    settings.verbose = true;
    EXPECT_EQ(add("Good"), RESULT_OK);
    EXPECT_EQ(printed, "Retrieving recipe for Good...  from disk cache\nNew material 77 [Good]\n");
}

TEST_F(AddMaterialTest, FullTableAndLongNameTakeNoRow) {
    rowCount = MATERIAL_TABLE_ROWS;
    EXPECT_EQ(add("Good"), RESULT_TABLE_FULL);
    EXPECT_EQ(rowCount, MATERIAL_TABLE_ROWS);
    rowCount = 0;
    EXPECT_EQ(add(std::string(100, 'n')), RESULT_NAME_TOO_LONG);
    EXPECT_EQ(rowCount, 0);
    EXPECT_EQ(table.nextSequence, 0);
}

TEST_F(AddMaterialTest, FindingRowsByNameAndClearingForANewGeneration) {
    writeFile("cache/A", "{\"id\":\"5\",\"x\":1}");
    writeFile("cache/B", "{\"id\":\"6\",\"x\":1}");
    ASSERT_EQ(add("A"), RESULT_OK);
    ASSERT_EQ(add("B"), RESULT_OK);
    EXPECT_EQ(findMaterialRow(&table, "B"), &table.rows[1]);
    EXPECT_EQ(findMaterialRow(&table, "b"), nullptr); // names compare case-sensitively
    // Rows that move under the index (the front ends sort) are still found.
    std::swap(table.rows[0], table.rows[1]);
    EXPECT_EQ(findMaterialRow(&table, "B"), &table.rows[0]);
    EXPECT_EQ(findMaterialRow(&table, "A"), &table.rows[1]);
    clearMaterialTable(&table, run.storage);
    EXPECT_EQ(rowCount, 0);
    EXPECT_EQ(table.nextSequence, 0);
    EXPECT_STREQ(table.rows[0].name, "");
    EXPECT_EQ(findMaterialRow(&table, "A"), nullptr);
    ASSERT_EQ(add("B"), RESULT_OK);
    EXPECT_EQ(table.rows[0].sequence, 0);
    EXPECT_EQ(findMaterialRow(&table, "B"), &table.rows[0]);
}

} // namespace
