#!/usr/bin/env python3
"""Tests for the CorvaneDB stand-in server, and for the plain layout of the sample world it serves.

What the program makes of the sample world is checked by running the program on it
(tests/shell/sample_world_test.cpp); here the world is read only as plain JSON.
"""

import gzip
import http.client
import json
import os
import re
import shutil
import signal
import socket
import sys
import tempfile
import threading
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import standin_client  # noqa: E402

SAMPLE = os.path.join(ROOT, "data", "sample")
CORE_PATH = "/db/doc/core/en/3/data.json"
START_LIMIT = 30  # seconds a stand-in may take to start on a busy machine
SEARCH_RESULT = r'\{"type":"item","id":"\d+","n":"[^"]*","l":-?\d+,"c":"[^"]*"\}'
SEARCH_SHAPE = re.compile(r'^\{"results":\[(%s(,%s)*)?\],"total":(\d+)\}$' % (SEARCH_RESULT, SEARCH_RESULT))


# ---------------------------------------------------------------- running the stand-in

class Standin(standin_client.Standin):
    """The shared stand-in client, with HTTP requests of the test's own."""

    def connect(self):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)

    def get(self, path, headers=None, conn=None):
        """(status, response, body) of one GET; a connection passed in is kept open for reuse."""
        own = conn is None
        conn = conn or self.connect()
        try:
            conn.request("GET", path, headers=headers or {})
            resp = conn.getresponse()
            return resp.status, resp, resp.read()
        finally:
            if own:
                conn.close()


def search_path(name):
    """The search request as the program sends it for these names: only blanks are escaped."""
    return "/api/search.php?text=%s&lang=en" % name.replace(" ", "%20")


def item_path(item_id):
    return "/db/doc/item/en/3/%d.json" % item_id


def timed_get(server, path):
    started = time.monotonic()
    status, _, body = server.get(path)
    return time.monotonic() - started, status, body


# ---------------------------------------------------------------- the sample world as plain JSON

def load_world(data_dir):
    world = {}
    items_dir = os.path.join(data_dir, "items")
    for entry in sorted(os.listdir(items_dir)):
        with open(os.path.join(items_dir, entry), "rb") as f:
            raw = f.read()
        world[int(entry[:-5])] = {"raw": raw, "text": raw.decode("utf-8"), "doc": json.loads(raw)}
    if not world:  # every check over the world would pass without looking at anything
        raise RuntimeError("no item documents in %s" % items_dir)
    with open(os.path.join(data_dir, "core.json"), "rb") as f:
        core_raw = f.read()
    return world, core_raw


WORLD, CORE_RAW = load_world(SAMPLE)
NAMES = {i: it["doc"]["item"]["name"] for i, it in WORLD.items()}
BY_NAME = {name: i for i, name in NAMES.items()}


def children(item_id):
    craft = WORLD[item_id]["doc"]["item"].get("craft")
    return [e["id"] for e in craft[0]["ingredients"]] if craft else []


