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
#include "data/item_store.h"
#include "fuzz_support.h"
#include "list/report.h"
#include "recipe/expansion.h"
#include "recipe/material_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    enterFuzzFolder();
    clearCacheFolder();
    std::vector<std::string> parts = splitParts(data, size);
    if (parts.size() < 2) return 0;
    std::string core = parts[0];
    coreData = static_cast<char *>(std::calloc(core.size() + 1, 1));
    std::memcpy(coreData, core.data(), core.size());
    std::string requested;
    for (std::size_t i = 1; i < parts.size() && i < 12; ++i) {
        std::string name = documentName(parts[i]);
        if (name.empty()) name = "Item" + std::to_string(i);
        if (writeCacheFile(name, parts[i]) && requested.empty()) requested = name;
    }
    if (requested.empty()) requested = "Item1";
    char errorText[ERROR_TEXT_SIZE];
    for (int options = 0; options < 8; ++options) {
        resetProcessState();
        settings.dontCraftSoldItems = options & 1;
        settings.craftBeastTribeItems = options & 2;
        settings.craftMaterialGear = options & 4;
        settings.verbose = options == 7;
        settings.omitCrystals = options & 1;
        clearMaterialTable(&materialTable);
        errorText[0] = '\0';
        int result = expandItem(requested.c_str(), &materialTable, 3, 0, errorText);
        if (result == 0) result = expandItem(requested.c_str(), &materialTable, 1, 0, errorText);
        if (materialTable.rowCount < 0 || materialTable.rowCount > MATERIAL_TABLE_ROWS) std::abort();
        for (int i = 0; i < materialTable.rowCount; ++i)
            if (result == 0 && materialTable.rows[i].yield < 1) std::abort();
        if (result == 0) {
            sortMaterials(&materialTable);
            printConsoleList(&materialTable, settings.omitCrystals, settings.verbose);
            formatDialogList(&materialTable, settings.omitCrystals);
        }
    }
    clearMaterialTable(&materialTable);
    addMaterial(1, requested.c_str(), 1, 2, &materialTable, errorText);
    char *text = nullptr;
    int itemId = 0;
    if (loadItemDocument(requested.c_str(), &text, &itemId, errorText) == 0) std::free(text);
    freeCoreData();
    return 0;
}
