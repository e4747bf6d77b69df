#!/usr/bin/env python3
"""Local stand-in for the CorvaneDB item-database web service, serving a dataset folder over HTTP/1.1."""

import argparse
import gzip
import json
import os
import re
import signal
import socketserver
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs

SEARCH_PATH = "/api/search.php"
CORE_PATH = "/db/doc/core/en/3/data.json"
ITEM_PATH = re.compile(r"^/db/doc/item/en/3/(-?\d+)\.json$")
JSON_TYPE = "application/json; charset=utf-8"
HTML_TYPE = "text/html; charset=utf-8"
NOT_FOUND_BODY = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>"
NAME_IN_TEXT = re.compile(r'"name":"((?:[^"\\]|\\.)*)"')


class Answer:
    """One HTTP answer: status, body bytes and headers (Content-Length is added when sent)."""

    def __init__(self, status, body, content_type, headers=None):
        self.status = status
        self.body = body
        self.headers = {"Content-Type": content_type}
        self.headers.update(headers or {})
        self.truncate = None  # send only this many body bytes, then close
        self.pad_to = None  # blanks after the body up to this many bytes, sent piece by piece
        self.endless = False  # blanks after the body for ever, no Content-Length; ends when the client does


# ---------------------------------------------------------------- dataset

def read_item_summary(path, item_id):
    """Returns (id, name, ilvl) of one item file, or None when no name can be found in it."""
    with open(path, "rb") as f:
        text = f.read().decode("utf-8", errors="replace")
    try:
        item = json.loads(text)["item"]
        return item_id, str(item["name"]), int(item.get("ilvl", 1))
    except (ValueError, KeyError, TypeError):
        match = NAME_IN_TEXT.search(text)
        return (item_id, match.group(1), 1) if match else None


# Summaries of item files by path, kept with the file's modification time and
# size, so that a search reads only the files that changed since it last
# looked: a dataset of thousands of items is searched in milliseconds, and a
# file that a test rewrites is read again.
_summaries = {}
_summaries_lock = threading.Lock()


def scan_items(data_dir):
    """All items of the dataset as (id, name, ilvl), by ascending id, as the files stand now."""
    items_dir = os.path.join(data_dir, "items")
    found = []
    entries = list(os.scandir(items_dir)) if os.path.isdir(items_dir) else []
    for entry in entries:
        match = re.fullmatch(r"(-?\d+)\.json", entry.name)
        if not match:
            continue
        try:
            stat = entry.stat()
        except OSError:
            continue
        key = (stat.st_mtime_ns, stat.st_size)
        with _summaries_lock:
            known = _summaries.get(entry.path)
        if known is None or known[0] != key:
            known = (key, read_item_summary(entry.path, int(match.group(1))))
            with _summaries_lock:
                _summaries[entry.path] = known
        if known[1]:
            found.append(known[1])
    found.sort(key=lambda s: s[0])
    return found


# With --static-data the items are read once, at start, and searches use that
# list: a benchmark's service then answers in well under a millisecond.
_static_items = None


def freeze_items(data_dir):
    """Reads the dataset's items once; later searches do not look at the files again."""
    global _static_items
    _static_items = [(item_id, name, ilvl, name.casefold()) for item_id, name, ilvl in scan_items(data_dir)]


def search_answer(data_dir, raw_query):
    """The search result list for the `text` parameter of the query, as compact JSON bytes."""
    text = parse_qs(raw_query, keep_blank_values=True).get("text", [""])[0]
    needle = text.casefold()
    results = []
    if needle:
        items = _static_items
        if items is None:
            items = [(item_id, name, ilvl, name.casefold()) for item_id, name, ilvl in scan_items(data_dir)]
        for item_id, name, ilvl, folded in items:
            if needle in folded:
                results.append({"type": "item", "id": str(item_id), "n": name,
                                "l": ilvl, "c": "icon/%06d" % abs(item_id)})
    body = {"results": results, "total": len(results)}
    return json.dumps(body, separators=(",", ":"), ensure_ascii=False).encode("utf-8")


