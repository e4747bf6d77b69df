// The file operations that every platform shares.
#include "data/file_system.h"

#include <cstdlib>

int readWholeFile(std::FILE *file, char **text, std::size_t *length) {
    *text = nullptr;
    *length = 0;
    std::size_t size = 0;
    if (!measureRegularFile(file, &size)) return -1;
    char *block = static_cast<char *>(std::calloc(size + 1, 1));
    if (!block) return -1;
    std::size_t elements = size == 0 ? 1 : std::fread(block, size, 1, file);
    *text = block;
    *length = size;
    return elements == 1 ? 0 : 1;
}
