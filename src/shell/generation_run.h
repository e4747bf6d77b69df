// One generation of the shopping list, as both front ends run it: a fresh
// table, every requested item expanded in order, the first error ends it,
// and the rows sorted. Each front end prints or shows the result its own way.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "recipe/material_table.h"

// One requested item: its name and the number of crafts of it.
struct RequestedItem {
    const char *name;
    int quantity;
};

// Called after each requested item that expanded without error, with the
// number of items done so far (1 after the first).
using ItemDoneCallback = std::function<void(std::size_t itemsDone)>;

// Clears the table, expands every item at depth 0 in order with `errorText`
// (emptied before each item when given), stops at the first nonzero result,
// and sorts the rows when every item is done. Returns RESULT_OK, or the
// failing code with the failing item's index in *failedItem.
int runGeneration(MaterialTable *table, const std::vector<RequestedItem> &items, char *errorText,
                  const ItemDoneCallback &itemDone, std::size_t *failedItem);
