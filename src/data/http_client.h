// The process's one HTTP client and its one operation: download an address
// into a file that the caller has opened.
#pragma once

#include <cstdio>

// Room for an escaped request address with its terminator.
constexpr std::size_t ESCAPE_BUFFER_SIZE = 2000;

// Whole-transfer time limit in seconds, redirects included. Read by
// openHttpClient; tests lower it before opening the client. The environment
// variable CORVANEDB_TIMEOUT can only shorten it.
extern long httpTimeoutSeconds;

// Creates the client handle and sets its eight options. Results are not
// examined: without a handle every fetch fails.
void openHttpClient();

// Downloads `url` (spaces escaped as "%20", nothing else) into `file`, which
// the caller opened for writing and keeps positioned, flushed and closed.
// True when the transfer completed, whatever the HTTP status; false on any
// transfer failure, and without a transfer when the escaped address does
// not fit ESCAPE_BUFFER_SIZE.
bool fetchToFile(const char *url, std::FILE *file);

// Releases the client handle.
void closeHttpClient();

// The web service's base address: CORVANEDB_URL when set, else the address
// fixed at build time. No trailing slash.
const char *serviceBaseAddress();
