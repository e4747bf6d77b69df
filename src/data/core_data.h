// The core data document: downloaded once into the cache folder, loaded at
// every start, and searched for item names by id.
#pragma once

#include <cstddef>

// The key before which a recipe's ingredient list stands; the core data
// begins at its first occurrence too.
extern const char INGREDIENT_LIST_KEY[]; // "ingredients":

// Room for a name looked up in the core data, with its terminator.
constexpr std::size_t CORE_NAME_BUFFER_SIZE = 1000;

// The core data text from its first "ingredients": on, zero-terminated;
// null until loadCoreData or useCoreData succeeded. Read-only after that.
extern char *coreData;

// Makes coreData available: loads cache/corvanedbcore, or announces and
// performs the first-time download into it. Shows its own messages through
// showMessage. False when no usable core data could be had.
bool loadCoreData();

// Releases coreData; harmless when there is none.
void freeCoreData();

// Takes a copy of `text` as the core data in place of what was loaded.
void useCoreData(const char *text);

// Builds the index of the core data's names now, when it is not built yet,
// so that lookups from several threads only read it.
void prepareCoreItemNames();

// Copies the name of item `itemId` from the core data into nameBuffer
// (CORE_NAME_BUFFER_SIZE bytes; a longer name is cut). False, buffer
// unchanged, when the core data holds no entry for the id.
bool lookupCoreItemName(int itemId, char *nameBuffer);
