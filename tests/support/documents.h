// Small item documents in the service's shape, for tests that put them
// straight into a cache folder.
#pragma once

#include <string>
#include <vector>

// One recipe entry: ingredient id, amount per craft, and the ingredient's
// name for the document's ingredient objects (empty: no object).
struct Ingredient {
    int id;
    int amount;
    std::string name;
};

// The document of an item. `fields` stands inside "item" after the id (for
// "equip", "nodes", "vendors"); a recipe is written when `ingredients` is
// not empty or job >= 0; `partials` is the text of the partials list.
std::string itemDocument(const std::string &name, int id, const std::string &fields = "",
                         int job = -1, int yield = 1,
                         const std::vector<Ingredient> &ingredients = {},
                         const std::string &partials = "");

// Writes a document as cache/<name>.
void cacheDocument(const std::string &name, const std::string &document);
