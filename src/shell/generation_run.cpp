// The steps of a generation that both front ends share.
#include "shell/generation_run.h"

#include "base/messages.h"
#include "base/result.h"
#include "list/report.h"
#include "recipe/expansion.h"

int runGeneration(Generation *generation, const std::vector<RequestedItem> &items,
                  const ItemDoneCallback &itemDone, std::size_t *failedItem) {
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
        if (itemDone) itemDone(i + 1);
    }
    stopFetchingAhead(&generation->store);
    flushProgress();
    if (result == RESULT_OK) sortMaterials(&generation->table);
    return result;
}
