#!/usr/bin/env python3
"""Generates a large synthetic item world for the CorvaneDB stand-in.

    python3 tools/world/generate_world.py --out build/world [--preset wide] [--small-documents]

writes
    OUT/items/<id>.json   one item document per item, compact JSON on one line
    OUT/core.json         the core data document (item names by id, plus bulk)
    OUT/list.txt          a request list, one "Name quantity" per line
    OUT/world.json        counts and the figures that a simulated run of the list gives

The world is fixed by SEED: the same command always writes the same bytes.
Python 3 standard library only.

Presets (PRESETS: sizes and recipe shape; everything else below holds for both)
- default: 3,784 items, 114 lines, 950 materials, 6,682 expansion calls.
- wide: a big real list: 3,178 items, 158 lines (most of them on levels 6..8), 927
  materials, trees 8 deep that share their intermediates (one is used by 103 of the
  list's recipes), recipes with two or three crafted entries of lower levels and two
  or three gathered ones, mostly yielding 1, so that 22,495 expansion calls are made:
  an ingredient is expanded again at every growth of its amount. world.json adds
  "preset" and figures of the reuse. It must reach the figures of its `least`
  (checked when generating).

Shape of the world
- Items sit on levels. Level 0 holds gathered or bought materials (nodes with node
  partials, nodes without partials, mobs, fishing places, merchants); an item on
  level k >= 1 is crafted from one ingredient of level k - 1 and further
  ingredients of lower levels, so recipe trees are at most 8 levels deep and
  hold no cycles. Ingredients are drawn with a skew, so a few intermediates are
  used by many recipes.
- The "reached" part of the world is what list.txt needs: its recipes use only
  reached items, and every reached material is an ingredient of some reached
  recipe, so the distinct materials of the list are exactly the reached
  materials (kept between 900 and 1000; the program's table holds 1000 rows).
  The rest of the world may use reached items as ingredients, which the list
  never follows.
- Most recipe ingredients have no ingredient object in the item document, so
  their names must come from the core data; a few have one (and a few have one
  that begins with the id, which the program does not take as a name).
- Names are unique (also ignoring case), made of ASCII letters, digits and
  blanks, and begin with a letter. When one name contains another, ignoring
  case, the containing item has the higher id, so the stand-in's search (every
  item whose name contains the text, by ascending id) lists the item itself
  first. No name contains "partials", "Aetherial", "Mhigan" or a crystal word.
- Item documents have realistic sizes, 2 to 30 KB (about 8 KB on average): a lore
  text, an attribute list and flags in the item, extra partials of types that are
  never searched, and a long "related" tail (items, recipes with their job, yield
  and ingredients, quests). None of it changes what the program reads: the padding
  before the tail holds none of the key texts it searches, and it cuts the tail off.
  --small-documents leaves the padding out and writes the 0.4..2.6 KB documents of
  the earlier figures, byte for byte; everything else is the same either way.
- The core data is large: bulk before its "ingredients": key (jobs, zones,
  gathering nodes, notes that name real ids with wrong names), one entry per
  item behind the key, shuffled among many filler entries, and more bulk after
  the map.
"""

import argparse
import bisect
import heapq
import json
import math
import os
import random
import shutil
import sys
import time

SEED = 20250607

# ---------------------------------------------------------------- sizes

class Shape:
    """Sizes and recipe shape of one preset of the world."""

    def __init__(self, name, reached_raw, reached_crafted, list_levels, other_raw, other_crafted,
                 lower_counts, raw_counts, yield_one, yield_small, skew, raw_skew, least=None):
        self.name = name
        self.reached_raw = reached_raw          # level-0 materials of the list
        self.reached_crafted = reached_crafted  # reached materials on levels 1..7
        self.list_levels = list_levels          # requested items per level (2..8)
        self.other_raw = other_raw              # level-0 items that the list does not reach
        self.other_crafted = other_crafted      # unreached crafted items, levels 1..8
        self.lower_counts = lower_counts        # a recipe's entries of levels 1..level-2, drawn from
        self.raw_counts = raw_counts            # a recipe's level-0 entries, drawn from
        self.yield_one = yield_one              # share of recipes that yield 1
        self.yield_small = yield_small          # share that yield 1..6 (the rest 10..99)
        self.skew = skew                        # how strongly the first crafted candidates are favoured
        self.raw_skew = raw_skew                # the same for level-0 candidates
        self.least = least or {}                # figures of world.json that must reach these values


PRESETS = {
    # 114 lines, 950 materials, 6,682 expansion calls: the world of the warm-run figures.
    "default": Shape("default", 300, [0, 190, 150, 115, 85, 55, 35, 20], [0, 0, 4, 6, 10, 16, 22, 26, 30],
                     700, [0, 500, 400, 300, 250, 200, 160, 120, 90],
                     [0, 1, 2, 2], [1, 1, 2, 2, 3], 0.7, 0.9, 1.1, 1.4),
    # A big real list: many requested items, most of them deep, whose trees share their
    # intermediates; recipes with two or three crafted entries of lower levels and two or
    # three gathered ones, mostly yielding 1, so that an ingredient is expanded again at
    # every growth of its amount. The wider recipes (more entries per document) keep more
    # names waiting to be fetched at once.
    # 3,178 items, 158 lines, 927 materials, 22,495 expansion calls.
    "wide": Shape("wide", 287, [0, 170, 140, 110, 85, 60, 45, 30], [0, 0, 4, 8, 14, 20, 30, 38, 44],
                  493, [0, 400, 340, 270, 200, 160, 120, 80, 30],
                  [2, 2, 3, 3], [2, 2, 3, 3], 0.85, 0.97, 1.1, 1.4,
                  least={"items": 3000, "list_lines": 150, "list_max_depth": 8,
                         "list_expansion_calls": 20000}),
}
CORE_MAP_BYTES = 10_600_000        # the "ingredients" map of the core data, at least this big
MAX_ITEM_ID = 65536

