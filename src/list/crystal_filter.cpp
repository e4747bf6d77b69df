// The crystal filter.
#include "list/crystal_filter.h"

#include <cstring>

// Kept as the users know it: two filters, the console's hiding "Shard"
// anywhere (so "Shardstone" too), the dialog's only " Shard" after a blank.
bool isCrystalName(const char *name, CrystalFilter variant) {
    const char *shard = variant == CRYSTAL_FILTER_DIALOG ? " Shard" : "Shard";
    return (std::strstr(name, " Crystal") && !std::strstr(name, "Mhigan")) ||
           std::strstr(name, shard) || std::strstr(name, " Cluster");
}
