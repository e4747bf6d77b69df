// One generation of the shopping list, as both front ends run it: every
// requested item expanded in order into the generation's table, the first
// error ends it, and the rows sorted. Each front end prints or shows the
// result its own way.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "recipe/generation.h"

// Called after each requested item that expanded without error, with the
// number of items done so far (1 after the first).
using ItemDoneCallback = std::function<void(std::size_t itemsDone)>;

// Expands every item at depth 0 in order into the open generation (whose
// error text is emptied before each item), fetching documents ahead while
// it runs; stops at the first nonzero result, and sorts the rows when every
// item is done. Fetching ahead has ended when it returns. Returns RESULT_OK,
// or the failing code with the failing item's index in *failedItem.
int runGeneration(Generation *generation, const std::vector<RequestedItem> &items,
                  const ItemDoneCallback &itemDone, std::size_t *failedItem);
