// The Generate command and the splitting and progress arithmetic under it.
#include "ui/generation.h"

#include <climits>
#include <cstdio>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "list/report.h"
#include "recipe/generation.h"
#include "shell/generation_run.h"

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
// shopping-list box's text: the sorted list, or the first error.
static std::string expandLines(GenerationControls &controls,
                               const std::vector<std::string_view> &lines, int lineTotal,
                               bool *completed) {
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
    // The window has no verbose mode: a generation of the dialog runs
    // without it, whatever the process's settings say.
    Settings generationSettings = settings;
    generationSettings.verbose = false;
    std::string errorText(ERROR_TEXT_SIZE, '\0');
    Generation generation;
    openGeneration(&generation, generationSettings, materialStorage, errorText.data());
    std::size_t failed = 0;
    int result = runGeneration(
        &generation, items,
        [&](std::size_t done) { showProgress(controls, progressValue(static_cast<int>(done), lineTotal)); },
        &failed);
    std::string text;
    *completed = false;
    if (result != RESULT_OK) {
        text = recipeErrorLine(names[failed], errorText.c_str(), result);
    } else if (nameless < lines.size()) {
        text = missingNameErrorLine(lines[nameless]);
    } else {
        text = formatDialogList(&generation.table, generationSettings.omitCrystals);
        *completed = true;
    }
    closeGeneration(&generation);
    return text;
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

    // The lines point into listText, which stays whole, so one read of the
    // box serves both the count and the expansion.
    std::vector<std::string_view> lines = splitRecipeLines(listText);
    int lineTotal = static_cast<int>(lines.size()) + 1;
    showProgress(controls, progressValue(0, lineTotal));

    bool completed = false;
    controls.setListText(expandLines(controls, lines, lineTotal, &completed));
    if (completed) controls.untickBox(IDC_REFRESH_CACHE);
    controls.setButtonCaption(GENERATE_CAPTION);
}

bool generationRunning() { return running; }
