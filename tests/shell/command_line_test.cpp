// Reading options and quantities from the command line.
#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/process_state.h"

namespace {

TEST(ReadOptions, EachFormInCapitalsTurnsOnItsSettingAlone) {
    using S = Settings;
    auto flags = [](const S &s) {
        return std::vector<bool>{s.verbose, s.omitCrystals, s.dontCraftSoldItems, s.craftBeastTribeItems,
                                 s.craftMaterialGear, s.refreshCache};
    };
    struct Row {
        const char *argument;
        bool Settings::*setting;
    } rows[] = {
        {"-V", &S::verbose},                 {"-VERBOSE", &S::verbose},
        {"-OC", &S::omitCrystals},           {"-OMIT-CRYSTALS", &S::omitCrystals},
        {"-DCISBM", &S::dontCraftSoldItems}, {"-DONT-CRAFT-ITEMS-SOLD-BY-MERCHANTS", &S::dontCraftSoldItems},
        {"-CBTI", &S::craftBeastTribeItems}, {"-CRAFT-BEAST-TRIBE-ITEMS", &S::craftBeastTribeItems},
        {"-CMG", &S::craftMaterialGear},     {"-CRAFT-MATERIAL-GEAR", &S::craftMaterialGear},
        {"-RC", &S::refreshCache},           {"-REFRESH-CACHE", &S::refreshCache},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.argument);
        resetProcessState();
        std::string program = "shopping-list", argument = row.argument;
        char *argv[] = {program.data(), argument.data()};
        readOptions(2, argv);
        Settings expected{};
        expected.*row.setting = true;
        EXPECT_EQ(flags(settings), flags(expected));
    }
    resetProcessState();
}

TEST(ReadLeadingDigits, DigitsUpToTheFirstOtherCharacterClampedTo32Bits) {
    struct Row {
        const char *text;
        int quantity;
    } rows[] = {
        {"3", 3},           {"3abc", 3},          {"007", 7},         {"0", 0},
        {"12 5", 12},       {"x3", 0},            {"", 0},            {"2147483647", 2147483647},
        {"2147483648", 2147483647}, {"99999999999999999999999", 2147483647},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(readLeadingDigits(row.text), row.quantity);
    }
}

} // namespace
