// Recipe expansion: one item and a number of crafts of it into rows of the
// material table, recursively through the recipe's ingredients.
#pragma once

#include "recipe/material_table.h"

// The deepest recipe level that a row's signed 8-bit depth field holds.
constexpr int MAX_EXPANSION_DEPTH = 127;

// Expands `crafts` crafts of item `name` at `depth` (0 for a requested item)
// into the table: adds every ingredient's amount to its row, recomputes its
// quantity by its yield, and expands each ingredient by the growth of its
// quantity. Prints one dot per call. Returns RESULT_OK (also after the
// template reports "5" and "6 (id)", which skip the rest of the recipe) or
// the first nonzero code met; errorText, when given, receives its message.
int expandItem(const char *name, MaterialTable *table, int crafts, int depth, char *errorText);

// Lets fetching ahead follow the recipes of the documents it fetches, so
// that a whole recipe tree comes ahead of its expansion.
void followRecipesAhead();

// The eight vendor ids of the beast tribes, tested as substrings of a
// recipe's vendor list.
extern const char *const beastTribeVendorIds[8];
