#!/usr/bin/env python3
"""The layer check passes on src/ and fails on an include that runs upward or a platform test in the core."""

import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CHECK = os.path.join(ROOT, "tools", "check-layers.py")


def run_check(src):
    return subprocess.run([sys.executable, CHECK, src], capture_output=True, text=True)


class CheckLayersTests(unittest.TestCase):
    def test_the_source_tree_passes(self):
        result = run_check(os.path.join(ROOT, "src"))
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_rules(self):
        cases = [
            # (file, text, passes)
            ("data/store.cpp", '#include "base/result.h"\n#include "data/text.h"\n', True),
            ("data/store.cpp", '#include "recipe/expansion.h"\n', False),
            ("base/result.cpp", '#include "shell/startup.h"\n', False),
            ("ui/dialog.cpp", '#include "shell/generation_run.h"\n', True),
            ("recipe/table.cpp", "#ifdef _WIN32\n#endif\n", False),
            ("data/file_system_win.cpp", "#if defined(_WIN32)\n#endif\n", True),
            ("ui/win/dialog.cpp", "#ifdef _WIN64\n#endif\n", True),
        ]
        for relative, text, passes in cases:
            with self.subTest(file=relative, text=text), tempfile.TemporaryDirectory() as src:
                path = os.path.join(src, relative)
                os.makedirs(os.path.dirname(path))
                with open(path, "w") as f:
                    f.write(text)
                result = run_check(src)
                self.assertEqual(result.returncode == 0, passes, result.stderr)
                if not passes:
                    self.assertIn(relative, result.stderr)


if __name__ == "__main__":
    unittest.main()
