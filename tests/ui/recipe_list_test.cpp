// Splitting of the recipe list and the progress arithmetic of a generation.
#include "ui/recipe_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(SplitRecipeLine, QuantityIsTheTrailingDigitRun) {
    struct Row {
        std::string line;
        std::string name;
        int quantity;
    } rows[] = {
        {"Brass Lamp 3", "Brass Lamp", 3},
        {"Brass Lamp3", "Brass Lamp", 3},
        {"Brass Lamp 007", "Brass Lamp", 7},
        {"Grade 2 Varnish 5", "Grade 2 Varnish", 5},
        {"Brass Lamp 3 ", "Brass Lamp 3", 1},
        {"Brass Lamp 0", "Brass Lamp", 0},
        {"Brass Lamp", "Brass Lamp", 1},
        {"Brass Lamp   ", "Brass Lamp", 1},
        {"Brass Lamp -4", "Brass Lamp -", 4},
        {"Brass Lamp\t3", "Brass Lamp\t", 3},
        {"Brass Lamp \t 3", "Brass Lamp \t", 3},
        {"  Brass Lamp 3", "  Brass Lamp", 3},
        {"Brass Lamp 2147483647", "Brass Lamp", 2147483647},
        {"Brass Lamp 2147483648", "Brass Lamp", 2147483647},
        {"Brass Lamp 99999999999999999999999", "Brass Lamp", 2147483647},
        {"Brass Lamp 0000000000000000000000012", "Brass Lamp", 12},
        {"x", "x", 1},
        {"x9", "x", 9},
        // No item name is left: the caller has to deal with these.
        {"42", "", 42},
        {"   ", "", 1},
        {"  7", "", 7},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("line [" + row.line + "]");
        std::string name = "left over";
        int quantity = -99;
        splitRecipeLine(row.line, &name, &quantity);
        EXPECT_EQ(name, row.name);
        EXPECT_EQ(quantity, row.quantity);
    }
}

TEST(SplitRecipeLines, LinesAreRunsWithoutCrOrLf) {
    struct Row {
        const char *label;
        std::string text;
        std::vector<std::string> lines;
    } rows[] = {
        {"empty", "", {}},
        {"one line", "Brass Lamp 3", {"Brass Lamp 3"}},
        {"CR LF", "A 1\r\nB 2\r\nC 3", {"A 1", "B 2", "C 3"}},
        {"trailing CR LF", "A 1\r\nB 2\r\n", {"A 1", "B 2"}},
        {"blank lines between", "A 1\r\n\r\n\r\nB 2", {"A 1", "B 2"}},
        {"bare LF and CR", "A\nB\rC", {"A", "B", "C"}},
        {"LF CR and mixed runs", "\n\rA\n\r\r\nB\r", {"A", "B"}},
        {"only line breaks", "\r\n\r\n\n\r", {}},
        {"blanks and tabs are lines", "  \r\n\t\r\nA", {"  ", "\t", "A"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string_view> found = splitRecipeLines(row.text);
        std::vector<std::string> lines(found.begin(), found.end());
        EXPECT_EQ(lines, row.lines);
    }
}

// The values a generation of n lines shows: before the first line and
// after each line.
static std::vector<int> progressRun(int lines) {
    std::vector<int> values;
    for (int k = 0; k <= lines; ++k) values.push_back(progressValue(k, lines + 1));
    return values;
}

TEST(Progress, ValuesBeforeAndAfterEachLine) {
    struct Row {
        int lines;
        std::vector<int> values;
    } rows[] = {
        {0, {99}},
        {1, {49, 99}},
        {2, {32, 65, 99}},
        {3, {24, 49, 74, 99}},
        {4, {19, 39, 59, 79, 99}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.lines) + " lines");
        EXPECT_EQ(progressRun(row.lines), row.values);
    }
}

TEST(Progress, LongListsStartBelowZeroAndEndAt99) {
    struct Row {
        int lines;
        int first;
        int afterFirstLine;
        int last;
    } rows[] = {
        {99, 0, 1, 99},
        {100, -1, 0, 99},
        {199, -1, 0, 99},
        {250, -1, -1, 99},
        {500000, -1, -1, 99},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.lines) + " lines");
        EXPECT_EQ(progressValue(0, row.lines + 1), row.first);
        EXPECT_EQ(progressValue(1, row.lines + 1), row.afterFirstLine);
        EXPECT_EQ(progressValue(row.lines, row.lines + 1), row.last);
    }
}

TEST(Progress, BarAndCaptionNeverShowANegativeValue) {
    struct Row {
        int value;
        int shown;
        const char *caption;
    } rows[] = {
        {-1, 0, "0%"}, {0, 0, "0%"}, {19, 19, "19%"}, {99, 99, "99%"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(shownProgress(row.value), row.shown);
        EXPECT_EQ(progressCaption(row.value), row.caption);
    }
}

TEST(ErrorLines, NameAndErrorTextAsGiven) {
    std::string longName(300, 'x');
    struct Row {
        std::string name;
        const char *errorText;
        int result;
        std::string line;
    } rows[] = {
        {"Brass Lamp", "Web error on [Brass Lamp]\n", 1,
         "Error while getting recipe [Brass Lamp]: Web error on [Brass Lamp]\n\r\n"},
        {"Brass Lamp", "", 3,
         "Error while getting recipe [Brass Lamp]: Failed with result code 3\r\n"},
        {longName, "too long", 6,
         "Error while getting recipe [" + longName + "]: too long\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(recipeErrorLine(row.name, row.errorText, row.result), row.line);
    }
    EXPECT_EQ(missingNameErrorLine("  7"),
              "Error while getting recipe [  7]: No item name on this line\r\n");
}
