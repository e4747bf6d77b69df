// The process's one HTTP client and its one operation: download an address
// into a file that the caller has opened. Each platform has its own client
// (libcurl on POSIX systems, WinHTTP on Windows) behind these functions.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>

// Room for an escaped request address with its terminator.
constexpr std::size_t ESCAPE_BUFFER_SIZE = 2000;

// Creates the client with its options: TLS checks, an automatic Referer on
// redirects, every content encoding offered and decoded, redirects followed,
// the transfer time limit and the User-Agent; and what the client library
// needs to be used beside the worker threads of fetching ahead. Results are
// not examined: without a client every fetch fails. Call it before any
// other thread uses the network.
void openHttpClient();

// Downloads `url` (spaces escaped as "%20", nothing else) into `file`, which
// the caller opened for writing and keeps positioned, flushed and closed.
// True when the transfer completed, whatever the HTTP status; false on any
// transfer failure, and without a transfer when the escaped address does
// not fit ESCAPE_BUFFER_SIZE.
bool fetchToFile(const char *url, std::FILE *file);

// Releases the client.
void closeHttpClient();

// A client of its own, for fetching ahead on another thread while the
// process's client serves the expansion: the same options, one kept
// connection, and the body kept in memory instead of a file.
struct HttpConnection;

// Creates a connection; null when no client can be had. Call after
// openHttpClient, from any thread.
HttpConnection *openHttpConnection();

// Downloads `url` (spaces escaped as "%20") into *body, replacing what it
// held. True when the transfer completed, whatever the HTTP status; false on
// any transfer failure, when the address does not fit ESCAPE_BUFFER_SIZE,
// and once another thread has set *cancel and woken the connection.
bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel);

// Makes a fetch that runs on `connection` look at its cancel flag now, from
// any thread, so that it ends without waiting for its name to be resolved
// or its answer to come.
void wakeHttpConnection(HttpConnection *connection);

// Releases a connection, without waiting for a name lookup that a cancelled
// fetch left running; harmless for null.
void closeHttpConnection(HttpConnection *connection);
