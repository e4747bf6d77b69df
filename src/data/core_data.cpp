// Loading, first-time download and name lookup of the core data document.
#include "data/core_data.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "data/cache_folder.h"
#include "data/file_system.h"
#include "data/http_client.h"
#include "data/service.h"

static const char CORE_DATA_PATH[] = "/db/doc/core/en/3/data.json";

const char INGREDIENT_LIST_KEY[] = "\"ingredients\":";

char *coreData = nullptr;

// Where the name of each id's first entry begins in coreData, built on the
// first lookup after the text changed. The key of id 12 is "12":{"name":" and
// the index holds, for every id, the first such key in the text, so a lookup
// answers exactly as a search of the text from its start would. An open-
// addressing table of (id, offset) pairs: one block, no allocation per entry.
// A text of 4 GB or more is searched instead (offsets have 32 bits).
struct CoreNameSlot {
    std::int32_t id;
    std::uint32_t nameOffset; // 0: the slot is free (a name never begins at 0)
};
static std::vector<CoreNameSlot> coreNameSlots;
static std::size_t coreNameCount = 0;
static bool coreNameIndexBuilt = false;
static bool coreNamesSearched = false; // the text is too long for the index

// The slot of `id`, or the free slot where it belongs.
static CoreNameSlot &coreNameSlot(std::int32_t id) {
    std::size_t mask = coreNameSlots.size() - 1;
    std::size_t at = (static_cast<std::uint32_t>(id) * 2654435761u) & mask;
    while (coreNameSlots[at].nameOffset != 0 && coreNameSlots[at].id != id) at = (at + 1) & mask;
    return coreNameSlots[at];
}

// Records the name offset of `id` unless an earlier entry holds the id.
static void addCoreName(std::int32_t id, std::uint32_t nameOffset) {
    if ((coreNameCount + 1) * 2 > coreNameSlots.size()) {
        std::vector<CoreNameSlot> old(coreNameSlots.size() * 2, CoreNameSlot{0, 0});
        old.swap(coreNameSlots);
        for (const CoreNameSlot &slot : old)
            if (slot.nameOffset != 0) coreNameSlot(slot.id) = slot;
    }
    CoreNameSlot &slot = coreNameSlot(id);
    if (slot.nameOffset != 0) return;
    slot = {id, nameOffset};
    ++coreNameCount;
}

// The id whose key ends at `suffix` (the text ":{"name":" after its digits),
// or false when no key of a decimal id in canonical form ends there: one to
// ten digits without a leading 0 (but 0 itself), a '-' before them for a
// negative id (not -0), a quote before that, and in the 32-bit range.
static bool keyIdBefore(const char *text, const char *suffix, int *id) {
    long long value = 0;
    long long scale = 1;
    const char *digits = suffix;
    while (digits > text && digits[-1] >= '0' && digits[-1] <= '9' && scale <= 1000000000) {
        --digits;
        value += (*digits - '0') * scale;
        scale *= 10;
    }
    std::size_t count = static_cast<std::size_t>(suffix - digits);
    if (count == 0 || (digits > text && digits[-1] >= '0' && digits[-1] <= '9') ||
        (digits[0] == '0' && count > 1))
        return false;
    bool negative = digits > text && digits[-1] == '-';
    const char *quote = negative ? digits - 1 : digits;
    if (quote == text || quote[-1] != '"' || (negative && digits[0] == '0')) return false;
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    *id = static_cast<int>(value);
    return true;
}

// Room for the names of a text of `length` bytes: an entry takes some 100
// bytes, and the table is kept at most half full.
static void clearCoreNameIndex(std::size_t length) {
    std::size_t slots = 1 << 16;
    while (slots < length / 50) slots *= 2;
    coreNameSlots.assign(slots, CoreNameSlot{0, 0});
    coreNameCount = 0;
    coreNameIndexBuilt = false;
}

static const char NAME_KEY_END[] = "{\"name\":\"";

// Every key ends in ":{"name":"; the scan looks for each '{' (a fast
// byte search) and checks the text around it, which finds the same places
// as a search for that whole text, in the same order.
static void buildCoreNameIndex() {
    const std::size_t afterLength = std::strlen(NAME_KEY_END);
    const std::size_t length = std::strlen(coreData);
    clearCoreNameIndex(length);
    coreNameIndexBuilt = true;
    coreNamesSearched = length >= UINT32_MAX;
    if (coreNamesSearched) return;
    const char *end = coreData + length;
    for (const char *brace = coreData; brace < end; ++brace) {
        brace = static_cast<const char *>(std::memchr(brace, '{', static_cast<std::size_t>(end - brace)));
        if (!brace) break;
        if (brace - coreData < 2 || brace[-2] != '"' || brace[-1] != ':' ||
            static_cast<std::size_t>(end - brace) < afterLength ||
            std::memcmp(brace, NAME_KEY_END, afterLength) != 0)
            continue;
        int id = 0;
        if (keyIdBefore(coreData, brace - 2, &id))
            addCoreName(id, static_cast<std::uint32_t>(brace + afterLength - coreData));
    }
}

