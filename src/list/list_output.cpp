// The shopping list in the console's and the dialog's forms.
#include "list/list_output.h"

#include <cstdio>
#include <cstring>

#include "list/crystal_filter.h"

// Width that the verbose columns' pad fills up together with the name.
static const int VERBOSE_COLUMN = 40;

void printConsoleList(const MaterialTable *table, bool omitCrystals, bool verbose) {
    for (int i = 0; i < table->rowCount; ++i) {
        const MaterialRecord &row = table->rows[i];
        if (omitCrystals && isCrystalName(row.name, CRYSTAL_FILTER_COMMAND_LINE)) continue;
        std::printf("%4d %s", row.quantity, row.name);
        if (row.yield > 1) std::printf(" (%d x %d for %d)", row.quantity, row.yield, row.amount);
        if (verbose) {
            int pad = VERBOSE_COLUMN - static_cast<int>(std::strlen(row.name));
            if (pad < 1) pad = 1;
            std::printf("%*sq:%2d a:%2d c:%2d s:%3d lv:%d y:%d g:%8d mg:%d", pad, "",
                        row.quantity, row.amount, row.job, row.sequence, row.depth, row.yield,
                        row.source, row.isGear);
        }
        std::printf("\n");
    }
}

std::string formatDialogList(const MaterialTable *table, bool omitCrystals) {
    std::string text = "Shopping list:\r\n";
    char line[MAX_ITEM_NAME_LENGTH + 1 + 64];
    for (int i = 0; i < table->rowCount; ++i) {
        const MaterialRecord &row = table->rows[i];
        if (omitCrystals && isCrystalName(row.name, CRYSTAL_FILTER_DIALOG)) continue;
        std::snprintf(line, sizeof line, "%5d\t%s", row.quantity, row.name);
        text += line;
        if (row.yield > 1) {
            std::snprintf(line, sizeof line, " (%d x %d for %d)", row.quantity, row.yield,
                          row.amount);
            text += line;
        }
        text += "\r\n";
    }
    return text;
}
