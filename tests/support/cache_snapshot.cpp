// Snapshots of a folder's files and bytes.
#include "support/cache_snapshot.h"

#include <filesystem>

#include "support/temp_folder.h"

CacheSnapshot snapshotFolder(const std::string &folder) {
    namespace fs = std::filesystem;
    CacheSnapshot files;
    std::error_code ignored;
    std::u8string wide(folder.begin(), folder.end());
    for (const auto &entry : fs::directory_iterator(fs::path(wide), ignored)) {
        std::u8string name = entry.path().filename().u8string();
        std::string text(name.begin(), name.end());
        files[text] = readFile(folder + "/" + text);
    }
    return files;
}
