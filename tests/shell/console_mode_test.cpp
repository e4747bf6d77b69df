// Reading options and quantities from the command line.
#include "shell/console_mode.h"

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
        std::string program = "shopping-list", argument = row.argument;
        char *argv[] = {program.data(), argument.data()};
        Settings chosen{}, expected{};
        readOptions(2, argv, &chosen);
        expected.*row.setting = true;
        EXPECT_EQ(flags(chosen), flags(expected));
    }
}

} // namespace
