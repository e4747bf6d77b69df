// What a folder holds, file by file, to compare the cache folder before and
// after a run, or after two runs.
#pragma once

#include <map>
#include <string>

// File name (UTF-8) to its bytes, for every entry of the folder; empty
// when the folder does not exist.
using CacheSnapshot = std::map<std::string, std::string>;
CacheSnapshot snapshotFolder(const std::string &folder);