FORBIDDEN_TEXTS = ("partials", "aetherial", "mhigan", "crystal", "shard", "cluster")

# ---------------------------------------------------------------- words

METALS = ["Copper", "Tin", "Iron", "Steel", "Mythril", "Cobalt", "Silver", "Gold", "Electrum",
          "Platinum", "Bronze", "Brass", "Titanium", "Adamant", "Orichalcum", "Pewter", "Zinc",
          "Nickel", "Wolfram", "Palladium", "Bismuth", "Molybdenum", "Chromite", "Lodestone"]
WOODS = ["Oak", "Maple", "Walnut", "Yew", "Rosewood", "Spruce", "Birch", "Cedar", "Elm", "Larch",
         "Mahogany", "Ebony", "Teak", "Willow", "Alder", "Hornbeam", "Beech", "Cypress", "Juniper",
         "Sycamore", "Hickory", "Chestnut", "Redwood", "Poplar"]
FIBERS = ["Cotton", "Linen", "Wool", "Silk", "Hemp", "Jute", "Ramie", "Flax", "Velvet", "Felt",
          "Sisal", "Kapok", "Nettle", "Rainbow", "Moth", "Spider", "Camlet", "Muslin", "Chiffon",
          "Damask"]
BEASTS = ["Boar", "Aldgoat", "Raptor", "Dodo", "Hippogryph", "Wyvern", "Basilisk", "Antelope",
          "Buffalo", "Bear", "Wolf", "Dhalmel", "Gagana", "Karakul", "Marid", "Ophiotauros",
          "Saiga", "Yak", "Gazelle", "Kumbhira", "Zonure", "Griffin", "Bison", "Serpent"]
STONES = ["Marble", "Granite", "Obsidian", "Jade", "Amber", "Coral", "Pearl", "Onyx", "Garnet",
          "Topaz", "Ruby", "Sapphire", "Emerald", "Amethyst", "Peridot", "Opal", "Zircon",
          "Spinel", "Malachite", "Lapis", "Turquoise", "Agate", "Jasper", "Basalt"]
PLANTS = ["Sage", "Mint", "Thyme", "Chamomile", "Lavender", "Nutmeg", "Clove", "Ginger",
          "Saffron", "Paprika", "Cinnamon", "Vanilla", "Pepper", "Garlic", "Onion", "Fennel",
          "Anise", "Mustard", "Sesame", "Almond", "Olive", "Lemon", "Apricot", "Plum"]
FISH = ["Carp", "Trout", "Salmon", "Pike", "Perch", "Eel", "Catfish", "Bream", "Tuna", "Cod",
        "Herring", "Sardine", "Flounder", "Sturgeon", "Loach", "Goby", "Char", "Tilapia"]

RAW_KINDS = [
    (METALS, ["Ore", "Nugget", "Sand", "Dust"], "node"),
    (WOODS, ["Log", "Branch", "Sap", "Bark"], "node"),
    (FIBERS, ["Boll", "Fleece", "Cocoon", "Stalk"], "nodeplain"),
    (BEASTS, ["Hide", "Horn", "Sinew", "Fang", "Bone", "Skin"], "mob"),
    (STONES, ["Rough", "Chunk", "Geode", "Fragment"], "node"),
    (PLANTS, ["Leaf", "Seeds", "Root", "Blossom"], "vendor"),
    (FISH, ["Fillet", "Roe", "Scales", "Oil"], "fishing"),
]

INTERMEDIATES = [
    (METALS, ["Ingot", "Plate", "Rivets", "Nails", "Wire", "Chain", "Rings", "Bolts", "Sheet",
              "Rod", "Filings", "Alloy", "Foil", "Hinge", "Spring", "Gear"]),
    (WOODS, ["Lumber", "Plank", "Board", "Dowel", "Shaft", "Veneer", "Panel", "Beam", "Pole",
             "Crate", "Frame", "Handle", "Spindle", "Slat"]),
    (FIBERS, ["Yarn", "Thread", "Cloth", "Twine", "Rope", "Bolt of Cloth", "Ribbon", "Lace",
              "Braid", "Batting", "Cord", "Canvas"]),
    (BEASTS, ["Leather", "Strap", "Glue", "Tallow", "Buckle", "Lacing", "Parchment", "Cord of Sinew",
              "Bone Needle", "Padding"]),
    (STONES, ["Polish", "Cabochon", "Inlay", "Bead", "Powder", "Whetstone", "Tile", "Brick",
              "Mortar", "Setting"]),
    (PLANTS, ["Oil", "Tincture", "Paste", "Extract", "Syrup", "Sachet", "Dye", "Ink", "Salve",
              "Resin", "Essence", "Infusion"]),
    (FISH, ["Stock", "Paste", "Glue", "Meal", "Brine", "Sauce", "Jerky"]),
]
QUALIFIERS = ["Fine", "Hardened", "Tempered", "Polished", "Ornate", "Sturdy", "Heavy", "Light",
              "Gilded", "Carved", "Woven", "Refined", "Rugged", "Aged", "Cured", "Blessed", "Dark",
              "Pale", "Bright", "Grand", "Noble", "Royal", "Rustic", "Humble", "Twin", "Double",
              "Deep", "High", "Mountain", "River", "Desert", "Forest", "Coastal", "Northern",
              "Southern", "Eastern", "Western", "Old", "New", "Ancient"]
