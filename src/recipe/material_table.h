// The material table: the shopping list while it is being built, one row
// per material met in a generation.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows in the table.
constexpr int MATERIAL_TABLE_ROWS = 1000;

// Bytes of a row's name field: 99 characters and the terminator.
constexpr std::size_t MATERIAL_NAME_SIZE = 100;

// One material of the shopping list.
struct MaterialRecord {
    char name[MATERIAL_NAME_SIZE]; // the item's name as the database spells it
    std::int32_t quantity;         // crafts to make (units to get at yield 1): ceil(amount / yield)
    std::int32_t amount;           // units that all recipes met so far need
    std::int8_t job;               // 1 + the recipe's job, 0 when none is known
    std::uint16_t sequence;        // creation number of the row
    std::int8_t depth;             // depth of the expansion call that added the row
    std::int8_t yield;             // units one craft produces, 1 when none is stated
    std::int32_t source;           // gathering node, zone or vendor id; 0 when none is known
    std::int8_t isGear;            // 1 when the item is equipment
};

// The table storage: MATERIAL_TABLE_ROWS zero-filled rows, or null.
extern MaterialRecord *materialTable;

// Allocates the zero-filled table storage.
void allocMaterialTable();

// Releases the table storage; harmless when there is none.
void freeMaterialTable();

// Appends a row for `name` at depth `depth` with job `job`, reading the
// recipe's yield from the item's document. The new row is row
// *rowCount - 1 whatever the result. Returns RESULT_OK, the store's code, or
// RESULT_UNEXPECTED_DOCUMENT when the yield cannot be read or is outside 1
// to 127. A name that cannot be a row (too long) and a full table are
// refused before a row is taken.
int addMaterial(int itemId, const char *name, int depth, int job, int *rowCount,
                MaterialRecord *table, char *errorText);

// The first of rows 0 to rowCount - 1 whose name equals `name`, or null.
MaterialRecord *findMaterialRow(const char *name, int rowCount, MaterialRecord *table);

// Reads the recipe yield of a document: the number behind the first
// ,"yield": before the first "ingredients" (1 when there is none). False
// when no ',' ends the value (*yield untouched).
bool readRecipeYield(const char *document, int *yield);
