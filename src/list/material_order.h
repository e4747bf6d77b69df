// The order of the shopping list.
#pragma once

#include "recipe/material_table.h"

// Sort order of two MaterialRecord rows, for std::qsort: gear last, rows
// with a source first grouped by ascending source, deeper rows first, then
// job, creation order and name (unsigned bytes).
int compareMaterials(const void *a, const void *b);

// Sorts the rows in use with compareMaterials.
void sortMaterials(MaterialTable *table);
