// The web service as every platform's HTTP client addresses it: its base
// address, the client's name, the transfer time limit and the escaping of
// request addresses.
#pragma once

#include <cstddef>
#include <string>

// The User-Agent header of every request.
extern const char USER_AGENT[];

// Whole-transfer time limit in seconds, redirects included. Read when the
// client opens; tests lower it before opening the client.
extern long httpTimeoutSeconds;

// The limit that a client opened now uses: httpTimeoutSeconds, or less when
// the environment variable CORVANEDB_TIMEOUT (whole seconds) asks for less.
long transferTimeLimit();

// The web service's base address: CORVANEDB_URL when set, else the address
// fixed at build time. No trailing slash. A generation takes it once, at its
// start.
std::string serviceBaseAddress();

// Copies url into buffer with every blank replaced by "%20" and nothing else
// changed. False when the result with its terminator does not fit.
bool escapeBlanks(const char *url, char *buffer, std::size_t bufferSize);
