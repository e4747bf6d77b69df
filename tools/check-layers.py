#!/usr/bin/env python3
"""Checks the layering of src/: each folder includes only itself and the folders below it.

    base < data < recipe < list < shell < ui

It also checks that only the platform files (named *_posix.* or *_win.*, and
the Windows window layer under src/ui/win/) ask which operating system they
are built for. Exits 1 and names each offending line when a rule is broken.
"""

import os
import re
import sys

LAYERS = ["base", "data", "recipe", "list", "shell", "ui"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
PLATFORM_TEST = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__MINGW32__|__linux__|__unix__|__APPLE__|_MSC_VER)\b")
PLATFORM_FILE = re.compile(r"_(posix|win)\.(cpp|h|rc)$")


def layer_of(path):
    """The layer of a path relative to src/, or None."""
    first = path.replace("\\", "/").split("/")[0]
    return first if first in LAYERS else None


def check(src_root):
    problems = []
    for folder, _, files in os.walk(src_root):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp", ".rc")):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src_root).replace("\\", "/")
            own = layer_of(relative)
            platform_file = PLATFORM_FILE.search(name) or relative.startswith("ui/win/")
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if match:
                        target = layer_of(match.group(1))
                        if own and target and LAYERS.index(target) > LAYERS.index(own):
                            problems.append("%s:%d: %s includes %s from the higher layer %s"
                                            % (relative, number, own, match.group(1), target))
                    if not platform_file and PLATFORM_TEST.match(line):
                        problems.append("%s:%d: asks for the platform outside a platform file: %s"
                                        % (relative, number, line.strip()))
    return problems


def main(argv):
    src_root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    problems = check(src_root)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
