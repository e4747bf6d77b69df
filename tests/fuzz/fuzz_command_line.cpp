// Fuzzes the console front end's command line: arguments separated by zero
// bytes, run against a cache folder that holds the sample world.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/process_state.h"
#include "data/core_data.h"
#include "fuzz_support.h"
#include "recipe/material_table.h"
#include "shell/console_mode.h"

namespace fs = std::filesystem;

static std::string readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Copies the sample world's documents into the cache under their names.
static void stockCache() {
    for (const auto &entry : fs::directory_iterator(DATA_DIR "/sample/items")) {
        std::string document = readAll(entry.path());
        writeCacheFile(documentName(document), document);
    }
    writeCoreDataFile(readAll(DATA_DIR "/sample/core.json"));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static bool stocked = false;
    enterFuzzFolder();
    if (!stocked) {
        stockCache();
        stocked = true;
    }
    resetProcessState();
    if (!coreData && !loadCoreData()) __builtin_trap();
    if (!materialStorage) materialStorage = allocMaterialStorage();
    std::vector<std::string> arguments = {"shopping-list"};
    std::string current;
    for (std::size_t i = 0; i < size && arguments.size() < 40; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size) arguments.push_back(current);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    runCommandLine(static_cast<int>(arguments.size()), argv.data());
    return 0;
}
