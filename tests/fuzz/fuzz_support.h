// Shared set-up of the fuzz targets: a private working folder with a cache
// folder, standard output thrown away, and no network (the HTTP client is
// never opened, so every download fails at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Changes once into a fresh folder with an empty cache folder and sends
// standard output to /dev/null.
void enterFuzzFolder();

// Removes every file of the cache folder.
void clearCacheFolder();

// Writes the core data file of the cache folder (no item may take its name).
void writeCoreDataFile(const std::string &bytes);

// Writes bytes as cache/<name>; false when the name is no plain file name.
bool writeCacheFile(const std::string &name, const std::string &bytes);

// Splits fuzz input at every "\n@@\n" separator.
std::vector<std::string> splitParts(const std::uint8_t *data, std::size_t size);

// The first "name":"..." value of a document (at most 99 bytes), or empty.
std::string documentName(const std::string &document);
