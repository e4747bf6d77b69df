// Comparison of material rows and the crystal filter.
#include "list/ordering.h"

#include <cstring>

#include "recipe/material_table.h"

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

// Kept as the users know it: two filters, the console's hiding "Shard"
// anywhere (so "Shardstone" too), the dialog's only " Shard" after a blank.
bool isCrystalName(const char *name, CrystalFilter variant) {
    const char *shard = variant == CRYSTAL_FILTER_DIALOG ? " Shard" : "Shard";
    return (std::strstr(name, " Crystal") && !std::strstr(name, "Mhigan")) ||
           std::strstr(name, shard) || std::strstr(name, " Cluster");
}
