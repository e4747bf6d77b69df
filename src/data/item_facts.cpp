// Reading item documents and search answers by their key texts.
#include "data/item_facts.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "base/process_state.h"
#include "base/result.h"
#include "data/core_data.h"
#include "data/text_reader.h"

const char *const beastTribeVendorIds[8] = {"1005554", "1005569", "1008909", "1008907",
                                            "1009205", "1016093", "1016804", "1017337"};

// Search answers.
static const char NAME_KEY[] = "\"n\":\"";
static const char ITEM_RESULT_KEY[] = "{\"type\":\"item\",\"id\":\"";
static const char AETHERIAL[] = "Aetherial";

// Item documents.
static const char RELATED_KEY[] = ",\"related\"";
static const char QUOTED_ID_KEY[] = "\"id\":\"";
static const char ID_KEY[] = "\"id\":";
static const char PARTIALS_KEY[] = "partials";
static const char INGREDIENTS_KEY[] = "\"ingredients\"";
static const char YIELD_KEY[] = ",\"yield\":";
static const char JOB_KEY[] = "\"job\":";
static const char EQUIP_KEY[] = "\"equip\":";
static const char NODES_KEY[] = "\"nodes\":[";
static const char VENDOR_LIST_KEY[] = "\"vendors\":[";
static const char VENDORS_KEY[] = "\"vendors\":";
static const char NODE_PARTIAL_KEY[] = "{\"type\":\"node\",\"id\":\"";
static const char MOB_PARTIAL_KEY[] = "{\"type\":\"mob\",\"id\":\"";
static const char FISHING_PARTIAL_KEY[] = "{\"type\":\"fishing\",\"id\":\"";
static const char ZONE_KEY[] = "\"z\":";
static const char AMOUNT_KEY[] = "\"amount\":";
static const char OBJECT_ID_KEY[] = "\",\"id\":";
static const char OBJECT_NAME_KEY[] = "\"name\"";

void cutBeforeRelated(char *text) {
    if (char *related = std::strstr(text, RELATED_KEY)) *related = '\0';
}

void readUncutItemFacts(char *document, ItemFacts *facts) {
    char *related = std::strstr(document, RELATED_KEY);
    if (related) *related = '\0';
    readItemFacts(document, facts);
    if (related) *related = RELATED_KEY[0];
}

bool chooseSearchResult(const char *answer, int *itemId) {
    const char *firstName = std::strstr(answer, NAME_KEY);
    if (!firstName) return false;
    const char *nameText = firstName + std::strlen(NAME_KEY);
    const char *start = std::strncmp(nameText, AETHERIAL, std::strlen(AETHERIAL)) == 0
                            ? firstName
                            : answer;
    const char *itemResult = std::strstr(start, ITEM_RESULT_KEY);
    if (!itemResult) return false;
    const char *idText = itemResult + std::strlen(ITEM_RESULT_KEY);
    if (!std::strchr(idText, '"')) return false;
    *itemId = convertNumber(idText);
    return true;
}

int findDocumentItemId(const char *document) {
    const std::size_t quotedLength = std::strlen(QUOTED_ID_KEY);
    const char *quoted = std::strstr(document, QUOTED_ID_KEY);
    if (quoted && std::strstr(quoted + quotedLength, "\",")) return convertNumber(quoted + quotedLength);
    const std::size_t bareLength = std::strlen(ID_KEY);
    const char *bare = std::strstr(document, ID_KEY);
    if (bare && std::strchr(bare + bareLength, ',')) return convertNumber(bare + bareLength);
    return 0;
}

// The recipe's yield: the number behind the first ,"yield": before the first
// "ingredients" (1 when there is none); its value ends at the next ',' of
// the whole text.
static void readYield(const char *document, ItemFacts *facts) {
    TextRegion whole = regionOfText(document);
    TextRegion head = whole;
    if (const char *ingredients = findInRegion(whole, INGREDIENTS_KEY)) head.end = ingredients;
    facts->yield = 1;
    const char *key = findInRegion(head, YIELD_KEY);
    if (!key) return;
    char value[VALUE_BUFFER_SIZE];
    if (!readValue(whole, key, YIELD_KEY, ',', value, sizeof value)) {
        facts->yieldUnterminated = true;
        return;
    }
    facts->yield = convertNumber(value);
}

// The regions of one document.
struct DocumentRegions {
    TextRegion itemPart;     // up to the first bare `partials`
    TextRegion partialsPart; // from its second character on; empty without it
    TextRegion sourceText;   // itemPart up to its first "ingredients"
};

