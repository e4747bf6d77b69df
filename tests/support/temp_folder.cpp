// Temporary folders, file helpers and standard-output capture for tests.
#include "support/temp_folder.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

TempFolder::TempFolder(bool withCache) {
    char pattern[] = "/tmp/shopping-test-XXXXXX";
    folder = mkdtemp(pattern);
    previous = fs::current_path().string();
    fs::current_path(folder);
    if (withCache) fs::create_directory("cache");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
    if (fs::exists(folder + "/cache", ignored))
        fs::permissions(folder + "/cache", fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder, ignored);
}

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fileExists(const std::string &path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

std::string listFolder(const std::string &path) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto &name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    char pattern[] = "/tmp/shopping-stdout-XXXXXX";
    int descriptor = mkstemp(pattern);
    capturePath = pattern;
    savedDescriptor = dup(STDOUT_FILENO);
    dup2(descriptor, STDOUT_FILENO);
    close(descriptor);
}

StdoutCapture::~StdoutCapture() { finish(); }

std::string StdoutCapture::finish() {
    if (finished) return {};
    finished = true;
    std::fflush(stdout);
    dup2(savedDescriptor, STDOUT_FILENO);
    close(savedDescriptor);
    std::string text = readFile(capturePath);
    unlink(capturePath.c_str());
    return text;
}
