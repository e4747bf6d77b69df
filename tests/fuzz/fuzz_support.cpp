// Working folder and input splitting for the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "data/cache_folder.h"

namespace fs = std::filesystem;

void enterFuzzFolder() {
    static bool entered = false;
    if (entered) return;
    entered = true;
    char pattern[] = "/tmp/shopping-fuzz-XXXXXX";
    fs::current_path(mkdtemp(pattern));
    fs::create_directory("cache");
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
}

void clearCacheFolder() {
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator("cache", ignored)) fs::remove_all(entry.path(), ignored);
}

void writeCoreDataFile(const std::string &bytes) {
    std::ofstream out("cache/corvanedbcore", std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool writeCacheFile(const std::string &name, const std::string &bytes) {
    if (!isPlainFileName(name.c_str()) || name.size() > 99) return false;
    std::ofstream out("cache/" + name, std::ios::binary | std::ios::trunc);
    out << bytes;
    return true;
}

std::vector<std::string> splitParts(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find("\n@@\n", start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 4;
    }
}

std::string documentName(const std::string &document) {
    std::size_t at = document.find("\"name\":\"");
    if (at == std::string::npos) return {};
    at += 8;
    std::size_t end = document.find('"', at);
    if (end == std::string::npos || end - at > 99) return {};
    return document.substr(at, end - at);
}
