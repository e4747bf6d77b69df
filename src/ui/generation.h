// One generation of the shopping list as the dialog runs it: the recipe
// text split into lines, each line into an item name and a quantity, every
// line expanded into the material table with a progress value after it, and
// the sorted list (or the first error) written back. This file knows no
// toolkit: the dialog plugs its controls in through GenerationControls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_template.h"

// A control of the dialog: one of the IDC_ ids of the template.
using DialogControlId = int;

// Bytes of the recipe box's text that a generation takes, terminating zero
// included: the longest list accepted has RECIPE_TEXT_LIMIT - 1 bytes.
constexpr std::size_t RECIPE_TEXT_LIMIT = 1000000;

// Texts (and titles) of the two warnings that refuse a recipe list.
inline constexpr char RECIPE_LIST_TOO_BIG[] = "Recipe list too big";
inline constexpr char RECIPE_LIST_EMPTY[] = "Recipe list empty";

// What a generation does with the dialog's controls.
class GenerationControls {
public:
    virtual ~GenerationControls() = default;
    // True when the check box `box` is ticked.
    virtual bool isBoxTicked(DialogControlId box) = 0;
    // Removes the tick of check box `box`.
    virtual void untickBox(DialogControlId box) = 0;
    // Copies the recipe box's text, with CR LF line ends, into *text when it
    // fits `limit` bytes together with a terminating zero. False, *text
    // untouched, when it is longer.
    virtual bool readRecipeText(std::size_t limit, std::string *text) = 0;
    // Moves the progress bar (0 to 100) and paints it at once.
    virtual void setProgress(int position) = 0;
    // Replaces the Generate button's caption and paints it at once.
    virtual void setButtonCaption(const std::string &caption) = 0;
    // Replaces the whole text of the shopping-list box (CR LF line ends).
    virtual void setListText(const std::string &text) = 0;
    // Shows a modal warning box owned by the dialog, with `text` as its text
    // and title and an OK button; returns when the user has dismissed it.
    virtual void showWarning(const char *text) = 0;
};

// Splits one line of the recipe list into the item name and the quantity:
// the run of decimal digits that ends the line is the quantity (1 when the
// line does not end in a digit; above 2147483647 it reads 2147483647), the
// rest is the name, from which trailing blanks (spaces only) are removed.
// The name comes out empty for a line of digits, of blanks, or of blanks
// followed by digits.
void splitRecipeLine(std::string_view line, std::string *itemName, int *quantity);

// The lines of a recipe text: the maximal runs of characters other than CR
// and LF, in order. Runs of CR and LF separate lines and make none.
std::vector<std::string_view> splitRecipeLines(std::string_view text);

// Progress after `linesDone` of the lines of a list whose line total (lines
// + 1) is `lineTotal`: 100 * (linesDone + 1) / lineTotal - 1 in integers.
// It is 99 once every line is done, and -1 before the first line of a list
// of 100 lines or more.
int progressValue(int linesDone, int lineTotal);

// What the bar shows for a progress value: the value, or 0 below 0.
int shownProgress(int value);

// The button's caption for a progress value: the shown value and "%".
std::string progressCaption(int value);

// The shopping-list box's text after line `itemName` failed with `result`:
// "Error while getting recipe [name]: error text" and CR LF. When the
// failing call left no text, the result code is named instead.
std::string recipeErrorLine(std::string_view itemName, const char *errorText, int result);

// The shopping-list box's text for a line that holds no item name.
std::string missingNameErrorLine(std::string_view line);

// The Generate command: reads the five option boxes into the settings and
// the recipe text, refuses a text that is empty or too big with a warning,
// expands every line into the material table with the progress on the bar
// and the button, and writes the sorted shopping list, or the first error,
// into the shopping-list box. Unticks "Refresh cache" after a completed
// run. A call made while a generation runs (from a message box opened by
// it) does nothing.
void generateShoppingList(GenerationControls &controls);

// True while generateShoppingList runs.
bool generationRunning();
