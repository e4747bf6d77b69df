// Order of the shopping list, and the dialog's form of the sorted rows.
#include "list/material_order.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "list/list_output.h"
#include "recipe/material_table.h"

namespace {

MaterialRecord makeRow(const char *name, int isGear, int source, int depth, int job, int sequence) {
    MaterialRecord row{};
    std::snprintf(row.name, sizeof row.name, "%s", name);
    row.isGear = static_cast<std::int8_t>(isGear);
    row.source = source;
    row.depth = static_cast<std::int8_t>(depth);
    row.job = static_cast<std::int8_t>(job);
    row.sequence = static_cast<std::uint16_t>(sequence);
    return row;
}

int sign(int value) { return (value > 0) - (value < 0); }

// A table over `rows` whose first `count` rows are in use.
MaterialTable tableOver(std::vector<MaterialRecord> &rows, int count) {
    MaterialTable table{};
    table.rows = rows.data();
    table.rowCount = count;
    return table;
}

std::vector<std::string> namesOf(const std::vector<MaterialRecord> &rows) {
    std::vector<std::string> names;
    for (const auto &row : rows) names.push_back(row.name);
    return names;
}

TEST(CompareMaterials, EachKeyDecidesInTurn) {
    struct Row {
        const char *label;
        MaterialRecord first, second; // first is listed before second
    } rows[] = {
        {"gear last, even after rows without source", makeRow("A", 0, 0, 0, 0, 5),
         makeRow("A", 1, 7, 3, 0, 1)},
        {"a source before none", makeRow("A", 0, 900, 0, 9, 9), makeRow("A", 0, 0, 5, 0, 0)},
        {"a negative source still counts as one", makeRow("A", 0, -5, 0, 0, 9),
         makeRow("A", 0, 0, 0, 0, 0)},
        {"source ascending, signed", makeRow("A", 0, -5, 0, 0, 9), makeRow("A", 0, 3, 9, 0, 0)},
        {"source ascending", makeRow("A", 0, 150, 0, 0, 9), makeRow("A", 0, 1001234, 9, 0, 0)},
        {"deeper first", makeRow("Z", 0, 5, 2, 9, 9), makeRow("A", 0, 5, 1, 0, 0)},
        {"depth 1 before depth 0", makeRow("Z", 0, 5, 1, 9, 9), makeRow("A", 0, 5, 0, 0, 0)},
        {"job ascending", makeRow("Z", 0, 5, 1, 0, 9), makeRow("A", 0, 5, 1, 3, 0)},
        {"sequence ascending", makeRow("Z", 0, 5, 1, 3, 2), makeRow("A", 0, 5, 1, 3, 40000)},
        {"name by bytes", makeRow("Apple", 0, 0, 0, 0, 1), makeRow("apple", 0, 0, 0, 0, 1)},
        {"unsigned bytes", makeRow("Zinc", 0, 0, 0, 0, 1), makeRow("\xc3\x84rz", 0, 0, 0, 0, 1)},
        {"prefix first", makeRow("Iron", 0, 0, 0, 0, 1), makeRow("Iron Ore", 0, 0, 0, 0, 1)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(sign(compareMaterials(&row.first, &row.second)), -1);
        EXPECT_EQ(sign(compareMaterials(&row.second, &row.first)), 1);
        EXPECT_EQ(compareMaterials(&row.first, &row.first), 0);
    }
}

TEST(CompareMaterials, SortGroupsBySourceThenDepth) {
    std::vector<MaterialRecord> rows = {
        makeRow("Gear", 1, 0, 0, 0, 0),      makeRow("Loose", 0, 0, 2, 0, 1),
        makeRow("Vendor", 0, 1001234, 0, 0, 2), makeRow("Shallow", 0, 150, 0, 0, 3),
        makeRow("Deep", 0, 150, 2, 0, 4),    makeRow("Middle", 0, 150, 1, 0, 5),
    };
    MaterialTable table = tableOver(rows, static_cast<int>(rows.size()));
    sortMaterials(&table);
    EXPECT_EQ(namesOf(rows), (std::vector<std::string>{"Deep", "Middle", "Shallow", "Vendor", "Loose", "Gear"}));
}

TEST(CompareMaterials, SortTouchesOnlyTheRowsInUse) {
    // Three rows in reverse order: sorting the first 0, 1 or 2 of them must
    // leave the others where they are.
    const std::vector<MaterialRecord> reversed = {makeRow("C", 0, 3, 0, 0, 0), makeRow("B", 0, 2, 0, 0, 1),
                                                  makeRow("A", 0, 1, 0, 0, 2)};
    const std::vector<std::string> expected[] = {{"C", "B", "A"}, {"C", "B", "A"}, {"B", "C", "A"},
                                                 {"A", "B", "C"}};
    for (int count = 0; count <= 3; ++count) {
        SCOPED_TRACE(count);
        std::vector<MaterialRecord> rows = reversed;
        MaterialTable table = tableOver(rows, count);
        sortMaterials(&table);
        EXPECT_EQ(namesOf(rows), expected[count]);
    }
}

TEST(DialogList, RowsInTheDialogsForm) {
    std::vector<MaterialRecord> rows = {makeRow("Brass Lamp", 0, 0, 0, 0, 0),
                                        makeRow("Wind Shard", 0, 0, 0, 0, 1),
                                        makeRow("Shardstone", 0, 0, 0, 0, 2),
                                        makeRow("Nails", 0, 0, 0, 0, 3),
                                        makeRow("Rivets", 0, 0, 0, 0, 4)};
    rows[0].quantity = 3, rows[0].yield = 3, rows[0].amount = 7;
    rows[1].quantity = 2, rows[1].yield = 1, rows[1].amount = 2;
    rows[2].quantity = 123456, rows[2].yield = 1, rows[2].amount = 123456;
    rows[3].quantity = 4, rows[3].yield = -2, rows[3].amount = 4;
    rows[4].quantity = 5, rows[4].yield = 2, rows[4].amount = 9; // the smallest yield with a note
    MaterialTable all = tableOver(rows, 5), none = tableOver(rows, 0), two = tableOver(rows, 2);
    EXPECT_EQ(formatDialogList(&all, true),
              "Shopping list:\r\n    3\tBrass Lamp (3 x 3 for 7)\r\n123456\tShardstone\r\n"
              "    4\tNails\r\n    5\tRivets (5 x 2 for 9)\r\n");
    EXPECT_EQ(formatDialogList(&none, true), "Shopping list:\r\n");
    EXPECT_EQ(formatDialogList(&two, false),
              "Shopping list:\r\n    3\tBrass Lamp (3 x 3 for 7)\r\n    2\tWind Shard\r\n");
}

} // namespace
