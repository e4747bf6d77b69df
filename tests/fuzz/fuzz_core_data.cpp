// Fuzzes loading a core data file from the cache folder and looking names
// up in it.
#include <cstdint>
#include <cstring>
#include <string>

#include "base/process_state.h"
#include "data/core_data.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    enterFuzzFolder();
    writeCoreDataFile(std::string(reinterpret_cast<const char *>(data), size));
    resetProcessState();
    if (!loadCoreData()) return 0;
    if (std::strncmp(coreData, "\"ingredients\":", 14) != 0) __builtin_trap();
    char name[CORE_NAME_BUFFER_SIZE];
    for (int id = -3; id < 40; ++id) lookupCoreItemName(id, name);
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        int id;
        std::memcpy(&id, data + i, sizeof id);
        if (lookupCoreItemName(id, name) && std::strlen(name) >= CORE_NAME_BUFFER_SIZE) __builtin_trap();
    }
    freeCoreData();
    return 0;
}
