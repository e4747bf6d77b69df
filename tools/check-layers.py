#!/usr/bin/env python3
"""Checks the layering of src/: each folder includes only itself and the folders below it.

    base < data < recipe < list < shell < ui

Inside a folder, a header with its .cpp file (and the *_posix.cpp and *_win.cpp
files of that header) is one module; no module may include, directly or around
a longer chain, a module that includes it back.

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


def module_of(relative, files):
    """The module of a file (relative to src/): its path without the extension and
    without a platform suffix whose header is among the folder's files."""
    stem = os.path.splitext(relative)[0]
    platform = re.match(r"(.*)_(posix|win)$", stem)
    if platform and os.path.basename(platform.group(1)) + ".h" in files:
        return platform.group(1)
    return stem


def include_cycles(includes):
    """The cycles of the module graph {module: modules it includes}, as sorted
    lists of modules: its strongly connected components of more than one."""
    index, low, stack, cycles = {}, {}, [], []

    def visit(module):
        index[module] = low[module] = len(index)
        stack.append(module)
        for other in includes.get(module, ()):
            if other not in index:
                visit(other)
                low[module] = min(low[module], low[other])
            elif other in stack:
                low[module] = min(low[module], index[other])
        if low[module] == index[module]:
            component = []
            while not component or component[-1] != module:
                component.append(stack.pop())
            if len(component) > 1:
                cycles.append(sorted(component))

    for module in sorted(includes):
        if module not in index:
            visit(module)
    return cycles


def check(src_root):
    problems = []
    includes = {}
    for folder, _, files in os.walk(src_root):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp", ".rc")):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src_root).replace("\\", "/")
            own = layer_of(relative)
            platform_file = PLATFORM_FILE.search(name) or relative.startswith("ui/win/")
            module = module_of(relative, files)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if match:
                        target = layer_of(match.group(1))
                        header = os.path.splitext(match.group(1))[0]
                        if match.group(1).endswith(".h") and os.path.dirname(header) == os.path.dirname(module) \
                                and header != module:
                            includes.setdefault(module, set()).add(header)
                        if own and target and LAYERS.index(target) > LAYERS.index(own):
                            problems.append("%s:%d: %s includes %s from the higher layer %s"
                                            % (relative, number, own, match.group(1), target))
                    if not platform_file and PLATFORM_TEST.match(line):
                        problems.append("%s:%d: asks for the platform outside a platform file: %s"
                                        % (relative, number, line.strip()))
    for cycle in include_cycles(includes):
        problems.append("include cycle of modules %s" % ", ".join(cycle))
    return problems


def main(argv):
    src_root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    problems = check(src_root)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
