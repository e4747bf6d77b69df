// A fresh temporary folder per test, made the current directory, with
// helpers to write and read files in it.
#pragma once

#include <string>

#include "support/wait.h"

class TempFolder {
public:
    // Creates the folder and changes into it; with `withCache`, also the
    // empty cache folder.
    explicit TempFolder(bool withCache = true);
    // Changes back and removes the folder with everything in it.
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return folder; }

private:
    std::string folder;
    std::string previous;
};

// Writes bytes to a file (relative to the current directory).
void writeFile(const std::string &path, const std::string &bytes);

// Reads a whole file; empty when it does not exist.
std::string readFile(const std::string &path);

// True when the path exists.
bool fileExists(const std::string &path);

// Names of the entries of a folder, sorted.
std::string listFolder(const std::string &path);

// Everything a function prints to standard output while it runs.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    // Stops capturing (once) and returns what was printed.
    std::string finish();

private:
    int savedDescriptor;
    std::string capturePath;
    bool finished = false;
};