class SampleWorldLayoutTests(unittest.TestCase):

    def test_documents_are_compact_single_line_json_named_after_their_id(self):
        for i, it in WORLD.items():
            with self.subTest(item=i):
                self.assertEqual(it["text"], json.dumps(it["doc"], separators=(",", ":"), ensure_ascii=False))
                self.assertNotIn("\n", it["text"])
                self.assertEqual((list(it["doc"])[0], list(it["doc"])[-1]), ("item", "related"))
                self.assertEqual(list(it["doc"]["item"])[:2], ["name", "id"])
                self.assertEqual(it["doc"]["item"]["id"], str(i))
                self.assertTrue(1 <= i <= 65536)

    def test_names_are_unique_and_safe_for_request_and_file_names(self):
        self.assertEqual(len(set(NAMES.values())), len(NAMES))
        for name in NAMES.values():
            with self.subTest(name=name):
                self.assertRegex(name, r"^[A-Za-z][A-Za-z -]*[a-z]$")
                self.assertLessEqual(len(name), 99)

    def test_core_data_layout(self):
        core_text = CORE_RAW.decode("utf-8")
        core = json.loads(core_text)
        cut = core_text.find('"ingredients":')
        trap = core_text.find('"7":{"name":"Not A Real Entry"')
        self.assertTrue(0 <= trap < cut, "the trap entry stands before the first ingredients key")
        self.assertNotIn('"7":{', core_text[cut:])
        self.assertNotIn(7, WORLD)
        self.assertEqual({int(k): v["name"] for k, v in core["ingredients"].items()}, NAMES)
        order = list(core["ingredients"])
        self.assertLess(order.index("12061"), order.index("2061"), "Lake Eel comes before Distilled Water")

    def test_recipes_name_existing_items_and_have_no_cycles(self):
        def visit(item_id, path):
            self.assertNotIn(item_id, path, "cycle through %s" % [NAMES[p] for p in path])
            for c in children(item_id):
                self.assertIn(c, WORLD)
                visit(c, path + [item_id])
        for i in WORLD:
            visit(i, [])

    def test_demo_list_requests_crafted_items_that_reach_every_other_item(self):
        with open(os.path.join(SAMPLE, "list.txt")) as f:
            requests = [line.rstrip("\n").rsplit(" ", 1) for line in f if line.strip()]
        reached = set()
        for name, quantity in requests:
            with self.subTest(request=name):
                self.assertIn(name, BY_NAME)
                self.assertTrue(children(BY_NAME[name]))
                self.assertGreater(int(quantity), 0)
            stack = [BY_NAME[name]]
            while stack:
                item_id = stack.pop()
                if item_id not in reached:
                    reached.add(item_id)
                    stack.extend(children(item_id))
        self.assertEqual(set(WORLD) - reached, {BY_NAME["Aetherial Bronze Ingot"]})


# ---------------------------------------------------------------- the server on the sample world

class SampleServerTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = Standin(SAMPLE)
        cls.addClassCleanup(cls.server.stop)

    def setUp(self):
        self.server.clear_rules()

    def search(self, query):
        status, _, body = self.server.get("/api/search.php?" + query)
        self.assertEqual(status, 200)
        text = body.decode("utf-8")
        self.assertRegex(text, SEARCH_SHAPE)
        return json.loads(text), text

    def test_search_finds_names_containing_the_text_by_ascending_id(self):
        cases = [  # (query, names expected in this order)
            ("text=Bronze%20Lamp&lang=en", ["Bronze Lamp", "Bronze Lamp Frame"]),
            ("text=bronze+lamp&lang=en", ["Bronze Lamp", "Bronze Lamp Frame"]),
            ("text=BRONZE%20INGOT&lang=en", ["Aetherial Bronze Ingot", "Bronze Ingot"]),
            ("text=Hemp&lang=en", ["Hemp", "Hemp Twine"]),
            ("text=ore&lang=en", ["Copper Ore", "Tin Ore", "Iron Ore"]),
            ("text=Eel&lang=en", ["Eel Oil", "Lake Eel"]),
            ("text=Tin%20Ore&lang=en", ["Tin Ore"]),
            ("lang=en&text=Shardstone", ["Shardstone"]),
        ]
        for query, names in cases:
            with self.subTest(query=query):
                answer, _ = self.search(query)
                self.assertEqual([r["n"] for r in answer["results"]], names)
                self.assertEqual(answer["total"], len(names))
                for r in answer["results"]:
                    self.assertEqual(r["n"], NAMES[int(r["id"])])
                    self.assertEqual(r["l"], WORLD[int(r["id"])]["doc"]["item"]["ilvl"])
                    self.assertEqual(r["c"], "icon/%06d" % int(r["id"]))

    def test_search_without_matches_is_an_empty_list(self):
        for query in ["text=&lang=en", "lang=en", "text=Mythril&lang=en", "", "text=%20%20&lang=en"]:
            with self.subTest(query=query):
                _, text = self.search(query)
                self.assertEqual(text, '{"results":[],"total":0}')

    def test_search_for_each_item_name_lists_the_item_first_or_after_an_aetherial_name(self):
        for i, name in NAMES.items():
            with self.subTest(name=name):
                answer, _ = self.search(search_path(name).partition("?")[2])
                ids = [int(r["id"]) for r in answer["results"]]
                self.assertIn(i, ids)
                self.assertEqual(ids, sorted(ids))
                self.assertTrue(all(name.lower() in r["n"].lower() for r in answer["results"]))
                self.assertTrue(ids[0] == i or answer["results"][0]["n"].startswith("Aetherial "))

    def test_item_documents_and_core_data_are_served_byte_for_byte(self):
        files = [(item_path(i), it["raw"]) for i, it in WORLD.items()] + [(CORE_PATH, CORE_RAW)]
        conn = self.server.connect()
        try:
            for path, raw in files:
                status, resp, body = self.server.get(path, conn=conn)
                with self.subTest(path=path):
                    self.assertEqual(status, 200)
                    self.assertEqual(body, raw)
                    self.assertEqual(int(resp.getheader("Content-Length")), len(raw))
                    self.assertEqual(resp.getheader("Content-Type"), "application/json; charset=utf-8")
        finally:
            conn.close()

    def test_unknown_requests_are_404_with_html(self):
        paths = ["/db/doc/item/en/3/9.json", "/db/doc/item/en/3/abc.json", "/db/doc/item/en/3/2011.json/x",
                 "/db/doc/item/en/2/2011.json", "/db/doc/item/en/3/../../../../core.json", "/",
                 "/api/search.php/", "/db/doc/core/en/3/data.json.bak", "/db/doc/item/en/3/2011.JSON"]
        for path in paths:
            with self.subTest(path=path):
                status, resp, body = self.server.get(path)
                self.assertEqual(status, 404)
                self.assertIn(b"<html>", body)
                self.assertTrue(resp.getheader("Content-Type").startswith("text/html"))
                self.assertEqual(int(resp.getheader("Content-Length")), len(body))

    def test_one_connection_carries_many_requests(self):
        conn = self.server.connect()
        try:
            for path in [search_path("Tin Ore"), item_path(2002), "/nothing", item_path(2002)] * 5:
                self.server.get(path, conn=conn)
                self.assertIsNotNone(conn.sock, "connection was closed after " + path)
        finally:
            conn.close()


# ---------------------------------------------------------------- fault rules

