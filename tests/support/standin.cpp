// Starting, stopping and reading the stand-in web service for tests.
#include "support/standin.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "support/request_log.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

// How a child process ended, in words.
static std::string endedHow(int status) {
    if (WIFEXITED(status)) return "ended with exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

Standin::Standin(const std::string &dataFolder, int latencyMs) {
    char pattern[] = "/tmp/shopping-standin-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error(std::string("cannot make the stand-in's folder: ") + std::strerror(errno));
    workFolder = pattern;
    std::string portFile = workFolder + "/port";
    std::string logFile = workFolder + "/log";
    std::string rulesFile = workFolder + "/rules.json";
    std::string outputFile = workFolder + "/output"; // what it prints, for a failed start
    std::string latency = std::to_string(latencyMs);
    child = fork();
    if (child < 0) {
        std::string reason = std::strerror(errno);
        stop();
        throw std::runtime_error("cannot start the stand-in web service: fork: " + reason);
    }
    if (child == 0) {
        int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output >= 0) {
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
        }
        execl(PYTHON_EXECUTABLE, PYTHON_EXECUTABLE, STANDIN_SCRIPT, "--data", dataFolder.c_str(),
              "--port", "0", "--port-file", portFile.c_str(), "--log", logFile.c_str(), "--rules",
              rulesFile.c_str(), "--latency-ms", latency.c_str(), static_cast<char *>(nullptr));
        std::string failed = std::string("cannot run " PYTHON_EXECUTABLE ": ") + std::strerror(errno) + "\n";
        [[maybe_unused]] ssize_t written = write(STDERR_FILENO, failed.data(), failed.size());
        _exit(127);
    }
    // A generous limit for a busy machine; a stand-in that ends is reported at once.
    std::string failure = "did not write its port within 60 s";
    waitUntil([&] {
        std::string text = readFile(portFile);
        if (!text.empty() && text.back() == '\n') {
            portNumber = std::atoi(text.c_str());
            return true;
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) != child) return false;
        child = -1;
        failure = endedHow(status) + " before it listened";
        return true;
    }, std::chrono::seconds(60));
    if (portNumber <= 0) {
        std::string message = "stand-in web service over " + dataFolder + " " + failure +
                              "; its output:\n" + readFile(outputFile);
        stop();
        throw std::runtime_error(message);
    }
    address = "http://127.0.0.1:" + std::to_string(portNumber);
    setenv("CORVANEDB_URL", address.c_str(), 1);
}

Standin::~Standin() { stop(); }

void Standin::stop() {
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        child = -1;
    }
    std::error_code ignored;
    if (!workFolder.empty()) fs::remove_all(workFolder, ignored);
}
void Standin::setRules(const std::string &rulesJson) {
    std::string temporary = workFolder + "/rules.tmp";
    writeFile(temporary, rulesJson);
    fs::rename(temporary, workFolder + "/rules.json");
}

std::string Standin::log() const { return readFile(workFolder + "/log"); }

std::vector<std::string> Standin::requests() const { return requestsInLog(log()); }

int Standin::mostInFlight() const {
    std::vector<int> inFlight = inFlightInLog(log());
    return inFlight.empty() ? 0 : *std::max_element(inFlight.begin(), inFlight.end());
}

void Standin::clearLog() { writeFile(workFolder + "/log", ""); }
