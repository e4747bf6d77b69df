// The Generate command.
#include "ui/generate_command.h"

#include <vector>

#include "base/messages.h"
#include "base/result.h"
#include "list/list_output.h"
#include "list/material_order.h"
#include "recipe/expansion.h"
#include "recipe/generation.h"
#include "ui/recipe_list.h"

namespace {

// Shows the progress after `linesDone` lines.
void showLinesDone(const GenerateProgress &progress, int linesDone, int lineTotal) {
    int value = progressValue(linesDone, lineTotal);
    progress.show(shownProgress(value), progressCaption(value));
}

// Expands the lines in order with the progress after each one. Returns the
// shopping-list box's text: the sorted list, or the first error.
GenerateResult expandLines(const Settings &settings, const std::vector<std::string_view> &lines,
                           const GenerateProgress &progress) {
    int lineTotal = static_cast<int>(lines.size()) + 1;
    // The lines up to the first one without an item name are expanded; that
    // line, when there is one, ends the generation after them.
    std::vector<std::string> names;
    std::vector<RequestedItem> items;
    names.reserve(lines.size());
    std::size_t nameless = lines.size();
    for (std::size_t k = 0; k < lines.size(); ++k) {
        int quantity = 0;
        names.emplace_back();
        splitRecipeLine(lines[k], &names.back(), &quantity);
        if (names.back().empty()) {
            nameless = k;
            break;
        }
        items.push_back({names.back().c_str(), quantity});
    }
    std::string errorText(ERROR_TEXT_SIZE, '\0');
    std::size_t shownDone = 0;
    Generation generation;
    openGeneration(&generation, settings, materialStorage, errorText.data(), [&](std::size_t done) {
        // A line done shows its progress; every other call is a step.
        if (done == shownDone) return progress.repaint();
        shownDone = done;
        showLinesDone(progress, static_cast<int>(done), lineTotal);
    });
    std::size_t failed = 0;
    int result = runGeneration(&generation, items, &failed);
    GenerateResult ended;
    if (result != RESULT_OK) {
        ended = {GENERATE_FAILED, recipeErrorLine(names[failed], errorText.c_str(), result)};
    } else if (nameless < lines.size()) {
        ended = {GENERATE_FAILED, missingNameErrorLine(lines[nameless])};
    } else {
        sortMaterials(&generation.table);
        ended = {GENERATE_COMPLETED, formatDialogList(&generation.table, settings.omitCrystals)};
    }
    closeGeneration(&generation);
    return ended;
}

} // namespace

GenerateResult generateShoppingList(const Settings &settings, std::string_view recipeText,
                                    const GenerateProgress &progress) {
    if (recipeText.size() + 1 > RECIPE_TEXT_LIMIT) return {GENERATE_REFUSED, RECIPE_LIST_TOO_BIG};
    if (recipeText.empty()) return {GENERATE_REFUSED, RECIPE_LIST_EMPTY};
    // The window has no verbose mode: a generation of the dialog runs
    // without it, whatever the process's settings say.
    Settings generationSettings = settings;
    generationSettings.verbose = false;
    // The lines point into recipeText, which stays whole, so one read of the
    // box serves both the count and the expansion.
    std::vector<std::string_view> lines = splitRecipeLines(recipeText);
    showLinesDone(progress, 0, static_cast<int>(lines.size()) + 1);
    return expandLines(generationSettings, lines, progress);
}
