// The order of the shopping list and the filter that hides crystals.
#pragma once

// Sort order of two MaterialRecord rows, for std::qsort: gear last, rows
// with a source first grouped by ascending source, deeper rows first, then
// job, creation order and name (unsigned bytes).
int compareMaterials(const void *a, const void *b);

// The two front ends hide slightly different names.
enum CrystalFilter {
    CRYSTAL_FILTER_COMMAND_LINE, // hides "Shard" anywhere in the name
    CRYSTAL_FILTER_DIALOG,       // hides " Shard" only (after a blank)
};

// True when the row named `name` is to be hidden while omitCrystals is on:
// " Crystal" without "Mhigan", the shard text of the variant, or " Cluster".
bool isCrystalName(const char *name, CrystalFilter variant);
