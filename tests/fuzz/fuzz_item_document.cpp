// Fuzzes what an item document goes through: the store's checks, the
// material table's yield reading and the whole expansion with every option
// combination, then both list printers. Input: core data, then item
// documents, separated by "\n@@\n"; each document is stored in the cache
// under its first "name" value, and the first one is requested.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/messages.h"
#include "base/process_state.h"
#include "data/core_data.h"
#include "data/item_facts.h"
#include "data/item_store.h"
#include "fuzz_support.h"
#include "list/list_output.h"
#include "list/material_order.h"
#include "recipe/expansion.h"
#include "recipe/generation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    enterFuzzFolder();
    clearCacheFolder();
    std::vector<std::string> parts = splitParts(data, size);
    if (parts.size() < 2) return 0;
    std::string core = parts[0];
    useCoreData(core.c_str());
    std::string requested;
    for (std::size_t i = 1; i < parts.size() && i < 12; ++i) {
        std::string name = documentName(parts[i]);
        if (name.empty()) name = "Item" + std::to_string(i);
        if (writeCacheFile(name, parts[i]) && requested.empty()) requested = name;
    }
    if (requested.empty()) requested = "Item1";
    static MaterialRecord *storage = allocMaterialStorage();
    char errorText[ERROR_TEXT_SIZE];
    Generation generation;
    for (int options = 0; options < 8; ++options) {
        resetProcessState();
        settings.dontCraftSoldItems = options & 1;
        settings.craftBeastTribeItems = options & 2;
        settings.craftMaterialGear = options & 4;
        settings.verbose = options == 7;
        settings.omitCrystals = options & 1;
        errorText[0] = '\0';
        openGeneration(&generation, settings, storage, errorText);
        MaterialTable &table = generation.table;
        int result = expandItem(requested.c_str(), &generation, 3, 0);
        if (result == 0) result = expandItem(requested.c_str(), &generation, 1, 0);
        if (table.rowCount < 0 || table.rowCount > MATERIAL_TABLE_ROWS) std::abort();
        for (int i = 0; i < table.rowCount; ++i)
            if (result == 0 && table.rows[i].yield < 1) std::abort();
        if (result == 0) {
            sortMaterials(&table);
            printConsoleList(&table, settings.omitCrystals, settings.verbose);
            formatDialogList(&table, settings.omitCrystals);
        }
        closeGeneration(&generation);
    }
    openGeneration(&generation, settings, storage, errorText);
    char *text = nullptr;
    int itemId = 0;
    if (loadItemDocument(&generation.store, requested.c_str(), &text, &itemId, errorText) == 0) {
        ItemFacts facts{};
        readItemFacts(text, &facts);
        if (checkMaterialRoom(&generation.table, requested.c_str(), errorText) == 0)
            addMaterial(&generation.table, requested.c_str(), 1, 2, facts, errorText);
        std::free(text);
    }
    closeGeneration(&generation);
    freeCoreData();
    return 0;
}
