// What the program takes from the web service's texts: the one reader of
// item documents and search answers, and the rules built on what it reads.
// Every key text lives here. Reading is substring search in fixed regions,
// never parsing, and never changes the text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Settings;

// The eight vendor ids of the beast tribes, tested as substrings of a
// recipe's vendor list.
extern const char *const beastTribeVendorIds[8];

// Ends a document's text before its ,"related" key (the long list of
// related items, which nothing reads), as the store hands documents out.
void cutBeforeRelated(char *text);

// The search answer's choice of item: the id of the first item result, or
// of the first one after a first name beginning with "Aetherial". False
// when the answer has no usable item result.
bool chooseSearchResult(const char *answer, int *itemId);

// The id text of an item document as a number: the quoted form "id":"..."
// wherever it stands, else the unquoted "id":...; 0 when neither is there.
int findDocumentItemId(const char *document);

// One entry of a recipe's ingredient list.
struct RecipeEntry {
    int id;
    int amountPerCraft;
    std::string name; // from the document's ingredient object or the core data
};

// Everything the table and the expansion take from one item document (cut
// before ,"related"). It depends on the document and the core data alone.
struct ItemFacts {
    bool yieldUnterminated; // a ,"yield": with no ',' behind its value (report "1")
    int yield;              // the recipe's yield: 1 when none is stated, else as written
    int job;                // 1 + the recipe's job, 0 without one
    bool isGear;            // the "equip": value begins with 1
    bool hasSource;         // a source candidate was found
    std::int32_t source;    // its value
    bool hasRecipe;         // the item part holds "ingredients":
    bool hasVendorRule;     // "vendors": stands in the recipe head
    bool vendorListBroken;  // ... and no ']' ends its list (report "2")
    bool isBeastTribeItem;  // a beast-tribe vendor id is in the list
    int vendorCount;        // 1 + the commas of the list
    bool ingredientListBroken;         // no ']' ends the ingredient list (report "3")
    std::vector<RecipeEntry> entries;  // the entries read before the list ends
    std::string endReport;             // the report that ends the list early, or empty
    int endResult;                     // the expansion's result after that report
};

// Reads every fact of `document`. Reads the core data for names that the
// document does not carry.
void readItemFacts(const char *document, ItemFacts *facts);

// Reads the facts of a whole document as the store will hand it out, cut
// before its ,"related" key: the cut is a zero byte written for the read and
// taken back after it, so the text is unchanged and not copied.
void readUncutItemFacts(char *document, ItemFacts *facts);

// True for an item that one beast-tribe vendor sells, when such items are
// crafted.
bool craftedBeastTribeItem(const ItemFacts &facts, const Settings &settings);

// True when the merchant rules let an item below the requested ones be
// crafted: no vendor rule, the option off, or one of its exceptions.
bool craftedBelowTheTop(const ItemFacts &facts, const Settings &settings);

// True when `crafts` crafts of a recipe make its entry grow, so that the
// entry is expanded in turn.
bool entryGrows(const RecipeEntry &entry, int crafts);

// What the expansion does with an item's recipe, in the order it finds out:
// the one rule that the expansion follows and that fetching ahead predicts.
enum RecipeStep {
    RECIPE_NONE,                   // no recipe: the item is gathered or bought
    RECIPE_VENDOR_LIST_BROKEN,     // its vendor list has no end (report "2")
    RECIPE_BOUGHT,                 // the merchant rules buy it below the requested items
    RECIPE_INGREDIENT_LIST_BROKEN, // its ingredient list has no end (report "3")
    RECIPE_CRAFTED,                // its entries are looked up
};
// The step for an item expanded at `depth` (0: a requested item, which the
// merchant rules never buy).
RecipeStep recipeStep(const ItemFacts &facts, const Settings &settings, int depth);
