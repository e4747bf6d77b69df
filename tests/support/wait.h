// Waiting for a condition in tests: never for a fixed time.
#pragma once

#include <chrono>
#include <functional>

// Asks `condition` every 20 ms until it holds (true) or `limit` has passed
// (false); it is asked once more at the end.
bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit);
