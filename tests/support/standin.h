// The stand-in web service as a child process on a free 127.0.0.1 port,
// with its request log and fault rules.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class Standin {
public:
    // Starts the service over `dataFolder` and waits until it accepts
    // connections; every answer waits `latencyMs` first. Sets CORVANEDB_URL
    // to its address. Throws, with what the service printed, when it ends or
    // does not listen in time; nothing is left behind then.
    explicit Standin(const std::string &dataFolder, int latencyMs = 0);
    // Stops the service and removes its files.
    ~Standin();
    Standin(const Standin &) = delete;
    Standin &operator=(const Standin &) = delete;

    const std::string &baseAddress() const { return address; }
    int port() const { return portNumber; }

    // Replaces the fault rules (a JSON list).
    void setRules(const std::string &rulesJson);

    // The request log, one JSON object per line.
    std::string log() const;
    // "path?query" of each request, in order.
    std::vector<std::string> requests() const;
    // The most requests that were in flight at once (received, not yet
    // answered), as logged.
    int mostInFlight() const;
    // Forgets the requests logged so far.
    void clearLog();

private:
    void stop();

    pid_t child = -1;
    int portNumber = 0;
    std::string address;
    std::string workFolder;
};