def file_answer(path):
    """The bytes of a dataset file as a JSON answer, or a 404 when it is missing."""
    try:
        with open(path, "rb") as f:
            return Answer(200, f.read(), JSON_TYPE)
    except OSError:
        return not_found()


def not_found():
    return Answer(404, NOT_FOUND_BODY, HTML_TYPE)


def dataset_answer(data_dir, path, raw_query):
    """What the service answers for a GET of path?query from the dataset alone."""
    if path == SEARCH_PATH:
        return Answer(200, search_answer(data_dir, raw_query), JSON_TYPE)
    if path == CORE_PATH:
        return file_answer(os.path.join(data_dir, "core.json"))
    match = ITEM_PATH.match(path)
    if match:
        return file_answer(os.path.join(data_dir, "items", match.group(1) + ".json"))
    return not_found()


# ---------------------------------------------------------------- fault rules

class RuleBook:
    """Fault-injection rules, re-read from their file on every request.

    Use counts for "times", and the addresses that a "first_of_every" rule has
    seen, are kept per rule index and start again from zero whenever the file is
    rewritten (its modification time, size or bytes change). A rule's "path" of
    "*" matches every path.
    """

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.version = None
        self.counts = {}
        self.addresses = {}

    def load(self):
        """The current rule list; an absent or unreadable file means no rules."""
        if not self.path:
            return []
        try:
            stat = os.stat(self.path)
            with open(self.path, "rb") as f:
                raw = f.read()
        except OSError:
            return []
        version = (stat.st_mtime_ns, stat.st_size, raw)
        if version != self.version:
            self.version, self.counts, self.addresses = version, {}, {}
        try:
            rules = json.loads(raw.decode("utf-8"))
        except ValueError:
            print("rules file %s is not valid JSON; ignored" % self.path, file=sys.stderr, flush=True)
            return []
        return rules if isinstance(rules, list) else []

    def pick(self, path, raw_query):
        """The first rule that applies to this request (counting its use), or None."""
        with self.lock:
            for index, rule in enumerate(self.load()):
                if not isinstance(rule, dict) or rule.get("path") not in (path, "*"):
                    continue
                if "query" in rule and rule["query"] != raw_query:
                    continue
                if "first_of_every" in rule:
                    # Only the first request of every n-th address, in the order first asked.
                    seen = self.addresses.setdefault(index, {})
                    address = path + "?" + raw_query
                    if address in seen:
                        continue
                    seen[address] = len(seen) + 1
                    if seen[address] % int(rule["first_of_every"]) != 0:
                        continue
                used = self.counts.get(index, 0)
                if "times" in rule and used >= int(rule["times"]):
                    continue
                self.counts[index] = used + 1
                return rule
        return None

    def body_file_path(self, name):
        """A rule's body_file, relative paths taken from the rules file's folder."""
        return os.path.join(os.path.dirname(os.path.abspath(self.path)), name)


def rule_answer(rule, rules, fallback, accept_encoding):
    """The answer that a rule gives; without body, body_file or redirect it reshapes `fallback`."""
    if "redirect" in rule:
        answer = Answer(int(rule.get("status", 302)), rule.get("body", "").encode("utf-8"), HTML_TYPE,
                        {"Location": rule["redirect"]})
    elif "body" in rule:
        answer = Answer(int(rule.get("status", 200)), rule["body"].encode("utf-8"), JSON_TYPE)
    elif "body_file" in rule:
        with open(rules.body_file_path(rule["body_file"]), "rb") as f:
            answer = Answer(int(rule.get("status", 200)), f.read(), JSON_TYPE)
    else:
        answer = fallback
        answer.status = int(rule.get("status", answer.status))
    if "content_type" in rule:
        answer.headers["Content-Type"] = rule["content_type"]
    answer.headers.update({str(k): str(v) for k, v in rule.get("headers", {}).items()})
    if rule.get("gzip") and "gzip" in accept_encoding.lower():
        answer.body = gzip.compress(answer.body)
        answer.headers["Content-Encoding"] = "gzip"
    if "gzip_bomb" in rule:
        # Sent whatever the client accepts: a hostile service asks no one.
        answer.body = gzip_bomb(answer.body, int(rule["gzip_bomb"]) << 20)
        answer.headers["Content-Encoding"] = "gzip"
    if "pad_to" in rule:
        answer.pad_to = int(rule["pad_to"])
    answer.endless = bool(rule.get("endless"))
    if "truncate" in rule:
        answer.truncate = max(0, int(rule["truncate"]))
    return answer


