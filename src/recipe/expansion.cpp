// Recursive expansion of recipes into the material table, and the steps of
// a generation.
#include "recipe/expansion.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/item_facts.h"
#include "data/item_store.h"
#include "recipe/generation.h"

// What every call of one expansion shares: the generation it fills, and the
// names of the items being expanded, from the requested item down to the
// current call (an item met again among its own ancestors is a cycle).
struct ExpansionContext {
    Generation *generation;
    const char *path[MAX_EXPANSION_DEPTH + 1];
    int pathLength;
};

// One call of the expansion: `crafts` more crafts of item `name` at `depth`.
struct ExpansionCall {
    const char *name;
    int crafts;
    int depth;
};

static int expandInContext(ExpansionContext *context, ExpansionCall call);

// The item in hand: its id, what its document says, and its own row.
struct ItemInHand {
    int itemId;
    const ItemFacts *facts;
    MaterialRecord *currentRow;
};

// Adds the row of `name` (item `itemId`, only printed) at `depth` with job
// `job`: room for it first, then the yield from its document. On RESULT_OK
// the new row is the table's last.
static int addRow(ExpansionContext *context, int itemId, const char *name, int depth, int job) {
    Generation *generation = context->generation;
    int result = checkMaterialRoom(&generation->table, name, generation->errorText);
    if (result != RESULT_OK) return result;
    std::shared_ptr<ItemDocument> document;
    result = lookupItemDocument(&generation->store, name, &document, generation->errorText);
    if (result != RESULT_OK) return result;
    result = addMaterial(&generation->table, name, depth, job, itemFacts(document.get()),
                         generation->errorText);
    if (result == RESULT_OK && generation->settings.verbose)
        std::printf("New material %d [%s]\n", itemId, name);
    return result;
}

// Finds the item's own row, or adds one below depth 0, and gives it the
// job value. Returns the result of addRow.
static int takeCurrentRow(ExpansionContext *context, ExpansionCall call, ItemInHand *item) {
    MaterialTable *table = &context->generation->table;
    item->currentRow = findMaterialRow(table, call.name);
    if (item->currentRow) {
        item->currentRow->job = static_cast<std::int8_t>(item->facts->job);
    } else if (call.depth > 0) {
        int result = addRow(context, item->itemId, call.name, call.depth, item->facts->job);
        if (result != RESULT_OK) return result;
        item->currentRow = &table->rows[table->rowCount - 1];
    }
    return RESULT_OK;
}

// Clears the source of a single beast-tribe vendor's crafted item when its
// option is on, whether the merchant rules then buy it or not.
static void applyBeastTribeRule(const Settings &settings, const ItemInHand &item) {
    const ItemFacts &facts = *item.facts;
    if (item.currentRow && facts.hasRecipe && facts.hasVendorRule && !facts.vendorListBroken &&
        settings.dontCraftSoldItems && craftedBeastTribeItem(facts, settings))
        item.currentRow->source = 0;
}

// Adds `call.crafts` crafts' worth of one ingredient to its row and expands
// the ingredient by the growth of its quantity.
static int growIngredient(ExpansionContext *context, MaterialRecord *row, int amountPerCraft,
                          ExpansionCall call) {
    std::int64_t growth = static_cast<std::int64_t>(amountPerCraft) * call.crafts;
    std::int64_t amount = row->amount + growth;
    char *errorText = context->generation->errorText;
    if (growth > INT32_MAX || growth < INT32_MIN || amount > INT32_MAX || amount < INT32_MIN) {
        reportFailure(errorText, "Amount of [%s] too large to count.\n", row->name);
        return RESULT_AMOUNT_OVERFLOW;
    }
    row->amount = static_cast<std::int32_t>(amount);
    std::int32_t oldQuantity = row->quantity;
    std::int32_t quotient = row->amount / row->yield;
    row->quantity = quotient + (row->amount > row->yield * quotient ? 1 : 0);
    if (row->quantity == oldQuantity) return RESULT_OK;
    std::int64_t moreCrafts = static_cast<std::int64_t>(row->quantity) - oldQuantity;
    if (moreCrafts > INT32_MAX || moreCrafts < INT32_MIN) {
        reportFailure(errorText, "Quantity of [%s] too large to count.\n", row->name);
        return RESULT_AMOUNT_OVERFLOW;
    }
    if (context->generation->settings.verbose)
        std::printf("Adding %d to %s\n", static_cast<int>(growth), row->name);
    return expandInContext(context, {row->name, static_cast<int>(moreCrafts), call.depth + 1});
}

