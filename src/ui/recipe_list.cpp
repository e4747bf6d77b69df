// Splitting the recipe list, the progress arithmetic and the error lines.
#include "ui/recipe_list.h"

#include "base/decimal_digits.h"

void splitRecipeLine(std::string_view line, std::string *itemName, int *quantity) {
    std::size_t digitsBegin = line.size();
    while (digitsBegin > 0 && isDecimalDigit(line[digitsBegin - 1])) --digitsBegin;
    *quantity = digitsBegin == line.size() ? 1 : readLeadingDigits(line.substr(digitsBegin));
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
