// The Generate command and the splitting and progress arithmetic under it.
#include "ui/generation.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "data/item_store.h"
#include "data/result.h"
#include "list/report.h"
#include "recipe/expansion.h"
#include "recipe/material_table.h"
#include "shell/app_state.h"
#include "shell/messages.h"

static bool running = false;

// Marks a generation as running for as long as it is in scope.
struct RunningGeneration {
    RunningGeneration() { running = true; }
    ~RunningGeneration() { running = false; }
    RunningGeneration(const RunningGeneration &) = delete;
    RunningGeneration &operator=(const RunningGeneration &) = delete;
};

static bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

void splitRecipeLine(std::string_view line, std::string *itemName, int *quantity) {
    std::size_t digitsBegin = line.size();
    while (digitsBegin > 0 && isDecimalDigit(line[digitsBegin - 1])) --digitsBegin;
    if (digitsBegin == line.size()) {
        *quantity = 1;
    } else {
        long long value = 0;
        for (std::size_t i = digitsBegin; i < line.size(); ++i) {
            value = value * 10 + (line[i] - '0');
            if (value > INT_MAX) {
                value = INT_MAX;
                break;
            }
        }
        *quantity = static_cast<int>(value);
    }
    std::size_t nameEnd = digitsBegin;
    while (nameEnd > 0 && line[nameEnd - 1] == ' ') --nameEnd;
    itemName->assign(line.substr(0, nameEnd));
}

std::vector<std::string_view> splitRecipeLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t begin = text.find_first_not_of("\r\n", at);
        if (begin == std::string_view::npos) break;
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        at = end;
    }
    return lines;
}

int progressValue(int linesDone, int lineTotal) {
    long long step = 100LL * (static_cast<long long>(linesDone) + 1);
    return static_cast<int>(step / lineTotal - 1);
}

int shownProgress(int value) { return value < 0 ? 0 : value; }

std::string progressCaption(int value) { return std::to_string(shownProgress(value)) + "%"; }

std::string recipeErrorLine(std::string_view itemName, const char *errorText, int result) {
    std::string line = "Error while getting recipe [";
    line += itemName;
    line += "]: ";
    if (errorText && *errorText)
        line += errorText;
    else
        line += "Failed with result code " + std::to_string(result);
    line += "\r\n";
    return line;
}

std::string missingNameErrorLine(std::string_view line) {
    std::string text = "Error while getting recipe [";
    text += line;
    text += "]: No item name on this line\r\n";
    return text;
}

static void showProgress(GenerationControls &controls, int value) {
    controls.setProgress(shownProgress(value));
    controls.setButtonCaption(progressCaption(value));
}

// Expands the lines in order with the progress after each one. Returns the
// shopping-list box's error text, or an empty text when every line was
// expanded.
static std::string expandLines(GenerationControls &controls,
                               const std::vector<std::string_view> &lines, int lineTotal,
                               int *rowCount) {
    std::string itemName;
    std::string errorText(ERROR_TEXT_SIZE, '\0');
    for (std::size_t k = 1; k <= lines.size(); ++k) {
        int quantity = 0;
        splitRecipeLine(lines[k - 1], &itemName, &quantity);
        if (itemName.empty()) return missingNameErrorLine(lines[k - 1]);
        // Each line starts from an empty error text, so that a report that
        // did not stop an earlier line is not shown as this line's error.
        errorText[0] = '\0';
        int result = expandItem(itemName.c_str(), rowCount, materialTable, quantity, 0,
                                errorText.data());
        if (result != RESULT_OK) return recipeErrorLine(itemName, errorText.c_str(), result);
        showProgress(controls, progressValue(static_cast<int>(k), lineTotal));
    }
    return {};
}

void generateShoppingList(GenerationControls &controls) {
    if (running) return;
    RunningGeneration guard;

    controls.setProgress(0);
    settings.omitCrystals = controls.isBoxTicked(IDC_OMIT_CRYSTALS);
    settings.dontCraftSoldItems = controls.isBoxTicked(IDC_DONT_CRAFT_SOLD);
    settings.craftBeastTribeItems = controls.isBoxTicked(IDC_CRAFT_BEAST_TRIBE);
    settings.craftMaterialGear = controls.isBoxTicked(IDC_CRAFT_MATERIAL_GEAR);
    settings.refreshCache = controls.isBoxTicked(IDC_REFRESH_CACHE);

    std::string listText;
    if (!controls.readRecipeText(RECIPE_TEXT_LIMIT, &listText)) {
        controls.showWarning(RECIPE_LIST_TOO_BIG);
        return;
    }
    if (listText.empty()) {
        controls.showWarning(RECIPE_LIST_EMPTY);
        return;
    }

    int rowCount = 0;
    // The lines point into listText, which stays whole, so one read of the
    // box serves both the count and the expansion.
    std::vector<std::string_view> lines = splitRecipeLines(listText);
    int lineTotal = static_cast<int>(lines.size()) + 1;
    showProgress(controls, progressValue(0, lineTotal));
    nextSequence = 0;
    if (!materialTable) allocMaterialTable();
    std::memset(static_cast<void *>(materialTable), 0,
                sizeof(MaterialRecord) * MATERIAL_TABLE_ROWS);

    startRememberingDocuments();
    std::string failure = expandLines(controls, lines, lineTotal, &rowCount);
    stopRememberingDocuments();
    if (failure.empty()) {
        sortMaterials(materialTable, rowCount);
        controls.setListText(formatDialogList(materialTable, rowCount, settings.omitCrystals));
        controls.untickBox(IDC_REFRESH_CACHE);
    } else {
        controls.setListText(failure);
    }
    controls.setButtonCaption(GENERATE_CAPTION);
}

bool generationRunning() { return running; }
