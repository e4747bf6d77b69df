// One generation of the shopping list as one object: what a front end set
// for it, the table it fills, the documents and facts it read, and the
// fetching ahead under them. Made at the generation's start, handed to every
// operation of it, and released at its end on every path.
#pragma once

#include <cstddef>
#include <functional>

#include "base/process_state.h"
#include "data/item_store.h"
#include "recipe/material_table.h"

// Told how far a generation is, with the number of requested items done so
// far: after each requested item that expanded without error, and at every
// step of the expansion (a window repaints there while the run holds its
// event loop).
using GenerationProgress = std::function<void(std::size_t itemsDone)>;

struct Generation {
    Settings settings;           // as the front end set them for this generation
    MaterialTable table;         // the rows, in the storage that start-up allocated
    char *errorText;             // the caller's buffer (ERROR_TEXT_SIZE bytes), or null
    ItemStore store;             // the documents and facts read, and fetching ahead
    GenerationProgress progress; // told how far the run is; may be empty
    std::size_t itemsDone;       // requested items expanded so far
};

// Opens a generation with a copy of `settings`, over the rows of `storage`
// (cleared), reporting into `errorText` when it is given and telling
// `progress`, when it is given, how far it is.
void openGeneration(Generation *generation, const Settings &settings, MaterialRecord *storage,
                    char *errorText, GenerationProgress progress = nullptr);

// Releases what the generation holds: fetching ahead with its workers, the
// documents and their facts. The rows stay in the storage.
void closeGeneration(Generation *generation);

// Tells the generation's progress callback, when there is one, how far the
// run is: one step of the expansion.
void reportGenerationStep(Generation *generation);
