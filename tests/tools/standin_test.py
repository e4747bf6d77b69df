#!/usr/bin/env python3
"""Tests for the CorvaneDB stand-in server and for the sample world that it serves."""

import gzip
import http.client
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from collections import Counter

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
STANDIN = os.path.join(ROOT, "tools", "corvanedb_standin.py")
SAMPLE = os.path.join(ROOT, "data", "sample")
BEAST_TRIBE_VENDORS = ["1005554", "1005569", "1008909", "1008907", "1009205", "1016093", "1016804", "1017337"]
SEARCH_RESULT = r'\{"type":"item","id":"\d+","n":"[^"]*","l":-?\d+,"c":"[^"]*"\}'
SEARCH_SHAPE = re.compile(r'^\{"results":\[(%s(,%s)*)?\],"total":(\d+)\}$' % (SEARCH_RESULT, SEARCH_RESULT))


# ---------------------------------------------------------------- running the stand-in

class Standin:
    """One stand-in process on a free port, with its port file, log file and rules file in a temp folder."""

    def __init__(self, data_dir, extra_args=()):
        self.dir = tempfile.mkdtemp(prefix="standin-")
        self.port_file = os.path.join(self.dir, "port")
        self.log_file = os.path.join(self.dir, "requests.log")
        self.rules_file = os.path.join(self.dir, "rules.json")
        self.proc = subprocess.Popen(
            [sys.executable, STANDIN, "--data", data_dir, "--port-file", self.port_file,
             "--log", self.log_file, "--rules", self.rules_file, *extra_args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.port = self._wait_for_port()
        self.stdout_line = self.proc.stdout.readline()

    def _wait_for_port(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if os.path.exists(self.port_file):
                with open(self.port_file) as f:
                    return int(f.read())
            if self.proc.poll() is not None:
                raise RuntimeError("stand-in exited: " + self.proc.stderr.read())
            time.sleep(0.02)
        raise RuntimeError("stand-in did not write its port file")

    def connect(self):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)

    def get(self, path, headers=None, conn=None):
        """(status, headers, body) of one GET; a connection passed in is kept open for reuse."""
        own = conn is None
        conn = conn or self.connect()
        try:
            conn.request("GET", path, headers=headers or {})
            resp = conn.getresponse()
            return resp.status, resp, resp.read()
        finally:
            if own:
                conn.close()

    def set_rules(self, rules):
        with open(self.rules_file, "w") as f:
            json.dump(rules, f)

    def clear_rules(self):
        if os.path.exists(self.rules_file):
            os.remove(self.rules_file)

    def log_lines(self):
        with open(self.log_file) as f:
            return [json.loads(line) for line in f]

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            code = self.proc.wait(timeout=5)
        finally:
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
            self.proc.stdout.close()
            self.proc.stderr.close()
            shutil.rmtree(self.dir, ignore_errors=True)
        return code


def search_path(name):
    """The search request as the generator sends it: only blanks are escaped."""
    return "/api/search.php?text=%s&lang=en" % name.replace(" ", "%20")


def item_path(item_id):
    return "/db/doc/item/en/3/%d.json" % item_id


# ---------------------------------------------------------------- how the generator reads texts

def to_int(text):
    """Base-10 conversion that stops at the first non-digit; no digits give 0; clamped to 32 bits."""
    match = re.match(r"\s*([+-]?\d+)", text or "")
    return max(-2 ** 31, min(2 ** 31 - 1, int(match.group(1)))) if match else 0


def value_to(region, key, delim, start=0):
    """Text behind the first `key` at or after start, up to the first `delim`; None when either is missing."""
    k = region.find(key, start)
    if k < 0:
        return None
    end = region.find(delim, k + len(key))
    return None if end < 0 else region[k + len(key):end]


def choose_search_result(answer):
    """The item id that the generator takes from a search answer, or None when it finds none."""
    n = answer.find('"n":"')
    if n < 0:
        return None
    start = n if answer[n + 5:n + 14] == "Aetherial" else 0
    t = answer.find('{"type":"item","id":"', start)
    if t < 0:
        return None
    q = answer.find('"', t + 21)
    return None if q < 0 else to_int(answer[t + 21:q])


def document_id(text):
    """The item id as the generator finds it: the quoted form wins wherever it stands."""
    q = text.find('"id":"')
    if q >= 0 and text.find('",', q) >= 0:
        return to_int(text[q + 6:text.find('",', q)])
    u = text.find('"id":')
    if u >= 0 and text.find(",", u) >= 0:
        return to_int(text[u + 5:text.find(",", u)])
    return 0


def cut_related(text):
    cut = text.find(',"related"')
    return text if cut < 0 else text[:cut]


def core_lookup(core_text, item_id):
    core = core_text[core_text.find('"ingredients":'):]
    key = '"%d":{"name":"' % item_id
    k = core.find(key)
    if k < 0:
        return None
    end = core.find('"', k + len(key))
    return core[k + len(key):] if end < 0 else core[k + len(key):end]


def first_nonempty(region, key):
    for delim in (",", "]"):
        value = value_to(region, key, delim)
        if value:
            return value
    return ""


def zone_after(partials, marker):
    m = partials.find(marker)
    return None if m < 0 else value_to(partials, '"z":', "}", m)


def read_like_generator(text, core_text):
    """Job, yield, gear flag, source and recipe entries as the generator reads them from one document."""
    doc = cut_related(text)
    p = doc.find("partials")
    item_part, partials = (doc[:p], doc[p + 1:]) if p >= 0 else (doc, "")
    i = item_part.find('"ingredients"')
    source_text = item_part[:i] if i >= 0 else item_part
    job_text = value_to(item_part, '"job":', ",")
    equip_text = value_to(item_part, '"equip":', ",")
    y = doc.find('"ingredients"')
    view = {
        "job": 1 + to_int(job_text) if job_text is not None else 0,
        "gear": bool(equip_text) and equip_text.startswith("1"),
        "yield": 1,
    }
    if ',"yield":' in (doc[:y] if y >= 0 else doc):
        view["yield"] = to_int(value_to(doc, ',"yield":', ","))
    candidate = first_nonempty(source_text, '"nodes":[')
    if candidate and view["job"] == 0:
        zone = zone_after(partials, '{"type":"node","id":"')
        candidate = candidate if zone is None else zone
    elif not candidate and view["job"] == 0:
        candidate = zone_after(partials, '{"type":"mob","id":"') or zone_after(partials, '{"type":"fishing","id":"') or ""
    if not candidate:
        candidate = first_nonempty(source_text, '"vendors":[')
    view["source"] = to_int(candidate) if candidate else None
    j = item_part.find('"ingredients":')
    head = item_part[:j] if j >= 0 else item_part
    v = head.find('"vendors":')
    vendor_list = item_part[v:item_part.find("]", v)] if v >= 0 else None
    view["vendors"] = vendor_list
    view["entries"] = read_recipe_entries(item_part, core_text) if j >= 0 else None
    return view


def read_recipe_entries(item_part, core_text):
    """[(id, amount, name, where the name came from)] of the recipe's ingredient list."""
    k = item_part.find('"ingredients":')
    end = item_part.find("]", k)
    cursor, entries = k, []
    while True:
        b = item_part.find("{", cursor)
        if b < 0 or b >= end:
            return entries
        cursor = b + 1
        ing = to_int(value_to(item_part, '"id":', ",", cursor))
        amount = value_to(item_part, '"amount":', ",", cursor)
        amount = amount if amount is not None else value_to(item_part, '"amount":', "}", cursor)
        name, origin = None, None
        m = item_part.find('","id":%d,' % ing, cursor)
        pos = m
        while m >= 0 and pos >= 0 and item_part[pos] != "{":
            if item_part.startswith('"name"', pos):
                name, origin = item_part[pos + 8:item_part.find('"', pos + 8)], "document"
                break
            pos -= 1
        if name is None:
            name, origin = core_lookup(core_text, ing), "core"
        entries.append((ing, to_int(amount), name, origin))


# ---------------------------------------------------------------- the sample world

def load_world(data_dir):
    world = {}
    items_dir = os.path.join(data_dir, "items")
    for entry in sorted(os.listdir(items_dir)):
        with open(os.path.join(items_dir, entry), "rb") as f:
            raw = f.read()
        text = raw.decode("utf-8")
        world[int(entry[:-5])] = {"file": entry, "raw": raw, "text": text, "json": json.loads(text)["item"],
                                  "doc": json.loads(text)}
    with open(os.path.join(data_dir, "core.json"), "rb") as f:
        core_raw = f.read()
    return world, core_raw


WORLD, CORE_RAW = load_world(SAMPLE)
CORE_TEXT = CORE_RAW.decode("utf-8")
VIEWS = {i: read_like_generator(it["text"], CORE_TEXT) for i, it in WORLD.items()}
BY_NAME = {it["json"]["name"]: i for i, it in WORLD.items()}


def recipe(item_id):
    craft = WORLD[item_id]["json"].get("craft")
    return craft[0] if craft else None


def children(item_id):
    r = recipe(item_id)
    return [e["id"] for e in r["ingredients"]] if r else []


def longest_chain(item_id):
    return 1 + max((longest_chain(c) for c in children(item_id)), default=0)


def closure(item_id, seen=None):
    seen = set() if seen is None else seen
    for c in children(item_id):
        if c not in seen:
            seen.add(c)
            closure(c, seen)
    return seen


def read_list():
    requests = []
    with open(os.path.join(SAMPLE, "list.txt")) as f:
        for line in f:
            if line.strip():
                name, qty = line.rstrip("\n").rsplit(" ", 1)
                requests.append((name, int(qty)))
    return requests


# ---------------------------------------------------------------- tests: the world itself

class SampleWorldTests(unittest.TestCase):

    def test_documents_are_compact_single_line_json(self):
        for i, it in WORLD.items():
            with self.subTest(item=i):
                self.assertNotIn("\n", it["text"].rstrip("\n"))
                self.assertEqual(it["text"].rstrip("\n"),
                                 json.dumps(it["doc"], separators=(",", ":"), ensure_ascii=False))
                self.assertEqual(list(it["doc"])[0], "item")
                self.assertEqual(list(it["doc"])[-1], "related")
                self.assertEqual(list(it["json"])[:2], ["name", "id"])

    def test_first_quoted_id_is_the_items_own_id(self):
        for i, it in WORLD.items():
            with self.subTest(item=i):
                self.assertEqual(it["json"]["id"], str(i))
                self.assertTrue(1 <= i <= 65536)
                self.assertEqual(document_id(it["text"]), i)
                self.assertEqual(document_id(cut_related(it["text"])), i)
                self.assertIn('"id":"%d",' % i, it["text"])

    def test_partials_word_stands_only_as_the_partials_key(self):
        for i, it in WORLD.items():
            doc = cut_related(it["text"])
            with self.subTest(item=i):
                self.assertNotIn("partials", it["json"]["name"].lower())
                if "partials" in it["doc"]:
                    self.assertEqual(doc.find("partials"), doc.find(',"partials":[') + 2)
                    self.assertEqual(doc.count("partials"), 1)
                else:
                    self.assertNotIn("partials", doc)

    def test_generator_reading_agrees_with_document_content(self):
        for i, it in WORLD.items():
            craft, view = recipe(i), VIEWS[i]
            with self.subTest(item=it["json"]["name"]):
                self.assertEqual(view["job"], craft["job"] + 1 if craft else 0)
                self.assertEqual(view["yield"], craft.get("yield", 1) if craft else 1)
                self.assertTrue(1 <= view["yield"] <= 99)
                self.assertEqual(view["gear"], it["json"].get("equip") == 1)
                if craft is None:
                    self.assertIsNone(view["entries"])
                    continue
                self.assertEqual([(e[0], e[1]) for e in view["entries"]],
                                 [(e["id"], e["amount"]) for e in craft["ingredients"]])

    def test_every_ingredient_exists_and_its_name_agrees_everywhere(self):
        for i in WORLD:
            if recipe(i) is None:
                continue
            objects = {o["id"]: o["name"] for o in WORLD[i]["doc"].get("ingredients", [])}
            for ing, _amount, name, origin in VIEWS[i]["entries"]:
                with self.subTest(recipe=WORLD[i]["json"]["name"], ingredient=ing):
                    self.assertIn(ing, WORLD)
                    own_name = WORLD[ing]["json"]["name"]
                    self.assertEqual(name, own_name)
                    self.assertEqual(core_lookup(CORE_TEXT, ing), own_name)
                    if ing in objects:
                        self.assertEqual(objects[ing], own_name)
                    if origin == "document":
                        self.assertIn(ing, objects)

    def test_recipe_trees_have_no_cycles(self):
        def visit(item_id, path):
            self.assertNotIn(item_id, path, "cycle through %s" % [WORLD[p]["json"]["name"] for p in path])
            for c in children(item_id):
                visit(c, path + [item_id])
        for i in WORLD:
            visit(i, [])

    def test_names_are_unique_and_safe_for_request_and_file_names(self):
        names = [it["json"]["name"] for it in WORLD.values()]
        self.assertEqual(len(names), len(set(names)))
        for name in names:
            with self.subTest(name=name):
                self.assertRegex(name, r"^[A-Za-z][A-Za-z -]*[a-z]$")
                self.assertLessEqual(len(name), 99)

    def test_core_data_layout(self):
        cut = CORE_TEXT.find('"ingredients":')
        self.assertGreater(cut, 0, "core data needs content before its first ingredients key")
        before, after = CORE_TEXT[:cut], CORE_TEXT[cut:]
        prefix_only = [int(m) for m in re.findall(r'"(-?\d+)":\{"name":"', before)
                       if '"%s":{"name":"' % m not in after]
        self.assertTrue(prefix_only, "an entry must stand only before the first ingredients key")
        for item_id in prefix_only:
            self.assertIsNone(core_lookup(CORE_TEXT, item_id))
            self.assertNotIn(item_id, WORLD)
        json.loads(CORE_TEXT)

    def test_core_data_names_every_item(self):
        for i, it in WORLD.items():
            with self.subTest(item=i):
                self.assertEqual(core_lookup(CORE_TEXT, i), it["json"]["name"])

    def test_core_lookup_is_not_fooled_by_a_longer_id_listed_first(self):
        after = CORE_TEXT[CORE_TEXT.find('"ingredients":'):]
        pairs = [(i, j) for i in WORLD for j in WORLD
                 if i != j and str(j).endswith(str(i)) and after.find('"%d":' % j) < after.find('"%d":' % i)]
        self.assertTrue(pairs, "want an id whose digits end a longer id that is listed before it")

    def test_world_exercises_every_expansion_rule(self):
        crafted = [i for i in WORLD if recipe(i)]
        used_by = Counter(c for i in crafted for c in set(children(i)))
        gathered = [i for i in WORLD if VIEWS[i]["job"] == 0]

        def single_vendor(vid):
            return [i for i in crafted if VIEWS[i]["vendors"] == '"vendors":[' + vid]

        def partial_kinds(i):
            return [p["type"] for p in WORLD[i]["doc"].get("partials", [])]
        checks = [
            ("at least 40 items", len(WORLD) >= 40),
            ("several recipes yield more than 1", sum(VIEWS[i]["yield"] > 1 for i in crafted) >= 3),
            ("every job value 0..7", {recipe(i)["job"] for i in crafted} >= set(range(8))),
            ("crafted intermediates shared by several recipes",
             sum(1 for c, n in used_by.items() if n >= 2 and recipe(c)) >= 2),
            ("gathered item, no job, node partial with zone",
             any("node" in partial_kinds(i) and WORLD[i]["json"].get("nodes") for i in gathered)),
            ("gathered item with nodes but no node partial",
             any(WORLD[i]["json"].get("nodes") and "node" not in partial_kinds(i) for i in gathered)),
            ("gathered via a mob partial only",
             any(partial_kinds(i) == ["mob"] and "nodes" not in WORLD[i]["json"] for i in gathered)),
            ("gathered via a fishing partial only",
             any(partial_kinds(i) == ["fishing"] and "nodes" not in WORLD[i]["json"] for i in gathered)),
            ("empty node list followed by more fields", any('"nodes":[],' in WORLD[i]["text"] for i in WORLD)),
            ("raw material sold by merchants with ids in the millions",
             any(1000000 <= (VIEWS[i]["source"] or 0) and not recipe(i) for i in WORLD)),
            ("crafted and sold, vendor in the recipe head", any(VIEWS[i]["vendors"] for i in crafted)),
            ("vendor listed after the recipe only",
             any(VIEWS[i]["vendors"] is None and '"vendors":' in WORLD[i]["text"] for i in crafted)),
            ("three single-vendor beast-tribe items with different vendors",
             sum(1 for v in BEAST_TRIBE_VENDORS if single_vendor(v)) >= 3),
            ("beast-tribe item with two vendors",
             any(VIEWS[i]["vendors"] and VIEWS[i]["vendors"].count(",") == 1
                 and any(v in VIEWS[i]["vendors"] for v in BEAST_TRIBE_VENDORS) for i in crafted)),
            ("gear used as material, craftable and sold",
             any(VIEWS[i]["gear"] and VIEWS[i]["vendors"] and used_by[i] for i in crafted)),
            ("crystal, shard and cluster names",
             all(any(w in n and not n.startswith(w.strip()) for n in BY_NAME) for w in (" Crystal", " Shard", " Cluster"))),
            ("Mhigan crystal name", any("Mhigan" in n and " Crystal" in n for n in BY_NAME)),
            ("name that begins with Shard", any(n.startswith("Shard") for n in BY_NAME)),
            ("ingredient named only by core data",
             any(e[3] == "core" and '"id":%d,"name"' % e[0] not in WORLD[i]["text"]
                 for i in crafted for e in VIEWS[i]["entries"])),
            ("ingredient whose object begins with its id",
             any(e[3] == "core" and '{"id":%d,"name"' % e[0] in WORLD[i]["text"]
                 for i in crafted for e in VIEWS[i]["entries"])),
            ("an Aetherial name with a lower id than the name it contains",
             any(n.startswith("Aetherial ") and BY_NAME.get(n[10:], 0) > BY_NAME[n] for n in BY_NAME)),
            ("a recipe tree five items tall", max(longest_chain(i) for i in WORLD) >= 5),
            ("the highest accepted id, 65536", 65536 in WORLD),
        ]
        for label, ok in checks:
            with self.subTest(rule=label):
                self.assertTrue(ok)

    def test_sources_as_the_generator_would_record_them(self):
        expected = [  # (item, source, why)
            ("Copper Ore", 140, "no job, node partial: zone"),
            ("Tin Ore", 303, "no job, node without partial: node id"),
            ("Antelope Hide", 141, "mob partial zone"),
            ("Lake Eel", 142, "fishing partial zone"),
            ("Pine Resin", 0, "empty node list gives the text ] (mob and vendor not consulted)"),
            ("Beeswax", 1001234, "first vendor"),
            ("Maple Lumber", 1001240, "crafted: vendor, not the node partial's zone"),
            ("Feather Talisman", 1009205, "first of two vendors"),
            ("Iron Ingot", None, "vendor after the recipe: no source"),
            ("Bronze Ingot", None, "crafted, nothing sold"),
        ]
        for name, source, why in expected:
            with self.subTest(item=name, why=why):
                self.assertEqual(VIEWS[BY_NAME[name]]["source"], source)

    def test_readme_table_matches_the_documents(self):
        with open(os.path.join(SAMPLE, "README.md")) as f:
            rows = re.findall(r"^\| (\d+) \| ([^|]+) \| (\d+) \| (\d+) \| ([-\d]+) \|", f.read(), re.M)
        self.assertEqual(sorted(int(r[0]) for r in rows), sorted(WORLD))
        for item_id, name, job, yld, source in rows:
            view = VIEWS[int(item_id)]
            with self.subTest(item=name):
                self.assertEqual(WORLD[int(item_id)]["json"]["name"], name.strip())
                self.assertEqual((view["job"], view["yield"]), (int(job), int(yld)))
                self.assertEqual(view["source"], None if source == "-" else int(source))

    def test_related_part_is_ignored_by_the_reading(self):
        traps = [i for i, it in WORLD.items() if it["doc"]["related"]]
        self.assertTrue(traps)
        for i in traps:
            with self.subTest(item=i):
                self.assertIn('"ingredients":', WORLD[i]["text"])
                self.assertIsNone(VIEWS[i]["entries"])

    def test_demo_list_requests_crafted_items_that_cover_the_world(self):
        requests = read_list()
        self.assertTrue(3 <= len(requests) <= 5)
        reached = set()
        for name, qty in requests:
            with self.subTest(request=name):
                self.assertIn(name, BY_NAME)
                self.assertIsNotNone(recipe(BY_NAME[name]))
                self.assertGreater(qty, 0)
            reached |= closure(BY_NAME[name])
        must_reach = ["Bronze Ingot", "Bronze Dagger", "Maple Lumber", "Reed Whistle", "Feather Talisman",
                      "Clay Idol", "Antelope Hide", "Lake Eel", "Pine Resin", "Distilled Water", "Cotton Yarn",
                      "Shardstone", "Ala Mhigan Crystal Vase", "Iron Ore", "Iron Ingot", "Earth Cluster"]
        for name in must_reach:
            with self.subTest(reached=name):
                self.assertIn(BY_NAME[name], reached)
        self.assertGreaterEqual(max(longest_chain(BY_NAME[n]) for n, _ in requests), 5)


# ---------------------------------------------------------------- tests: the server on the sample world

class SampleServerTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = Standin(SAMPLE)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.clear_rules()

    def search(self, query):
        status, resp, body = self.server.get("/api/search.php?" + query)
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
                ids = [int(r["id"]) for r in answer["results"]]
                self.assertEqual(ids, sorted(ids))
                for r in answer["results"]:
                    self.assertEqual(r["n"], WORLD[int(r["id"])]["json"]["name"])
                    self.assertEqual(r["l"], WORLD[int(r["id"])]["json"]["ilvl"])

    def test_search_without_matches_is_an_empty_list(self):
        for query in ["text=&lang=en", "lang=en", "text=Mythril&lang=en", "", "text=%20%20&lang=en"]:
            with self.subTest(query=query):
                _, text = self.search(query)
                self.assertEqual(text, '{"results":[],"total":0}')

    def test_every_item_name_resolves_to_itself_by_the_choice_rule(self):
        conn = self.server.connect()
        aetherial_skips = 0
        try:
            for i, it in WORLD.items():
                name = it["json"]["name"]
                status, _, body = self.server.get(search_path(name), conn=conn)
                answer = body.decode("utf-8")
                with self.subTest(name=name):
                    self.assertEqual(status, 200)
                    chosen = choose_search_result(answer)
                    if name.startswith("Aetherial "):
                        self.assertNotEqual(chosen, i, "an Aetherial first name is always passed over")
                        self.assertNotIn(name, [WORLD[c]["json"]["name"] for p in WORLD for c in children(p)])
                        continue
                    self.assertEqual(chosen, i)
                    first = json.loads(answer)["results"][0]
                    if first["n"].startswith("Aetherial"):
                        aetherial_skips += 1
                        self.assertLess(int(first["id"]), i)
        finally:
            conn.close()
        self.assertGreaterEqual(aetherial_skips, 1, "the Aetherial search case is not exercised")

    def test_item_documents_are_served_byte_for_byte(self):
        conn = self.server.connect()
        try:
            for i, it in WORLD.items():
                status, resp, body = self.server.get(item_path(i), conn=conn)
                with self.subTest(item=i):
                    self.assertEqual(status, 200)
                    self.assertEqual(body, it["raw"])
                    self.assertEqual(int(resp.getheader("Content-Length")), len(it["raw"]))
        finally:
            conn.close()

    def test_core_data_is_served_byte_for_byte(self):
        status, _, body = self.server.get("/db/doc/core/en/3/data.json")
        self.assertEqual(status, 200)
        self.assertEqual(body, CORE_RAW)

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


# ---------------------------------------------------------------- tests: fault rules, log, port file

class RuleTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = Standin(SAMPLE)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.clear_rules()

    def test_rule_answers_replace_or_reshape_the_dataset(self):
        doc = WORLD[2011]["raw"]
        cases = [  # (rule, request path, status, body, headers that must be present)
            ({"path": item_path(2011), "status": 500, "body": "<html>oops</html>", "content_type": "text/html"},
             item_path(2011), 500, b"<html>oops</html>", {"Content-Type": "text/html"}),
            ({"path": item_path(2011), "body": "{\"item\":{\"name\":\"\u00c9\",\"id\":\"0\"}}"},
             item_path(2011), 200, "{\"item\":{\"name\":\"\u00c9\",\"id\":\"0\"}}".encode("utf-8"), {}),
            ({"path": item_path(2011), "status": 503, "headers": {"X-Fault": "yes"}},
             item_path(2011), 503, doc, {"X-Fault": "yes"}),
            ({"path": item_path(9), "body": "{}"}, item_path(9), 200, b"{}", {}),
            ({"path": item_path(2011), "body": ""}, item_path(2011), 200, b"", {}),
            ({"path": "/api/search.php", "query": "text=Tin%20Ore&lang=en", "body": "[]"},
             search_path("Tin Ore"), 200, b"[]", {}),
            ({"path": "/api/search.php", "query": "text=Tin%20Ore&lang=en", "body": "[]"},
             search_path("Iron Ore"), 200, b'{"results":[{"type":"item","id":"65536","n":"Iron Ore","l":11,'
                                           b'"c":"icon/065536"}],"total":1}', {}),
            ({"path": "/other", "body": "x"}, item_path(2011), 200, doc, {}),
        ]
        for rule, path, status, body, headers in cases:
            with self.subTest(rule=rule, path=path):
                self.server.set_rules([rule])
                got_status, resp, got_body = self.server.get(path)
                self.assertEqual(got_status, status)
                self.assertEqual(got_body, body)
                for name, value in headers.items():
                    self.assertEqual(resp.getheader(name), value)

    def test_first_matching_rule_wins(self):
        self.server.set_rules([{"path": item_path(2011), "query": "x=1", "body": "query"},
                               {"path": item_path(2011), "body": "first"},
                               {"path": item_path(2011), "body": "second"}])
        self.assertEqual(self.server.get(item_path(2011))[2], b"first")
        self.assertEqual(self.server.get(item_path(2011) + "?x=1")[2], b"query")

    def test_body_file_is_read_relative_to_the_rules_file(self):
        with open(os.path.join(self.server.dir, "answer.bin"), "wb") as f:
            f.write(b"\x00\x01binary\xff")
        self.server.set_rules([{"path": "/db/doc/core/en/3/data.json", "body_file": "answer.bin", "status": 404}])
        status, _, body = self.server.get("/db/doc/core/en/3/data.json")
        self.assertEqual((status, body), (404, b"\x00\x01binary\xff"))

    def test_redirect(self):
        self.server.set_rules([{"path": item_path(2011), "redirect": "/db/doc/item/en/3/2012.json"},
                               {"path": item_path(2013), "redirect": "http://127.0.0.1:1/x", "status": 301}])
        status, resp, _ = self.server.get(item_path(2011))
        self.assertEqual((status, resp.getheader("Location")), (302, "/db/doc/item/en/3/2012.json"))
        self.assertEqual(self.server.get(resp.getheader("Location"))[2], WORLD[2012]["raw"])
        status, resp, _ = self.server.get(item_path(2013))
        self.assertEqual((status, resp.getheader("Location")), (301, "http://127.0.0.1:1/x"))

    def test_gzip_only_when_the_client_accepts_it(self):
        self.server.set_rules([{"path": item_path(2011), "gzip": True}])
        cases = [({"Accept-Encoding": "gzip"}, True), ({"Accept-Encoding": "deflate, GZIP;q=0.5"}, True),
                 ({"Accept-Encoding": "identity"}, False), ({}, False)]
        for headers, compressed in cases:
            with self.subTest(headers=headers):
                status, resp, body = self.server.get(item_path(2011), headers=headers)
                self.assertEqual(status, 200)
                self.assertEqual(resp.getheader("Content-Encoding"), "gzip" if compressed else None)
                self.assertEqual(gzip.decompress(body) if compressed else body, WORLD[2011]["raw"])

    def test_delay(self):
        self.server.set_rules([{"path": item_path(2011), "delay": 0.4}])
        started = time.monotonic()
        status, _, body = self.server.get(item_path(2011))
        self.assertGreaterEqual(time.monotonic() - started, 0.4)
        self.assertEqual((status, body), (200, WORLD[2011]["raw"]))
        started = time.monotonic()
        self.server.get(item_path(2012))
        self.assertLess(time.monotonic() - started, 0.4)

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
                    with self.assertRaises(http.client.IncompleteRead) as caught:
                        resp.read()
                    self.assertEqual(len(caught.exception.partial), rule["truncate"])
                    self.assertGreater(declared, rule["truncate"])
                finally:
                    conn.close()

    def test_times_limits_a_rule_and_a_rewrite_starts_counting_anew(self):
        rules = [{"path": item_path(2011), "body": "fault", "times": 2}]
        self.server.set_rules(rules)
        bodies = [self.server.get(item_path(2011))[2] for _ in range(4)]
        self.assertEqual(bodies, [b"fault", b"fault", WORLD[2011]["raw"], WORLD[2011]["raw"]])
        time.sleep(0.01)
        self.server.set_rules(rules + [{"path": item_path(2012), "body": "x", "times": 0}])
        self.assertEqual(self.server.get(item_path(2011))[2], b"fault")
        self.assertEqual(self.server.get(item_path(2012))[2], WORLD[2012]["raw"])

    def test_exhausted_rule_falls_through_to_the_next(self):
        self.server.set_rules([{"path": item_path(2011), "body": "once", "times": 1},
                               {"path": item_path(2011), "body": "after"}])
        self.assertEqual([self.server.get(item_path(2011))[2] for _ in range(3)], [b"once", b"after", b"after"])

    def test_broken_or_missing_rules_file_means_no_rules(self):
        for content in [None, "not json", '{"path":"/x"}']:
            with self.subTest(content=content):
                self.server.clear_rules()
                if content is not None:
                    with open(self.server.rules_file, "w") as f:
                        f.write(content)
                self.assertEqual(self.server.get(item_path(2011))[2], WORLD[2011]["raw"])


class LogAndStartupTests(unittest.TestCase):

    def setUp(self):
        self.server = Standin(SAMPLE)

    def tearDown(self):
        self.server.stop()

    def test_port_file_and_listening_line(self):
        with open(self.server.port_file) as f:
            content = f.read()
        self.assertRegex(content, r"^\d+\n$")
        self.assertEqual(self.server.stdout_line, "listening on http://127.0.0.1:%d\n" % self.server.port)
        self.assertEqual([n for n in os.listdir(self.server.dir) if n.endswith(".tmp")], [])

    def test_log_lines_describe_each_request(self):
        conn = self.server.connect()
        try:
            self.server.get(search_path("Tin Ore"), headers={"X-Probe": "one", "User-Agent": "probe/1"}, conn=conn)
            self.server.get(item_path(2002), conn=conn)
        finally:
            conn.close()
        self.server.get("/missing?a=b%20c")
        lines = self.server.log_lines()
        self.assertEqual(len(lines), 3)
        for line in lines:
            self.assertEqual(set(line), {"method", "path", "query", "headers", "conn"})
            self.assertEqual(line["method"], "GET")
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
        self.assertEqual([l["path"] for l in self.server.log_lines()], ["/slow"])

    def test_stops_cleanly_on_signals(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig):
                server = Standin(SAMPLE)
                conn = server.connect()
                server.get(item_path(2011), conn=conn)  # an open kept-alive connection must not hold it up
                started = time.monotonic()
                self.assertEqual(server.stop(sig), 0)
                self.assertLess(time.monotonic() - started, 3)
                conn.close()

    def test_fixed_port(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        server = Standin(SAMPLE, ["--port", str(port)])
        try:
            self.assertEqual(server.port, port)
            self.assertEqual(server.get(item_path(2011))[2], WORLD[2011]["raw"])
        finally:
            server.stop()


class OtherDatasetTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.data = tempfile.mkdtemp(prefix="standin-data-")
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

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.data, ignore_errors=True)

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
        for path in ["/db/doc/core/en/3/data.json", item_path(5)]:
            with self.subTest(path=path):
                self.assertEqual(self.server.get(path)[0], 404)

    def test_malformed_document_is_still_served_as_stored(self):
        status, _, body = self.server.get(item_path(12))
        self.assertEqual((status, body), (200, b'{"item":{"name":"Broken Salt", "id":"12"'))


if __name__ == "__main__":
    unittest.main(verbosity=1)