FINISHED = ["Lamp", "Lantern", "Goblet", "Bowl", "Chair", "Table", "Cabinet", "Chest", "Dagger",
            "Sword", "Axe", "Hammer", "Saw", "Spear", "Bow", "Shield", "Helm", "Gauntlets",
            "Boots", "Gloves", "Hat", "Coat", "Robe", "Belt", "Satchel", "Necklace", "Earrings",
            "Bracelet", "Ring", "Circlet", "Staff", "Wand", "Cane", "Harp", "Lute", "Drum",
            "Clock", "Compass", "Telescope", "Globe", "Vase", "Statue", "Fountain", "Brazier",
            "Candelabra", "Chandelier", "Mirror", "Screen", "Rug", "Tapestry", "Bed", "Bench",
            "Desk", "Shelf", "Wardrobe", "Stove", "Anvil", "Loom", "Spinning Wheel", "Cart",
            "Canoe", "Totem", "Idol", "Talisman", "Charm", "Censer", "Reliquary", "Orrery",
            "Sextant", "Astrolabe", "Music Box", "Pipe", "Flute", "Whistle", "Mask", "Crown"]
NODE_NAMES = ["Mineral Deposit", "Rocky Outcrop", "Mature Tree", "Lush Vegetation",
              "Ancient Grove", "Deep Vein", "Herb Patch", "Fallen Log", "Quarry Face"]
MOB_NAMES = ["Ridge", "Forest", "Marsh", "Cave", "Dune", "Cliff", "Glade", "Tundra"]
# Invented, each as long as the name it replaced, so that every document and the core data
# keep their sizes (and the padding its draws) and the world's figures stay as measured.
REGIONS = ["Vel Marra", "The Ashen Tangle", "Quorrith", "Halvoren", "Oss Kelda", "Tarnvelde",
           "Wendhaar", "Ruun Selva", "Ombrel", "Fenmarrow", "Drossavy", "Carnowick"]
FILLER_WORDS = ["Weathered", "Tarnished", "Glimmering", "Enchanted", "Simple", "Worn", "Pristine",
                "Ceremonial", "Traveling", "Festive", "Mended", "Gleaming", "Faded", "Seasoned",
                "Vintage", "Lucky", "Cursed", "Hallowed", "Storm", "Frost", "Ember", "Tidal"]
PROSE = ("A material prized by artisans across the realm. Traders carry it along the old roads "
         "and guilds keep careful records of every shipment that passes through the city gates. "
         "Handle with care and store in a dry place away from open flame.").split()

JOBS = ["Carpenter", "Blacksmith", "Armorer", "Goldsmith", "Leatherworker", "Weaver",
        "Alchemist", "Culinarian"]
BEAST_TRIBE_VENDORS = [1005554, 1005569, 1008909, 1008907, 1009205, 1016093, 1016804, 1017337]


# ---------------------------------------------------------------- items

class Item:
    __slots__ = ("key", "name", "level", "reached", "listed", "kind", "job", "yield_", "equip",
                 "vendors", "nodes", "partials", "recipe", "objects", "ilvl", "id", "used")

    def __init__(self, key, name, level, reached):
        self.key = key            # index before ids are assigned
        self.name = name
        self.level = level
        self.reached = reached    # part of what list.txt needs (as a material or a request)
        self.listed = False       # requested in list.txt
        self.kind = None          # level 0: node, nodeplain, mob, fishing, vendor, empty-node
        self.job = None           # crafted: 0..7
        self.yield_ = 1
        self.equip = None         # None (no key), 0 or 1
        self.vendors = []
        self.nodes = []
        self.partials = []        # node/mob/fishing partials of a level-0 item: (type, id, name, z)
        self.recipe = []          # [(Item, amount)]
        self.objects = {}         # ingredient key -> "name-first" or "id-first"
        self.ilvl = 1
        self.id = None
        self.used = 0             # how many reached recipes use it


def forbidden(name):
    lower = name.lower()
    return any(text in lower for text in FORBIDDEN_TEXTS)


class NamePool:
    """Unique names (ignoring case) that pass the word rules."""

    def __init__(self, rng):
        self.rng = rng
        self.taken = set()

    def take(self, make):
        for _ in range(10000):
            name = make()
            lower = name.lower()
            if lower in self.taken or forbidden(name) or len(name) > 60:
                continue
            self.taken.add(lower)
            return name
        raise RuntimeError("name pool exhausted")


def raw_name(rng):
    words, suffixes, _ = rng.choice(RAW_KINDS)
    name = "%s %s" % (rng.choice(words), rng.choice(suffixes))
    if rng.random() < 0.35:
        name = "%s %s" % (rng.choice(QUALIFIERS), name)
    return name


def intermediate_name(rng, level):
    words, objects = rng.choice(INTERMEDIATES)
    name = "%s %s" % (rng.choice(words), rng.choice(objects))
    if level >= 3 or rng.random() < 0.3:
        name = "%s %s" % (rng.choice(QUALIFIERS), name)
    if rng.random() < 0.04:
        name = "Grade %d %s" % (rng.randint(1, 9), name)
    return name


def finished_name(rng):
    words = rng.choice([METALS, WOODS, FIBERS, BEASTS, STONES])
    name = "%s %s %s" % (rng.choice(QUALIFIERS), rng.choice(words), rng.choice(FINISHED))
    if rng.random() < 0.05:
        name = "%s Mk %d" % (name, rng.randint(2, 9))
    return name


def skewed_pick(rng, candidates, exponent):
    """One candidate, the first ones of the list far more likely than the last."""
    n = len(candidates)
    index = int(n * rng.random() ** (1.0 + exponent * 2.0))
    return candidates[min(index, n - 1)]


