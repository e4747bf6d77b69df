// The dialog's recipe list as text: its lines, each line's item name and
// quantity, the progress after each line, and the error lines that end a
// list. No toolkit here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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
