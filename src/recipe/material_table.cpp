// Rows of the material table and their yields.
#include "recipe/material_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "data/item_store.h"
#include "data/result.h"
#include "data/text_reader.h"
#include "shell/app_state.h"
#include "shell/messages.h"

static const int MAX_YIELD = 127;

MaterialRecord *materialTable = nullptr;

// Rows by name, kept in step with the table that is searched. During a
// generation rows are only appended; a generation starts again from row 0,
// so a smaller row count (or another table) starts the index afresh.
static std::unordered_map<std::string, int> rowIndex;
static const MaterialRecord *indexedTable = nullptr;
static int indexedRows = 0;

static void resetRowIndex(const MaterialRecord *table) {
    rowIndex.clear();
    indexedTable = table;
    indexedRows = 0;
}

MaterialRecord *findMaterialRow(const char *name, int rowCount, MaterialRecord *table) {
    if (table != indexedTable || rowCount < indexedRows) resetRowIndex(table);
    for (; indexedRows < rowCount; ++indexedRows)
        rowIndex.try_emplace(table[indexedRows].name, indexedRows);
    auto found = rowIndex.find(name);
    if (found == rowIndex.end()) return nullptr;
    MaterialRecord *row = &table[found->second];
    if (std::strcmp(row->name, name) == 0) return row;
    // The rows changed under the index: search them as they are.
    resetRowIndex(table);
    for (int i = 0; i < rowCount; ++i)
        if (std::strcmp(table[i].name, name) == 0) return &table[i];
    return nullptr;
}

void allocMaterialTable() {
    materialTable =
        static_cast<MaterialRecord *>(std::calloc(MATERIAL_TABLE_ROWS, sizeof(MaterialRecord)));
}

void freeMaterialTable() {
    std::free(materialTable);
    materialTable = nullptr;
    resetRowIndex(nullptr);
}

bool readRecipeYield(const char *document, int *yield) {
    TextRegion whole = regionOfText(document);
    TextRegion head = whole;
    if (const char *ingredients = findInRegion(whole, "\"ingredients\"")) head.end = ingredients;
    const char *key = findInRegion(head, ",\"yield\":");
    if (!key) {
        *yield = 1;
        return true;
    }
    char value[VALUE_BUFFER_SIZE];
    if (!readValue(whole, key, ",\"yield\":", ',', value, sizeof value)) return false;
    *yield = convertNumber(value);
    return true;
}

int addMaterial(int itemId, const char *name, int depth, int job, int *rowCount,
                MaterialRecord *table, char *errorText) {
    int result = checkItemNameLength(name, errorText);
    if (result != RESULT_OK) return result;
    if (*rowCount >= MATERIAL_TABLE_ROWS) {
        reportFailure(errorText, "Too many materials: the list holds at most %d, [%s] is one more.\n",
                      MATERIAL_TABLE_ROWS, name);
        return RESULT_TABLE_FULL;
    }
    MaterialRecord *row = &table[*rowCount];
    ++*rowCount;
    std::snprintf(row->name, sizeof row->name, "%s", name);
    row->sequence = static_cast<std::uint16_t>(nextSequence++);
    row->depth = static_cast<std::int8_t>(depth);
    char *document = nullptr;
    result = loadItemDocument(name, &document, nullptr, errorText);
    if (result != RESULT_OK) return result;
    int yield = 0;
    if (!readRecipeYield(document, &yield)) {
        reportTemplateChanged("1", errorText);
        result = RESULT_UNEXPECTED_DOCUMENT;
    } else if (yield == 0) {
        result = RESULT_UNEXPECTED_DOCUMENT;
    } else if (yield < 0 || yield > MAX_YIELD) {
        reportFailure(errorText, "Unsupported recipe yield %d for [%s] (1 to %d).\n", yield,
                      name, MAX_YIELD);
        result = RESULT_UNEXPECTED_DOCUMENT;
    } else {
        row->yield = static_cast<std::int8_t>(yield);
        row->job = static_cast<std::int8_t>(job);
        if (settings.verbose) std::printf("New material %d [%s]\n", itemId, row->name);
    }
    std::free(document);
    return result;
}
