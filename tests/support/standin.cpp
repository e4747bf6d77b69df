// Starting, stopping and reading the stand-in web service for tests.
#include "support/standin.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

Standin::Standin(const std::string &dataFolder) {
    char pattern[] = "/tmp/shopping-standin-XXXXXX";
    workFolder = mkdtemp(pattern);
    std::string portFile = workFolder + "/port";
    std::string logFile = workFolder + "/log";
    std::string rulesFile = workFolder + "/rules.json";
    child = fork();
    if (child == 0) {
        execl(PYTHON_EXECUTABLE, PYTHON_EXECUTABLE, STANDIN_SCRIPT, "--data", dataFolder.c_str(),
              "--port", "0", "--port-file", portFile.c_str(), "--log", logFile.c_str(), "--rules",
              rulesFile.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string text = readFile(portFile);
        if (!text.empty() && text.back() == '\n') {
            portNumber = std::atoi(text.c_str());
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (portNumber == 0) throw std::runtime_error("stand-in web service did not start");
    address = "http://127.0.0.1:" + std::to_string(portNumber);
    setenv("CORVANEDB_URL", address.c_str(), 1);
}

Standin::~Standin() {
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(workFolder, ignored);
}

void Standin::setRules(const std::string &rulesJson) {
    std::string temporary = workFolder + "/rules.tmp";
    writeFile(temporary, rulesJson);
    fs::rename(temporary, workFolder + "/rules.json");
}

std::string Standin::log() const { return readFile(workFolder + "/log"); }

std::vector<std::string> Standin::requests() const {
    std::vector<std::string> found;
    std::string text = log();
    std::size_t at = 0;
    while ((at = text.find("\"path\": \"", at)) != std::string::npos) {
        at += 9;
        std::string path = text.substr(at, text.find('"', at) - at);
        std::size_t queryAt = text.find("\"query\": \"", at);
        std::size_t lineEnd = text.find('\n', at);
        std::string query;
        if (queryAt != std::string::npos && queryAt < lineEnd) {
            queryAt += 10;
            query = text.substr(queryAt, text.find('"', queryAt) - queryAt);
        }
        found.push_back(query.empty() ? path : path + "?" + query);
    }
    return found;
}

void Standin::clearLog() { writeFile(workFolder + "/log", ""); }
