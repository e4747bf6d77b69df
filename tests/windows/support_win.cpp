// The test support of tests/support/*.h for the Windows build, run under
// Wine: temporary folders with std::filesystem, standard-output capture with
// _dup/_dup2, the stand-in web service through the broker that runs the
// test program (tests/windows/standin_broker.py), and setenv.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "base/utf16_win.h"
#include "support/standin.h"
#include "support/request_log.h"
#include "support/temp_folder.h"
#include "windows/posix_compat_win.h"

namespace fs = std::filesystem;

int setenv(const char *name, const char *value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    // "NAME=" would remove the variable: a blank keeps an empty value apart.
    std::string entry = std::string(name) + "=" + (*value ? value : " ");
    return _putenv(entry.c_str());
}

int unsetenv(const char *name) { return _putenv((std::string(name) + "=").c_str()); }

unsigned geteuid() { return 1000; }

int seteuid(unsigned) { return -1; }

std::string windowsPathOf(const std::string &unixPath) {
    using ToDos = wchar_t *(CDECL *)(const char *);
    auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return "Z:" + unixPath; // Wine's usual drive for /
    wchar_t *wide = toDos(unixPath.c_str());
    if (!wide) throw std::runtime_error("no Windows path for " + unixPath);
    std::string path = utf16ToUtf8(wide);
    HeapFree(GetProcessHeap(), 0, wide);
    return path;
}

// The Linux path of a Windows path under Wine; a path that is no Windows
// path (one without a drive) is taken as a Linux path already.
static std::string unixPathOf(const std::string &path) {
    if (path.size() < 2 || path[1] != ':') return path;
    using ToUnix = char *(CDECL *)(const wchar_t *);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide;
    char *linuxPath = toUnix && utf8ToUtf16(path, &wide) ? toUnix(wide.c_str()) : nullptr;
    if (!linuxPath) throw std::runtime_error("no Linux path for " + path);
    std::string found = linuxPath;
    HeapFree(GetProcessHeap(), 0, linuxPath);
    return found;
}

// Temporary folders lie under Linux's /tmp (drive Z: under Wine), so that the
// tests' Linux paths (DATA_DIR) reach their files from the current folder.
static std::string temporaryRoot() {
    static std::string root = windowsPathOf("/tmp");
    return root;
}

static std::string uniqueName(const char *prefix) {
    static std::atomic<int> counter{0};
    return std::string(prefix) + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64() % 1000000) + "-" + std::to_string(++counter);
}

TempFolder::TempFolder(bool withCache) {
    for (;;) {
        folder = temporaryRoot() + "\\" + uniqueName("shopping-test-");
        std::error_code error;
        if (fs::create_directory(fs::u8path(folder), error)) break;
        if (error) throw std::runtime_error("cannot make " + folder + ": " + error.message());
    }
    previous = utf16ToUtf8(fs::current_path().wstring());
    fs::current_path(fs::u8path(folder));
    if (withCache) fs::create_directory("cache");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::current_path(fs::u8path(previous), ignored);
    fs::remove_all(fs::u8path(folder), ignored);
}

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const std::string &path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fileExists(const std::string &path) {
    std::error_code ignored;
    return fs::exists(fs::u8path(path), ignored);
}

std::string listFolder(const std::string &path) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(fs::u8path(path), ignored))
        names.push_back(utf16ToUtf8(entry.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto &name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    capturePath = temporaryRoot() + "\\" + uniqueName("shopping-stdout-");
    int descriptor = _open(capturePath.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
    savedDescriptor = _dup(1);
    _dup2(descriptor, 1);
    _close(descriptor);
    // Bytes as printed: no CR before each LF.
    _setmode(1, _O_BINARY);
}

StdoutCapture::~StdoutCapture() { finish(); }

std::string StdoutCapture::finish() {
    if (finished) return {};
    finished = true;
    std::fflush(stdout);
    _dup2(savedDescriptor, 1);
    _close(savedDescriptor);
    std::string text = readFile(capturePath);
    std::remove(capturePath.c_str());
    return text;
}

// The stand-in, started and stopped by the broker through its spool folder
// (see standin_broker.py). workFolder is the Windows path of the stand-in's
// folder in the spool; `child` numbers the request.
static std::string spoolFolder() {
    const char *spool = std::getenv("TAVRO_STANDIN_SPOOL");
    if (!spool || !*spool)
        throw std::runtime_error("no TAVRO_STANDIN_SPOOL: run the test through tests/windows/standin_broker.py");
    return windowsPathOf(spool);
}

static std::atomic<int> standinCount{0};

Standin::Standin(const std::string &dataFolder, int latencyMs) {
    std::string spool = spoolFolder();
    child = static_cast<pid_t>(++standinCount);
    std::string ident = "w" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(child);
    workFolder = spool + "\\" + ident;
    // The broker runs the stand-in on Linux: it takes a Linux path.
    writeFile(spool + "\\" + ident + ".tmp", unixPathOf(dataFolder) + "\n" + std::to_string(latencyMs) + "\n");
    fs::rename(spool + "\\" + ident + ".tmp", spool + "\\" + ident + ".start");
    std::string failure = "did not write its port within 60 s";
    bool ended = false;
    waitUntil([&] {
        std::string text = readFile(workFolder + "\\port");
        if (!text.empty() && text.back() == '\n') {
            portNumber = std::atoi(text.c_str());
            return true;
        }
        ended = fileExists(workFolder + "\\failed");
        return ended;
    }, std::chrono::seconds(60));
    if (ended) failure = "ended before it listened (" + readFile(workFolder + "\\failed") + ")";
    if (portNumber <= 0) {
        std::string message = "stand-in web service over " + dataFolder + " " + failure +
                              "; its output:\n" + readFile(workFolder + "\\output");
        stop();
        throw std::runtime_error(message);
    }
    address = "http://127.0.0.1:" + std::to_string(portNumber);
    setenv("CORVANEDB_URL", address.c_str(), 1);
}

Standin::~Standin() { stop(); }

void Standin::stop() {
    if (child <= 0) return;
    std::string ident = fs::path(workFolder).filename().string();
    std::string spool = fs::path(workFolder).parent_path().string();
    std::string stopped = spool + "\\" + ident + ".stopped";
    writeFile(spool + "\\" + ident + ".stop", "stop\n");
    waitUntil([&] { return fileExists(stopped); }, std::chrono::seconds(60));
    std::remove(stopped.c_str());
    child = -1;
}

void Standin::setRules(const std::string &rulesJson) {
    std::string temporary = workFolder + "\\rules.tmp";
    writeFile(temporary, rulesJson);
    fs::rename(temporary, workFolder + "\\rules.json");
}

std::string Standin::log() const { return readFile(workFolder + "\\log"); }

std::vector<std::string> Standin::requests() const { return requestsInLog(log()); }

int Standin::mostInFlight() const {
    std::vector<int> inFlight = inFlightInLog(log());
    return inFlight.empty() ? 0 : *std::max_element(inFlight.begin(), inFlight.end());
}

void Standin::clearLog() { writeFile(workFolder + "\\log", ""); }
