// The HTTP client on Windows: WinHTTP, made to behave as the libcurl client
// does. Redirects are followed here (with the Referer that WinHTTP does not
// send), gzip is offered and decoded with zlib (WinHTTP decodes only from
// Windows 8.1 on, and not under Wine; decoding here also keeps the byte count
// as it came over the wire, as libcurl has it), a body shorter than its
// Content-Length is a failure, and the whole transfer, redirects included,
// has one time limit. Only http and https are spoken (an address of any
// other scheme, first or redirected to, fails the fetch), and at most
// MAX_REDIRECTS redirects are followed.
//
// WinHTTP runs asynchronously so that a transfer can be given up at once
// when its time is over or its caller cancels it: closing a request handle
// does not interrupt a call that waits inside WinHTTP (under Wine the call
// even runs on until the server answers). Each request's state therefore
// belongs to its handle and is freed only when WinHTTP reports the handle
// closing, however long after the fetch gave it up.
#include "data/http_client.h"

#include <windows.h>
#include <winhttp.h>
#include <zlib.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/utf16_win.h"
#include "data/request_address.h"
#include "data/service.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at a cancel flag, in milliseconds.
constexpr DWORD CANCEL_POLL_MS = 50;

// Receives body bytes; false stops the transfer as failed.
using BodySink = std::function<bool(const char *data, std::size_t size)>;

// Waits `seconds` unless *cancel is set first; false then.
bool pauseUnlessCancelled(long seconds, const std::atomic<bool> *cancel) {
    Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (cancel && cancel->load()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        Sleep(left < CANCEL_POLL_MS ? static_cast<DWORD>(left) : CANCEL_POLL_MS);
    }
}

// One request's state, shared with WinHTTP's callback thread. At most one
// asynchronous call of a request runs at a time: the callback records its
// completion and sets `done`; the fetch waits for that and reads.
struct RequestState {
    HANDLE done = nullptr;      // auto-reset event
    DWORD completion = 0;       // WINHTTP_CALLBACK_STATUS_... of the completed call
    DWORD error = 0;            // the error of a failed call
    DWORD bytes = 0;            // DATA_AVAILABLE's count, READ_COMPLETE's length
    std::vector<char> buffer;   // what WinHttpReadData fills
};

void CALLBACK onRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                              DWORD length) {
    auto *state = reinterpret_cast<RequestState *>(context);
    if (!state) return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        // The last call for the handle: nothing touches the state after it.
        CloseHandle(state->done);
        delete state;
        return;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        state->bytes = *static_cast<DWORD *>(information);
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        state->bytes = length;
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        state->error = static_cast<WINHTTP_ASYNC_RESULT *>(information)->dwError;
        break;
    default:
        return;
    }
    state->completion = status;
    SetEvent(state->done);
}

// A WinHTTP session with its one kept connection.
struct Client {
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr; // to connectedHost:connectedPort
    std::wstring connectedHost;
    INTERNET_PORT connectedPort = 0;
    long timeLimitSeconds = 30;
};

bool openClient(Client *client) {
    std::wstring agent;
    utf8ToUtf16(USER_AGENT, &agent);
    client->timeLimitSeconds = transferTimeLimit();
    client->session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (!client->session) return false;
    if (WinHttpSetStatusCallback(client->session, onRequestStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        WinHttpCloseHandle(client->session);
        client->session = nullptr;
        return false;
    }
    return true;
}

void closeClient(Client *client) {
    if (client->connection) WinHttpCloseHandle(client->connection);
    if (client->session) WinHttpCloseHandle(client->session);
    *client = Client{};
}

// An address taken apart for WinHTTP.
struct Target {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object; // path and query, as they go on the wire
};

bool crackAddress(const std::string &address, Target *target) {
    std::wstring wide;
    if (!utf8ToUtf16(address, &wide) || wide.size() > UINT_MAX) return false;
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    // Flags 0: the path and query are taken as they stand, not decoded.
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0) return false;
    target->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target->host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target->port = parts.nPort;
    target->object.clear();
    if (parts.lpszUrlPath) target->object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (target->object.empty()) target->object = L"/";
    if (parts.lpszExtraInfo) target->object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    return true;
}

