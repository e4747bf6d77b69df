// Recursive expansion of recipes into the material table.
#include "recipe/expansion.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "data/core_data.h"
#include "data/item_store.h"
#include "data/prefetch.h"
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

// The source candidate of an item: its first node (or, for an item without
// a job, the zone of its node partial), else the zone of its mob or fishing
// partial (no job), else its first vendor. Empty when none is known.
static void readSourceCandidate(const DocumentRegions &regions, int job, char *candidate) {
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
}

// The ingredient's name: from the ingredient object `","id":<id>,` found from
// the entry on, by scanning back to its "name"; else from the core data.
// False when neither has one.
// `idKeys` holds, in order, every place of the text `","id":` in the item
// part from the ingredient list on: the key of `id` begins at one of them.
static bool findIngredientName(TextRegion itemPart, const char *entry, int id,
                               const std::vector<const char *> &idKeys, char *name) {
    name[0] = '\0';
    char key[32];
    int keyLength = std::snprintf(key, sizeof key, "\",\"id\":%d,", id);
    const char *match = nullptr;
    for (const char *candidate : idKeys) {
        if (candidate < entry) continue;
        if (itemPart.end - candidate < keyLength) break;
        if (std::memcmp(candidate, key, static_cast<std::size_t>(keyLength)) == 0) {
            match = candidate;
            break;
        }
    }
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

// One entry of a recipe's ingredient list, as read from the document.
struct IngredientEntry {
    int id;
    int amountPerCraft;
    std::string name; // from the document's ingredient object or the core data
};

// Everything the expansion reads from one document. Reading depends on the
// document and the core data alone, so a document that stays the same for a
// generation is read once, however often it is expanded.
struct DocumentFacts {
    int job;                  // 1 + the recipe's job, 0 without one
    bool isGear;              // the "equip": value begins with 1
    bool hasSource;           // a source candidate was found
    std::int32_t source;      // its value
    bool hasRecipe;           // the item part holds "ingredients":
    bool hasVendorRule;       // "vendors": stands in the recipe head
    bool vendorListBroken;    // ... and no ']' ends its list (report "2")
    bool isBeastTribeItem;    // a beast-tribe vendor id is in the list
    int vendorCount;          // 1 + the commas of the list
    bool ingredientListBroken;                // no ']' ends the ingredient list (report "3")
    std::vector<IngredientEntry> entries;     // the entries read before the loop ends
    std::string endReport;                    // the report that ends the loop, or empty
    int endResult;                            // the loop's result after that report
};

// Reads the merchant rules' part of the recipe head into the facts.
static void readVendorRule(TextRegion itemPart, const char *vendors, DocumentFacts *facts) {
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
    const char *amountKey = findInRegion(itemPart, cursor, "\"amount\":");
    bool haveAmount =
        amountKey && (readValue(itemPart, amountKey, "\"amount\":", ',', value, sizeof value) ||
                      readValue(itemPart, amountKey, "\"amount\":", '}', value, sizeof value));
    if (haveAmount) *amountPerCraft = convertNumber(value);
    return haveAmount;
}

// Reads the ingredient list that begins at `listKey` into the facts, up to
// its end or to the first entry that ends it with a report.
static void readIngredients(TextRegion itemPart, const char *listKey, DocumentFacts *facts) {
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
    for (const char *at = listKey; (at = findInRegion(itemPart, at, "\",\"id\":")); ++at)
        idKeys.push_back(at);
    const char *cursor = listKey;
    for (;;) {
        const char *entry = findCharInRegion(itemPart, cursor, '{');
        if (!entry || entry >= listEnd) return;
        cursor = entry + 1;
        if (!readValue(itemPart, cursor, "\"id\":", ',', value, sizeof value)) {
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

static void readDocumentFacts(const char *document, DocumentFacts *facts) {
    *facts = DocumentFacts{};
    facts->endResult = RESULT_OK;
    DocumentRegions regions = splitDocument(document);
    char value[VALUE_BUFFER_SIZE];
    // 1 + the job number; computed wide, so that a job of 2147483647 wraps
    // like the narrower fields instead of overflowing.
    if (readValue(regions.itemPart, regions.itemPart.begin, "\"job\":", ',', value, sizeof value))
        facts->job = static_cast<int>(std::int64_t{1} + convertNumber(value));
    facts->isGear = readValue(regions.itemPart, regions.itemPart.begin, "\"equip\":", ',', value,
                              sizeof value) &&
                    value[0] == '1';
    readSourceCandidate(regions, facts->job, value);
    facts->hasSource = value[0] != '\0';
    if (facts->hasSource) facts->source = convertNumber(value);
    const char *listKey = findInRegion(regions.itemPart, INGREDIENT_LIST_KEY);
    facts->hasRecipe = listKey != nullptr;
    if (!listKey) return;
    TextRegion recipeHead{regions.itemPart.begin, listKey};
    if (const char *vendors = findInRegion(recipeHead, "\"vendors\":"))
        readVendorRule(regions.itemPart, vendors, facts);
    if (!facts->vendorListBroken) readIngredients(regions.itemPart, listKey, facts);
}

// Facts of documents that the store remembers for the generation, by item
// name, with the text they were read from. They are forgotten whenever the
// store's document memory starts or stops.
struct RememberedFacts {
    const char *text;
    DocumentFacts facts;
};
static std::unordered_map<std::string, RememberedFacts> rememberedFacts;
static unsigned rememberedFactsEpoch = 0;

// The facts of `name`'s document: read once while the store remembers the
// document, else read now into `scratch`.
static const DocumentFacts &factsOf(const char *name, const ItemDocumentView &view,
                                    DocumentFacts *scratch) {
    if (!view.remembered) {
        readDocumentFacts(view.text, scratch);
        return *scratch;
    }
    if (rememberedFactsEpoch != documentMemoryEpoch()) {
        rememberedFacts.clear();
        rememberedFactsEpoch = documentMemoryEpoch();
    }
    RememberedFacts &known = rememberedFacts[name];
    if (known.text != view.text) {
        readDocumentFacts(view.text, &known.facts);
        known.text = view.text;
    }
    return known.facts;
}

// The item in hand: its id, what its document says, and its own row.
struct ItemInHand {
    int itemId;
    const DocumentFacts *facts;
    MaterialRecord *currentRow;
};

// Finds the item's own row, or adds one below depth 0, and gives it the
// job value. Returns the result of addMaterial.
static int takeCurrentRow(ExpansionContext *context, ExpansionCall call, ItemInHand *item) {
    item->currentRow = findMaterialRow(context->table, call.name);
    if (item->currentRow) {
        item->currentRow->job = static_cast<std::int8_t>(item->facts->job);
    } else if (call.depth > 0) {
        int result = addMaterial(item->itemId, call.name, call.depth, item->facts->job,
                                 context->table, context->errorText);
        if (result != RESULT_OK) return result;
        item->currentRow = &context->table->rows[context->table->rowCount - 1];
    }
    return RESULT_OK;
}

// What the merchant rules decide for a recipe.
enum MerchantDecision {
    MERCHANT_CRAFT, // expand the recipe
    MERCHANT_BUY,   // the item is bought: its recipe is not expanded
};

// True for an item that one beast-tribe vendor sells, when such items are
// crafted.
static bool craftedBeastTribeItem(const DocumentFacts &facts) {
    return facts.isBeastTribeItem && settings.craftBeastTribeItems && facts.vendorCount == 1;
}

// True when the merchant rules let an item below depth 0 be crafted.
static bool craftedBelowTheTop(const DocumentFacts &facts) {
    if (!facts.hasVendorRule || !settings.dontCraftSoldItems) return true;
    return craftedBeastTribeItem(facts) || (facts.isGear && settings.craftMaterialGear);
}

// The merchant rules of a recipe whose head names vendors. Clears the
// source of a single beast-tribe vendor's item when its option is on.
static MerchantDecision applyMerchantRules(ExpansionCall call, const ItemInHand &item) {
    const DocumentFacts &facts = *item.facts;
    if (item.currentRow && settings.dontCraftSoldItems && craftedBeastTribeItem(facts))
        item.currentRow->source = 0;
    return call.depth > 0 && !craftedBelowTheTop(facts) ? MERCHANT_BUY : MERCHANT_CRAFT;
}

// The document of a recipe entry, needed when `crafts` crafts of the recipe
// are expanded: the entry is expanded too when its amount grows.
static AheadRequest entryRequest(const IngredientEntry &entry, int crafts) {
    bool grows = static_cast<std::int64_t>(entry.amountPerCraft) * crafts > 0;
    return {entry.name, grows ? 1 : 0, false};
}

// Names the documents that the expansion of a fetched item will need: when
// the item will be expanded and its recipe crafted, every entry of its list,
// and the entries of those that grow. Example: K is requested 3 times and
// needs 2 L; L is expanded with at least one craft, so L's entries are
// needed as well, and so on down the tree. Runs on a fetching thread.
static void followFetchedDocument(const AheadRequest &fetched, const char *document,
                                  std::vector<AheadRequest> *next) {
    if (!fetched.requested && fetched.crafts <= 0) return;
    DocumentFacts facts;
    readDocumentFacts(document, &facts);
    if (!facts.hasRecipe || facts.vendorListBroken || facts.ingredientListBroken) return;
    if (!fetched.requested && !craftedBelowTheTop(facts)) return;
    for (const IngredientEntry &entry : facts.entries) next->push_back(entryRequest(entry, fetched.crafts));
}

void followRecipesAhead() { setFetchAheadFollower(followFetchedDocument); }

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

// The ingredient loop: every entry's row grows, and the entry is expanded by
// the growth of its number of crafts; then the report that ended the list.
static int expandIngredients(ExpansionContext *context, ExpansionCall call,
                             const DocumentFacts &facts) {
    if (facts.ingredientListBroken) {
        reportTemplateChanged("3", context->errorText);
        return RESULT_UNEXPECTED_DOCUMENT;
    }
    // Every entry's document is needed soon, the first one first; an entry
    // that grows is expanded, so its own entries are needed too.
    for (auto entry = facts.entries.rbegin(); entry != facts.entries.rend(); ++entry)
        fetchAhead(entryRequest(*entry, call.crafts), true);
    for (const IngredientEntry &entry : facts.entries) {
        MaterialRecord *row = findMaterialRow(context->table, entry.name.c_str());
        if (!row) {
            int result = addMaterial(entry.id, entry.name.c_str(), call.depth, 0, context->table,
                                     context->errorText);
            if (result != RESULT_OK) return result;
            row = &context->table->rows[context->table->rowCount - 1];
        }
        int result = growIngredient(context, row, entry.amountPerCraft, call);
        if (result != RESULT_OK) return result;
    }
    if (!facts.endReport.empty()) reportTemplateChanged(facts.endReport.c_str(), context->errorText);
    return facts.endResult;
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

// Steps after the document is read: current row, source, merchant rules,
// recipe.
static int expandDocument(ExpansionContext *context, ExpansionCall call, ItemInHand *item) {
    const DocumentFacts &facts = *item->facts;
    int result = takeCurrentRow(context, call, item);
    if (result != RESULT_OK) return result;
    if (item->currentRow) {
        if (facts.hasSource) item->currentRow->source = facts.source;
        item->currentRow->isGear = facts.isGear ? 1 : 0;
    }
    if (!facts.hasRecipe) {
        if (settings.verbose) std::printf("[%s] has no recipe.\n", call.name);
        return RESULT_OK;
    }
    if (facts.hasVendorRule) {
        if (facts.vendorListBroken) {
            reportTemplateChanged("2", context->errorText);
            return RESULT_UNEXPECTED_DOCUMENT;
        }
        if (applyMerchantRules(call, *item) == MERCHANT_BUY) return RESULT_OK;
    }
    return expandIngredients(context, call, facts);
}

static int expandInContext(ExpansionContext *context, ExpansionCall call) {
    printProgressDot();
    requestDialogRedraw();
    int result = enterExpansionPath(context, call);
    if (result != RESULT_OK) return result;
    int itemId = -1;
    ItemDocumentView view;
    result = viewItemDocument(call.name, &view, &itemId, context->errorText);
    if (result == RESULT_OK && itemId == -1) {
        char text[ERROR_TEXT_SIZE];
        std::snprintf(text, sizeof text, "Couldn't find a CorvaneDB page for [%s]", call.name);
        std::printf("%s\n", text);
        setErrorText(context->errorText, text);
        result = RESULT_NO_PAGE;
    } else if (result == RESULT_OK) {
        DocumentFacts scratch;
        ItemInHand item{itemId, &factsOf(call.name, view, &scratch), nullptr};
        result = expandDocument(context, call, &item);
    }
    releaseItemDocumentView(&view);
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
