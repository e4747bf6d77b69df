// Rows of the material table and their yields.
#include "recipe/material_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/messages.h"
#include "base/result.h"
#include "data/item_facts.h"
#include "data/lookup_rules.h"

static const int MAX_YIELD = 127;

MaterialRecord *materialStorage = nullptr;

MaterialRecord *allocMaterialStorage() {
    return static_cast<MaterialRecord *>(std::calloc(MATERIAL_TABLE_ROWS, sizeof(MaterialRecord)));
}

void freeMaterialStorage(MaterialRecord *rows) { std::free(rows); }

static void forgetNameIndex(MaterialTable *table) {
    table->nameIndex.clear();
    table->indexedRows = 0;
}

MaterialRecord *findMaterialRow(MaterialTable *table, const char *name) {
    if (table->rowCount < table->indexedRows) forgetNameIndex(table);
    for (; table->indexedRows < table->rowCount; ++table->indexedRows)
        table->nameIndex.try_emplace(table->rows[table->indexedRows].name, table->indexedRows);
    auto found = table->nameIndex.find(name);
    if (found == table->nameIndex.end()) return nullptr;
    MaterialRecord *row = &table->rows[found->second];
    if (std::strcmp(row->name, name) == 0) return row;
    // The rows moved under the index (a sort): search them as they are.
    forgetNameIndex(table);
    for (int i = 0; i < table->rowCount; ++i)
        if (std::strcmp(table->rows[i].name, name) == 0) return &table->rows[i];
    return nullptr;
}

void clearMaterialTable(MaterialTable *table, MaterialRecord *rows) {
    table->rows = rows;
    if (rows)
        std::memset(static_cast<void *>(rows), 0, sizeof(MaterialRecord) * MATERIAL_TABLE_ROWS);
    table->rowCount = 0;
    table->nextSequence = 0;
    forgetNameIndex(table);
}

int checkMaterialRoom(const MaterialTable *table, const char *name, char *errorText) {
    int result = checkItemNameLength(name, errorText);
    if (result != RESULT_OK) return result;
    if (table->rowCount >= MATERIAL_TABLE_ROWS) {
        reportFailure(errorText, "Too many materials: the list holds at most %d, [%s] is one more.\n",
                      MATERIAL_TABLE_ROWS, shownName(name).c_str());
        return RESULT_TABLE_FULL;
    }
    return RESULT_OK;
}

int addMaterial(MaterialTable *table, const char *name, int depth, int job, const ItemFacts &facts,
                char *errorText) {
    MaterialRecord *row = &table->rows[table->rowCount];
    ++table->rowCount;
    std::snprintf(row->name, sizeof row->name, "%s", name);
    row->sequence = static_cast<std::uint16_t>(table->nextSequence++);
    row->depth = static_cast<std::int8_t>(depth);
    if (facts.yieldUnterminated) {
        reportTemplateChanged("1", errorText);
        return RESULT_UNEXPECTED_DOCUMENT;
    }
    if (facts.yield == 0) return RESULT_UNEXPECTED_DOCUMENT;
    if (facts.yield < 0 || facts.yield > MAX_YIELD) {
        reportFailure(errorText, "Unsupported recipe yield %d for [%s] (1 to %d).\n", facts.yield,
                      name, MAX_YIELD);
        return RESULT_UNEXPECTED_DOCUMENT;
    }
    row->yield = static_cast<std::int8_t>(facts.yield);
    row->job = static_cast<std::int8_t>(job);
    return RESULT_OK;
}
