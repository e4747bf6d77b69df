// Adding rows to the material table, with the yields their documents state.
#include "recipe/material_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "base/result.h"
#include "data/item_facts.h"
#include "support/temp_folder.h"

namespace {

class AddMaterialTest : public ::testing::Test {
protected:
    AddMaterialTest() { clearMaterialTable(&table, storage); }
    ~AddMaterialTest() override { freeMaterialStorage(storage); }
    // Adds `name` as checkMaterialRoom and addMaterial do, with the facts of
    // `document`.
    int add(const std::string &name, const char *document = "{\"id\":\"5\",\"x\":1}") {
        ItemFacts facts{};
        readItemFacts(document, &facts);
        errorText[0] = '\0';
        StdoutCapture capture;
        int result = checkMaterialRoom(&table, name.c_str(), errorText);
        if (result == RESULT_OK) result = addMaterial(&table, name.c_str(), 2, 4, facts, errorText);
        printed = capture.finish();
        return result;
    }
    MaterialRecord *storage = allocMaterialStorage();
    MaterialTable table{};
    int &rowCount = table.rowCount;
    char errorText[ERROR_TEXT_SIZE] = "";
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
        std::string document = std::string("{\"id\":\"5\",\"yield\":") + row.yieldText + "}";
        int before = rowCount;
        EXPECT_EQ(add("Item", document.c_str()), row.result);
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
    EXPECT_EQ(add("Good"), RESULT_OK);
    EXPECT_EQ(add("Bad", "{\"id\":\"5\",\"yield\":0,}"), RESULT_UNEXPECTED_DOCUMENT);
    EXPECT_EQ(add("Good"), RESULT_OK);
    ASSERT_EQ(rowCount, 3);
    EXPECT_EQ(table.rows[0].sequence, 0);
    EXPECT_EQ(table.rows[1].sequence, 1);
    EXPECT_EQ(table.rows[2].sequence, 2);
    EXPECT_EQ(table.rows[0].yield, 1);
    EXPECT_EQ(table.nextSequence, 3);
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
    ASSERT_EQ(add("A"), RESULT_OK);
    ASSERT_EQ(add("B"), RESULT_OK);
    EXPECT_EQ(findMaterialRow(&table, "B"), &table.rows[1]);
    EXPECT_EQ(findMaterialRow(&table, "b"), nullptr); // names compare case-sensitively
    // Rows that move under the index (the front ends sort) are still found.
    std::swap(table.rows[0], table.rows[1]);
    EXPECT_EQ(findMaterialRow(&table, "B"), &table.rows[0]);
    EXPECT_EQ(findMaterialRow(&table, "A"), &table.rows[1]);
    clearMaterialTable(&table, storage);
    EXPECT_EQ(rowCount, 0);
    EXPECT_EQ(table.nextSequence, 0);
    EXPECT_STREQ(table.rows[0].name, "");
    EXPECT_EQ(findMaterialRow(&table, "A"), nullptr);
    ASSERT_EQ(add("B"), RESULT_OK);
    EXPECT_EQ(table.rows[0].sequence, 0);
    EXPECT_EQ(findMaterialRow(&table, "B"), &table.rows[0]);
}

} // namespace
