// The filter that hides crystals from the shopping list.
#pragma once

// The two front ends hide slightly different names.
enum CrystalFilter {
    CRYSTAL_FILTER_COMMAND_LINE, // hides "Shard" anywhere in the name
    CRYSTAL_FILTER_DIALOG,       // hides " Shard" only (after a blank)
};

// True when the row named `name` is to be hidden while omitCrystals is on:
// " Crystal" without "Mhigan", the shard text of the variant, or " Cluster".
bool isCrystalName(const char *name, CrystalFilter variant);
