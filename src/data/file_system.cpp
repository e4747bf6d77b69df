// The file operations that every platform shares.
#include "data/file_system.h"

#include <cstdlib>

int readWholeFile(std::FILE *file, char **text, std::size_t *length) {
    *text = nullptr;
    *length = 0;
    std::size_t size = 0;
    if (!measureRegularFile(file, &size)) return -1;
    char *block = static_cast<char *>(std::malloc(size + 1));
    if (!block) return -1;
    // One read of the whole length. The text ends where the read ended: as
    // in a zero-filled block, a short read leaves the text shorter.
    std::size_t got = size == 0 ? 0 : std::fread(block, 1, size, file);
    block[got] = '\0';
    *text = block;
    *length = size;
    return got == size ? 0 : 1;
}
