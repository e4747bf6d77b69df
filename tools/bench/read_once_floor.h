// The read-once floor: every file of a folder opened and read once, whole,
// with plain POSIX calls. It is the least that a run must do to see each
// document it uses and the core data.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Regular files directly inside `folder`, sorted, without names that begin
// with a dot (leftover download files). Paths include the folder.
std::vector<std::string> listFloorFiles(const std::string &folder);

// Opens, sizes (fstat) and reads each file once into one reused buffer.
// Returns the number of bytes read; -1 when a file cannot be read whole.
long long readEachFileOnce(const std::vector<std::string> &paths);
