// The Windows file operations: Windows' own name rules, UTF-8 names through
// the wide functions, exclusive temporary files, replacement in one step,
// and the faults of Windows (devices, files held open, long paths), through
// the item store against the stand-in where the store is the point.
#include "data/file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "base/messages.h"
#include "base/process_state.h"
#include "base/result.h"
#include "base/utf16_win.h"
#include "data/cache_folder.h"
#include "data/core_data.h"
#include "data/http_client.h"
#include "data/item_store.h"
#include "support/item_store_fixture.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::wstring wide(const std::string &text) {
    std::wstring converted;
    utf8ToUtf16(text, &converted);
    return converted;
}

// Writes `bytes` to `path` through a temporary file and replaceFile, as a
// download does.
bool storeFile(const std::string &path, const std::string &bytes) {
    char temporary[PATH_BUFFER_SIZE];
    std::FILE *file = createTemporaryFile("cache", ".download-", temporary, sizeof temporary);
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    return written && replaceFile(temporary, path.c_str());
}

// The whole file at `path` through openFileForReading and readWholeFile.
std::string loadFile(const std::string &path, FileOpenOutcome *outcome) {
    std::FILE *file = openFileForReading(path.c_str(), outcome);
    if (!file) return "<not opened>";
    char *text = nullptr;
    std::size_t length = 0;
    int result = readWholeFile(file, &text, &length);
    std::fclose(file);
    std::string bytes = result == 0 ? std::string(text, length) : "<not read>";
    std::free(text);
    return bytes;
}

