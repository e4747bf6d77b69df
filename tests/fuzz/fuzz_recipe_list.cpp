// Fuzzes a pasted recipe list through the dialog's line splitting and the
// split of each line into item name and quantity.
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/recipe_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    auto lines = splitRecipeLines(text);
    int lineTotal = static_cast<int>(lines.size()) + 1;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::string_view line = lines[k];
        if (line.empty() || line.find_first_of("\r\n") != std::string_view::npos) __builtin_trap();
        std::string name;
        int quantity = -1;
        splitRecipeLine(line, &name, &quantity);
        if (quantity < 0 || name.size() > line.size()) __builtin_trap();
        if (!name.empty() && name.back() == ' ') __builtin_trap();
        int progress = progressValue(static_cast<int>(k) + 1, lineTotal);
        if (progress > 99 || shownProgress(progress) < 0) __builtin_trap();
    }
    if (progressValue(static_cast<int>(lines.size()), lineTotal) != 99) __builtin_trap();
    return 0;
}
