// The two crystal filters.
#include "list/crystal_filter.h"

#include <gtest/gtest.h>

TEST(IsCrystalName, BothVariants) {
    struct Row {
        const char *name;
        bool commandLine, dialog;
    } rows[] = {
        {"Fire Crystal", true, true},
        {"Crystal Ball", false, false},          // Crystal begins the name
        {"Icy-Crystal", false, false},           // not after a blank
        {"Vel Mhigan Crystal Vase", false, false},
        {"Vel Mhigan Wind Shard", true, true},   // Mhigan exempts the crystal test only
        {"Mhigan Earth Cluster", true, true},
        {"Wind Shard", true, true},
        {"Shardstone", true, false},             // Shard at the start
        {"Glass-Shard", true, false},            // Shard after a non-blank
        {"Earth Cluster", true, true},
        {"Clustered Berries", false, false},
        {"fire crystal", false, false},
        {"wind shard", false, false},
        {"Iron Ore", false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(isCrystalName(row.name, CRYSTAL_FILTER_COMMAND_LINE), row.commandLine);
        EXPECT_EQ(isCrystalName(row.name, CRYSTAL_FILTER_DIALOG), row.dialog);
    }
}