// Where the name of `itemId`'s first entry begins, or null.
static const char *findCoreName(int itemId) {
    if (!coreNameIndexBuilt) buildCoreNameIndex();
    if (!coreNamesSearched) {
        const CoreNameSlot &slot = coreNameSlot(itemId);
        return slot.nameOffset == 0 ? nullptr : coreData + slot.nameOffset;
    }
    char key[32];
    std::snprintf(key, sizeof key, "\"%d\":%s", itemId, NAME_KEY_END);
    const char *found = std::strstr(coreData, key);
    return found ? found + std::strlen(key) : nullptr;
}

static void showFormatted(const char *format, const char *value) {
    char text[ERROR_TEXT_SIZE];
    std::snprintf(text, sizeof text, format, value);
    showMessage(text);
}

// Reads an open core data file into coreData, cut to begin at its first
// "ingredients": key. False, with a message, when it cannot be used.
static bool takeCoreData(std::FILE *file, const char *path) {
    char *text = nullptr;
    std::size_t length = 0;
    int readResult = readWholeFile(file, &text, &length);
    if (readResult != 0) {
        std::free(text);
        showFormatted("Error reading cache file for [%s].", path);
        return false;
    }
    char *key = std::strstr(text, INGREDIENT_LIST_KEY);
    if (!key) {
        std::free(text);
        showFormatted("The CorvaneDB core data in %s holds no item names. Delete the file "
                      "to download it again.", path);
        return false;
    }
    std::memmove(text, key, std::strlen(key) + 1);
    coreData = text;
    return true;
}

// Downloads the core data into a temporary file and moves it to `path`
// only when the transfer completed and the text holds "ingredients":.
static bool downloadCoreData(const char *path) {
    std::string address = serviceBaseAddress() + CORE_DATA_PATH;
    if (!cacheFolderExists()) {
        showMessage("Cannot find the cache folder. Ensure the cache folder exists alongside "
                    "the program.");
        return false;
    }
    showMessage("Loading CorvaneDB core for the first time...");
    CacheDownload download;
    if (!openCacheDownload(&download)) {
        showFormatted("Error opening cache file for [%s]. Ensure the cache folder exists "
                      "alongside the program.", CORE_DATA_FILE);
        return false;
    }
    FetchWatch watch;
    watch.maxBytes = MAX_CORE_DATA_BYTES;
    if (!fetchToFile(address.c_str(), download.file, &watch)) {
        discardCacheDownload(&download);
        showFormatted("Cannot open %s", address.c_str());
        return false;
    }
    char *text = nullptr;
    std::size_t length = 0;
    int readResult = readWholeFile(download.file, &text, &length);
    bool usable = readResult == 0 && std::strstr(text, INGREDIENT_LIST_KEY) != nullptr;
    std::free(text);
    if (!usable) {
        discardCacheDownload(&download);
        showFormatted("The answer of %s holds no CorvaneDB core data.", address.c_str());
        return false;
    }
    if (!commitCacheDownload(&download, path)) {
        showFormatted("Error writing cache file for [%s].", CORE_DATA_FILE);
        return false;
    }
    return true;
}

bool loadCoreData() {
    freeCoreData();
    char path[PATH_BUFFER_SIZE];
    formCachePath(CORE_DATA_FILE, path, sizeof path);
    FileOpenOutcome outcome = FILE_MISSING;
    std::FILE *file = openFileForReading(path, &outcome);
    if (outcome == FILE_UNREADABLE) {
        showFormatted("Error reading cache file for [%s].", path);
        return false;
    }
    if (!file) {
        if (!downloadCoreData(path)) return false;
        file = openFileForReading(path, &outcome);
        if (!file) {
            showFormatted("Error reading cache file for [%s].", path);
            return false;
        }
    }
    bool loaded = takeCoreData(file, path);
    std::fclose(file);
    return loaded;
}

void freeCoreData() {
    std::free(coreData);
    coreData = nullptr;
    std::vector<CoreNameSlot>().swap(coreNameSlots);
    coreNameCount = 0;
    coreNameIndexBuilt = false;
}

void useCoreData(const char *text) {
    freeCoreData();
    std::size_t size = std::strlen(text) + 1;
    coreData = static_cast<char *>(std::malloc(size));
    if (coreData) std::memcpy(coreData, text, size);
}

void prepareCoreItemNames() {
    if (coreData && !coreNameIndexBuilt) buildCoreNameIndex();
}

bool lookupCoreItemName(int itemId, char *nameBuffer) {
    if (!coreData) return false;
    const char *name = findCoreName(itemId);
    if (!name) return false;
    const char *end = std::strchr(name, '"');
    std::size_t length = end ? static_cast<std::size_t>(end - name) : 0;
    if (length > CORE_NAME_BUFFER_SIZE - 1) length = CORE_NAME_BUFFER_SIZE - 1;
    std::memcpy(nameBuffer, name, length);
    nameBuffer[length] = '\0';
    return true;
}
