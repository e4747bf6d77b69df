// Building item documents for tests.
#include "support/documents.h"

#include "support/temp_folder.h"

std::string itemDocument(const std::string &name, int id, const std::string &fields, int job,
                         int yield, const std::vector<Ingredient> &ingredients,
                         const std::string &partials) {
    std::string text = "{\"item\":{\"name\":\"" + name + "\",\"id\":\"" + std::to_string(id) + "\",\"ilvl\":1";
    if (!fields.empty()) text += "," + fields;
    if (job >= 0 || !ingredients.empty()) {
        text += ",\"craft\":[{\"id\":\"9" + std::to_string(id) + "\",\"job\":" +
                std::to_string(job < 0 ? 0 : job);
        if (yield != 1) text += ",\"yield\":" + std::to_string(yield);
        text += ",\"ingredients\":[";
        for (std::size_t i = 0; i < ingredients.size(); ++i) {
            if (i) text += ",";
            text += "{\"id\":" + std::to_string(ingredients[i].id) +
                    ",\"amount\":" + std::to_string(ingredients[i].amount) + "}";
        }
        text += "]}]";
    }
    text += "}";
    std::string objects;
    for (const Ingredient &ingredient : ingredients) {
        if (ingredient.name.empty()) continue;
        objects += std::string(objects.empty() ? "" : ",") + "{\"name\":\"" + ingredient.name +
                   "\",\"id\":" + std::to_string(ingredient.id) + ",\"ilvl\":1}";
    }
    if (!objects.empty()) text += ",\"ingredients\":[" + objects + "]";
    if (!partials.empty()) text += ",\"partials\":[" + partials + "]";
    text += ",\"related\":[{\"id\":\"1\"}]}";
    return text;
}

void cacheDocument(const std::string &name, const std::string &document) {
    writeFile("cache/" + name, document);
}