def make_raw(item, rng):
    kind = rng.choices(["node", "nodeplain", "mob", "fishing", "vendor", "empty-node"],
                       weights=[40, 12, 18, 8, 20, 2])[0]
    item.kind = kind
    item.ilvl = rng.randint(1, 90)
    if kind in ("node", "nodeplain"):
        item.nodes = sorted(rng.sample(range(301, 4000), rng.randint(1, 3)))
        if kind == "node":
            for node in item.nodes:
                item.partials.append(("node", node, rng.choice(NODE_NAMES), rng.randint(100, 999)))
    elif kind == "mob":
        for _ in range(rng.randint(1, 2)):
            item.partials.append(("mob", rng.randint(7000, 9999),
                                  "%s %s" % (rng.choice(MOB_NAMES), rng.choice(BEASTS)),
                                  rng.randint(100, 999)))
    elif kind == "fishing":
        item.partials.append(("fishing", rng.randint(8000, 8999),
                              "%s Shallows" % rng.choice(REGIONS), rng.randint(100, 999)))
    elif kind == "vendor":
        item.vendors = sorted(rng.sample(range(1001000, 1004999), rng.randint(1, 3)))
    else:  # an empty node list before a vendor list: no source at all
        item.vendors = [rng.randint(1001000, 1004999)]
    if kind != "vendor" and rng.random() < 0.1:
        item.vendors = [rng.randint(1001000, 1004999)]


def make_crafted(item, rng, shape):
    item.job = rng.randrange(len(JOBS))
    item.ilvl = min(90, 5 + item.level * 10 + rng.randint(0, 9))
    roll = rng.random()
    if roll < shape.yield_one:
        item.yield_ = 1
    elif roll < shape.yield_small:
        item.yield_ = rng.choice([2, 3, 4, 5, 6])
    else:
        item.yield_ = rng.choice([10, 12, 20, 25, 40, 50, 99])
    roll = rng.random()
    item.equip = None if roll < 0.6 else (0 if roll < 0.92 else 1)
    if rng.random() < 0.12:
        item.vendors = sorted(rng.sample(range(1001000, 1004999), rng.randint(1, 2)))
    elif rng.random() < 0.03:
        item.vendors = [rng.choice(BEAST_TRIBE_VENDORS)]


def choose_recipe(item, rng, shape, by_level, amount_cap, prefer_unused=True):
    """Ingredients of a crafted item: one of the level below, a few of lower levels, raw ones."""
    chosen = []
    picked = set()

    def add(candidate, amount):
        if candidate.key not in picked:
            picked.add(candidate.key)
            chosen.append((candidate, amount))

    below = by_level[item.level - 1]
    # Prefer a level-below material that no recipe uses yet, so that every
    # reached material ends up used by some reached recipe.
    unused = [c for c in below if c.used == 0]
    add(unused[0] if unused and prefer_unused else skewed_pick(rng, below, shape.skew),
        rng.randint(1, amount_cap))
    for _ in range(rng.choice(shape.lower_counts)):
        if item.level >= 3:
            level = rng.randint(1, item.level - 2)
            add(skewed_pick(rng, by_level[level], shape.skew), rng.randint(1, amount_cap))
    for _ in range(rng.choice(shape.raw_counts)):
        add(skewed_pick(rng, by_level[0], shape.raw_skew), rng.randint(1, amount_cap + 2))
    rng.shuffle(chosen)
    item.recipe = chosen
    for ingredient, _ in chosen:
        ingredient.used += 1
    for ingredient, _ in chosen:
        roll = rng.random()
        if roll < 0.10:
            item.objects[ingredient.key] = "name-first"
        elif roll < 0.13:
            item.objects[ingredient.key] = "id-first"


def build_items(rng, shape):
    pool = NamePool(rng)
    items = []

    def new(name, level, reached):
        item = Item(len(items), name, level, reached)
        items.append(item)
        return item

    # The reached part: materials on levels 0..7, requested items on levels 2..8.
    reached = [[] for _ in range(9)]
    for _ in range(shape.reached_raw):
        reached[0].append(new(pool.take(lambda: raw_name(rng)), 0, True))
    for level in range(1, 8):
        for _ in range(shape.reached_crafted[level]):
            reached[level].append(new(pool.take(lambda: intermediate_name(rng, level)), level, True))
    requested = []
    for level in range(2, 9):
        for _ in range(shape.list_levels[level]):
            item = new(pool.take(lambda: finished_name(rng)), level, True)
            item.listed = True
            requested.append(item)
    for item in reached[0]:
        make_raw(item, rng)
    # Popular materials first in each level's list, so the skew favours them.
    for level in range(8):
        rng.shuffle(reached[level])
    for level in range(1, 8):
        for item in reached[level]:
            make_crafted(item, rng, shape)
            choose_recipe(item, rng, shape, reached, 3 if level < 4 else 2)
    for item in sorted(requested, key=lambda i: -i.level):
        make_crafted(item, rng, shape)
        choose_recipe(item, rng, shape, reached, 2)
    # Any reached material still unused joins the recipe of a requested item
    # of a higher level.
    for level in range(8):
        for material in reached[level]:
            if material.used:
                continue
            owners = [r for r in requested if r.level > level]
            owner = owners[rng.randrange(len(owners))]
            owner.recipe.append((material, 1))
            material.used += 1

    # The rest of the world: its recipes may use reached items too.
    other = [[] for _ in range(9)]
    for _ in range(shape.other_raw):
        item = new(pool.take(lambda: raw_name(rng)), 0, False)
        make_raw(item, rng)
        other[0].append(item)
    for level in range(1, 9):
        for _ in range(shape.other_crafted[level]):
            make = (lambda: finished_name(rng)) if level >= 5 and rng.random() < 0.5 else \
                   (lambda: intermediate_name(rng, level))
            other[level].append(new(pool.take(make), level, False))
    mixed = [reached[level] + other[level] for level in range(9)]
    for level in range(9):
        rng.shuffle(mixed[level])
    for level in range(1, 9):
        for item in other[level]:
            make_crafted(item, rng, shape)
            choose_recipe(item, rng, shape, mixed, 3, prefer_unused=False)
    return items, requested