static DocumentRegions splitDocument(const char *document) {
    TextRegion whole = regionOfText(document);
    DocumentRegions regions{whole, {whole.end, whole.end}, whole};
    if (const char *partials = findInRegion(whole, PARTIALS_KEY)) {
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
    return partial && readValue(partials, partial, ZONE_KEY, '}', value, VALUE_BUFFER_SIZE);
}

// The source candidate of an item: its first node (or, for an item without
// a job, the zone of its node partial), else the zone of its mob or fishing
// partial (no job), else its first vendor. Empty when none is known.
static void readSourceCandidate(const DocumentRegions &regions, int job, char *candidate) {
    char zone[VALUE_BUFFER_SIZE];
    readListHead(regions.sourceText, NODES_KEY, candidate);
    bool fromNode = candidate[0] != '\0';
    if (fromNode && job == 0 && readPartialZone(regions.partialsPart, NODE_PARTIAL_KEY, zone))
        std::memcpy(candidate, zone, sizeof zone);
    if (!fromNode && job == 0) {
        if (!readPartialZone(regions.partialsPart, MOB_PARTIAL_KEY, candidate) || !candidate[0])
            readPartialZone(regions.partialsPart, FISHING_PARTIAL_KEY, candidate);
    }
    if (!candidate[0]) readListHead(regions.sourceText, VENDOR_LIST_KEY, candidate);
}

// The ingredient's name: from the ingredient object `","id":<id>,` found from
// the entry on, by scanning back to its "name"; else from the core data.
// False when neither has one.
// `idKeys` holds, in order, every place of the text `","id":` in the item
// part from the ingredient list on: the key of `id` begins at one of them.
static bool findIngredientName(TextRegion itemPart, const char *entry, int id,
                               const std::vector<const char *> &idKeys, char *name) {
    name[0] = '\0';
    // The key `","id":<id>,` (snprintf would cost more than the search).
    char key[32];
    std::size_t prefix = sizeof OBJECT_ID_KEY - 1;
    std::memcpy(key, OBJECT_ID_KEY, prefix);
    char *digitsEnd = std::to_chars(key + prefix, key + sizeof key - 1, id).ptr;
    *digitsEnd = ',';
    int keyLength = static_cast<int>(digitsEnd + 1 - key);
    const char *match = nullptr;
    for (const char *candidate : idKeys) {
        if (candidate < entry) continue;
        if (itemPart.end - candidate < keyLength) break;
        if (std::memcmp(candidate, key, static_cast<std::size_t>(keyLength)) == 0) {
            match = candidate;
            break;
        }
    }
    const std::size_t nameKeyLength = std::strlen(OBJECT_NAME_KEY);
    const char *scan = match;
    while (scan && scan >= entry - 1) {
        if (std::strncmp(scan, OBJECT_NAME_KEY, nameKeyLength) == 0) break;
        if (*scan == '{' || scan == entry - 1) {
            scan = nullptr;
            break;
        }
        --scan;
    }
    if (!scan) return lookupCoreItemName(id, name);
    const char *start = scan + nameKeyLength + 2; // behind "name":"
    const char *end = findCharInRegion(itemPart, start, '"');
    if (end) {
        std::size_t length = static_cast<std::size_t>(end - start);
        if (length > CORE_NAME_BUFFER_SIZE - 1) length = CORE_NAME_BUFFER_SIZE - 1;
        std::memcpy(name, start, length);
        name[length] = '\0';
    }
    return true;
}

// Reads the merchant rules' part of the recipe head into the facts.
static void readVendorRule(TextRegion itemPart, const char *vendors, ItemFacts *facts) {
    facts->hasVendorRule = true;
    const char *listEnd = findCharInRegion(itemPart, vendors, ']');
    if (!listEnd) {
        facts->vendorListBroken = true;
        return;
    }
    TextRegion list{vendors, listEnd};
    for (const char *vendorId : beastTribeVendorIds)
        if (findInRegion(list, vendorId)) facts->isBeastTribeItem = true;
    facts->vendorCount = 1;
    for (const char *c = vendors; c < listEnd; ++c)
        if (*c == ',') ++facts->vendorCount;
}

// Reads the amount per craft of the entry whose content begins at `cursor`:
// behind "amount": up to ',', or up to '}' when no ',' follows. False when
// the key or both ends are missing.
static bool readAmount(TextRegion itemPart, const char *cursor, int *amountPerCraft) {
    char value[VALUE_BUFFER_SIZE];
    const char *amountKey = findInRegion(itemPart, cursor, AMOUNT_KEY);
    bool haveAmount =
        amountKey && (readValue(itemPart, amountKey, AMOUNT_KEY, ',', value, sizeof value) ||
                      readValue(itemPart, amountKey, AMOUNT_KEY, '}', value, sizeof value));
    if (haveAmount) *amountPerCraft = convertNumber(value);
    return haveAmount;
}

// Reads the ingredient list that begins at `listKey` into the facts, up to
// its end or to the first entry that ends it with a report.
static void readIngredients(TextRegion itemPart, const char *listKey, ItemFacts *facts) {
    const char *listEnd = findCharInRegion(itemPart, listKey, ']');
    if (!listEnd) {
        facts->ingredientListBroken = true;
        return;
    }
    char value[VALUE_BUFFER_SIZE];
    char name[CORE_NAME_BUFFER_SIZE];
    // The ingredient objects' id keys, found in one pass instead of one
    // search to the end of the item part for each entry.
    std::vector<const char *> idKeys;
    for (const char *at = listKey; (at = findInRegion(itemPart, at, OBJECT_ID_KEY)); ++at)
        idKeys.push_back(at);
    const char *cursor = listKey;
    for (;;) {
        const char *entry = findCharInRegion(itemPart, cursor, '{');
        if (!entry || entry >= listEnd) return;
        cursor = entry + 1;
        if (!readValue(itemPart, cursor, ID_KEY, ',', value, sizeof value)) {
            facts->endReport = "4";
            facts->endResult = RESULT_UNEXPECTED_DOCUMENT;
            return;
        }
        int ingredientId = convertNumber(value);
        int amountPerCraft = 0;
        if (!readAmount(itemPart, cursor, &amountPerCraft)) {
            facts->endReport = "5";
            return;
        }
        if (!findIngredientName(itemPart, cursor, ingredientId, idKeys, name)) {
            char codeText[32];
            std::snprintf(codeText, sizeof codeText, "6 (%d)", ingredientId);
            facts->endReport = codeText;
            return;
        }
        facts->entries.push_back({ingredientId, amountPerCraft, name});
    }
}

void readItemFacts(const char *document, ItemFacts *facts) {
    *facts = ItemFacts{};
    facts->endResult = RESULT_OK;
    readYield(document, facts);
    DocumentRegions regions = splitDocument(document);
    char value[VALUE_BUFFER_SIZE];
    // 1 + the job number; computed wide, so that a job of 2147483647 wraps
    // like the narrower fields instead of overflowing.
    if (readValue(regions.itemPart, regions.itemPart.begin, JOB_KEY, ',', value, sizeof value))
        facts->job = static_cast<int>(std::int64_t{1} + convertNumber(value));
    facts->isGear =
        readValue(regions.itemPart, regions.itemPart.begin, EQUIP_KEY, ',', value, sizeof value) &&
        value[0] == '1';
    readSourceCandidate(regions, facts->job, value);
    facts->hasSource = value[0] != '\0';
    if (facts->hasSource) facts->source = convertNumber(value);
    const char *listKey = findInRegion(regions.itemPart, INGREDIENT_LIST_KEY);
    facts->hasRecipe = listKey != nullptr;
    if (!listKey) return;
    TextRegion recipeHead{regions.itemPart.begin, listKey};
    if (const char *vendors = findInRegion(recipeHead, VENDORS_KEY))
        readVendorRule(regions.itemPart, vendors, facts);
    if (!facts->vendorListBroken) readIngredients(regions.itemPart, listKey, facts);
}

bool craftedBeastTribeItem(const ItemFacts &facts, const Settings &settings) {
    return facts.isBeastTribeItem && settings.craftBeastTribeItems && facts.vendorCount == 1;
}

bool craftedBelowTheTop(const ItemFacts &facts, const Settings &settings) {
    if (!facts.hasVendorRule || !settings.dontCraftSoldItems) return true;
    return craftedBeastTribeItem(facts, settings) || (facts.isGear && settings.craftMaterialGear);
}

bool entryGrows(const RecipeEntry &entry, int crafts) {
    return static_cast<std::int64_t>(entry.amountPerCraft) * crafts > 0;
}

RecipeStep recipeStep(const ItemFacts &facts, const Settings &settings, int depth) {
    if (!facts.hasRecipe) return RECIPE_NONE;
    if (facts.hasVendorRule) {
        if (facts.vendorListBroken) return RECIPE_VENDOR_LIST_BROKEN;
        if (depth > 0 && !craftedBelowTheTop(facts, settings)) return RECIPE_BOUGHT;
    }
    return facts.ingredientListBroken ? RECIPE_INGREDIENT_LIST_BROKEN : RECIPE_CRAFTED;
}