TEST(PlatformFileName, WindowsRulesForNames) {
    struct Row {
        const char *name;
        bool taken;
    } rows[] = {
        {"Bronze Ingot", true},
        {"Vel Mhigan Crystal Vase", true},
        {"Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9" "e", true},
        {"\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8D\xB0", true},
        {".hidden", true},
        {"x.nul", true},
        {"CONSOLE", true},
        {"COM10", true},
        {"LPT", true},
        {"nul_x", true},
        {"CLOCK$", true},
        {"a;b,c=d+e[f]!@#$%^&()'", true},
        // devices, in any letter case, also with an extension
        {"CON", false},
        {"con", false},
        {"Con.txt", false},
        {"nul.json", false},
        {"NUL .txt", false},
        {"nul.tar.gz", false},
        {"PRN", false},
        {"aux", false},
        {"COM1", false},
        {"com9.log", false},
        {"COM0", false},
        {"LPT1", false},
        {"lpt9.txt", false},
        {"COM\xC2\xB9", false},
        {"LPT\xC2\xB2.txt", false},
        {"com\xC2\xB3", false},
        {"CONIN$", false},
        {"conout$", false},
        // characters Windows refuses or reads otherwise
        {"a:b", false},
        {"a*b", false},
        {"a?b", false},
        {"a\"b", false},
        {"a<b", false},
        {"a>b", false},
        {"a|b", false},
        {"a/b", false},
        {"a\\b", false},
        {"tab\there", false},
        {"line\nend", false},
        {"\x01", false},
        {"\x1f", false},
        // a trailing dot or blank is dropped by Windows
        {"trail.", false},
        {"trail ", false},
        {"Bronze Ingot...", false},
        // no valid UTF-8: no name in UTF-16
        {"\xC3(", false},
        {"\xFF\xFE", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(isPlatformFileName(row.name), row.taken);
    }
}

class FileSystemTest : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(FileSystemTest, Utf8NamesAreWholeOnDisk) {
    for (std::string name : {"Vel Mhigan Crystal Vase", "Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9" "e",
                             "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8D\xB0", "Bronze Ingot"}) {
        SCOPED_TRACE(name);
        char path[PATH_BUFFER_SIZE];
        ASSERT_TRUE(formCachePath(name.c_str(), path, sizeof path));
        EXPECT_EQ(std::string(path), "cache\\" + name);
        ASSERT_TRUE(storeFile(path, "document of " + name));
        // The name as the system keeps it, read back in UTF-16.
        EXPECT_TRUE(fs::exists(fs::path(L"cache") / wide(name)));
        FileOpenOutcome outcome = FILE_MISSING;
        EXPECT_EQ(loadFile(path, &outcome), "document of " + name);
        EXPECT_EQ(outcome, FILE_OPENED);
        EXPECT_TRUE(removeFile(path));
    }
    EXPECT_EQ(listFolder("cache"), "");
}

TEST_F(FileSystemTest, TemporaryFilesAreNewAndUnique) {
    std::set<std::string> names;
    std::vector<std::FILE *> open;
    for (int i = 0; i < 200; ++i) {
        char path[PATH_BUFFER_SIZE];
        std::FILE *file = createTemporaryFile("cache", ".download-", path, sizeof path);
        ASSERT_NE(file, nullptr) << i;
        EXPECT_EQ(std::string(path).rfind("cache\\.download-", 0), 0u) << path;
        EXPECT_TRUE(names.insert(path).second) << path;
        std::fputs("x", file);
        open.push_back(file);
    }
    for (std::FILE *file : open) std::fclose(file);
    std::size_t count = 0;
    for (const auto &entry : fs::directory_iterator("cache")) {
        ++count;
        EXPECT_EQ(fs::file_size(entry.path()), 1u);
    }
    EXPECT_EQ(count, 200u);
}

TEST_F(FileSystemTest, TemporaryFileIsNotMadeWithoutItsFolder) {
    char path[PATH_BUFFER_SIZE];
    EXPECT_EQ(createTemporaryFile("no-such-folder", ".download-", path, sizeof path), nullptr);
    EXPECT_EQ(listFolder("."), "cache");
}

TEST_F(FileSystemTest, ReplacingTakesTheNewBytesAndTheTemporaryFileGoes) {
    writeFile("cache/Copper Ore", "old document");
    ASSERT_TRUE(storeFile("cache\\Copper Ore", "new document"));
    EXPECT_EQ(readFile("cache/Copper Ore"), "new document");
    EXPECT_EQ(listFolder("cache"), "Copper Ore");
}

TEST_F(FileSystemTest, TruncatingEmptiesAndRewinds) {
    char path[PATH_BUFFER_SIZE];
    std::FILE *file = createTemporaryFile("cache", ".download-", path, sizeof path);
    ASSERT_NE(file, nullptr);
    std::fputs("a search answer that is long", file);
    ASSERT_TRUE(truncateFile(file));
    std::fputs("doc", file);
    std::fflush(file);
    char *text = nullptr;
    std::size_t length = 0;
    EXPECT_EQ(readWholeFile(file, &text, &length), 0);
    EXPECT_EQ(std::string(text, length), "doc");
    std::free(text);
    std::fclose(file);
    EXPECT_EQ(readFile(path), "doc");
}

TEST_F(FileSystemTest, WhatOpeningForReadingFinds) {
    fs::create_directory("cache/Odd Thing");
    writeFile("cache/Held", "held document");
    // Another program holds this one open without sharing it.
    HANDLE held = CreateFileW(L"cache\\Held", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    struct Row {
        const char *path;
        FileOpenOutcome outcome;
    } rows[] = {
        {"cache\\Nothing", FILE_MISSING},
        {"no-folder\\Nothing", FILE_MISSING},
        {"cache\\Odd Thing", FILE_UNREADABLE},
        {"cache\\Held", FILE_UNREADABLE},
        // A device reached by name is no document.
        {"NUL", FILE_UNREADABLE},
        {"cache\\nul.json", FILE_UNREADABLE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        FileOpenOutcome outcome = FILE_OPENED;
        std::FILE *file = openFileForReading(row.path, &outcome);
        EXPECT_EQ(file, nullptr);
        if (file) std::fclose(file);
        EXPECT_EQ(outcome, row.outcome);
    }
    CloseHandle(held);
    EXPECT_EQ(listFolder("cache"), "Held Odd Thing");
}

TEST_F(FileSystemTest, PathsBeyondTheClassicLimitWork) {
    // A working folder that Windows takes (under MAX_PATH), where a cache
    // path with a long item name goes beyond MAX_PATH.
    std::string deep;
    while ((fs::current_path() / deep).wstring().size() < MAX_PATH - 60) {
        deep += std::string(30, 'd') + "/";
        ASSERT_TRUE(fs::create_directory(deep));
    }
    fs::current_path(deep);
    fs::create_directory("cache");
    std::string name(99, 'n');
    char path[PATH_BUFFER_SIZE];
    ASSERT_TRUE(formCachePath(name.c_str(), path, sizeof path));
    ASSERT_GT((fs::current_path() / path).wstring().size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_TRUE(folderExists("cache"));
    ASSERT_TRUE(storeFile(path, "deep document"));
    FileOpenOutcome outcome = FILE_MISSING;
    EXPECT_EQ(loadFile(path, &outcome), "deep document");
    EXPECT_EQ(outcome, FILE_OPENED);
    // Seen from outside under the same name.
    EXPECT_TRUE(fs::exists(fs::path(L"\\\\?\\" + (fs::current_path() / "cache" / name).wstring())));
    EXPECT_TRUE(removeFile(path));
    EXPECT_EQ(loadFile(path, &outcome), "<not opened>");
    EXPECT_EQ(outcome, FILE_MISSING);
    fs::current_path(folder.path());
}

// The item store on Windows: names that Windows would take for something
// else are refused before anything is sent or touched, and the faults of
// Windows leave the cache as it was.
using WindowsItemStoreTest = ItemStoreFixture;

TEST_F(WindowsItemStoreTest, NamesWindowsTakesForSomethingElseAreRefusedUnsent) {
    for (const char *name : {"CON", "nul.json", "Aux", "COM1", "lpt1.txt", "a:b", "Copper Ore:stream",
                             "trail.", "trail ", "x|y", "what?", "star*", "\xC3("}) {
        SCOPED_TRACE(name);
        for (bool refresh : {false, true}) {
            settings.refreshCache = refresh;
            EXPECT_EQ(load(name), RESULT_CACHE_FILE_ERROR);
            std::string message = std::string("Error opening cache file for [") + name +
                                  "]. Ensure the cache folder exists alongside the program.\n";
            EXPECT_EQ(printed, message);
            EXPECT_EQ(errorText, message);
            EXPECT_EQ(text, nullptr);
        }
    }
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(listFolder("."), "cache");
    EXPECT_EQ(listFolder("cache"), "");
}

TEST_F(WindowsItemStoreTest, CacheEntryThatIsAFolderIsAReadError) {
    fs::create_directory("cache/Odd Thing");
    EXPECT_EQ(load("Odd Thing"), RESULT_CACHE_FILE_ERROR);
    EXPECT_EQ(printed, "Error reading cache file for [Odd Thing].\n");
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(listFolder("cache"), "Odd Thing");
}

TEST_F(WindowsItemStoreTest, CacheFileHeldOpenByAnotherProgramIsLeftAlone) {
    std::string old = "{\"item\":{\"name\":\"Copper Ore\",\"id\":\"2001\"},\"related\":[]}";
    writeFile("cache/Copper Ore", old);
    HANDLE held = CreateFileW(L"cache\\Copper Ore", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    for (bool refresh : {false, true}) {
        SCOPED_TRACE(refresh ? "refreshing" : "from the cache");
        settings.refreshCache = refresh;
        EXPECT_EQ(load("Copper Ore"), RESULT_CACHE_FILE_ERROR);
        EXPECT_EQ(printed, "Error reading cache file for [Copper Ore].\n");
    }
    CloseHandle(held);
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(listFolder("cache"), "Copper Ore");
    EXPECT_EQ(readFile("cache/Copper Ore"), old);
}

TEST_F(WindowsItemStoreTest, ReplacingAFileThatIsInUseKeepsTheOldOne) {
    std::string old = readFile(DATA_DIR "/sample/items/2001.json");
    writeFile("cache/Copper Ore", old);
    // Readable by others, but not to be deleted or replaced while open.
    HANDLE reader = CreateFileW(L"cache\\Copper Ore", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    settings.refreshCache = true;
    EXPECT_EQ(load("Copper Ore"), RESULT_CACHE_FILE_ERROR);
    EXPECT_EQ(printed, "Error writing cache file for [Copper Ore].\n");
    CloseHandle(reader);
    EXPECT_EQ(standin.requests().size(), 2u);
    EXPECT_EQ(listFolder("cache"), "Copper Ore");
    EXPECT_EQ(readFile("cache/Copper Ore"), old);
    // Once it is free the same refresh goes through.
    EXPECT_EQ(load("Copper Ore"), RESULT_OK);
    EXPECT_EQ(listFolder("cache"), "Copper Ore");
}

#if SIZE_MAX <= 0xFFFFFFFFu
// Only the 32-bit build counts in a size_t shorter than a file can be, and
// has 2 GiB of memory (it is not large-address-aware): a cache file of
// 4 GiB or more (whose length would wrap to a short one) or one beyond that
// memory is a read error, never read in part. The rest of each file is a
// hole, which takes no disk.
TEST_F(WindowsItemStoreTest, CacheFileLongerThanTheProgramCanHoldIsAReadError) {
    const std::string document = readFile(DATA_DIR "/sample/items/2001.json");
    struct Row {
        const char *label;
        long long length;
    } rows[] = {
        {"4 GiB and the document, which a wrapped length would read", (1ll << 32) + static_cast<long long>(document.size())},
        {"4 GiB, which a wrapped length would read as empty", 1ll << 32},
        {"3 GiB, beyond the program's memory", 3ll << 30},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        writeFile("cache/Copper Ore", document);
        HANDLE file = CreateFileW(L"cache\\Copper Ore", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end;
        end.QuadPart = row.length;
        EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        CloseHandle(file);
        EXPECT_EQ(load("Copper Ore"), RESULT_CACHE_FILE_ERROR);
        EXPECT_EQ(printed, "Error reading cache file for [Copper Ore].\n");
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(fs::file_size("cache/Copper Ore"), static_cast<std::uintmax_t>(row.length));
    }
    EXPECT_TRUE(standin.requests().empty());
}
#endif

// The core data file as Windows names and guards it.
TEST_F(WindowsItemStoreTest, CoreDataFileFaultsAreNamedWithWindowsPaths) {
    struct Row {
        const char *label;
        const char *bytes;
        DWORD sharing; // for a handle that another program keeps open meanwhile
        std::string message;
    } rows[] = {
        {"without ingredients", "<html>Service unavailable</html>", FILE_SHARE_READ,
         "The CorvaneDB core data in cache\\corvanedbcore holds no item names. Delete the file to download "
         "it again.\n"},
        {"held open without sharing", "\"ingredients\":{}", 0, "Error reading cache file for [cache\\corvanedbcore].\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        TempFolder rowFolder;
        writeFile("cache/corvanedbcore", row.bytes);
        HANDLE held = CreateFileW(L"cache\\corvanedbcore", GENERIC_READ, row.sharing, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        StdoutCapture capture;
        EXPECT_FALSE(loadCoreData());
        EXPECT_EQ(capture.finish(), row.message);
        CloseHandle(held);
        EXPECT_EQ(coreData, nullptr);
        EXPECT_EQ(listFolder("cache"), "corvanedbcore");
        EXPECT_EQ(readFile("cache/corvanedbcore"), row.bytes);
    }
    EXPECT_TRUE(standin.requests().empty());
}

} // namespace
