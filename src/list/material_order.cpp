// Comparison and sorting of material rows.
#include "list/material_order.h"

#include <cstdlib>
#include <cstring>

// Negative, zero or positive as a is less than, equal to or greater than b.
template <typename T>
static int compareKeys(T a, T b) {
    return (a > b) - (a < b);
}

int compareMaterials(const void *a, const void *b) {
    const MaterialRecord *left = static_cast<const MaterialRecord *>(a);
    const MaterialRecord *right = static_cast<const MaterialRecord *>(b);
    if (int order = compareKeys<int>(left->isGear, right->isGear)) return order;
    if (int order = compareKeys<int>(left->source == 0, right->source == 0)) return order;
    if (int order = compareKeys<int>(left->source, right->source)) return order;
    if (int order = compareKeys<int>(right->depth, left->depth)) return order;
    if (int order = compareKeys<int>(left->job, right->job)) return order;
    if (int order = compareKeys<int>(left->sequence, right->sequence)) return order;
    return std::strcmp(left->name, right->name);
}

void sortMaterials(MaterialTable *table) {
    if (table->rowCount > 0)
        std::qsort(table->rows, static_cast<std::size_t>(table->rowCount), sizeof *table->rows,
                   compareMaterials);
}
