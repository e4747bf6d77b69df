// Cache paths, whole-file reads and all-or-nothing downloads into the cache.
#include "data/cache_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

const char CACHE_FOLDER[] = "cache";

bool isPlainFileName(const char *name) {
    if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    return std::strpbrk(name, "/\\") == nullptr;
}

bool formCachePath(const char *name, char *path, std::size_t pathSize) {
    int length = std::snprintf(path, pathSize, "%s/%s", CACHE_FOLDER, name);
    return length >= 0 && static_cast<std::size_t>(length) < pathSize;
}

bool cacheFolderExists() {
    struct stat status;
    return stat(CACHE_FOLDER, &status) == 0 && S_ISDIR(status.st_mode);
}

bool openCacheDownload(CacheDownload *download) {
    download->file = nullptr;
    std::snprintf(download->temporaryPath, sizeof download->temporaryPath,
                  "%s/.download-XXXXXX", CACHE_FOLDER);
    int descriptor = mkstemp(download->temporaryPath);
    if (descriptor < 0) return false;
    download->file = fdopen(descriptor, "wb+");
    if (!download->file) {
        close(descriptor);
        unlink(download->temporaryPath);
        return false;
    }
    return true;
}

bool rewindCacheDownload(CacheDownload *download) {
    if (std::fflush(download->file) != 0) return false;
    if (ftruncate(fileno(download->file), 0) != 0) return false;
    std::rewind(download->file);
    return true;
}

bool commitCacheDownload(CacheDownload *download, const char *finalPath) {
    bool written = std::fflush(download->file) == 0;
    written = std::fclose(download->file) == 0 && written;
    download->file = nullptr;
    if (written && std::rename(download->temporaryPath, finalPath) == 0) return true;
    unlink(download->temporaryPath);
    return false;
}

void discardCacheDownload(CacheDownload *download) {
    if (!download->file) return;
    std::fclose(download->file);
    download->file = nullptr;
    unlink(download->temporaryPath);
}

int readWholeFile(std::FILE *file, char **text, std::size_t *length) {
    *text = nullptr;
    *length = 0;
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(file);
    if (end < 0) return -1;
    std::rewind(file);
    std::size_t size = static_cast<std::size_t>(end);
    char *block = static_cast<char *>(std::calloc(size + 1, 1));
    if (!block) return -1;
    std::size_t elements = size == 0 ? 1 : std::fread(block, size, 1, file);
    *text = block;
    *length = size;
    return elements == 1 ? 0 : 1;
}