// The ingredient loop: every entry's row grows, and the entry is expanded by
// the growth of its number of crafts; then the report that ended the list.
static int expandIngredients(ExpansionContext *context, ExpansionCall call,
                             ItemDocument *document) {
    Generation *generation = context->generation;
    const ItemFacts &facts = itemFacts(document);
    MaterialTable *table = &generation->table;
    for (const RecipeEntry &entry : facts.entries) {
        MaterialRecord *row = findMaterialRow(table, entry.name.c_str());
        if (!row) {
            int result = addRow(context, entry.id, entry.name.c_str(), call.depth, 0);
            if (result != RESULT_OK) return result;
            row = &table->rows[table->rowCount - 1];
        }
        int result = growIngredient(context, row, entry.amountPerCraft, call);
        if (result != RESULT_OK) return result;
    }
    if (!facts.endReport.empty()) reportTemplateChanged(facts.endReport.c_str(), generation->errorText);
    return facts.endResult;
}

// Refuses an item that is already being expanded further up, and a tree
// deeper than a row can record. Example: A needs B, B needs A; expanding A
// meets A again on the path A, B. On RESULT_OK the name is pushed on the path.
static int enterExpansionPath(ExpansionContext *context, ExpansionCall call) {
    if (call.depth > MAX_EXPANSION_DEPTH || context->pathLength > MAX_EXPANSION_DEPTH) {
        reportFailure(context->generation->errorText, "Recipe tree deeper than %d levels at [%s].\n",
                      MAX_EXPANSION_DEPTH, call.name);
        return RESULT_RECIPE_TOO_DEEP;
    }
    for (int level = 0; level < context->pathLength; ++level) {
        if (std::strcmp(context->path[level], call.name) == 0) {
            reportFailure(context->generation->errorText, "Recipe cycle: [%s] is an ingredient of itself.\n",
                          call.name);
            return RESULT_RECIPE_CYCLE;
        }
    }
    context->path[context->pathLength++] = call.name;
    return RESULT_OK;
}

// Steps after the document is read: current row, source, merchant rules,
// recipe.
static int expandDocument(ExpansionContext *context, ExpansionCall call, ItemDocument *document) {
    Generation *generation = context->generation;
    const ItemFacts &facts = itemFacts(document);
    ItemInHand item{document->itemId, &facts, nullptr};
    int result = takeCurrentRow(context, call, &item);
    if (result != RESULT_OK) return result;
    if (item.currentRow) {
        if (facts.hasSource) item.currentRow->source = facts.source;
        item.currentRow->isGear = facts.isGear ? 1 : 0;
    }
    applyBeastTribeRule(generation->settings, item);
    switch (recipeStep(facts, generation->settings, call.depth)) {
    case RECIPE_NONE:
        if (generation->settings.verbose) std::printf("[%s] has no recipe.\n", call.name);
        return RESULT_OK;
    case RECIPE_VENDOR_LIST_BROKEN:
        reportTemplateChanged("2", generation->errorText);
        return RESULT_UNEXPECTED_DOCUMENT;
    case RECIPE_BOUGHT:
        return RESULT_OK;
    case RECIPE_INGREDIENT_LIST_BROKEN:
        reportTemplateChanged("3", generation->errorText);
        return RESULT_UNEXPECTED_DOCUMENT;
    case RECIPE_CRAFTED:
        break;
    }
    return expandIngredients(context, call, document);
}

static int expandInContext(ExpansionContext *context, ExpansionCall call) {
    printProgressDot();
    reportGenerationStep(context->generation);
    int result = enterExpansionPath(context, call);
    if (result != RESULT_OK) return result;
    char *errorText = context->generation->errorText;
    std::shared_ptr<ItemDocument> document;
    result = lookupItemDocument(&context->generation->store, call.name, &document, errorText);
    if (result == RESULT_OK && document->itemId == -1) {
        char text[ERROR_TEXT_SIZE];
        // Kept as the users know it: the one error text without a line end
        // (the console line gets one).
        std::snprintf(text, sizeof text, "Couldn't find a CorvaneDB page for [%s]", call.name);
        std::printf("%s\n", text);
        setErrorText(errorText, text);
        result = RESULT_NO_PAGE;
    } else if (result == RESULT_OK) {
        result = expandDocument(context, call, document.get());
    }
    --context->pathLength;
    return result;
}

int expandItem(const char *name, Generation *generation, int crafts, int depth) {
    ExpansionContext context;
    context.generation = generation;
    context.pathLength = 0;
    return expandInContext(&context, {name, crafts, depth});
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