// The address that a Location header names, read against the address that
// answered with it.
std::string resolveLocation(const std::string &base, const std::string &location) {
    std::size_t schemeEnd = base.find("://");
    if (location.find("://") != std::string::npos || schemeEnd == std::string::npos) return location;
    if (location.rfind("//", 0) == 0) return base.substr(0, schemeEnd + 1) + location;
    std::size_t pathStart = base.find('/', schemeEnd + 3);
    std::string origin = pathStart == std::string::npos ? base : base.substr(0, pathStart);
    if (!location.empty() && location[0] == '/') return origin + location;
    std::string path = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    if (location.empty()) return origin + path;
    if (location[0] == '?') return origin + path + location;
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

bool connectTo(Client *client, const Target &target) {
    if (client->connection && client->connectedHost == target.host &&
        client->connectedPort == target.port)
        return true;
    if (client->connection) WinHttpCloseHandle(client->connection);
    client->connection = WinHttpConnect(client->session, target.host.c_str(), target.port, 0);
    client->connectedHost = target.host;
    client->connectedPort = target.port;
    return client->connection != nullptr;
}

// Decodes a gzip body as it arrives; any other body passes as it is.
class BodyDecoder {
public:
    explicit BodyDecoder(const std::string &encoding) {
        std::string name;
        for (char c : encoding)
            if (c != ' ' && c != '\t') name += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        gzip = name == "gzip" || name == "x-gzip";
    }
    ~BodyDecoder() {
        if (started) inflateEnd(&stream);
    }
    BodyDecoder(const BodyDecoder &) = delete;
    BodyDecoder &operator=(const BodyDecoder &) = delete;

    template <typename Sink> bool feed(const char *data, std::size_t size, Sink &sink) {
        if (!gzip) return size == 0 || sink(data, size);
        if (ended || size == 0) return true;
        if (!started) {
            if (inflateInit2(&stream, 15 + 16) != Z_OK) return false; // a gzip header and trailer
            started = true;
        }
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        stream.avail_in = static_cast<uInt>(size);
        while (stream.avail_in > 0 && !ended) {
            unsigned char out[16384];
            stream.next_out = out;
            stream.avail_out = sizeof out;
            int result = inflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return false;
            std::size_t produced = sizeof out - stream.avail_out;
            if (produced > 0 && !sink(reinterpret_cast<char *>(out), produced)) return false;
            if (result == Z_STREAM_END) ended = true;
            if (result == Z_BUF_ERROR && produced == 0) break;
        }
        return true;
    }

    // True when the body was whole: an encoded body must have reached its end.
    bool complete(std::uint64_t received) const { return !gzip || ended || received == 0; }

private:
    bool gzip = false;
    z_stream stream{};
    bool started = false;
    bool ended = false;
};

// One fetch: a time limit over all its requests and an optional cancel flag.
class Fetch {
public:
    Fetch(Client *client, const std::atomic<bool> *cancel, FetchWatch &watch)
        : client(client), cancel(cancel), watch(watch),
          deadline(Clock::now() + std::chrono::seconds(client->timeLimitSeconds)) {}

    AnswerHead head; // of the last answer

    bool run(const std::string &address, const BodySink &sink) {
        std::string current = escapeAddress(address, ESCAPE_NON_ASCII);
        std::string referer;
        for (int redirects = 0; redirects <= MAX_REDIRECTS; ++redirects) {
            Target target;
            if (!crackAddress(current, &target) || !connectTo(client, target)) return false;
            std::string location;
            Outcome outcome = request(target, referer, sink, &location);
            if (outcome != REDIRECTED) return outcome == COMPLETED;
            referer = current;
            // A fragment belongs to the page, not to the request.
            current = escapeAddress(resolveLocation(current, location.substr(0, location.find('#'))), ESCAPE_NON_ASCII);
        }
        return false;
    }

private:
    enum Outcome { COMPLETED, REDIRECTED, FAILED };

    bool cancelled() const { return cancel && cancel->load(); }

    // Milliseconds left of the time limit, at least 1 while any is left; 0
    // when it is over.
    DWORD millisecondsLeft() const {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;
        return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(left);
    }

    // Waits until the running call of the request completes with `expected`.
    // False when it failed, the time is over or the fetch was cancelled.
    bool await(RequestState *state, DWORD expected) const {
        for (;;) {
            DWORD left = millisecondsLeft();
            if (left == 0 || cancelled()) return false;
            DWORD slice = cancel && left > CANCEL_POLL_MS ? CANCEL_POLL_MS : left;
            DWORD waited = WaitForSingleObject(state->done, slice);
            if (waited == WAIT_OBJECT_0) return state->completion == expected;
            if (waited != WAIT_TIMEOUT) return false;
        }
    }

    // Sends one GET and writes its body; the request's handle is closed on
    // every way out (its state then goes with it).
    Outcome request(const Target &target, const std::string &referer, const BodySink &sink,
                    std::string *location) {
        if (millisecondsLeft() == 0 || cancelled()) return FAILED;
        const wchar_t *acceptTypes[] = {L"*/*", nullptr};
        HINTERNET handle = WinHttpOpenRequest(
            client->connection, L"GET", target.object.c_str(), nullptr, WINHTTP_NO_REFERER, acceptTypes,
            WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
                (target.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!handle) return FAILED;
        auto *state = new RequestState;
        state->done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state);
        if (!state->done ||
            !WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
            WinHttpCloseHandle(handle);
            if (state->done) CloseHandle(state->done);
            delete state;
            return FAILED;
        }
        Outcome outcome = exchange(handle, state, referer, sink, location);
        WinHttpCloseHandle(handle);
        return outcome;
    }

    Outcome exchange(HINTERNET handle, RequestState *state, const std::string &referer,
                     const BodySink &sink, std::string *location) {
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        // A request given up keeps running inside WinHTTP until these end it.
        int limit = static_cast<int>(millisecondsLeft());
        WinHttpSetTimeouts(handle, limit, limit, limit, limit);
        DWORD responseLimit = static_cast<DWORD>(limit);
        WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseLimit,
                         sizeof responseLimit);
        // The Referer goes as a header: not every WinHTTP sends the one
        // given to WinHttpOpenRequest.
        std::string headerText = "Accept-Encoding: gzip\r\n";
        if (!referer.empty()) headerText += "Referer: " + referer + "\r\n";
        std::wstring headers;
        utf8ToUtf16(headerText, &headers);
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state);
        if (!WinHttpSendRequest(handle, headers.c_str(),
                                static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, context) ||
            !await(state, WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE))
            return FAILED;
        if (!WinHttpReceiveResponse(handle, nullptr) ||
            !await(state, WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE))
            return FAILED;

        DWORD status = 0;
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            return FAILED;
        head = AnswerHead{};
        head.status = static_cast<long>(status);
        std::string retryAfter;
        if (queryText(handle, WINHTTP_QUERY_CUSTOM, &retryAfter, L"Retry-After"))
            head.retryAfter = retryAfterSeconds(retryAfter.data(), retryAfter.size());
        bool redirect = (status == 301 || status == 302 || status == 303 || status == 307 ||
                         status == 308) &&
                        queryText(handle, WINHTTP_QUERY_LOCATION, location) && !location->empty();
        std::string lengthText, encoding;
        bool lengthKnown = queryText(handle, WINHTTP_QUERY_CONTENT_LENGTH, &lengthText);
        queryText(handle, WINHTTP_QUERY_CONTENT_ENCODING, &encoding);
        // A redirect's own body is read and dropped, so that the connection
        // stays open for the next request; so is any answer that is not 2xx.
        // Every decoded byte counts against the limit.
        AnswerCount count;
        long keptStatus = redirect ? 0 : head.status;
        auto counted = [&](const char *data, std::size_t size) {
            try {
                switch (admitPiece(watch, keptStatus, size, &count)) {
                case PIECE_REFUSED: return false;
                case PIECE_DROPPED: return true;
                case PIECE_KEPT: break;
                }
                return sink(data, size);
            } catch (...) {
                return false;
            }
        };
        BodyDecoder decoder(redirect ? std::string() : encoding);
        std::uint64_t received = 0;
        for (;;) {
            if (!WinHttpQueryDataAvailable(handle, nullptr) ||
                !await(state, WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE))
                return FAILED;
            // Only what is there: a longer read waits for the buffer to fill.
            // At the end, one read that returns nothing gives the connection
            // back for the next request.
            DWORD available = state->bytes > 0 ? state->bytes : 1;
            try {
                state->buffer.resize(available);
            } catch (...) {
                return FAILED;
            }
            if (!WinHttpReadData(handle, state->buffer.data(), available, nullptr) ||
                !await(state, WINHTTP_CALLBACK_STATUS_READ_COMPLETE))
                return FAILED;
            if (state->bytes == 0) break;
            received += state->bytes;
            if (!decoder.feed(state->buffer.data(), state->bytes, counted))
                return FAILED;
        }
        // A body cut short ends without an error from WinHTTP: compare.
        if (lengthKnown && std::to_string(received) != lengthText) return FAILED;
        if (!decoder.complete(received)) return FAILED;
        return redirect ? REDIRECTED : COMPLETED;
    }

    static bool queryText(HINTERNET handle, DWORD query, std::string *text,
                          const wchar_t *name = WINHTTP_HEADER_NAME_BY_INDEX) {
        text->clear();
        DWORD size = 0;
        WinHttpQueryHeaders(handle, query, name, WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
        std::wstring wide(size / sizeof(wchar_t) + 1, L'\0');
        if (!WinHttpQueryHeaders(handle, query, name, wide.data(), &size, WINHTTP_NO_HEADER_INDEX))
            return false;
        wide.resize(size / sizeof(wchar_t));
        *text = utf16ToUtf8(wide);
        return true;
    }

    Client *client;
    const std::atomic<bool> *cancel;
    FetchWatch &watch;
    Clock::time_point deadline;
};

