// Recursive expansion of recipes into the material table.
#include "recipe/expansion.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/core_data.h"
#include "data/item_store.h"
#include "data/text_reader.h"

const char *const beastTribeVendorIds[8] = {"1005554", "1005569", "1008909", "1008907",
                                            "1009205", "1016093", "1016804", "1017337"};

static const char INGREDIENTS_KEY[] = "\"ingredients\"";
static const char INGREDIENT_LIST_KEY[] = "\"ingredients\":";

// What every call of one expansion shares: the table it fills, the caller's
// error text, and the names of the items being expanded, from the requested
// item down to the current call (an item met again among its own ancestors
// is a cycle).
struct ExpansionContext {
    MaterialTable *table;
    char *errorText;
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

// The regions of one document.
struct DocumentRegions {
    TextRegion itemPart;     // up to the first bare `partials`
    TextRegion partialsPart; // from its second character on; empty without it
    TextRegion sourceText;   // itemPart up to its first "ingredients"
};

static DocumentRegions splitDocument(const char *document) {
    TextRegion whole = regionOfText(document);
    DocumentRegions regions{whole, {whole.end, whole.end}, whole};
    if (const char *partials = findInRegion(whole, "partials")) {
        regions.itemPart.end = partials;
        regions.partialsPart.begin = partials + 1;
    }
    regions.sourceText = regions.itemPart;
    if (const char *ingredients = findInRegion(regions.itemPart, INGREDIENTS_KEY))
        regions.sourceText.end = ingredients;
    return regions;
}

// Value behind `key` up to ',' if that is not empty, else up to ']'.
static void readListHead(TextRegion region, const char *key, char *value) {
    if (readValue(region, region.begin, key, ',', value, VALUE_BUFFER_SIZE) && value[0]) return;
    readValue(region, region.begin, key, ']', value, VALUE_BUFFER_SIZE);
}

// Value behind the first "z": up to '}' searched from the first `partialKey`
// in the partials. False when the partial, its "z": or the '}' is missing.
static bool readPartialZone(TextRegion partials, const char *partialKey, char *value) {
    const char *partial = findInRegion(partials, partialKey);
    value[0] = '\0';
    return partial && readValue(partials, partial, "\"z\":", '}', value, VALUE_BUFFER_SIZE);
}

// Works out where the item of `row` comes from (its source) and its gear flag.
static void recordSource(const DocumentRegions &regions, int job, bool isGear,
                         MaterialRecord *row) {
    char candidate[VALUE_BUFFER_SIZE];
    char zone[VALUE_BUFFER_SIZE];
    readListHead(regions.sourceText, "\"nodes\":[", candidate);
    bool fromNode = candidate[0] != '\0';
    if (fromNode && job == 0 &&
        readPartialZone(regions.partialsPart, "{\"type\":\"node\",\"id\":\"", zone))
        std::memcpy(candidate, zone, sizeof zone);
    if (!fromNode && job == 0) {
        if (!readPartialZone(regions.partialsPart, "{\"type\":\"mob\",\"id\":\"", candidate) ||
            !candidate[0])
            readPartialZone(regions.partialsPart, "{\"type\":\"fishing\",\"id\":\"", candidate);
    }
    if (!candidate[0]) readListHead(regions.sourceText, "\"vendors\":[", candidate);
    if (candidate[0]) row->source = convertNumber(candidate);
    row->isGear = isGear ? 1 : 0;
}

// The ingredient's name: from the ingredient object `","id":<id>,` found from
// the entry on, by scanning back to its "name"; else from the core data.
// False when neither has one.
static bool findIngredientName(TextRegion itemPart, const char *entry, int id, char *name) {
    name[0] = '\0';
    char key[32];
    std::snprintf(key, sizeof key, "\",\"id\":%d,", id);
    const char *match = findInRegion(itemPart, entry, key);
    const char *scan = match;
    while (scan && scan >= entry - 1) {
        if (std::strncmp(scan, "\"name\"", 6) == 0) break;
        if (*scan == '{' || scan == entry - 1) {
            scan = nullptr;
            break;
        }
        --scan;
    }
    if (!scan) return lookupCoreItemName(id, name);
    const char *start = scan + 8;
    const char *end = findCharInRegion(itemPart, start, '"');
    if (end) {
        std::size_t length = static_cast<std::size_t>(end - start);
        if (length > CORE_NAME_BUFFER_SIZE - 1) length = CORE_NAME_BUFFER_SIZE - 1;
        std::memcpy(name, start, length);
        name[length] = '\0';
    }
    return true;
}

// What the expansion has read of the item in hand.
struct ItemFacts {
    int itemId;                 // the id that the store reported
    int job;                    // 1 + the recipe's job, 0 without one
    bool isGear;                // the "equip": value begins with 1
    MaterialRecord *currentRow; // the item's own row, or null
};

// What the merchant rules decide for a recipe.
enum MerchantDecision {
    MERCHANT_CRAFT,         // expand the recipe
    MERCHANT_BUY,           // the item is bought: its recipe is not expanded
    MERCHANT_BROKEN_VENDORS // the vendor list has no end (reported)
};

// The merchant rules for the vendor list that begins at `vendors`.
static MerchantDecision applyMerchantRules(ExpansionContext *context, TextRegion itemPart,
                                           const char *vendors, ExpansionCall call,
                                           const ItemFacts &item) {
    const char *listEnd = findCharInRegion(itemPart, vendors, ']');
    if (!listEnd) {
        reportTemplateChanged("2", context->errorText);
        return MERCHANT_BROKEN_VENDORS;
    }
    TextRegion list{vendors, listEnd};
    bool isBeastTribeItem = false;
    for (const char *vendorId : beastTribeVendorIds)
        if (findInRegion(list, vendorId)) isBeastTribeItem = true;
    int vendorCount = 1;
    for (const char *c = vendors; c < listEnd; ++c)
        if (*c == ',') ++vendorCount;
    bool singleBeastTribeVendor =
        isBeastTribeItem && settings.craftBeastTribeItems && vendorCount == 1;
    if (item.currentRow && settings.dontCraftSoldItems && singleBeastTribeVendor)
        item.currentRow->source = 0;
    bool crafted = singleBeastTribeVendor || (item.isGear && settings.craftMaterialGear);
    return call.depth > 0 && settings.dontCraftSoldItems && !crafted ? MERCHANT_BUY
                                                                      : MERCHANT_CRAFT;
}

// Adds `call.crafts` crafts' worth of one ingredient to its row and expands
// the ingredient by the growth of its quantity.
static int growIngredient(ExpansionContext *context, MaterialRecord *row, int amountPerCraft,
                          ExpansionCall call) {
    std::int64_t growth = static_cast<std::int64_t>(amountPerCraft) * call.crafts;
    std::int64_t amount = row->amount + growth;
    if (growth > INT32_MAX || growth < INT32_MIN || amount > INT32_MAX || amount < INT32_MIN) {
        reportFailure(context->errorText, "Amount of [%s] too large to count.\n", row->name);
        return RESULT_AMOUNT_OVERFLOW;
    }
    row->amount = static_cast<std::int32_t>(amount);
    std::int32_t oldQuantity = row->quantity;
    std::int32_t quotient = row->amount / row->yield;
    row->quantity = quotient + (row->amount > row->yield * quotient ? 1 : 0);
    if (row->quantity == oldQuantity) return RESULT_OK;
    std::int64_t moreCrafts = static_cast<std::int64_t>(row->quantity) - oldQuantity;
    if (moreCrafts > INT32_MAX || moreCrafts < INT32_MIN) {
        reportFailure(context->errorText, "Quantity of [%s] too large to count.\n", row->name);
        return RESULT_AMOUNT_OVERFLOW;
    }
    if (settings.verbose)
        std::printf("Adding %d to %s\n", static_cast<int>(growth), row->name);
    return expandInContext(context, {row->name, static_cast<int>(moreCrafts), call.depth + 1});
}

// Reads the amount per craft of the entry whose content begins at `cursor`:
// behind "amount": up to ',', or up to '}' when no ',' follows. False when
// the key or both ends are missing.
static bool readAmount(TextRegion itemPart, const char *cursor, int *amountPerCraft) {
    char value[VALUE_BUFFER_SIZE];
    const char *amountKey = findInRegion(itemPart, cursor, "\"amount\":");
    bool haveAmount =
        amountKey && (readValue(itemPart, amountKey, "\"amount\":", ',', value, sizeof value) ||
                      readValue(itemPart, amountKey, "\"amount\":", '}', value, sizeof value));
    if (haveAmount) *amountPerCraft = convertNumber(value);
    return haveAmount;
}

// The ingredient loop over the recipe's list, which begins at `listKey`.
static int expandIngredients(ExpansionContext *context, TextRegion itemPart, const char *listKey,
                             ExpansionCall call, char *name) {
    const char *listEnd = findCharInRegion(itemPart, listKey, ']');
    if (!listEnd) {
        reportTemplateChanged("3", context->errorText);
        return RESULT_UNEXPECTED_DOCUMENT;
    }
    char value[VALUE_BUFFER_SIZE];
    const char *cursor = listKey;
    for (;;) {
        const char *entry = findCharInRegion(itemPart, cursor, '{');
        if (!entry || entry >= listEnd) return RESULT_OK;
        cursor = entry + 1;
        if (!readValue(itemPart, cursor, "\"id\":", ',', value, sizeof value)) {
            reportTemplateChanged("4", context->errorText);
            return RESULT_UNEXPECTED_DOCUMENT;
        }
        int ingredientId = convertNumber(value);
        int amountPerCraft = 0;
        if (!readAmount(itemPart, cursor, &amountPerCraft)) {
            reportTemplateChanged("5", context->errorText);
            return RESULT_OK;
        }
        if (!findIngredientName(itemPart, cursor, ingredientId, name)) {
            char codeText[32];
            std::snprintf(codeText, sizeof codeText, "6 (%d)", ingredientId);
            reportTemplateChanged(codeText, context->errorText);
            return RESULT_OK;
        }
        MaterialRecord *row = findMaterialRow(context->table, name);
        if (!row) {
            int result = addMaterial(ingredientId, name, call.depth, 0, context->table,
                                     context->errorText);
            if (result != RESULT_OK) return result;
            row = &context->table->rows[context->table->rowCount - 1];
        }
        int result = growIngredient(context, row, amountPerCraft, call);
        if (result != RESULT_OK) return result;
    }
}

// Refuses an item that is already being expanded further up, and a tree
// deeper than a row can record. Example: A needs B, B needs A; expanding A
// meets A again on the path A, B. On RESULT_OK the name is pushed on the path.
static int enterExpansionPath(ExpansionContext *context, ExpansionCall call) {
    if (call.depth > MAX_EXPANSION_DEPTH || context->pathLength > MAX_EXPANSION_DEPTH) {
        reportFailure(context->errorText, "Recipe tree deeper than %d levels at [%s].\n",
                      MAX_EXPANSION_DEPTH, call.name);
        return RESULT_RECIPE_TOO_DEEP;
    }
    for (int level = 0; level < context->pathLength; ++level) {
        if (std::strcmp(context->path[level], call.name) == 0) {
            reportFailure(context->errorText, "Recipe cycle: [%s] is an ingredient of itself.\n",
                          call.name);
            return RESULT_RECIPE_CYCLE;
        }
    }
    context->path[context->pathLength++] = call.name;
    return RESULT_OK;
}

// Finds the item's own row, or adds one below depth 0, and gives it the
// job value. Returns the result of addMaterial.
static int takeCurrentRow(ExpansionContext *context, ExpansionCall call, ItemFacts *item) {
    item->currentRow = findMaterialRow(context->table, call.name);
    if (item->currentRow) {
        item->currentRow->job = static_cast<std::int8_t>(item->job);
    } else if (call.depth > 0) {
        int result = addMaterial(item->itemId, call.name, call.depth, item->job, context->table,
                                 context->errorText);
        if (result != RESULT_OK) return result;
        item->currentRow = &context->table->rows[context->table->rowCount - 1];
    }
    return RESULT_OK;
}

// Steps after the document is read: job, current row, source, recipe.
static int expandDocument(ExpansionContext *context, ExpansionCall call, const char *document,
                          int itemId, char *nameBuffer) {
    DocumentRegions regions = splitDocument(document);
    char value[VALUE_BUFFER_SIZE];
    ItemFacts item{itemId, 0, false, nullptr};
    // 1 + the job number; computed wide, so that a job of 2147483647 wraps
    // like the narrower fields instead of overflowing.
    if (readValue(regions.itemPart, regions.itemPart.begin, "\"job\":", ',', value, sizeof value))
        item.job = static_cast<int>(std::int64_t{1} + convertNumber(value));
    int result = takeCurrentRow(context, call, &item);
    if (result != RESULT_OK) return result;
    item.isGear = readValue(regions.itemPart, regions.itemPart.begin, "\"equip\":", ',', value,
                            sizeof value) &&
                  value[0] == '1';
    if (item.currentRow) recordSource(regions, item.job, item.isGear, item.currentRow);
    const char *listKey = findInRegion(regions.itemPart, INGREDIENT_LIST_KEY);
    if (!listKey) {
        if (settings.verbose) std::printf("[%s] has no recipe.\n", call.name);
        return RESULT_OK;
    }
    TextRegion recipeHead{regions.itemPart.begin, listKey};
    if (const char *vendors = findInRegion(recipeHead, "\"vendors\":")) {
        MerchantDecision decision =
            applyMerchantRules(context, regions.itemPart, vendors, call, item);
        if (decision == MERCHANT_BROKEN_VENDORS) return RESULT_UNEXPECTED_DOCUMENT;
        if (decision == MERCHANT_BUY) return RESULT_OK;
    }
    return expandIngredients(context, regions.itemPart, listKey, call, nameBuffer);
}

static int expandInContext(ExpansionContext *context, ExpansionCall call) {
    std::fputc('.', stdout);
    std::fflush(stdout);
    requestDialogRedraw();
    int result = enterExpansionPath(context, call);
    if (result != RESULT_OK) return result;
    int itemId = -1;
    char *document = nullptr;
    result = loadItemDocument(call.name, &document, &itemId, context->errorText);
    if (result == RESULT_OK && itemId == -1) {
        char text[ERROR_TEXT_SIZE];
        std::snprintf(text, sizeof text, "Couldn't find a CorvaneDB page for [%s]", call.name);
        std::printf("%s\n", text);
        setErrorText(context->errorText, text);
        result = RESULT_NO_PAGE;
    } else if (result == RESULT_OK) {
        char *nameBuffer = static_cast<char *>(std::malloc(CORE_NAME_BUFFER_SIZE));
        result = expandDocument(context, call, document, itemId, nameBuffer);
        std::free(nameBuffer);
    }
    std::free(document);
    --context->pathLength;
    return result;
}

int expandItem(const char *name, MaterialTable *table, int crafts, int depth, char *errorText) {
    ExpansionContext context;
    context.table = table;
    context.errorText = errorText;
    context.pathLength = 0;
    return expandInContext(&context, {name, crafts, depth});
}