_bombs = {}
_bombs_lock = threading.Lock()


def gzip_bomb(body, decoded_size):
    """gzip bytes that decode to `body` and blanks up to `decoded_size` bytes (made once per size)."""
    key = (body, decoded_size)
    with _bombs_lock:
        if key not in _bombs:
            packer = zlib.compressobj(9, zlib.DEFLATED, 31)
            parts = [packer.compress(body)]
            piece = b" " * (1 << 20)
            left = max(0, decoded_size - len(body))
            while left > 0:
                parts.append(packer.compress(piece[:min(left, len(piece))]))
                left -= min(left, len(piece))
            parts.append(packer.flush())
            _bombs[key] = b"".join(parts)
        return _bombs[key]


# ---------------------------------------------------------------- request log

class RequestLog:
    """Appends one JSON line per request to a file, flushed at once; does nothing without a file."""

    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8") if path else None

    def write(self, record):
        if self.file is None:
            return
        line = json.dumps(record, ensure_ascii=False)
        with self.lock:
            self.file.write(line + "\n")
            self.file.flush()

    def close(self):
        if self.file is not None:
            self.file.close()


# ---------------------------------------------------------------- HTTP handling

class StandinHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "CorvaneDBStandin/1.0"
    timeout = 60  # an idle kept-alive connection is dropped after this many seconds
    wbufsize = 1 << 16  # head and body leave in one write on flush
    disable_nagle_algorithm = True

    def do_GET(self):
        self.handle_request(is_get=True)

    def do_HEAD(self):
        self.handle_request(is_get=False, send_body=False)

    def do_POST(self):
        self.handle_request(is_get=False)

    def handle_request(self, is_get, send_body=True):
        path, _, raw_query = self.path.partition("?")
        self.drain_request_body()
        self.log_request_line(path, raw_query, self.server.begin_request())
        answered = False
        try:
            answer = dataset_answer(self.server.data_dir, path, raw_query) if is_get else not_found()
            rule = self.server.rules.pick(path, raw_query)
            if rule is not None:
                time.sleep(float(rule.get("delay", 0)))
                if rule.get("drop"):
                    self.close_connection = True  # no answer at all: the connection just ends
                    return
                answer = rule_answer(rule, self.server.rules, answer, self.headers.get("Accept-Encoding", ""))
            if self.server.latency > 0:
                time.sleep(self.server.latency)  # each connection has its own thread: waits overlap
            # Answered before the answer leaves: the client cannot send its
            # next request before this one counts as done.
            answered = True
            self.server.end_request()
            self.send_answer(answer, send_body)
        finally:
            if not answered:
                self.server.end_request()

    def drain_request_body(self):
        """Reads and drops a request body so that the connection stays usable."""
        length = int(self.headers.get("Content-Length", 0) or 0)
        if length > 0:
            self.rfile.read(length)

    def log_request_line(self, path, raw_query, in_flight):
        headers = {}
        for name, value in self.headers.items():
            headers[name] = headers[name] + ", " + value if name in headers else value
        host, port = self.client_address[:2]
        self.server.request_log.write({"method": self.command, "path": path, "query": raw_query,
                                       "headers": headers, "conn": "%s:%d" % (host, port),
                                       "inflight": in_flight})

    def send_answer(self, answer, send_body=True):
        self.send_response(answer.status)
        for name, value in answer.headers.items():
            self.send_header(name, value)
        if not answer.endless:
            self.send_header("Content-Length", str(max(len(answer.body), answer.pad_to or 0)))
        if answer.truncate is not None or answer.endless:
            self.send_header("Connection", "close")
        self.end_headers()
        if send_body:
            self.wfile.write(answer.body if answer.truncate is None else answer.body[:answer.truncate])
            if answer.pad_to is not None or answer.endless:
                self.send_blanks(None if answer.endless else answer.pad_to - len(answer.body))
        self.wfile.flush()
        if answer.truncate is not None or answer.endless:
            self.close_connection = True

    def send_blanks(self, count):
        """Sends `count` blanks (None: until the client goes away) in pieces of 1 MiB."""
        piece = b" " * (1 << 20)
        try:
            while count is None or count > 0:
                size = len(piece) if count is None else min(count, len(piece))
                self.wfile.write(piece[:size])
                if count is not None:
                    count -= size
        except OSError:
            self.close_connection = True

    def log_message(self, format, *args):
        pass  # the request log file replaces the console log


