// Fuzzes the readers of a search answer and of an item id, and the
// percent-encoding of a search text.
#include <cstdint>
#include <cstring>
#include <string>

#include "data/item_store.h"
#include "data/request_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    int itemId = 0;
    chooseSearchResult(text.c_str(), &itemId);
    findDocumentItemId(text.c_str());
    char encoded[MAX_ITEM_NAME_LENGTH * 3 + 1];
    std::string name = text.substr(0, std::strlen(text.c_str()));
    if (name.size() <= MAX_ITEM_NAME_LENGTH && !escapeAddress(name.c_str(), ESCAPE_SEARCH_TEXT, encoded, sizeof encoded))
        __builtin_trap();
    return 0;
}