DOC_2011, DOC_2012 = WORLD[2011]["raw"], WORLD[2012]["raw"]
NON_ASCII_BODY = "{\"item\":{\"name\":\"\u00c9\",\"id\":\"0\"}}"
RULE_CASES = [  # (what, rules, [(request path, status, body, headers that must be present)])
    ("status, body and type replace the answer",
     [{"path": item_path(2011), "status": 500, "body": "<html>oops</html>", "content_type": "text/html"}],
     [(item_path(2011), 500, b"<html>oops</html>", {"Content-Type": "text/html"})]),
    ("a non-ASCII body is sent as UTF-8", [{"path": item_path(2011), "body": NON_ASCII_BODY}],
     [(item_path(2011), 200, NON_ASCII_BODY.encode("utf-8"), {"Content-Type": "application/json; charset=utf-8"})]),
    ("status and headers reshape the dataset answer",
     [{"path": item_path(2011), "status": 503, "headers": {"X-Fault": "yes"}}],
     [(item_path(2011), 503, DOC_2011, {"X-Fault": "yes"})]),
    ("a rule answers for a missing document", [{"path": item_path(9), "body": "{}"}], [(item_path(9), 200, b"{}", {})]),
    ("an empty body", [{"path": item_path(2011), "body": ""}], [(item_path(2011), 200, b"", {"Content-Length": "0"})]),
    ("the query must match as sent", [{"path": "/api/search.php", "query": "text=Tin%20Ore&lang=en", "body": "[]"}],
     [(search_path("Tin Ore"), 200, b"[]", {}),
      (search_path("Iron Ore"), 200, b'{"results":[{"type":"item","id":"65536","n":"Iron Ore","l":11,'
                                     b'"c":"icon/065536"}],"total":1}', {})]),
    ("a rule for another path changes nothing", [{"path": "/other", "body": "x"}], [(item_path(2011), 200, DOC_2011, {})]),
    ("the first matching rule wins",
     [{"path": item_path(2011), "query": "x=1", "body": "query"}, {"path": item_path(2011), "body": "first"},
      {"path": item_path(2011), "body": "second"}],
     [(item_path(2011), 200, b"first", {}), (item_path(2011) + "?x=1", 200, b"query", {})]),
    ("body_file is read beside the rules file", [{"path": CORE_PATH, "body_file": "answer.bin", "status": 404}],
     [(CORE_PATH, 404, b"\x00\x01binary\xff", {})]),
    ("redirects",
     [{"path": item_path(2011), "redirect": item_path(2012)},
      {"path": item_path(2013), "redirect": "http://127.0.0.1:1/x", "status": 301}],
     [(item_path(2011), 302, b"", {"Location": item_path(2012)}), (item_path(2012), 200, DOC_2012, {}),
      (item_path(2013), 301, b"", {"Location": "http://127.0.0.1:1/x"})]),
    ("times limits a rule", [{"path": item_path(2011), "body": "fault", "times": 2}],
     [(item_path(2011), 200, b"fault", {})] * 2 + [(item_path(2011), 200, DOC_2011, {})] * 2),
    ("times 0 never applies", [{"path": item_path(2012), "body": "x", "times": 0}], [(item_path(2012), 200, DOC_2012, {})]),
    ("an exhausted rule falls through to the next",
     [{"path": item_path(2011), "body": "once", "times": 1}, {"path": item_path(2011), "body": "after"}],
     [(item_path(2011), 200, b"once", {})] + [(item_path(2011), 200, b"after", {})] * 2),
    ("no rules file", None, [(item_path(2011), 200, DOC_2011, {})]),
    ("a rules file that is not JSON", "not json", [(item_path(2011), 200, DOC_2011, {})]),
    ("a rules file that is not a list", '{"path":"/x"}', [(item_path(2011), 200, DOC_2011, {})]),
]


class RuleTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = Standin(SAMPLE)
        cls.addClassCleanup(cls.server.stop)
        with open(os.path.join(cls.server.dir, "answer.bin"), "wb") as f:
            f.write(b"\x00\x01binary\xff")

    def setUp(self):
        self.server.clear_rules()

    def test_rules_answer_requests_in_order(self):
        for what, rules, exchanges in RULE_CASES:
            with self.subTest(what):
                self.server.set_rules(rules)
                for path, status, body, headers in exchanges:
                    got_status, resp, got_body = self.server.get(path)
                    self.assertEqual((path, got_status, got_body), (path, status, body))
                    for name, value in headers.items():
                        self.assertEqual(resp.getheader(name), value)

    def test_rewriting_the_rules_file_starts_the_counts_anew(self):
        rules = [{"path": item_path(2011), "body": "fault", "times": 1}]
        self.server.set_rules(rules)
        self.assertEqual([self.server.get(item_path(2011))[2] for _ in range(2)], [b"fault", DOC_2011])
        self.server.set_rules(rules + [{"path": item_path(2012), "body": "x", "times": 0}])
        self.assertEqual([self.server.get(item_path(2011))[2] for _ in range(2)], [b"fault", DOC_2011])

    def test_gzip_only_when_the_client_accepts_it(self):
        self.server.set_rules([{"path": item_path(2011), "gzip": True}])
        cases = [({"Accept-Encoding": "gzip"}, True), ({"Accept-Encoding": "deflate, GZIP;q=0.5"}, True),
                 ({"Accept-Encoding": "identity"}, False), ({}, False)]
        for headers, compressed in cases:
            with self.subTest(headers=headers):
                status, resp, body = self.server.get(item_path(2011), headers=headers)
                self.assertEqual(status, 200)
                self.assertEqual(resp.getheader("Content-Encoding"), "gzip" if compressed else None)
                self.assertEqual(gzip.decompress(body) if compressed else body, DOC_2011)

    def test_delay_holds_the_answer_back(self):
        self.server.set_rules([{"path": item_path(2011), "delay": 0.5}])
        elapsed, status, body = timed_get(self.server, item_path(2011))
        self.assertEqual((status, body), (200, DOC_2011))
        self.assertGreaterEqual(elapsed, 0.45)
        self.assertLess(elapsed, 20)

    def test_truncate_sends_part_of_the_body_and_closes(self):
        for rule in [{"path": item_path(2011), "truncate": 10},
                     {"path": item_path(2011), "truncate": 0, "gzip": True},
                     {"path": item_path(2011), "body": "0123456789abcdef", "truncate": 5}]:
            with self.subTest(rule=rule):
                self.server.set_rules([rule])
                conn = self.server.connect()
                try:
                    conn.request("GET", item_path(2011), headers={"Accept-Encoding": "gzip"})
                    resp = conn.getresponse()
                    declared = int(resp.getheader("Content-Length"))
                    self.assertEqual(resp.getheader("Connection"), "close")
                    with self.assertRaises(http.client.IncompleteRead) as caught:
                        resp.read()
                    self.assertEqual(len(caught.exception.partial), rule["truncate"])
                    self.assertGreater(declared, rule["truncate"])
                finally:
                    conn.close()

    def test_drop_ends_the_connection_without_an_answer(self):
        self.server.set_rules([{"path": item_path(2011), "drop": True, "times": 1}])
        conn = self.server.connect()
        try:
            conn.request("GET", item_path(2011))
            with self.assertRaises(http.client.RemoteDisconnected):
                conn.getresponse()
        finally:
            conn.close()
        # "times" used up: the next request is answered.
        self.assertEqual(timed_get(self.server, item_path(2011))[1:], (200, DOC_2011))


# ---------------------------------------------------------------- log, start-up, stop, latency

