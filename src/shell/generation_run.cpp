// The steps of a generation that both front ends share.
#include "shell/generation_run.h"

#include "base/messages.h"
#include "base/result.h"
#include "data/item_store.h"
#include "data/prefetch.h"
#include "list/report.h"
#include "recipe/expansion.h"

int runGeneration(MaterialTable *table, const std::vector<RequestedItem> &items, char *errorText,
                  const ItemDoneCallback &itemDone, std::size_t *failedItem) {
    clearMaterialTable(table);
    startRememberingDocuments();
    // The requested items are known now: their documents can come ahead.
    startFetchingAhead();
    followRecipesAhead();
    for (const RequestedItem &item : items) fetchAhead({item.name, item.quantity, true}, false);
    int result = RESULT_OK;
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Each item starts from an empty error text, so that a report that
        // did not stop an earlier item is not taken for this item's error.
        if (errorText) errorText[0] = '\0';
        result = expandItem(items[i].name, table, items[i].quantity, 0, errorText);
        if (result != RESULT_OK) {
            *failedItem = i;
            break;
        }
        if (itemDone) itemDone(i + 1);
    }
    stopFetchingAhead();
    stopRememberingDocuments();
    flushProgress();
    if (result == RESULT_OK) sortMaterials(table);
    return result;
}