# ---------------------------------------------------------------- ids

def containment_edges(items):
    """(contained, container) index pairs: the container's name holds the other's, ignoring case."""
    lowers = [item.name.lower() for item in items]
    starts = []
    position = 0
    for lower in lowers:
        starts.append(position)
        position += len(lower) + 1
    joined = "\n".join(lowers)
    edges = []
    for index, lower in enumerate(lowers):
        at = joined.find(lower)
        while at >= 0:
            owner = bisect.bisect_right(starts, at) - 1
            if owner != index:
                edges.append((index, owner))
            at = joined.find(lower, at + 1)
    return edges


def assign_ids(items, rng):
    """Ids in 1..65536, random, but every contained name before its containers."""
    ids = sorted(rng.sample(range(1, MAX_ITEM_ID), len(items) - 1) + [MAX_ITEM_ID])
    edges = containment_edges(items)
    after = [[] for _ in items]
    waiting = [0] * len(items)
    for contained, container in edges:
        after[contained].append(container)
        waiting[container] += 1
    priority = [rng.random() for _ in items]
    heap = [(priority[i], i) for i in range(len(items)) if waiting[i] == 0]
    heapq.heapify(heap)
    order = []
    while heap:
        _, index = heapq.heappop(heap)
        order.append(index)
        for container in after[index]:
            waiting[container] -= 1
            if waiting[container] == 0:
                heapq.heappush(heap, (priority[container], container))
    if len(order) != len(items):
        raise RuntimeError("two names contain each other")
    for item_id, index in zip(ids, order):
        items[index].id = item_id
    return edges


# ---------------------------------------------------------------- documents

def dumps(value):
    return json.dumps(value, separators=(",", ":"))


def item_document(item, rng, by_key, all_items, small=False):
    """The item's document. The padding of realistic documents comes from a generator of
    its own, so `small` documents are the same bytes as before the padding existed."""
    pad = None if small else random.Random("%d/padding/%d" % (SEED, item.id))
    head = {"name": item.name, "id": str(item.id), "ilvl": item.ilvl}
    if rng.random() < 0.5:
        head["description"] = " ".join(rng.choice(PROSE) for _ in range(rng.randint(8, 40)))
    if item.equip is not None:
        head["equip"] = item.equip
    if item.level == 0 and item.kind in ("node", "nodeplain"):
        head["nodes"] = item.nodes
    if item.level == 0 and item.kind == "empty-node":
        head["nodes"] = []
    if item.vendors:
        head["vendors"] = item.vendors
    head["attr"] = {"stack": rng.choice([1, 99, 999]), "price": rng.randint(1, 20000),
                    "sell": rng.randint(1, 2000), "tradeable": rng.randint(0, 1)}
    if pad is not None:
        head.update(item_part_padding(pad))
    document = {"item": head}
    if item.recipe:
        craft = {"id": str(300000 + item.id), "job": item.job, "rlvl": item.ilvl,
                 "durability": rng.choice([40, 60, 70, 80]), "quality": rng.randint(100, 9000)}
        if item.yield_ != 1:
            craft["yield"] = item.yield_
        craft["ingredients"] = [{"id": ingredient.id, "amount": amount}
                                for ingredient, amount in item.recipe]
        head["craft"] = [craft]
        objects = []
        for ingredient, _ in item.recipe:
            shape = item.objects.get(ingredient.key)
            if shape == "name-first":
                objects.append({"name": ingredient.name, "id": ingredient.id, "ilvl": ingredient.ilvl})
            elif shape == "id-first":
                objects.append({"id": ingredient.id, "name": ingredient.name, "ilvl": ingredient.ilvl})
        if objects:
            document["ingredients"] = objects
    partials = []
    for kind, partial_id, partial_name, zone in item.partials:
        partials.append({"type": kind, "id": str(partial_id),
                         "obj": {"i": partial_id, "n": partial_name, "l": rng.randint(1, 90), "z": zone}})
    for ingredient, _ in item.recipe:
        partials.append({"type": "item", "id": str(ingredient.id),
                         "obj": {"i": ingredient.id, "n": ingredient.name, "l": ingredient.ilvl,
                                 "c": "icon/%06d" % ingredient.id}})
    if pad is not None:
        partials += extra_partials(pad, all_items)
    if partials:
        document["partials"] = partials
    related = []
    for other in rng.sample(all_items, rng.randint(3, 14)):
        related.append({"type": "item", "id": str(other.id),
                        "obj": {"i": other.id, "n": other.name, "l": other.ilvl,
                                "c": "icon/%06d" % other.id}})
    document["related"] = related
    if pad is not None:
        fill_related(document, pad, all_items)
    return dumps(document)


# ---------------------------------------------------------------- realistic document sizes
#
# The program reads a document by searching fixed key texts, after cutting it before
# its first ,"related". Padding before that cut never holds one of those texts: the
# item part gains prose and an attribute list with keys of their own, the partials
# gain entries of types that are never searched, placed after the original ones, and
# the bulk goes into the related tail, where anything may stand.

DOCUMENT_MIN_BYTES = 2_000
DOCUMENT_MAX_BYTES = 30_000
DOCUMENT_MEDIAN_BYTES = 6_500      # of the log-normal draw of a document's size
DOCUMENT_SIZE_SPREAD = 0.6

