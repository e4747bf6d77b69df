// Recipe expansion: one item and a number of crafts of it into rows of the
// material table, recursively through the recipe's ingredients; and the
// steps of a whole generation, as both front ends run it.
#pragma once

#include <cstddef>
#include <vector>

#include "data/item_store.h"

struct Generation;

// The deepest recipe level that a row's signed 8-bit depth field holds.
constexpr int MAX_EXPANSION_DEPTH = 127;

// Expands `crafts` crafts of item `name` at `depth` (0 for a requested item)
// into the generation's table: adds every ingredient's amount to its row,
// recomputes its quantity by its yield, and expands each ingredient by the
// growth of its quantity. Prints one dot per call. Returns RESULT_OK (also
// after the template reports "5" and "6 (id)", which skip the rest of the
// recipe) or the first nonzero code met; the generation's error text, when
// it has one, receives its message.
int expandItem(const char *name, Generation *generation, int crafts, int depth);

// Expands every item at depth 0 in order into the open generation (whose
// error text is emptied before each item), fetching documents ahead while
// it runs, and stops at the first nonzero result. Fetching ahead has ended
// and the dots are flushed when it returns. Returns RESULT_OK, or the
// failing code with the failing item's index in *failedItem. The rows stay
// in creation order: the front end sorts them for its list.
int runGeneration(Generation *generation, const std::vector<RequestedItem> &items,
                  std::size_t *failedItem);
