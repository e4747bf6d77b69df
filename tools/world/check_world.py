#!/usr/bin/env python3
"""Checks a generated world against the rules that the program and the stand-in rely on.

    python3 tools/world/check_world.py build/bench/world

Exits 1 and lists the broken rules, or prints a one-line summary. Checks:
- every item file is named after the item's id, 1..65536, and the first "id":" of
  the document is that id;
- names: unique ignoring case, ASCII letters, digits and blanks, beginning with a
  letter, at most 99 bytes, free of "partials", "Aetherial", "Mhigan" and crystal
  words;
- the stand-in's search for each name (every item whose name contains it, ignoring
  case, by ascending id) lists the item itself first, and its answer stays far
  below 50,000 bytes;
- every recipe ingredient exists, has an entry "<id>":{"name":"<name>" behind the
  core data's first "ingredients": key (found first by a plain search from that
  key), and recipes hold no cycle;
- list.txt names existing items, one "Name quantity" per line;
- document sizes as world.json states them: realistic documents 2,000..30,000 bytes
  with a mean of 6,000..10,000, small ones (--small-documents) 300..3,000 bytes;
- the texts by which the program finds what it reads ("job":, "equip":, "nodes":[,
  "vendors":, "ingredients", ,"yield":, "id":, "amount":, "name", "z":, partials,
  the partial heads and ,"related") stand before the related tail only where the
  document's structure puts them, so the padding changes no reading.
"""

import json
import os
import re
import sys
from collections import Counter

NAME_SHAPE = re.compile(r"^[A-Za-z][A-Za-z0-9 ]*$")
FORBIDDEN = ("partials", "aetherial", "mhigan", "crystal", "shard", "cluster")
SIZE_BOUNDS = {  # (smallest, largest, lowest mean, highest mean) in bytes
    "realistic": (2_000, 30_000, 6_000, 10_000),
    "small": (300, 3_000, 0, 3_000),
}
PARTIAL_HEADS = {kind: '{"type":"%s","id":"' % kind for kind in ("node", "mob", "fishing")}


def dumps(value):
    return json.dumps(value, separators=(",", ":"))


