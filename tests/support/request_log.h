// Reading the stand-in's request log.
#pragma once

#include <string>
#include <vector>

// "path?query" (or "path" when the query is empty) of each request in a
// request log of one JSON object per line, in order.
std::vector<std::string> requestsInLog(const std::string &log);
