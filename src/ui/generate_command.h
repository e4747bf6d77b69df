// The dialog's Generate command, without the dialog: the recipe text split
// into lines, each line into an item name and a quantity, every line
// expanded into the material table with the progress after it, and the
// sorted list (or the first error) as the shopping-list box's text. The
// dialog reads its boxes into the values this takes and shows what it gives
// back. No toolkit here.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/process_state.h"
#include "ui/dialog_template.h"

// A control of the dialog: one of the IDC_ ids of the template.
using DialogControlId = int;

// The five option boxes: each box's setting, and whether the dialog starts
// with it ticked.
struct OptionBox {
    DialogControlId box;
    bool Settings::*setting;
    bool initiallyTicked;
};
inline constexpr OptionBox OPTION_BOXES[] = {
    {IDC_OMIT_CRYSTALS, &Settings::omitCrystals, OMIT_CRYSTALS_TICKED != 0},
    {IDC_DONT_CRAFT_SOLD, &Settings::dontCraftSoldItems, DONT_CRAFT_SOLD_TICKED != 0},
    {IDC_CRAFT_BEAST_TRIBE, &Settings::craftBeastTribeItems, CRAFT_BEAST_TRIBE_TICKED != 0},
    {IDC_CRAFT_MATERIAL_GEAR, &Settings::craftMaterialGear, CRAFT_MATERIAL_GEAR_TICKED != 0},
    {IDC_REFRESH_CACHE, &Settings::refreshCache, REFRESH_CACHE_TICKED != 0},
};

// Bytes of the recipe box's text that a generation takes, terminating zero
// included: the longest list accepted has RECIPE_TEXT_LIMIT - 1 bytes.
constexpr std::size_t RECIPE_TEXT_LIMIT = 1000000;

// Texts (and titles) of the two warnings that refuse a recipe list.
inline constexpr char RECIPE_LIST_TOO_BIG[] = "Recipe list too big";
inline constexpr char RECIPE_LIST_EMPTY[] = "Recipe list empty";

// How a Generate command ended.
enum GenerateOutcome {
    GENERATE_REFUSED,   // the list is empty or too big: `text` is the warning to show
    GENERATE_FAILED,    // `text` is the error line for the shopping-list box
    GENERATE_COMPLETED, // `text` is the shopping list; "Refresh cache" is to be unticked
};

struct GenerateResult {
    GenerateOutcome outcome;
    std::string text; // CR LF line ends
};

// What the dialog shows while a generation runs; its event loop does not
// run meanwhile, so each paints at once.
struct GenerateProgress {
    // Moves the bar to `position` (0 to 100) and sets the button's caption.
    std::function<void(int position, const std::string &caption)> show;
    // Paints what waits to be painted in the dialog.
    std::function<void()> repaint;
};

// The Generate command over the settings that the option boxes set (the
// window has no verbose mode) and the recipe box's text with CR LF line
// ends. Refuses a text that is empty or of RECIPE_TEXT_LIMIT bytes or more;
// otherwise shows the progress before the first line and after each line,
// and repaints at every step of the expansion.
GenerateResult generateShoppingList(const Settings &settings, std::string_view recipeText,
                                    const GenerateProgress &progress);
