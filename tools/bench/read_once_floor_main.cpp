// Whole-process read-once floor: `read_once_floor FOLDER` reads every file
// of FOLDER (a run's cache folder: its documents and the core data) once and
// prints the file count and bytes. Timed beside a warm console run.
#include <cstdio>

#include "read_once_floor.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_once_floor FOLDER\n");
        return 2;
    }
    std::vector<std::string> paths = listFloorFiles(argv[1]);
    long long bytes = readEachFileOnce(paths);
    if (bytes < 0) {
        std::fprintf(stderr, "a file of %s could not be read\n", argv[1]);
        return 1;
    }
    std::printf("%zu files, %lld bytes\n", paths.size(), bytes);
    return 0;
}