// Fetches `address` on `client`, a rate limit's waits and second asks
// included; each ask has the whole time limit.
bool fetchWithin(Client *client, const std::atomic<bool> *cancel, FetchWatch *watch, const char *address,
                 const BodySink &sink) {
    FetchWatch defaults;
    FetchWatch &rules = watch ? *watch : defaults;
    return askWithinRateLimits(
        [&](AnswerHead *head) {
            Fetch fetch(client, cancel, rules);
            bool completed = fetch.run(address, sink);
            *head = fetch.head;
            return completed;
        },
        [&](long seconds) { return pauseUnlessCancelled(seconds, cancel); }, rules);
}

Client *httpClient = nullptr;

} // namespace

void openHttpClient() {
    auto *client = new Client;
    if (!openClient(client)) {
        delete client;
        return;
    }
    httpClient = client;
}

bool fetchToFile(const char *url, std::FILE *file, FetchWatch *watch) {
    char *escaped = static_cast<char *>(std::malloc(ESCAPE_BUFFER_SIZE));
    bool completed = false;
    if (escaped && httpClient && escapeAddress(url, ESCAPE_BLANKS, escaped, ESCAPE_BUFFER_SIZE)) {
        completed = fetchWithin(httpClient, nullptr, watch, escaped, [file](const char *data, std::size_t size) {
            return std::fwrite(data, 1, size, file) == size;
        });
    }
    std::free(escaped);
    return completed;
}

void closeHttpClient() {
    if (!httpClient) return;
    closeClient(httpClient);
    delete httpClient;
    httpClient = nullptr;
}

struct HttpConnection {
    Client client;
};

HttpConnection *openHttpConnection() {
    auto *connection = new HttpConnection;
    if (!openClient(&connection->client)) {
        delete connection;
        return nullptr;
    }
    return connection;
}

bool fetchToMemory(HttpConnection *connection, const char *url, std::string *body,
                   const std::atomic<bool> *cancel, FetchWatch *watch) {
    body->clear();
    char escaped[ESCAPE_BUFFER_SIZE];
    if (!connection || !escapeAddress(url, ESCAPE_BLANKS, escaped, sizeof escaped)) return false;
    return fetchWithin(&connection->client, cancel, watch, escaped, [body](const char *data, std::size_t size) {
        body->append(data, size);
        return true;
    });
}

// A fetch looks at its cancel flag every CANCEL_POLL_MS while it waits (for
// WinHTTP or a rate limit), and a request given up is closed without waiting for WinHTTP.
void wakeHttpConnection(HttpConnection *) {}

void closeHttpConnection(HttpConnection *connection) {
    if (!connection) return;
    closeClient(&connection->client);
    delete connection;
}
