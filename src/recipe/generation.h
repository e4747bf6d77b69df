// One generation of the shopping list as one object: what a front end set
// for it, the table it fills, the documents and facts it read, and the
// fetching ahead under them. Made at the generation's start, handed to every
// operation of it, and released at its end on every path.
#pragma once

#include "base/process_state.h"
#include "data/item_store.h"
#include "recipe/material_table.h"

struct Generation {
    Settings settings;    // as the front end set them for this generation
    MaterialTable table;  // the rows, in the storage that start-up allocated
    char *errorText;      // the caller's buffer (ERROR_TEXT_SIZE bytes), or null
    ItemStore store;      // the documents and facts read, and fetching ahead
};

// Opens a generation with a copy of `settings`, over the rows of `storage`
// (cleared), reporting into `errorText` when it is given.
void openGeneration(Generation *generation, const Settings &settings, MaterialRecord *storage,
                    char *errorText);

// Releases what the generation holds: fetching ahead with its workers, the
// documents and their facts. The rows stay in the storage.
void closeGeneration(Generation *generation);
