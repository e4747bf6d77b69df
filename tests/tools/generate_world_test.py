#!/usr/bin/env python3
"""The world generator's presets plan the lists they promise, and its checks refuse a shape that breaks one."""

import copy
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "world"))
import generate_world  # noqa: E402


def planned(shape):
    _, items, _, requests, stats = generate_world.plan_world(shape)
    return (len(items), len(requests), stats["rows"], stats["max_depth"], stats["calls"], stats["max_amount"])


def changed(preset, **fields):
    shape = copy.copy(generate_world.PRESETS[preset])
    for name, value in fields.items():
        setattr(shape, name, value)
    return shape


class GenerateWorldTests(unittest.TestCase):
    def test_presets(self):
        cases = [
            # (preset, items, lines, materials, depth, expansion calls, largest amount): the
            # default is the world of the published figures, so any change to it shows here
            ("default", 3784, 114, 950, 8, 6682, 12955),
            ("wide", 3178, 158, 927, 8, 22495, 68365),
        ]
        for preset, *figures in cases:
            with self.subTest(preset=preset):
                self.assertEqual(planned(generate_world.PRESETS[preset]), tuple(figures))

    def test_checks(self):
        cases = [
            # (shape, error text)
            (changed("wide", least={"list_expansion_calls": 10 ** 6}), "list_expansion_calls is 22495"),
            (changed("wide", least={"list_lines": 200}), "list_lines is 158"),
            (changed("wide", reached_raw=400), "not 900 to 1000"),
            (changed("default", reached_raw=200), "not 900 to 1000"),
        ]
        for shape, text in cases:
            with self.subTest(text=text):
                with self.assertRaises(RuntimeError) as caught:
                    planned(shape)
                self.assertIn(text, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
