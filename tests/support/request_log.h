// Reading the stand-in's request log.
#pragma once

#include <string>
#include <vector>

// "path?query" (or "path" when the query is empty) of each request in a
// request log of one JSON object per line, in order.
std::vector<std::string> requestsInLog(const std::string &log);

// How many requests were in flight as each request of the log came in, with
// it, in order.
std::vector<int> inFlightInLog(const std::string &log);
