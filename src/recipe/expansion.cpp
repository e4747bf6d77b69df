// Recursive expansion of recipes into the material table.
#include "recipe/expansion.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/core_data.h"
#include "data/item_store.h"
#include "data/result.h"
#include "data/text_reader.h"
#include "shell/app_state.h"
#include "shell/messages.h"

const char *const beastTribeVendorIds[8] = {"1005554", "1005569", "1008909", "1008907",
                                            "1009205", "1016093", "1016804", "1017337"};

static const char INGREDIENTS_KEY[] = "\"ingredients\"";
static const char INGREDIENT_LIST_KEY[] = "\"ingredients\":";

// Names of the items being expanded, from the requested item down to the
// current call: an item met again among its own ancestors is a cycle.
static const char *expansionPath[MAX_EXPANSION_DEPTH + 1];
static int expansionPathLength = 0;

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

// The merchant rules: false when the item is bought instead of crafted.
// Sets *result to RESULT_UNEXPECTED_DOCUMENT when the vendor list has no end.
static bool applyMerchantRules(TextRegion itemPart, const char *vendors, int depth, bool isGear,
                               MaterialRecord *currentRow, int *result, char *errorText) {
    const char *listEnd = findCharInRegion(itemPart, vendors, ']');
    if (!listEnd) {
        reportTemplateChanged("2", errorText);
        *result = RESULT_UNEXPECTED_DOCUMENT;
        return false;
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
    if (currentRow && settings.dontCraftSoldItems && singleBeastTribeVendor) currentRow->source = 0;
    if (depth > 0 && settings.dontCraftSoldItems)
        return singleBeastTribeVendor || (isGear && settings.craftMaterialGear);
    return true;
}

// Adds `crafts` crafts' worth of one ingredient to its row and expands the
// ingredient by the growth of its quantity.
static int growIngredient(MaterialRecord *row, int amountPerCraft, int crafts, int depth,
                          int *rowCount, MaterialRecord *table, char *errorText) {
    std::int64_t growth = static_cast<std::int64_t>(amountPerCraft) * crafts;
    std::int64_t amount = row->amount + growth;
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
    if (settings.verbose)
        std::printf("Adding %d to %s\n", static_cast<int>(growth), row->name);
    return expandItem(row->name, rowCount, table, static_cast<int>(moreCrafts), depth + 1,
                      errorText);
}

// The ingredient loop over the recipe's list.
static int expandIngredients(TextRegion itemPart, const char *listKey, int crafts, int depth,
                             int *rowCount, MaterialRecord *table, char *name,
                             char *errorText) {
    const char *listEnd = findCharInRegion(itemPart, listKey, ']');
    if (!listEnd) {
        reportTemplateChanged("3", errorText);
        return RESULT_UNEXPECTED_DOCUMENT;
    }
    char value[VALUE_BUFFER_SIZE];
    const char *cursor = listKey;
    for (;;) {
        const char *entry = findCharInRegion(itemPart, cursor, '{');
        if (!entry || entry >= listEnd) return RESULT_OK;
        cursor = entry + 1;
        if (!readValue(itemPart, cursor, "\"id\":", ',', value, sizeof value)) {
            reportTemplateChanged("4", errorText);
            return RESULT_UNEXPECTED_DOCUMENT;
        }
        int ingredientId = convertNumber(value);
        const char *amountKey = findInRegion(itemPart, cursor, "\"amount\":");
        bool haveAmount =
            amountKey && (readValue(itemPart, amountKey, "\"amount\":", ',', value, sizeof value) ||
                          readValue(itemPart, amountKey, "\"amount\":", '}', value, sizeof value));
        if (!haveAmount) {
            reportTemplateChanged("5", errorText);
            return RESULT_OK;
        }
        int amountPerCraft = convertNumber(value);
        if (!findIngredientName(itemPart, cursor, ingredientId, name)) {
            char codeText[32];
            std::snprintf(codeText, sizeof codeText, "6 (%d)", ingredientId);
            reportTemplateChanged(codeText, errorText);
            return RESULT_OK;
        }
        MaterialRecord *row = findMaterialRow(name, *rowCount, table);
        if (!row) {
            int result = addMaterial(ingredientId, name, depth, 0, rowCount, table, errorText);
            if (result != RESULT_OK) return result;
            row = &table[*rowCount - 1];
        }
        int result = growIngredient(row, amountPerCraft, crafts, depth, rowCount, table, errorText);
        if (result != RESULT_OK) return result;
    }
}

// Refuses an item that is already being expanded further up, and a tree
// deeper than a row can record. Example: A needs B, B needs A; expanding A
// meets A again on the path A, B. On RESULT_OK the name is pushed on the path.
static int enterExpansionPath(const char *name, int depth, char *errorText) {
    if (depth > MAX_EXPANSION_DEPTH || expansionPathLength > MAX_EXPANSION_DEPTH) {
        reportFailure(errorText, "Recipe tree deeper than %d levels at [%s].\n",
                      MAX_EXPANSION_DEPTH, name);
        return RESULT_RECIPE_TOO_DEEP;
    }
    for (int level = 0; level < expansionPathLength; ++level) {
        if (std::strcmp(expansionPath[level], name) == 0) {
            reportFailure(errorText, "Recipe cycle: [%s] is an ingredient of itself.\n", name);
            return RESULT_RECIPE_CYCLE;
        }
    }
    expansionPath[expansionPathLength++] = name;
    return RESULT_OK;
}

// Steps after the document is read: job, current row, source, recipe.
static int expandDocument(const char *name, const char *document, int itemId, int *rowCount,
                          MaterialRecord *table, int crafts, int depth, char *nameBuffer,
                          char *errorText) {
    DocumentRegions regions = splitDocument(document);
    char value[VALUE_BUFFER_SIZE];
    // 1 + the job number; computed wide, so that a job of 2147483647 wraps
    // like the narrower fields instead of overflowing.
    int job = readValue(regions.itemPart, regions.itemPart.begin, "\"job\":", ',', value,
                        sizeof value)
                  ? static_cast<int>(std::int64_t{1} + convertNumber(value))
                  : 0;
    MaterialRecord *currentRow = findMaterialRow(name, *rowCount, table);
    if (currentRow) {
        currentRow->job = static_cast<std::int8_t>(job);
    } else if (depth > 0) {
        int result = addMaterial(itemId, name, depth, job, rowCount, table, errorText);
        if (result != RESULT_OK) return result;
        currentRow = &table[*rowCount - 1];
    }
    bool isGear = readValue(regions.itemPart, regions.itemPart.begin, "\"equip\":", ',', value,
                            sizeof value) &&
                  value[0] == '1';
    if (currentRow) recordSource(regions, job, isGear, currentRow);
    const char *listKey = findInRegion(regions.itemPart, INGREDIENT_LIST_KEY);
    if (!listKey) {
        if (settings.verbose) std::printf("[%s] has no recipe.\n", name);
        return RESULT_OK;
    }
    TextRegion recipeHead{regions.itemPart.begin, listKey};
    if (const char *vendors = findInRegion(recipeHead, "\"vendors\":")) {
        int result = RESULT_OK;
        if (!applyMerchantRules(regions.itemPart, vendors, depth, isGear, currentRow, &result,
                                errorText))
            return result;
    }
    return expandIngredients(regions.itemPart, listKey, crafts, depth, rowCount, table,
                             nameBuffer, errorText);
}

int expandItem(const char *name, int *rowCount, MaterialRecord *table, int crafts, int depth,
               char *errorText) {
    std::fputc('.', stdout);
    std::fflush(stdout);
    requestDialogRedraw();
    int result = enterExpansionPath(name, depth, errorText);
    if (result != RESULT_OK) return result;
    int itemId = -1;
    char *document = nullptr;
    result = loadItemDocument(name, &document, &itemId, errorText);
    if (result == RESULT_OK && itemId == -1) {
        char text[ERROR_TEXT_SIZE];
        std::snprintf(text, sizeof text, "Couldn't find a CorvaneDB page for [%s]", name);
        std::printf("%s\n", text);
        setErrorText(errorText, text);
        result = RESULT_NO_PAGE;
    } else if (result == RESULT_OK) {
        char *nameBuffer = static_cast<char *>(std::malloc(CORE_NAME_BUFFER_SIZE));
        result = expandDocument(name, document, itemId, rowCount, table, crafts, depth,
                                nameBuffer, errorText);
        std::free(nameBuffer);
    }
    std::free(document);
    --expansionPathLength;
    return result;
}