class LogAndStartupTests(unittest.TestCase):

    def setUp(self):
        self.server = Standin(SAMPLE)
        self.addCleanup(self.server.stop)

    def test_port_file_and_listening_line(self):
        with open(self.server.port_file) as f:
            content = f.read()
        self.assertRegex(content, r"^\d+\n$")
        self.assertEqual(self.server.stdout_line(), "listening on http://127.0.0.1:%d\n" % self.server.port)
        self.assertEqual([n for n in os.listdir(self.server.dir) if n.endswith(".tmp")], [])

    def test_log_lines_describe_each_request(self):
        conn = self.server.connect()
        try:
            self.server.get(search_path("Tin Ore"), headers={"X-Probe": "one", "User-Agent": "probe/1"}, conn=conn)
            self.server.get(item_path(2002), conn=conn)
        finally:
            conn.close()
        self.server.get("/missing?a=b%20c")
        lines = self.server.records()
        self.assertEqual(len(lines), 3)
        for line in lines:
            self.assertEqual(set(line), {"method", "path", "query", "headers", "conn", "inflight"})
            self.assertEqual(line["method"], "GET")
            self.assertEqual(line["inflight"], 1)  # one request after the other
            self.assertRegex(line["conn"], r"^127\.0\.0\.1:\d+$")
        self.assertEqual([(l["path"], l["query"]) for l in lines],
                         [("/api/search.php", "text=Tin%20Ore&lang=en"), (item_path(2002), ""),
                          ("/missing", "a=b%20c")])
        self.assertEqual(lines[0]["headers"]["X-Probe"], "one")
        self.assertEqual(lines[0]["headers"]["User-Agent"], "probe/1")
        self.assertEqual(lines[0]["conn"], lines[1]["conn"], "two requests on one connection")
        self.assertNotEqual(lines[1]["conn"], lines[2]["conn"], "a new connection")

    def test_rule_answered_and_delayed_requests_are_logged_too(self):
        self.server.set_rules([{"path": "/slow", "body": "x", "delay": 0.2}])
        self.server.get("/slow")
        self.assertEqual([l["path"] for l in self.server.records()], ["/slow"])

    def test_stops_cleanly_on_signals(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig), Standin(SAMPLE) as server:
                conn = server.connect()
                try:
                    server.get(item_path(2011), conn=conn)  # an open kept-alive connection must not hold it up
                    started = time.monotonic()
                    self.assertEqual(server.stop(sig), 0)
                    self.assertLess(time.monotonic() - started, 20)  # the idle connection would hold it 60 s
                finally:
                    conn.close()

    def test_fixed_port(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        with Standin(SAMPLE, ["--port", str(port)]) as server:
            self.assertEqual(server.port, port)
            self.assertEqual(server.get(item_path(2011))[2], DOC_2011)

    def test_a_failed_start_reports_the_stand_in_error_and_leaves_nothing_behind(self):
        parent = tempfile.mkdtemp(prefix="standin-parent-")
        self.addCleanup(shutil.rmtree, parent, ignore_errors=True)
        cases = [  # (data folder, extra arguments, text of the error)
            (os.path.join(parent, "no-such-folder"), [], "no dataset folder"),
            (SAMPLE, ["--latency-ms", "-5"], "--latency-ms must not be negative"),
            (SAMPLE, ["--latency-ms", "soon"], "invalid int value"),
        ]
        for data_dir, args, error in cases:
            with self.subTest(args=args, data=data_dir):
                started = time.monotonic()
                with self.assertRaises(RuntimeError) as caught:
                    Standin(data_dir, args, parent=parent)
                self.assertLess(time.monotonic() - started, START_LIMIT)
                self.assertIn(error, str(caught.exception))
                self.assertIn("exited with code 2", str(caught.exception))
                self.assertEqual(os.listdir(parent), [])


class DatasetChangeTests(unittest.TestCase):
    def test_items_added_after_start_are_searched_unless_the_data_is_static(self):
        for extra, found in (([], True), (["--static-data"], False)):
            with self.subTest(extra=extra), tempfile.TemporaryDirectory() as data:
                os.makedirs(os.path.join(data, "items"))
                write_item(data, 1, "Old Lamp")
                with Standin(data, extra) as server:
                    write_item(data, 2, "New Lamp")
                    _, body = search(server, "Lamp")
                    names = [result["n"] for result in json.loads(body)["results"]]
                    self.assertEqual(names, ["Old Lamp", "New Lamp"] if found else ["Old Lamp"])
                    # A document is still read from its file at every request.
                    self.assertEqual(server.get(item_path(2))[0], 200)


def write_item(data, item_id, name):
    with open(os.path.join(data, "items", "%d.json" % item_id), "w") as f:
        json.dump({"item": {"name": name, "id": str(item_id), "ilvl": 1}}, f, separators=(",", ":"))


def search(server, text):
    status, _, body = server.get(search_path(text))
    return status, body


class LatencyTests(unittest.TestCase):
    LATENCY = 0.3

    @classmethod
    def setUpClass(cls):
        cls.server = Standin(SAMPLE, ["--latency-ms", str(int(cls.LATENCY * 1000))])
        cls.addClassCleanup(cls.server.stop)

    def test_every_request_waits_the_latency(self):
        self.server.set_rules([{"path": "/ruled", "body": "x"}])
        for path in [item_path(2011), search_path("Tin Ore"), CORE_PATH, "/missing", "/ruled"]:
            with self.subTest(path=path):
                elapsed, status, _ = timed_get(self.server, path)
                self.assertIn(status, (200, 404))
                self.assertGreaterEqual(elapsed, self.LATENCY * 0.95)
                self.assertLess(elapsed, 20)

    def test_connections_are_served_at_once(self):
        # A latency of its own, long enough that one after another (6 x 2 s)
        # and all at once (2 s) stay far apart on however busy a machine.
        latency, clients = 2.0, 6
        barrier = threading.Barrier(clients + 1)
        results = [None] * clients
        with Standin(SAMPLE, ["--latency-ms", str(int(latency * 1000))]) as server:

            def client(index):
                conn = server.connect()
                try:
                    conn.connect()
                    barrier.wait(timeout=START_LIMIT)
                    started = time.monotonic()
                    conn.request("GET", item_path(2011))
                    resp = conn.getresponse()
                    results[index] = (resp.status, resp.read(), time.monotonic() - started)
                finally:
                    conn.close()

            threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
            for thread in threads:
                thread.start()
            barrier.wait(timeout=START_LIMIT)
            started = time.monotonic()
            for thread in threads:
                thread.join(timeout=60)
            total = time.monotonic() - started
            self.assertNotIn(None, results)
            for status, body, elapsed in results:
                self.assertEqual((status, body), (200, DOC_2011))
                self.assertGreaterEqual(elapsed, latency * 0.95)
            self.assertLess(total, clients * latency * 2 / 3)
            conns = {l["conn"] for l in server.records() if l["path"] == item_path(2011)}
            self.assertEqual(len(conns), clients)


# ---------------------------------------------------------------- a dataset of its own

class OtherDatasetTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.data = tempfile.mkdtemp(prefix="standin-data-")
        cls.addClassCleanup(shutil.rmtree, cls.data, ignore_errors=True)
        os.mkdir(os.path.join(cls.data, "items"))
        files = {
            "30.json": '{"item":{"name":"Cr\u00e8me Br\u00fbl\u00e9e","id":"30","ilvl":3},"related":[]}',
            "4.json": '{"item":{"name":"Salt + Pepper","id":"4","ilvl":1},"related":[]}',
            "12.json": '{"item":{"name":"Broken Salt", "id":"12"',  # not JSON: found by its name text
            "7.json": '{"item":{"id":"7","ilvl":1}}',  # no name: never a search result
            "notes.txt": "Salt",
        }
        for name, text in files.items():
            with open(os.path.join(cls.data, "items", name), "w", encoding="utf-8") as f:
                f.write(text)
        cls.server = Standin(cls.data)
        cls.addClassCleanup(cls.server.stop)

    def test_query_decoding_and_matching(self):
        cases = [  # (query, ids)
            ("text=cr%C3%A8me&lang=en", [30]),
            ("text=CR%C3%88ME%20BR%C3%9BL%C3%89E&lang=en", [30]),
            ("text=Salt%20%2B%20Pepper&lang=en", [4]),
            ("text=Salt+Pepper&lang=en", []),
            ("text=Salt&lang=en", [4, 12]),
            ("text=7&lang=en", []),
        ]
        for query, ids in cases:
            with self.subTest(query=query):
                status, _, body = self.server.get("/api/search.php?" + query)
                answer = json.loads(body.decode("utf-8"))
                self.assertEqual([int(r["id"]) for r in answer["results"]], ids)
                self.assertRegex(body.decode("utf-8"), SEARCH_SHAPE)

    def test_non_ascii_names_are_sent_as_utf8(self):
        _, _, body = self.server.get("/api/search.php?text=br%C3%BBl%C3%A9e")
        self.assertIn('"n":"Cr\u00e8me Br\u00fbl\u00e9e"'.encode("utf-8"), body)

    def test_missing_core_data_and_documents_are_404(self):
        for path in [CORE_PATH, item_path(5)]:
            with self.subTest(path=path):
                self.assertEqual(self.server.get(path)[0], 404)

    def test_malformed_document_is_still_served_as_stored(self):
        status, _, body = self.server.get(item_path(12))
        self.assertEqual((status, body), (200, b'{"item":{"name":"Broken Salt", "id":"12"'))


if __name__ == "__main__":
    unittest.main(verbosity=1)