class StandinServer(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64  # many clients may connect at once; a short backlog would stall them

    def __init__(self, port, data_dir, rules, request_log, latency=0.0):
        self.data_dir = data_dir
        self.rules = rules
        self.request_log = request_log
        self.latency = latency  # seconds every answer waits, as from a far-away service
        self.in_flight = 0  # requests received and not answered yet
        self.in_flight_lock = threading.Lock()
        super().__init__(("127.0.0.1", port), StandinHandler)

    def begin_request(self):
        """Counts a request in; returns how many are in flight with it."""
        with self.in_flight_lock:
            self.in_flight += 1
            return self.in_flight

    def end_request(self):
        with self.in_flight_lock:
            self.in_flight -= 1

    def server_bind(self):
        # skips the reverse name look-up of HTTPServer.server_bind
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


# ---------------------------------------------------------------- start-up

def write_port_file(path, port):
    """Writes the port as digits and a newline, replacing the file in one step."""
    temp = "%s.%d.tmp" % (path, os.getpid())
    with open(temp, "w", encoding="ascii") as f:
        f.write("%d\n" % port)
    os.replace(temp, path)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="Stand-in CorvaneDB web service on 127.0.0.1.")
    parser.add_argument("--data", required=True, help="dataset folder holding items/ and core.json")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (0 = any free port)")
    parser.add_argument("--port-file", help="file that receives the port once listening")
    parser.add_argument("--log", help="file that receives one JSON line per request")
    parser.add_argument("--rules", help="JSON file of fault rules, re-read on every request")
    parser.add_argument("--static-data", action="store_true",
                        help="read the items once at start instead of at every search (benchmarks)")
    parser.add_argument("--latency-ms", type=int, default=0,
                        help="milliseconds every request waits before its answer is sent (default 0)")
    args = parser.parse_args(argv)
    if args.latency_ms < 0:
        parser.error("--latency-ms must not be negative")
    return args


def install_stop_handlers(server):
    """SIGTERM and SIGINT stop the serving loop (shutdown runs on its own thread)."""
    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)


def main(argv=None):
    args = parse_arguments(argv)
    if not os.path.isdir(args.data):
        print("no dataset folder: %s" % args.data, file=sys.stderr)
        return 2
    if args.static_data:
        freeze_items(os.path.abspath(args.data))
    request_log = RequestLog(args.log)
    server = StandinServer(args.port, os.path.abspath(args.data), RuleBook(args.rules), request_log,
                           args.latency_ms / 1000.0)
    port = server.server_address[1]
    install_stop_handlers(server)
    if args.port_file:
        write_port_file(args.port_file, port)
    print("listening on http://127.0.0.1:%d" % port, flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    finally:
        server.server_close()
        request_log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
