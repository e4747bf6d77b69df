// Recipe expansion over documents in a temporary cache folder.
#include "recipe/expansion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/core_data.h"
#include "recipe/generation.h"
#include "support/documents.h"
#include "support/temp_folder.h"
#include "support/test_generation.h"

namespace {

class ExpansionTest : public ::testing::Test {
protected:
    void SetUp() override {
        useCoreData("\"ingredients\":{\"4\":{\"name\":\"N\"},\"77\":{\"name\":\"Core Only\"}}");
    }
    void TearDown() override {
        freeCoreData();
        resetProcessState();
    }

    // Expands one requested item in the generation, with the process's
    // settings as they are now; what it printed is kept in `printed`.
    int expand(const std::string &name, int crafts) {
        run.takeSettings();
        StdoutCapture capture;
        int result = expandItem(name.c_str(), &run.generation, crafts, 0);
        printed = capture.finish();
        return result;
    }

    // A fresh generation for the next case: an empty table, and the cache
    // files read anew.
    void clearTable() { run.reopen(); }

    const MaterialRecord *row(const std::string &name) const {
        for (int i = 0; i < table.rowCount; ++i)
            if (name == table.rows[i].name) return &table.rows[i];
        return nullptr;
    }

    TempFolder folder;
    TestGeneration run;
    MaterialTable &table = run.generation.table;
    int &rowCount = table.rowCount;
    char *errorText = run.errorText;
    std::string printed;
};

// K needs 2 L and 1 M; L yields 3 and needs 1 N; P needs 1 L.
void writeWorkedExample() {
    cacheDocument("K", itemDocument("K", 1, "", 1, 1, {{2, 2, "L"}, {3, 1, "M"}}));
    cacheDocument("L", itemDocument("L", 2, "", 2, 3, {{4, 1, "N"}}));
    cacheDocument("M", itemDocument("M", 3));
    cacheDocument("N", itemDocument("N", 4));
    cacheDocument("P", itemDocument("P", 5, "", 4, 1, {{2, 1, "L"}}));
}

struct ExpectedRow {
    const char *name;
    int quantity, amount, job, sequence, depth, yield;
};

void expectRows(const MaterialTable &table, const std::vector<ExpectedRow> &expected) {
    ASSERT_EQ(table.rowCount, static_cast<int>(expected.size()));
    for (int i = 0; i < table.rowCount; ++i) {
        SCOPED_TRACE(expected[i].name);
        const MaterialRecord &row = table.rows[i];
        EXPECT_STREQ(row.name, expected[i].name);
        EXPECT_EQ(row.quantity, expected[i].quantity);
        EXPECT_EQ(row.amount, expected[i].amount);
        EXPECT_EQ(row.job, expected[i].job);
        EXPECT_EQ(row.sequence, expected[i].sequence);
        EXPECT_EQ(row.depth, expected[i].depth);
        EXPECT_EQ(row.yield, expected[i].yield);
    }
}

TEST_F(ExpansionTest, WorkedExampleComesOutRowForRow) {
    writeWorkedExample();
    ASSERT_EQ(expand("K", 3), RESULT_OK);
    // One dot per call: K, L, N, M.
    EXPECT_EQ(printed, "....");
    expectRows(table, {{"L", 2, 6, 3, 0, 0, 3}, {"N", 2, 2, 0, 1, 1, 1}, {"M", 3, 3, 0, 2, 0, 1}});
    ASSERT_EQ(expand("P", 1), RESULT_OK);
    EXPECT_EQ(printed, "...");
    expectRows(table, {{"L", 3, 7, 3, 0, 0, 3}, {"N", 3, 3, 0, 1, 1, 1}, {"M", 3, 3, 0, 2, 0, 1}});
}

TEST_F(ExpansionTest, RequestedItemAddsItsIngredientsOnly) {
    writeWorkedExample();
    struct Row {
        const char *label, *item;
        int crafts;
        const char *dots;
        std::vector<ExpectedRow> rows;
    } rows[] = {
        {"raw material adds no row", "N", 5, ".", {}},
        {"yield is not applied to the requested item", "L", 3, "..", {{"N", 3, 3, 0, 0, 0, 1}}},
        {"quantity 0 adds direct ingredients only", "K", 0, ".", {{"L", 0, 0, 0, 0, 0, 3}, {"M", 0, 0, 0, 1, 0, 1}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        clearTable();
        ASSERT_EQ(expand(row.item, row.crafts), RESULT_OK);
        EXPECT_EQ(printed, row.dots);
        expectRows(table, row.rows);
    }
}

TEST_F(ExpansionTest, GrowthWithoutNewCraftDoesNotExpandAgain) {
    // Q needs 4 L (yield 3: 2 crafts); each R needs 1 more L. 5 and 6 units
    // still make 2 crafts; 7 units make 3, and L is expanded by 1 craft.
    writeWorkedExample();
    cacheDocument("Q", itemDocument("Q", 6, "", 1, 1, {{2, 4, "L"}}));
    cacheDocument("R", itemDocument("R", 7, "", 1, 1, {{2, 1, "L"}}));
    ASSERT_EQ(expand("Q", 1), RESULT_OK);
    for (int amount : {5, 6}) {
        SCOPED_TRACE(amount);
        ASSERT_EQ(expand("R", 1), RESULT_OK);
        EXPECT_EQ(printed, ".");
        expectRows(table, {{"L", 2, amount, 3, 0, 0, 3}, {"N", 2, 2, 0, 1, 1, 1}});
    }
    ASSERT_EQ(expand("R", 1), RESULT_OK);
    EXPECT_EQ(printed, "...");
    expectRows(table, {{"L", 3, 7, 3, 0, 0, 3}, {"N", 3, 3, 0, 1, 1, 1}});
}

TEST_F(ExpansionTest, IngredientNamesFromObjectsOrCoreData) {
    // 77 has no object (core data names it); 4 has an object that begins
    // with its id, which the backward scan cannot use, so the core data
    // names it too.
    std::string document = itemDocument("Mix", 10, "", 1, 1, {{77, 1, ""}, {4, 1, ""}});
    document.insert(document.find(",\"related\""),
                    ",\"more\":[{\"id\":4,\"name\":\"Wrong Name\",\"x\":1}]");
    cacheDocument("Mix", document);
    cacheDocument("Core Only", itemDocument("Core Only", 77));
    cacheDocument("N", itemDocument("N", 4));
    ASSERT_EQ(expand("Mix", 1), RESULT_OK);
    ASSERT_EQ(rowCount, 2);
    EXPECT_STREQ(table.rows[0].name, "Core Only");
    EXPECT_STREQ(table.rows[1].name, "N");
}

TEST_F(ExpansionTest, TemplateReportsAndTheirResults) {
    struct Row {
        const char *label;
        std::string document;
        int result;
        const char *report;
    } rows[] = {
        {"vendor list without ]",
         "{\"item\":{\"name\":\"X\",\"id\":\"20\",\"vendors\":[1001,\"craft\":[{\"job\":1,"
         "\"ingredients\":",
         RESULT_UNEXPECTED_DOCUMENT, "2"},
        {"ingredient list without ]",
         "{\"item\":{\"name\":\"X\",\"id\":\"20\",\"craft\":[{\"job\":1,\"ingredients\":[{\"id\":1,"
         "\"amount\":1}",
         RESULT_UNEXPECTED_DOCUMENT, "3"},
        {"entry without id",
         "{\"item\":{\"name\":\"X\",\"id\":\"20\",\"craft\":[{\"job\":1,\"ingredients\":[{\"amount\":1}]}]}}",
         RESULT_UNEXPECTED_DOCUMENT, "4"},
        {"entry without amount",
         "{\"item\":{\"name\":\"X\",\"id\":\"20\",\"craft\":[{\"job\":1,\"ingredients\":[{\"id\":1,\"n\":1}]}]}}",
         RESULT_OK, "5"},
        {"ingredient without a name",
         itemDocument("X", 20, "", 1, 1, {{555, 1, ""}}), RESULT_OK, "6 (555)"},
        {"document that begins with its ingredient list", "\"ingredients\":[{\"id\":555,\"amount\":1}]",
         RESULT_OK, "6 (555)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        cacheDocument("X", row.document);
        clearTable();
        EXPECT_EQ(expand("X", 1), row.result);
        std::string line = std::string("CorvaneDB template changed. Message: [") + row.report + "].\n";
        EXPECT_EQ(printed, "." + line);
        EXPECT_EQ(errorText, line);
        EXPECT_EQ(rowCount, 0);
    }
}

TEST_F(ExpansionTest, AmountAsLastFieldAndEntriesAfterAReportAreSkipped) {
    cacheDocument("A", itemDocument("A", 30));
    cacheDocument("B", itemDocument("B", 31));
    // The amount of the first entry is its last field: its value text is
    // "2}" up to the next ','. The second entry has no amount, and none
    // follows in the document: report "5" ends the recipe with result 0.
    cacheDocument("X", "{\"item\":{\"name\":\"X\",\"id\":\"20\",\"craft\":[{\"job\":1,\"ingredients\":["
                       "{\"id\":30,\"amount\":2},{\"id\":31,\"n\":1}]}]},"
                       "\"ingredients\":[{\"name\":\"A\",\"id\":30,\"x\":1},{\"name\":\"B\",\"id\":31,\"x\":1}]}");
    EXPECT_EQ(expand("X", 3), RESULT_OK);
    expectRows(table, {{"A", 6, 6, 0, 0, 0, 1}});
    EXPECT_EQ(printed, "..CorvaneDB template changed. Message: [5].\n");
}

TEST_F(ExpansionTest, DocumentWithIdMinusOneIsNoPage) {
    cacheDocument("Ghost", "{\"item\":{\"name\":\"Ghost\",\"id\":\"-1\",\"x\":1}}");
    EXPECT_EQ(expand("Ghost", 1), RESULT_NO_PAGE);
    EXPECT_EQ(printed, ".Couldn't find a CorvaneDB page for [Ghost]\n");
    EXPECT_STREQ(errorText, "Couldn't find a CorvaneDB page for [Ghost]");
}

// Merchant rules: Top (depth 0) needs Sold, which is crafted from Part.
struct MerchantCase {
    const char *label;
    std::string soldFields;
    bool dontCraft, craftBeastTribe, craftGear;
    bool partListed;
    int soldSource;
};

TEST_F(ExpansionTest, MerchantRulesDecideCraftOrBuy) {
    const MerchantCase cases[] = {
        {"sold, option off", "\"vendors\":[1001234]", false, false, false, true, 1001234},
        {"sold, option on", "\"vendors\":[1001234]", true, false, false, false, 1001234},
        {"beast tribe, one vendor", "\"vendors\":[1005554]", true, true, false, true, 0},
        {"beast tribe, option off", "\"vendors\":[1005554]", true, false, false, false, 1005554},
        {"beast tribe, two vendors", "\"vendors\":[1005554,1005569]", true, true, false, false,
         1005554},
        {"beast tribe id inside a longer id", "\"vendors\":[91017337]", true, true, false, true, 0},
        {"beast tribe id ending the list, after a near miss", "\"vendors\":[11005554]", true, true, false, true, 0},
        {"gear, option on", "\"equip\":1,\"vendors\":[1001234]", true, false, true, true, 1001234},
        {"gear, option off", "\"equip\":1,\"vendors\":[1001234]", true, false, false, false,
         1001234},
        {"not sold", "\"nodes\":[150]", true, true, true, true, 150},
    };
    for (const MerchantCase &c : cases) {
        SCOPED_TRACE(c.label);
        cacheDocument("Top", itemDocument("Top", 40, "", 1, 1, {{41, 2, "Sold"}}));
        cacheDocument("Sold", itemDocument("Sold", 41, c.soldFields, 3, 1, {{42, 1, "Part"}}));
        cacheDocument("Part", itemDocument("Part", 42));
        clearTable();
        settings.dontCraftSoldItems = c.dontCraft;
        settings.craftBeastTribeItems = c.craftBeastTribe;
        settings.craftMaterialGear = c.craftGear;
        ASSERT_EQ(expand("Top", 1), RESULT_OK);
        ASSERT_NE(row("Sold"), nullptr);
        EXPECT_EQ(row("Sold")->quantity, 2);
        EXPECT_EQ(row("Sold")->source, c.soldSource);
        EXPECT_EQ(row("Part") != nullptr, c.partListed);
    }
}

TEST_F(ExpansionTest, RequestedSoldItemIsAlwaysExpanded) {
    settings.dontCraftSoldItems = true;
    cacheDocument("Sold", itemDocument("Sold", 41, "\"vendors\":[1001234]", 3, 1, {{42, 1, "Part"}}));
    cacheDocument("Part", itemDocument("Part", 42));
    ASSERT_EQ(expand("Sold", 1), RESULT_OK);
    EXPECT_NE(row("Part"), nullptr);
}

TEST_F(ExpansionTest, VendorsAfterTheRecipeBringNoMerchantRule) {
    settings.dontCraftSoldItems = true;
    cacheDocument("Top", itemDocument("Top", 40, "", 1, 1, {{41, 1, "Sold"}}));
    std::string sold = itemDocument("Sold", 41, "", 3, 1, {{42, 1, "Part"}});
    sold.insert(sold.find("]}]") + 3, ",\"vendors\":[1001234]");
    cacheDocument("Sold", sold);
    cacheDocument("Part", itemDocument("Part", 42));
    ASSERT_EQ(expand("Top", 1), RESULT_OK);
    EXPECT_NE(row("Part"), nullptr);
}

// Source rules: Top needs Thing; Thing's document decides Thing's source.
struct SourceCase {
    const char *label;
    std::string fields;
    int job; // -1: no recipe
    std::string partials;
    int source;
    int isGear;
};

TEST_F(ExpansionTest, SourceComesFromNodesZonesAndVendors) {
    const std::string nodePartial = "{\"type\":\"node\",\"id\":\"150\",\"obj\":{\"i\":150,\"z\":210}}";
    const std::string mobPartial = "{\"type\":\"mob\",\"id\":\"9\",\"obj\":{\"i\":9,\"z\":320}}";
    const std::string fishPartial = "{\"type\":\"fishing\",\"id\":\"8\",\"obj\":{\"i\":8,\"z\":330}}";
    const SourceCase cases[] = {
        {"first node", "\"nodes\":[150,151]", -1, "", 150, 0},
        {"single node", "\"nodes\":[152]", -1, "", 152, 0},
        {"node partial zone for a gathered item", "\"nodes\":[150]", -1, nodePartial, 210, 0},
        {"crafted item keeps its node", "\"nodes\":[150]", 2, nodePartial, 150, 0},
        {"mob zone", "", -1, mobPartial, 320, 0},
        {"fishing zone", "", -1, fishPartial, 330, 0},
        {"mob before fishing", "", -1, fishPartial + "," + mobPartial, 320, 0},
        {"vendor", "\"vendors\":[1001234,1001235]", -1, "", 1001234, 0},
        {"empty node list then more fields", "\"nodes\":[],\"vendors\":[1001234]", -1, "", 0, 0},
        {"crafted item ignores mob partial", "", 2, mobPartial, 0, 0},
        {"nothing known", "", -1, "", 0, 0},
        {"gear", "\"equip\":1,\"vendors\":[1001234]", -1, "", 1001234, 1},
        {"equip 0 is no gear", "\"equip\":0,\"vendors\":[1001234]", -1, "", 1001234, 0},
    };
    cacheDocument("Top", itemDocument("Top", 40, "", 1, 1, {{43, 1, "Thing"}}));
    for (const SourceCase &c : cases) {
        SCOPED_TRACE(c.label);
        cacheDocument("Thing", itemDocument("Thing", 43, c.fields, c.job, 1, {}, c.partials));
        clearTable();
        ASSERT_EQ(expand("Top", 1), RESULT_OK);
        ASSERT_EQ(rowCount, 1);
        EXPECT_EQ(table.rows[0].source, c.source);
        EXPECT_EQ(table.rows[0].isGear, c.isGear);
        EXPECT_EQ(table.rows[0].job, c.job < 0 ? 0 : c.job + 1);
    }
}

TEST_F(ExpansionTest, RecipeCycleEndsWithAMessage) {
    cacheDocument("A", itemDocument("A", 50, "", 1, 1, {{51, 1, "B"}}));
    cacheDocument("B", itemDocument("B", 51, "", 1, 1, {{50, 1, "A"}}));
    EXPECT_EQ(expand("A", 1), RESULT_RECIPE_CYCLE);
    EXPECT_EQ(printed, "...Recipe cycle: [A] is an ingredient of itself.\n");
    EXPECT_STREQ(errorText, "Recipe cycle: [A] is an ingredient of itself.\n");
    // The path is left clean: a later expansion works.
    writeWorkedExample();
    rowCount = 0;
    EXPECT_EQ(expand("K", 1), RESULT_OK);
}

TEST_F(ExpansionTest, AmountBeyond32BitsIsRefused) {
    cacheDocument("Big", itemDocument("Big", 60, "", 1, 1, {{61, 2000000000, "Part"}}));
    cacheDocument("Part", itemDocument("Part", 61));
    EXPECT_EQ(expand("Big", 2), RESULT_AMOUNT_OVERFLOW);
    EXPECT_STREQ(errorText, "Amount of [Part] too large to count.\n");
    EXPECT_EQ(table.rows[0].amount, 0);
}

TEST_F(ExpansionTest, IngredientNameOver99BytesIsRefusedBeforeARowIsTaken) {
    std::string longName(100, 'x');
    cacheDocument("Top", itemDocument("Top", 40, "", 1, 1, {{44, 1, longName}}));
    EXPECT_EQ(expand("Top", 1), RESULT_NAME_TOO_LONG);
    EXPECT_EQ(rowCount, 0);
}

TEST_F(ExpansionTest, RememberedDocumentsGiveTheSameRowsAndLinesWithoutRereading) {
    writeWorkedExample();
    settings.verbose = true;
    ASSERT_EQ(expand("K", 3), RESULT_OK);
    ASSERT_EQ(expand("P", 1), RESULT_OK);
    std::string plainLines = printed;
    std::vector<MaterialRecord> plainRows(table.rows, table.rows + rowCount);

    run.reopen();
    ASSERT_EQ(expand("K", 3), RESULT_OK);
    // L and N are known now: their files are not read again.
    std::remove("cache/L");
    std::remove("cache/N");
    ASSERT_EQ(expand("P", 1), RESULT_OK);
    EXPECT_EQ(printed, plainLines);
    ASSERT_EQ(rowCount, static_cast<int>(plainRows.size()));
    for (int i = 0; i < rowCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::memcmp(&table.rows[i], &plainRows[i], sizeof(MaterialRecord)), 0);
    }
    // A new generation looks for the files again: L is gone, and without a
    // client the download fails.
    run.reopen();
    EXPECT_EQ(expand("P", 1), RESULT_WEB_ERROR);
}


TEST_F(ExpansionTest, LargestJobNumberDoesNotOverflow) {
    cacheDocument("Top", itemDocument("Top", 40, "", 1, 1, {{43, 1, "Thing"}}));
    cacheDocument("Thing", itemDocument("Thing", 43, "\"nodes\":[150]", 2147483647, 1, {},
                                        "{\"type\":\"node\",\"id\":\"150\",\"obj\":{\"z\":210}}"));
    ASSERT_EQ(expand("Top", 1), RESULT_OK);
    ASSERT_EQ(rowCount, 1);
    // The job is not 0, so the node's zone is not taken.
    EXPECT_EQ(table.rows[0].source, 150);
}

} // namespace
