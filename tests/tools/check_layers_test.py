#!/usr/bin/env python3
"""The layer check passes on src/ and fails on an include that runs upward, a platform test in the core,
or modules of one folder that include each other."""

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
            # (files as (path, text), passes, the modules named when it fails)
            ((("data/store.cpp", '#include "base/result.h"\n#include "data/text.h"\n'),), True, []),
            ((("data/store.cpp", '#include "recipe/expansion.h"\n'),), False, ["data/store.cpp"]),
            ((("base/result.cpp", '#include "shell/startup.h"\n'),), False, ["base/result.cpp"]),
            ((("ui/dialog.cpp", '#include "shell/console_mode.h"\n'),), True, []),
            ((("recipe/table.cpp", "#ifdef _WIN32\n#endif\n"),), False, ["recipe/table.cpp"]),
            ((("data/file_system_win.cpp", "#if defined(_WIN32)\n#endif\n"),), True, []),
            ((("ui/win/dialog.cpp", "#ifdef _WIN64\n#endif\n"),), True, []),
            ((("data/a.h", '#include "data/b.h"\n'), ("data/b_posix.cpp", '#include "data/a.h"\n'), ("data/b.h", "")),
             False, ["data/a, data/b"]),
            ((("data/a.cpp", '#include "data/b.h"\n'), ("data/b.h", '#include "data/c.h"\n'),
              ("data/c.cpp", '#include "data/a.h"\n#include "data/c.h"\n')), False, ["data/a, data/b, data/c"]),
            ((("data/a.cpp", '#include "data/a.h"\n#include "data/b.h"\n'), ("data/b.cpp", '#include "data/c.h"\n'),
              ("data/c_posix.cpp", '#include "data/c.h"\n'), ("list/c.h", '#include "data/a.h"\n')), True, []),
        ]
        for files, passes, named in cases:
            with self.subTest(files=files), tempfile.TemporaryDirectory() as src:
                for relative, text in files:
                    os.makedirs(os.path.join(src, os.path.dirname(relative)), exist_ok=True)
                    with open(os.path.join(src, relative), "w") as f:
                        f.write(text)
                result = run_check(src)
                self.assertEqual(result.returncode == 0, passes, result.stderr)
                for name in named:
                    self.assertIn(name, result.stderr)

if __name__ == "__main__":
    unittest.main()
