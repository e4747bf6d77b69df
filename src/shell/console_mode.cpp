// Console mode: parse the command line, expand every item, print the list.
#include "shell/console_mode.h"

#include <cstdio>
#include <vector>

#include "base/decimal_digits.h"
#include "base/process_state.h"
#include "base/result.h"
#include "base/version.h"
#include "list/list_output.h"
#include "list/material_order.h"
#include "recipe/expansion.h"
#include "recipe/generation.h"


// One option: its short and long form and the setting it turns on.
struct OptionPair {
    const char *shortForm;
    const char *longForm;
    bool Settings::*setting;
};

static const OptionPair OPTIONS[] = {
    {"-v", "-verbose", &Settings::verbose},
    {"-oc", "-omit-crystals", &Settings::omitCrystals},
    {"-dcisbm", "-dont-craft-items-sold-by-merchants", &Settings::dontCraftSoldItems},
    {"-cbti", "-craft-beast-tribe-items", &Settings::craftBeastTribeItems},
    {"-cmg", "-craft-material-gear", &Settings::craftMaterialGear},
    {"-rc", "-refresh-cache", &Settings::refreshCache},
};

void printUsage() {
    std::printf("Parameter list:\n");
    for (const OptionPair &option : OPTIONS)
        std::printf("%s or %s\n", option.shortForm, option.longForm);
}

static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Whole-text comparison that ignores the case of the letters A to Z.
static bool equalsIgnoringCase(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b)
        if (lowerAscii(*a) != lowerAscii(*b)) return false;
    return *a == *b;
}

void readOptions(int argc, char **argv, Settings *chosen) {
    for (int i = 1; i < argc; ++i) {
        for (const OptionPair &option : OPTIONS) {
            if (equalsIgnoringCase(argv[i], option.shortForm) ||
                equalsIgnoringCase(argv[i], option.longForm))
                chosen->*option.setting = true;
        }
    }
}

void runCommandLine(int argc, char **argv) {
    printUsage();
    if (argc < 2) {
        std::printf("No item name was input.\n");
        return;
    }
    std::printf(PROGRAM_TITLE " %s\n", VERSION_TEXT);
    // Kept as the users know it: every argument counts, options and
    // quantities too, and the count always reads "items" ("1 items").
    std::printf("Will generate shopping list with %d item%s.\n", argc - 1, "s");
    readOptions(argc, argv, &settings);
    std::vector<RequestedItem> items;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' || isDecimalDigit(argv[i][0])) continue;
        int quantity = i + 1 < argc && isDecimalDigit(argv[i + 1][0]) ? readLeadingDigits(argv[i + 1]) : 1;
        items.push_back({argv[i], quantity});
    }
    Generation generation;
    openGeneration(&generation, settings, materialStorage, nullptr);
    std::size_t failedItem = 0;
    int result = runGeneration(&generation, items, &failedItem);
    if (result != RESULT_OK) {
        std::printf("Error %d\n", result);
    } else {
        sortMaterials(&generation.table);
        std::printf("\n");
        printConsoleList(&generation.table, settings.omitCrystals, settings.verbose);
    }
    closeGeneration(&generation);
}
