// The read-once floor, shared by the in-process benchmark and the
// whole-process floor executable.
#include "read_once_floor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

std::vector<std::string> listFloorFiles(const std::string &folder) {
    std::vector<std::string> paths;
    DIR *directory = opendir(folder.c_str());
    if (!directory) return paths;
    while (dirent *entry = readdir(directory)) {
        if (entry->d_name[0] == '.') continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat status;
        if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) paths.push_back(path);
    }
    closedir(directory);
    std::sort(paths.begin(), paths.end());
    return paths;
}

long long readEachFileOnce(const std::vector<std::string> &paths) {
    static std::vector<char> buffer;
    long long total = 0;
    for (const std::string &path : paths) {
        int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) return -1;
        struct stat status;
        if (fstat(descriptor, &status) != 0) {
            close(descriptor);
            return -1;
        }
        std::size_t size = static_cast<std::size_t>(status.st_size);
        if (buffer.size() < size + 1) buffer.resize(size + 1);
        std::size_t done = 0;
        while (done < size) {
            ssize_t got = read(descriptor, buffer.data() + done, size - done);
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        close(descriptor);
        if (done != size) return -1;
        buffer[size] = '\0';
        total += static_cast<long long>(size);
    }
    return total;
}