READ_KEY_TEXTS = ("partials", '"ingredients"', '"job":', '"equip":', '"nodes":[', '"vendors":',
                  ',"yield":', '"id":', '"amount":', '"name"', '"z":', ',"related"',
                  '{"type":"node","id":"', '{"type":"mob","id":"', '{"type":"fishing","id":"')
# Partials carry ids of their own; the rest holds there too.
PARTIAL_KEY_TEXTS = tuple(text for text in READ_KEY_TEXTS if text != '"id":')

LORE = [
    "Said to have first been made in the workshops of the old capital.",
    "Apprentices spend a season learning to judge its quality by touch alone.",
    "Merchants along the coast pay well for a clean batch.",
    "The guild ledgers list it under common goods, though few would call it common.",
    "Keep it wrapped in oiled cloth during the rainy months.",
    "A favourite of travelling tinkers, who trade it for room and board.",
    "Its colour deepens with age, and collectors prize the darker pieces.",
    "Farmers in the lowlands still use it the way their grandparents did.",
    "Some swear it brings luck to a new house; others only find it useful.",
    "Customs officers at the city gates weigh every crate of it twice.",
    "Legend tells of a master who refused to sell it to a king.",
    "When fresh it gives off a faint scent of cedar and rain.",
]
STAT_NAMES = ["Strength", "Dexterity", "Vitality", "Intelligence", "Mind", "Piety", "Craftsmanship",
              "Control", "Gathering", "Perception", "Direct Hit", "Determination", "Tenacity",
              "Skill Speed", "Spell Speed", "Defense", "Magic Defense", "Block Rate"]
EXTRA_PARTIAL_TYPES = ["npc", "quest", "instance", "leve", "item"]
NPC_TITLES = ["Merchant", "Guildmaster", "Quartermaster", "Apprentice", "Wanderer", "Scholar",
              "Smith", "Fisher", "Botanist", "Miner", "Captain", "Innkeeper"]


def checked(value, forbidden, where):
    """The value, after making sure its JSON text holds none of the forbidden texts."""
    text = dumps(value)
    for key in forbidden:
        if key in text:
            raise RuntimeError("padding for the %s holds %s: %s" % (where, key, text[:200]))
    return value


def prose(pad, low, high):
    """Sentences of LORE, between low and high bytes long (at least one sentence)."""
    wanted = pad.randint(low, high)
    sentences = [pad.choice(LORE)]
    while sum(len(s) + 1 for s in sentences) < wanted:
        sentences.append(pad.choice(LORE))
    return " ".join(sentences)


def item_part_padding(pad):
    """Fields for the item part: a lore text and an attribute list."""
    stats = [{"attr": pad.choice(STAT_NAMES), "value": pad.randint(1, 400), "hq": pad.randint(1, 460)}
             for _ in range(pad.randint(3, 10))]
    fields = {"lore": prose(pad, 150, 1200), "stats": stats,
              "flags": {"unique": pad.randint(0, 1), "untradable": pad.randint(0, 1),
                        "dyeable": pad.randint(0, 1), "collectable": pad.randint(0, 1)}}
    return checked(fields, READ_KEY_TEXTS, "item part")


def extra_partials(pad, all_items):
    """Partials of types the program never searches, to stand after the original ones."""
    partials = []
    for _ in range(pad.randint(1, 5)):
        kind = pad.choice(EXTRA_PARTIAL_TYPES)
        if kind == "item":
            other = pad.choice(all_items)
            obj = {"i": other.id, "n": other.name, "l": other.ilvl, "c": "icon/%06d" % other.id}
        else:
            number = pad.randint(1000, 99999)
            obj = {"i": number, "n": "%s %s" % (pad.choice(QUALIFIERS), pad.choice(NPC_TITLES)),
                   "l": pad.randint(1, 90), "t": prose(pad, 40, 240)}
        partials.append({"type": kind, "id": str(obj["i"]), "obj": obj})
    return checked(partials, PARTIAL_KEY_TEXTS, "partials")


def related_entry(pad, all_items):
    """One entry of the related tail: an item, a recipe (with the keys a recipe has) or a quest."""
    other = pad.choice(all_items)
    roll = pad.random()
    obj = {"i": other.id, "n": other.name, "l": other.ilvl, "c": "icon/%06d" % other.id}
    if roll < 0.45:
        return {"type": "item", "id": str(other.id), "obj": obj}
    if roll < 0.75:
        obj["job"] = pad.randrange(len(JOBS))
        obj["yield"] = pad.choice([1, 1, 2, 3, 10])
        obj["ingredients"] = [{"id": pad.choice(all_items).id, "amount": pad.randint(1, 5)}
                              for _ in range(pad.randint(1, 5))]
        return {"type": "recipe", "id": str(300000 + other.id), "obj": obj}
    number = pad.randint(1000, 99999)
    return {"type": "quest", "id": str(number),
            "obj": {"i": number, "n": "%s %s" % (pad.choice(FILLER_WORDS), other.name), "l": other.ilvl,
                    "g": prose(pad, 80, 700), "reward": obj}}


def fill_related(document, pad, all_items):
    """Grows the related tail until the document reaches its drawn size (within the bounds)."""
    target = pad.lognormvariate(math.log(DOCUMENT_MEDIAN_BYTES), DOCUMENT_SIZE_SPREAD)
    target = min(max(target, DOCUMENT_MIN_BYTES), DOCUMENT_MAX_BYTES - 1_000)
    related = document["related"]
    size = len(dumps(document))
    while size < target:
        entry = related_entry(pad, all_items)
        grow = len(dumps(entry)) + (1 if related else 0)
        if size + grow > DOCUMENT_MAX_BYTES:
            break
        related.append(entry)
        size += grow