def layout_problems(entry, text, document):
    """Key texts before the related tail that the document's structure does not account for."""
    cut = len(dumps({k: v for k, v in document.items() if k != "related"})) - 1
    if list(document)[-1] != "related" or text.find(',"related"') != cut:
        return ["%s: the first ,\"related\" is not the related key" % entry]
    head = text[:cut]
    split = head.find("partials")
    item_part, partials_part = (head, "") if split < 0 else (head[:split], head[split:])
    item = document["item"]
    crafts = item.get("craft", [])
    entries = [e for craft in crafts for e in craft["ingredients"]]
    objects = document.get("ingredients", [])
    kinds = Counter(p["type"] for p in document.get("partials", []))
    expected = [
        (item_part, '"job":', len(crafts)), (item_part, '"equip":', int("equip" in item)),
        (item_part, '"nodes":[', int("nodes" in item)), (item_part, '"vendors":', int("vendors" in item)),
        (item_part, '"ingredients"', len(crafts) + int("ingredients" in document)),
        (item_part, ',"yield":', sum("yield" in craft for craft in crafts)),
        (item_part, '"amount":', len(entries)), (item_part, '"name"', 1 + len(objects)),
        (item_part, '"id":', 1 + len(crafts) + len(entries) + len(objects)), (item_part, '"z":', 0),
        (head, "partials", int("partials" in document)),
        (partials_part, '"z":', sum(kinds[kind] for kind in PARTIAL_HEADS)),
        (partials_part, ',"yield":', 0), (partials_part, '"ingredients"', 0),
    ] + [(head, key, kinds[kind]) for kind, key in PARTIAL_HEADS.items()]
    return ["%s: %s stands %d times before the related tail, %d expected" % (entry, key, part.count(key), count)
            for part, key, count in expected if part.count(key) != count]


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    world = argv[1]
    problems = []
    items = {}
    sizes = []
    for entry in sorted(os.listdir(os.path.join(world, "items"))):
        item_id = int(entry[:-5])
        with open(os.path.join(world, "items", entry), encoding="ascii") as f:
            text = f.read()
        document = json.loads(text)
        quoted = text.find('"id":"')
        if quoted < 0 or not text.startswith('"id":"%d"' % item_id, quoted):
            problems.append("%s: first \"id\":\" is not the item's id" % entry)
        if not 1 <= item_id <= 65536:
            problems.append("%s: id outside 1..65536" % entry)
        problems += layout_problems(entry, text, document)
        sizes.append(len(text.encode("ascii")))
        items[item_id] = document
    with open(os.path.join(world, "world.json"), encoding="ascii") as f:
        summary = json.load(f)
    kind = summary.get("item_documents", "small")
    smallest, largest, low_mean, high_mean = SIZE_BOUNDS[kind]
    mean = sum(sizes) / len(sizes)
    if min(sizes) < smallest or max(sizes) > largest or not low_mean <= mean <= high_mean:
        problems.append("%s document sizes %d..%d bytes, mean %d: want %d..%d, mean %d..%d"
                        % (kind, min(sizes), max(sizes), mean, smallest, largest, low_mean, high_mean))
    stated = (summary["item_document_bytes"], summary.get("item_document_min_bytes", min(sizes)),
              summary.get("item_document_max_bytes", max(sizes)))
    if stated != (sum(sizes), min(sizes), max(sizes)):
        problems.append("world.json states document bytes %s, the files hold %s"
                        % (stated, (sum(sizes), min(sizes), max(sizes))))
    names = {item_id: doc["item"]["name"] for item_id, doc in items.items()}
    seen = {}
    for item_id, name in names.items():
        if not NAME_SHAPE.match(name) or len(name) > 99:
            problems.append("bad name %r" % name)
        if any(word in name.lower() for word in FORBIDDEN):
            problems.append("forbidden word in %r" % name)
        if name.lower() in seen:
            problems.append("duplicate name %r" % name)
        seen[name.lower()] = item_id
    by_id = sorted(names.items())
    lowered = [(item_id, name.lower()) for item_id, name in by_id]
    longest_answer = 0
    for item_id, name in by_id:
        needle = name.lower()
        matches = [other for other, text in lowered if needle in text]
        if matches[0] != item_id:
            problems.append("search for %r lists id %d before %d" % (name, matches[0], item_id))
        longest_answer = max(longest_answer, 100 * len(matches))
    if longest_answer >= 50000:
        problems.append("a search answer may reach 50,000 bytes")

    with open(os.path.join(world, "core.json"), encoding="ascii") as f:
        core = f.read()
    key = core.find('"ingredients":')
    if key < 0:
        problems.append("core data without \"ingredients\":")
    core_map = core[key:]
    recipes = {}
    for item_id, document in items.items():
        crafts = document["item"].get("craft", [])
        recipes[item_id] = [entry["id"] for craft in crafts[:1] for entry in craft["ingredients"]]
        for ingredient in recipes[item_id]:
            if ingredient not in names:
                problems.append("item %d uses unknown id %d" % (item_id, ingredient))
    for item_id, name in names.items():
        entry = '"%d":{"name":"' % item_id
        at = core_map.find(entry)
        if at < 0 or not core_map.startswith(name + '"', at + len(entry)):
            problems.append("core data does not name id %d %r" % (item_id, name))

    state = {}

    def visit(item_id):
        state[item_id] = 1
        for ingredient in recipes.get(item_id, []):
            if state.get(ingredient) == 1:
                problems.append("recipe cycle through %d" % ingredient)
            elif ingredient not in state:
                visit(ingredient)
        state[item_id] = 2

    for item_id in names:
        if item_id not in state:
            visit(item_id)

    lines = 0
    with open(os.path.join(world, "list.txt"), encoding="ascii") as f:
        for line in f:
            name, _, quantity = line.rstrip("\n").rpartition(" ")
            lines += 1
            if name.lower() not in seen or not quantity.isdigit():
                problems.append("list line %r" % line)

    if problems:
        print("\n".join(problems[:50]))
        print("%d problems" % len(problems))
        return 1
    print("ok: %d items, %d list lines, core data %.1f MB (%.1f MB from the key), "
          "largest search answer about %d bytes, %s item documents %.1f MB, %d..%d bytes, mean %d"
          % (len(items), lines, len(core) / 1e6, len(core_map) / 1e6, longest_answer, kind,
             sum(sizes) / 1e6, min(sizes), max(sizes), mean))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
