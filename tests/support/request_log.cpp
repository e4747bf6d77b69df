#include "support/request_log.h"

#include <cstdlib>

std::vector<std::string> requestsInLog(const std::string &log) {
    std::vector<std::string> found;
    std::size_t at = 0;
    while ((at = log.find("\"path\": \"", at)) != std::string::npos) {
        at += 9;
        std::string path = log.substr(at, log.find('"', at) - at);
        std::size_t queryAt = log.find("\"query\": \"", at);
        std::size_t lineEnd = log.find('\n', at);
        std::string query;
        if (queryAt != std::string::npos && queryAt < lineEnd) {
            queryAt += 10;
            query = log.substr(queryAt, log.find('"', queryAt) - queryAt);
        }
        found.push_back(query.empty() ? path : path + "?" + query);
    }
    return found;
}

std::vector<int> inFlightInLog(const std::string &log) {
    std::vector<int> found;
    const std::string key = "\"inflight\": ";
    for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
        found.push_back(std::atoi(log.c_str() + at + key.size()));
    return found;
}