def filler_name(rng):
    return "%s %s %s" % (rng.choice(FILLER_WORDS), rng.choice(METALS + WOODS + STONES + BEASTS),
                         rng.choice(FINISHED))


def core_document(items, rng):
    real = {item.id: item for item in items}
    parts = ['{"version":3,"patch":"7.05"']
    parts.append(',"jobs":' + dumps([{"job": i, "name": n, "abbr": n[:3].upper()}
                                     for i, n in enumerate(JOBS)]))
    zones = {}
    for zone in range(100, 1000):
        zones[str(zone)] = {"name": "%s %s" % (rng.choice(QUALIFIERS), rng.choice(REGIONS)),
                            "region": rng.choice(REGIONS), "x": rng.randint(0, 4000),
                            "y": rng.randint(0, 4000)}
    parts.append(',"zones":' + dumps(zones))
    nodes = {}
    for node in range(301, 12000):
        nodes[str(node)] = {"name": rng.choice(NODE_NAMES), "zone": rng.randint(100, 999),
                            "lvl": rng.randint(1, 90),
                            "items": [rng.choice(items).id for _ in range(rng.randint(1, 6))],
                            "coords": [round(rng.uniform(1, 40), 1), round(rng.uniform(1, 40), 1)]}
    parts.append(',"nodes":' + dumps(nodes))
    # Entries for real ids with wrong names, before the key: a lookup must not see them.
    notes = {}
    for item in rng.sample(items, 400):
        notes[str(item.id)] = {"name": "Retired %s" % item.name, "patch": "2.0"}
    parts.append(',"notes":' + dumps(notes))

    # The map: every real item's entry, shuffled among fillers, until big enough.
    entries = []
    for item in items:
        entries.append(dumps({str(item.id): {"name": item.name, "cat": rng.randint(40, 60),
                                             "lvl": item.ilvl, "icon": "icon/%06d" % item.id}})[1:-1])
    size = sum(len(e) + 1 for e in entries)
    free_ids = [i for i in range(1, MAX_ITEM_ID + 1) if i not in real]
    rng.shuffle(free_ids)
    next_high = MAX_ITEM_ID + 1
    while size < CORE_MAP_BYTES:
        if free_ids:
            filler_id = free_ids.pop()
        else:
            filler_id = next_high
            next_high += 1
        body = {"name": filler_name(rng), "cat": rng.randint(1, 99), "lvl": rng.randint(1, 90),
                "icon": "icon/%06d" % filler_id}
        if rng.random() < 0.4:
            body["desc"] = " ".join(rng.choice(PROSE) for _ in range(rng.randint(3, 18)))
        if rng.random() < 0.05:   # an entry whose first member is not the name
            body = {"cat": body["cat"], "name": body["name"]}
        entry = dumps({str(filler_id): body})[1:-1]
        entries.append(entry)
        size += len(entry) + 1
    rng.shuffle(entries)
    parts.append(',"ingredients":{' + ",".join(entries) + "}")

    more = {"legacy": {str(item.id): {"name": "Legacy %s" % item.name}
                       for item in rng.sample(items, 300)},
            "zones": {str(z): "%s %s" % (rng.choice(QUALIFIERS), rng.choice(REGIONS))
                      for z in range(1000, 6000)}}
    parts.append(',"more":' + dumps(more) + "}")
    return "".join(parts)


# ---------------------------------------------------------------- simulation

