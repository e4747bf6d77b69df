// Opening, running and closing a generation.
#include "recipe/generation.h"

#include <utility>

#include "base/messages.h"
#include "base/result.h"
#include "recipe/expansion.h"

void openGeneration(Generation *generation, const Settings &settings, MaterialRecord *storage,
                    char *errorText, GenerationProgress progress) {
    generation->settings = settings;
    clearMaterialTable(&generation->table, storage);
    generation->errorText = errorText;
    generation->progress = std::move(progress);
    generation->itemsDone = 0;
    openItemStore(&generation->store, &generation->settings);
}

void closeGeneration(Generation *generation) { closeItemStore(&generation->store); }

void reportGenerationStep(Generation *generation) {
    if (generation->progress) generation->progress(generation->itemsDone);
}

int runGeneration(Generation *generation, const std::vector<RequestedItem> &items,
                  std::size_t *failedItem) {
    // The store learns what the expansion will ask for, and fetches ahead.
    expectRequestedItems(&generation->store, items);
    int result = RESULT_OK;
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Each item starts from an empty error text, so that a report that
        // did not stop an earlier item is not taken for this item's error.
        if (generation->errorText) generation->errorText[0] = '\0';
        result = expandItem(items[i].name, generation, items[i].quantity, 0);
        if (result != RESULT_OK) {
            *failedItem = i;
            break;
        }
        generation->itemsDone = i + 1;
        reportGenerationStep(generation);
    }
    stopFetchingAhead(&generation->store);
    flushProgress();
    return result;
}
