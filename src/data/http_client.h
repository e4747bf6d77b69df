// The process's one HTTP client and its one operation: download an address
// into a file that the caller has opened. Each platform has its own client
// (libcurl on POSIX systems, WinHTTP on Windows) behind these functions.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "data/service.h"

// Room for an escaped request address with its terminator.
constexpr std::size_t ESCAPE_BUFFER_SIZE = 2000;

// Creates the client with its options: TLS checks, an automatic Referer on
// redirects, every content encoding offered and decoded, redirects followed
// (at most MAX_REDIRECTS, over http and https only), the transfer time limit
// and the User-Agent; and what the client library needs to be used beside
// the worker threads of fetching ahead. Without a client every fetch fails.
// Call it before any other thread uses the network.
void openHttpClient();

// What every fetch does with an answer, on both clients:
// - Only http and https are spoken, on the first request and every
//   redirect; a redirect elsewhere, or past MAX_REDIRECTS, fails the fetch.
// - More than watch->maxBytes decoded bytes (MAX_ANSWER_BYTES without a
//   watch) fail it as soon as they arrive.
// - An answer whose final status is not 2xx completes with an empty body:
//   it holds none of the keys that the callers look for.
// - A 429 or 503 with a Retry-After that may be honoured (service.h) is
//   asked again after that wait, at most MAX_RATE_LIMIT_RETRIES times; only
//   the last answer counts, and watch->rateLimited is set.
// - A failed allocation while the body arrives is a failed fetch.

// Downloads `url` (blanks escaped, ESCAPE_BLANKS; WinHTTP's client also
// escapes the bytes ESCAPE_NON_ASCII names) into `file`, which
// the caller opened for writing and keeps positioned, flushed and closed.
// True when the transfer completed (a non-2xx answer writes nothing); false
// on any transfer failure, and without a transfer when the escaped address
// does not fit ESCAPE_BUFFER_SIZE. Bytes written before a failure stay.
bool fetchToFile(const char *url, std::FILE *file, FetchWatch *watch = nullptr);

// Releases the client.
void closeHttpClient();

// A client of its own, for fetching ahead on another thread while the
// process's client serves the expansion: the same options, one kept
// connection, and the body kept in memory instead of a file.
struct HttpConnection;

// Creates a connection; null when no client can be had. Call after
// openHttpClient, from any thread.
HttpConnection *openHttpConnection();

// Downloads `url` (escaped as for fetchToFile) into *body, replacing what it
// held; the rules are fetchToFile's. False on any transfer failure, when the
// address does not fit ESCAPE_BUFFER_SIZE, and once another thread has set
// *cancel and woken the connection.
bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel, FetchWatch *watch = nullptr);

// Makes a fetch that runs on `connection` look at its cancel flag now, from
// any thread, so that it ends without waiting for its name to be resolved,
// its answer to come or a rate limit's wait to pass.
void wakeHttpConnection(HttpConnection *connection);

// Releases a connection, without waiting for a name lookup that a cancelled
// fetch left running; harmless for null.
void closeHttpConnection(HttpConnection *connection);
