// Installation test helpers: real installs, real processes, no stand-ins
// for the installed files.
#include "install_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/console_run.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

CommandResult runCommand(const std::string &command) {
    std::string full = "(" + command + ") </dev/null 2>&1";
    FILE *pipe = popen(full.c_str(), "r");
    if (!pipe) return {"popen failed", -1};
    std::string output;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    int status = pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

ScratchFolder::ScratchFolder() {
    char pattern[] = "/tmp/tavro-install-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary folder");
    folder = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

InstalledPrefix::InstalledPrefix(const std::string &prefixName)
    : prefixPath(scratch.path() + "/" + prefixName) {
    run = runCommand(shellQuote(INSTALL_CMAKE_COMMAND) + " --install " + shellQuote(INSTALL_BUILD_DIR) + " --prefix " +
                     shellQuote(prefixPath));
}

const InstalledPrefix &sharedInstall() {
    static const InstalledPrefix installed;
    return installed;
}

std::vector<std::string> filesUnder(const std::string &folder) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(folder, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (!it->is_directory(ignored) || it->is_symlink(ignored))
            found.push_back(it->path().lexically_relative(folder).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

int fileMode(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return static_cast<int>(info.st_mode & 07777);
}

std::map<std::string, std::string> desktopEntryKeys(const std::string &path) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(readFile(path));
    std::string line;
    bool inMainGroup = false;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        std::size_t valueAt = line.find_first_not_of(' ', equals + 1);
        keys[key] = valueAt == std::string::npos ? "" : line.substr(valueAt);
    }
    return keys;
}

std::string execProgram(const std::string &execValue) {
    // The string value's escapes.
    std::string value;
    for (std::size_t i = 0; i < execValue.size(); ++i) {
        char c = execValue[i];
        if (c == '\\' && i + 1 < execValue.size()) {
            char next = execValue[++i];
            value += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else {
            value += c;
        }
    }
    // The first argument, quoted or not.
    std::string argument;
    if (!value.empty() && value[0] == '"') {
        std::size_t i = 1;
        for (; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            argument += value[i];
        }
        if (i >= value.size()) return ""; // no closing quote
    } else {
        argument = value.substr(0, value.find(' '));
    }
    std::string unpercented;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        unpercented += argument[i];
        if (argument[i] == '%' && i + 1 < argument.size() && argument[i + 1] == '%') ++i;
    }
    return unpercented;
}

std::pair<int, int> pngSize(const std::string &path) {
    std::string bytes = readFile(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto number = [&](std::size_t at) {
        int n = 0;
        for (std::size_t i = at; i < at + 4; ++i) n = n * 256 + static_cast<unsigned char>(bytes[i]);
        return n;
    };
    return {number(16), number(20)};
}

CommandResult runInTerminal(const std::string &folder, const std::string &launcher,
                            const std::vector<std::string> &arguments,
                            const std::vector<std::string> &environment) {
    ScratchFolder files;
    std::string script = files.path() + "/run.sh";
    std::string output = files.path() + "/output";
    std::string code = files.path() + "/code";
    std::string command = "cd " + shellQuote(folder) + " && env -u DISPLAY -u WAYLAND_DISPLAY";
    // env(1) takes its options before the assignments.
    for (const std::string &change : environment)
        if (change.rfind("-u ", 0) == 0) command += " -u " + shellQuote(change.substr(3));
    for (const std::string &change : environment) {
        std::size_t equals = change.find('=');
        if (change.rfind("-u ", 0) != 0)
            command += " " + change.substr(0, equals + 1) + shellQuote(change.substr(equals + 1));
    }
    command += " " + shellQuote(launcher);
    for (const std::string &argument : arguments) command += " " + shellQuote(argument);
    writeFile(script, command + " > " + shellQuote(output) + " 2>&1\necho $? > " + shellQuote(code) + "\n");
    // script(1) gives the launcher a pseudo-terminal as its controlling
    // terminal; timeout(1) bounds a run that would hang.
    runCommand("timeout -k 5 90 script -qec " + shellQuote("sh " + shellQuote(script)) + " /dev/null >/dev/null");
    std::string codeText = readFile(code);
    return {readFile(output), codeText.empty() ? -1 : std::atoi(codeText.c_str())};
}

std::vector<std::pair<std::string, std::string>> usageOptions(const InstalledPrefix &installed) {
    // The core data in place, so that the program gets as far as the list.
    ScratchFolder folder;
    fs::create_directory(folder.path() + "/cache");
    fs::copy_file(DATA_DIR "/sample/core.json", folder.path() + "/cache/corvanedbcore");
    CommandResult run = runInTerminal(folder.path(), installed.path("bin/" + PROGRAM), {}, {});
    std::vector<std::pair<std::string, std::string>> options;
    std::istringstream lines(run.output);
    std::string line, shortForm, word, longForm;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        if (words >> shortForm >> word >> longForm && word == "or" && shortForm[0] == '-')
            options.emplace_back(shortForm, longForm);
    }
    return options;
}
