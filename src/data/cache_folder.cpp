// Cache paths and all-or-nothing downloads into the cache folder.
#include "data/cache_folder.h"

#include <cstring>

#include "data/file_system.h"

const char CACHE_FOLDER[] = "cache";
const char CORE_DATA_FILE[] = "corvanedbcore";

// Names of temporary download files begin with this. They are created
// exclusively, so a download never opens a file that exists, not even one
// that an item of such a name left.
static const char DOWNLOAD_PREFIX[] = ".download-";

bool isPlainFileName(const char *name) {
    if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; ++c)
        if ((*c < 0x20 && *c != '\t') || *c == 0x7F) return false;
    return std::strpbrk(name, "/\\") == nullptr && !namesSameFile(name, CORE_DATA_FILE) &&
           isPlatformFileName(name);
}

bool formCachePath(const char *name, char *path, std::size_t pathSize) {
    std::size_t folderLength = sizeof CACHE_FOLDER - 1;
    std::size_t nameLength = std::strlen(name);
    if (folderLength + 1 + nameLength >= pathSize) return false;
    std::memcpy(path, CACHE_FOLDER, folderLength);
    path[folderLength] = PATH_SEPARATOR;
    std::memcpy(path + folderLength + 1, name, nameLength + 1);
    return true;
}

bool cacheFolderExists() { return folderExists(CACHE_FOLDER); }

bool openCacheDownload(CacheDownload *download) {
    download->file = createTemporaryFile(CACHE_FOLDER, DOWNLOAD_PREFIX, download->temporaryPath,
                                         sizeof download->temporaryPath);
    if (download->file) removeOnInterrupt(download->temporaryPath);
    return download->file != nullptr;
}

bool rewindCacheDownload(CacheDownload *download) { return truncateFile(download->file); }

bool commitCacheDownload(CacheDownload *download, const char *finalPath) {
    bool written = std::fflush(download->file) == 0;
    written = std::fclose(download->file) == 0 && written;
    download->file = nullptr;
    bool moved = written && replaceFile(download->temporaryPath, finalPath);
    if (!moved) removeFile(download->temporaryPath);
    releaseOnInterrupt();
    return moved;
}

void discardCacheDownload(CacheDownload *download) {
    if (!download->file) return;
    std::fclose(download->file);
    download->file = nullptr;
    removeFile(download->temporaryPath);
    releaseOnInterrupt();
}