def simulate(requests):
    """What a run of the list does with all merchant options off: rows, calls, lookups."""
    rows = {}
    stats = {"calls": 0, "loads": 0, "lookups": 0, "entries": 0, "max_depth": 0,
             "max_amount": 0}

    def add_row(item):
        rows[item.key] = {"amount": 0, "quantity": 0, "yield": item.yield_}
        stats["loads"] += 1

    expansions = {}

    def expand(item, crafts, depth):
        stats["calls"] += 1
        expansions[item.key] = expansions.get(item.key, 0) + 1
        stats["loads"] += 1
        stats["max_depth"] = max(stats["max_depth"], depth)
        if item.key not in rows and depth > 0:
            add_row(item)
        for ingredient, amount in item.recipe:
            stats["entries"] += 1
            if item.objects.get(ingredient.key) != "name-first":
                stats["lookups"] += 1
            if ingredient.key not in rows:
                add_row(ingredient)
            row = rows[ingredient.key]
            row["amount"] += amount * crafts
            stats["max_amount"] = max(stats["max_amount"], row["amount"])
            old = row["quantity"]
            row["quantity"] = -(-row["amount"] // row["yield"])
            if row["quantity"] != old:
                expand(ingredient, row["quantity"] - old, depth + 1)

    for item, quantity in requests:
        expand(item, quantity, 0)
    stats["rows"] = len(rows)
    stats["expansions"] = expansions
    return stats, rows


def reuse_figures(items, expansions):
    """How much the list's trees share: recipes of the list per intermediate, expansions per item."""
    users = {}
    for item in items:
        if item.reached:
            for ingredient, _ in item.recipe:
                users[ingredient.key] = users.get(ingredient.key, 0) + 1
    intermediates = [item for item in items if item.reached and not item.listed and item.recipe]
    counts = sorted(expansions.values())
    return {
        "list_intermediates": len(intermediates),
        "list_intermediates_in_5_or_more_recipes": sum(1 for i in intermediates if users.get(i.key, 0) >= 5),
        "list_most_recipes_using_one_intermediate": max(users.get(i.key, 0) for i in intermediates),
        "list_items_expanded_10_times_or_more": sum(1 for c in counts if c >= 10),
        "list_most_expansions_of_one_item": counts[-1],
        "list_median_expansions_per_item": counts[len(counts) // 2],
    }


# ---------------------------------------------------------------- main

def plan_world(shape):
    """The items of the shape and the list's run, checked; the random generator is returned
    too, as the documents and the core data draw on from where the plan stopped."""
    rng = random.Random(SEED)
    items, requested = build_items(rng, shape)
    edges = assign_ids(items, rng)

    quantities = [rng.choice([1, 1, 1, 2, 2, 3, 4, 5, 10]) for _ in requested]
    order = list(range(len(requested)))
    rng.shuffle(order)
    requests = [(requested[i], quantities[i]) for i in order]
    stats, rows = simulate(requests)
    reached_materials = {item.key for item in items if item.reached and not item.listed}
    if set(rows) != reached_materials:
        raise RuntimeError("the list reaches %d materials, %d expected" % (len(rows), len(reached_materials)))
    if not 900 <= stats["rows"] <= 1000:
        raise RuntimeError("the list reaches %d materials, not 900 to 1000" % stats["rows"])
    if stats["max_amount"] >= 2 ** 31:
        raise RuntimeError("amounts beyond 32 bits")
    reached_figures = {"items": len(items), "list_lines": len(requests),
                       "list_max_depth": stats["max_depth"], "list_expansion_calls": stats["calls"]}
    for key, least in shape.least.items():
        if reached_figures[key] < least:
            raise RuntimeError("%s is %d, the %s preset wants at least %d"
                               % (key, reached_figures[key], shape.name, least))

    # Every search must list the item itself first (lowest id among the matches).
    for contained, container in edges:
        if items[contained].id >= items[container].id:
            raise RuntimeError("search order broken for %s" % items[contained].name)
    return rng, items, edges, requests, stats


def main(argv=None):
    parser = argparse.ArgumentParser(description="Writes a large synthetic CorvaneDB world.")
    parser.add_argument("--out", required=True, help="folder to write (items/, core.json, list.txt)")
    parser.add_argument("--preset", choices=sorted(PRESETS), default="default",
                        help="the world's shape: default (114 lines, 950 materials, 6,682 expansion "
                             "calls) or wide (a big real list: 158 lines, heavy reuse, 20,000 and "
                             "more expansion calls)")
    parser.add_argument("--small-documents", action="store_true",
                        help="write the small item documents (0.4..2.6 KB) of the earlier figures")
    args = parser.parse_args(argv)
    started = time.monotonic()
    shape = PRESETS[args.preset]
    rng, items, edges, requests, stats = plan_world(shape)
    by_key = {item.key: item for item in items}
    matches = {}
    for contained, _ in edges:
        matches[contained] = matches.get(contained, 0) + 1
    most_matches = max([0] + list(matches.values()))

    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    items_dir = os.path.join(args.out, "items")
    os.makedirs(items_dir)
    document_bytes = 0
    reached_bytes = 0
    sizes = []
    for item in sorted(items, key=lambda i: i.id):
        text = item_document(item, rng, by_key, items, small=args.small_documents)
        document_bytes += len(text)
        sizes.append(len(text))
        if item.reached:
            reached_bytes += len(text)
        with open(os.path.join(items_dir, "%d.json" % item.id), "w", encoding="ascii", newline="") as f:
            f.write(text)
    core = core_document(items, rng)
    with open(os.path.join(args.out, "core.json"), "w", encoding="ascii", newline="") as f:
        f.write(core)
    cut = core.index('"ingredients":')
    with open(os.path.join(args.out, "list.txt"), "w", encoding="ascii", newline="") as f:
        for item, quantity in requests:
            f.write("%s %d\n" % (item.name, quantity))

    levels = {}
    for item in items:
        levels[item.level] = levels.get(item.level, 0) + 1
    summary = {
        "seed": SEED,
        "items": len(items),
        "items_by_level": {str(k): levels[k] for k in sorted(levels)},
        "crafted_items": sum(1 for item in items if item.recipe),
        "recipe_entries": sum(len(item.recipe) for item in items),
        "entries_with_name_object": sum(1 for item in items for ing, _ in item.recipe
                                        if item.objects.get(ing.key) == "name-first"),
        "entries_with_id_first_object": sum(1 for item in items for ing, _ in item.recipe
                                            if item.objects.get(ing.key) == "id-first"),
        "name_containments": len(edges),
        "most_search_matches": most_matches + 1,
        "list_lines": len(requests),
        "list_distinct_materials": stats["rows"],
        "list_distinct_documents": stats["rows"] + len(requests),
        "list_max_depth": stats["max_depth"],
        "list_expansion_calls": stats["calls"],
        "list_document_loads": stats["loads"],
        "list_recipe_entries_visited": stats["entries"],
        "list_core_lookups": stats["lookups"],
        "list_max_amount": stats["max_amount"],
        "item_documents": "small" if args.small_documents else "realistic",
        "item_document_bytes": document_bytes,
        "item_document_min_bytes": min(sizes),
        "item_document_max_bytes": max(sizes),
        "item_document_mean_bytes": round(document_bytes / len(sizes)),
        "list_document_bytes": reached_bytes,
        "core_bytes": len(core),
        "core_bytes_from_ingredients_key": len(core) - cut,
    }
    if shape.name != "default":  # the default world.json stays as it was
        summary["preset"] = shape.name
        summary.update(reuse_figures(items, stats["expansions"]))
    with open(os.path.join(args.out, "world.json"), "w", encoding="ascii") as f:
        json.dump(summary, f, indent=1)
        f.write("\n")
    json.dump(summary, sys.stdout, indent=1)
    print()
    print("generated in %.1f s" % (time.monotonic() - started), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
