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
- list.txt names existing items, one "Name quantity" per line.
"""

import json
import os
import re
import sys

NAME_SHAPE = re.compile(r"^[A-Za-z][A-Za-z0-9 ]*$")
FORBIDDEN = ("partials", "aetherial", "mhigan", "crystal", "shard", "cluster")


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    world = argv[1]
    problems = []
    items = {}
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
        items[item_id] = document
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
          "largest search answer about %d bytes" % (len(items), lines, len(core) / 1e6,
                                                    len(core_map) / 1e6, longest_answer))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
