// The material table: the shopping list while it is being built, one row
// per material met in a generation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "data/request_address.h"

// Rows in the table.
constexpr int MATERIAL_TABLE_ROWS = 1000;

// One material of the shopping list.
struct MaterialRecord {
    char name[MAX_ITEM_NAME_LENGTH + 1]; // the item's name as the database spells it
    std::int32_t quantity;         // crafts to make (units to get at yield 1): ceil(amount / yield)
    std::int32_t amount;           // units that all recipes met so far need
    std::int8_t job;               // 1 + the recipe's job, 0 when none is known
    std::uint16_t sequence;        // creation number of the row
    std::int8_t depth;             // depth of the expansion call that added the row
    std::int8_t yield;             // units one craft produces, 1 when none is stated
    std::int32_t source;           // gathering node, zone or vendor id; 0 when none is known
    std::int8_t isGear;            // 1 when the item is equipment
};

// The rows' storage of the process: MATERIAL_TABLE_ROWS zero-filled rows,
// allocated at start-up and freed at tear-down; null before and after.
extern MaterialRecord *materialStorage;

// Allocates zero-filled storage for MATERIAL_TABLE_ROWS rows (null when it
// cannot be had); freeMaterialStorage releases it, harmless for null.
MaterialRecord *allocMaterialStorage();
void freeMaterialStorage(MaterialRecord *rows);

// One generation's table: the storage it fills, the rows in use, the
// creation counter and an index of the rows by name. Rows 0 to rowCount - 1
// are in use; during a generation they are only appended and updated, never
// removed or moved.
struct MaterialTable {
    MaterialRecord *rows; // MATERIAL_TABLE_ROWS rows, or null
    int rowCount;         // rows in use
    int nextSequence;     // creation number that the next row takes
    // Rows by name, covering rows 0 to indexedRows - 1; kept up to date by
    // findMaterialRow, which also notices rows that moved under it.
    std::unordered_map<std::string, int> nameIndex;
    int indexedRows;
};

// Prepares the table over `rows` for a new generation: every row zero, no
// row in use, the creation counter back at 0.
void clearMaterialTable(MaterialTable *table, MaterialRecord *rows);

// The first row in use whose name equals `name`, or null.
MaterialRecord *findMaterialRow(MaterialTable *table, const char *name);

struct ItemFacts;

// Refuses, before the item is looked up, a name that cannot be a row (too
// long) and a row more than the table holds, with their messages into
// `errorText`. Returns RESULT_OK, RESULT_NAME_TOO_LONG or RESULT_TABLE_FULL.
int checkMaterialRoom(const MaterialTable *table, const char *name, char *errorText);

// Appends a row for `name` at depth `depth` with job `job` to the table,
// with the recipe's yield that the item's `facts` read. The new row is row
// rowCount - 1 whatever the result. Returns RESULT_OK, or
// RESULT_UNEXPECTED_DOCUMENT when the yield cannot be read or is outside 1
// to 127. Call it only after checkMaterialRoom allowed the name.
int addMaterial(MaterialTable *table, const char *name, int depth, int job, const ItemFacts &facts,
                char *errorText);
