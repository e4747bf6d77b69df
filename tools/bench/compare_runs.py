#!/usr/bin/env python3
"""Runs two builds of the program over the same scenarios and compares what each left behind.

    python3 tools/bench/compare_runs.py --data data/sample --list data/sample/list.txt \\
        --program A=/path/to/old/shopping-list --program B=build/shopping-list

For each scenario (cold, warm, verbose, every option, refresh, an error on
the second item, ...) every program runs in console mode under a
pseudo-terminal, in a scratch folder of its own, against the stand-in serving
the dataset. What is compared: standard output byte for byte, the cache
folder's files and bytes after the run, and the requests at the stand-in: in
order, or with --requests-as-set (for a build that fetches ahead and
downloads each item once per run while refreshing) as the same requests in
any order, each distinct request once where refreshing, and, for a run that
stops at an error, at least the requests of the first build's one-at-a-time
(verbose) run.
With --dialog A=driver, the dialog's list text from tools/bench/dialog_list
is compared too. Prints one line per scenario and exits 1 on any difference.
"""

import argparse
import hashlib
import json
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_bench import Standin, program_env, read_list, run_in_pty  # noqa: E402


def scenarios(items):
    """(name, arguments, start) per scenario; start is 'empty' or 'after:<scenario>'.

    Names that begin with "refresh" refresh the cache; "-v" in a name marks the
    verbose runs, which stay sequential."""
    second_missing = items[:2] + ["Nothing Like It At All"] + items[2:]
    return [
        ("cold", items, "empty"),
        ("warm", items, "after:cold"),
        ("warm -v", items + ["-v"], "after:cold"),
        ("omit crystals", items + ["-oc"], "after:cold"),
        ("dont craft sold", items + ["-dcisbm"], "after:cold"),
        ("beast tribe", items + ["-dcisbm", "-cbti"], "after:cold"),
        ("material gear", items + ["-dcisbm", "-cmg"], "after:cold"),
        ("every option -v", items + ["-oc", "-dcisbm", "-cbti", "-cmg", "-v"], "after:cold"),
        ("refresh", items + ["-rc"], "after:cold"),
        ("refresh -v", items + ["-rc", "-v"], "after:cold"),
        ("cold -v", items + ["-v"], "empty"),
        ("error on the second item", second_missing, "empty"),
        ("error on the second item -v", second_missing + ["-v"], "empty"),
    ]


def snapshot(folder):
    files = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = hashlib.sha256(f.read()).hexdigest()
    return files


def requests_of(lines):
    found = []
    for line in lines:
        record = json.loads(line)
        found.append(record["path"] + ("?" + record["query"] if record["query"] else ""))
    return found


def run_scenarios(program, standin, work, items):
    """What each scenario left: output, cache snapshot and requests."""
    results = {}
    folders = {}
    for name, arguments, start in scenarios(items):
        folder = os.path.join(work, name.replace(" ", "-"))
        if start == "empty":
            os.makedirs(os.path.join(folder, "cache"))
        else:
            shutil.copytree(folders[start.split(":", 1)[1]], folder)
        standin.clear_log()
        out = os.path.join(work, name.replace(" ", "-") + ".out")
        run_in_pty([program] + arguments, folder, out, program_env(standin.url))
        with open(out, "rb") as f:
            output = f.read()
        results[name] = {"output": output, "cache": snapshot(os.path.join(folder, "cache")),
                         "requests": requests_of(standin.log_lines())}
        folders[name] = folder
    return results


def dialog_text(driver, standin, work, list_path, arguments):
    folder = tempfile.mkdtemp(dir=work)
    os.makedirs(os.path.join(folder, "cache"))
    text = os.path.join(folder, "list-text")
    env = program_env(standin.url)
    env["QT_QPA_PLATFORM"] = "offscreen"
    run_in_pty([driver, os.path.abspath(list_path), text] + arguments, folder,
               os.path.join(folder, "dialog.out"), env)
    with open(text, "rb") as f:
        return f.read()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--data", required=True)
    parser.add_argument("--list", required=True)
    parser.add_argument("--program", action="append", required=True, help="LABEL=path, twice")
    parser.add_argument("--dialog", action="append", default=[], help="LABEL=dialog_list driver")
    parser.add_argument("--requests-as-set", action="store_true")
    args = parser.parse_args(argv)
    programs = [p.split("=", 1) for p in args.program]
    items = read_list(args.list)
    work = tempfile.mkdtemp(prefix="compare-runs-")
    standin = Standin(os.path.abspath(args.data), ["--static-data"], parent=work)
    differences = 0
    try:
        found = {}
        for label, program in programs:
            os.makedirs(os.path.join(work, label))
            found[label] = run_scenarios(os.path.abspath(program), standin, os.path.join(work, label), items)
        (a, _), (b, _) = programs
        for name, _, _ in scenarios(items):
            left, right = found[a][name], found[b][name]
            checks = []
            for key in ("output", "cache", "requests"):
                l, r = left[key], right[key]
                word = "same"
                if key == "requests" and args.requests_as_set and "-v" not in name:
                    if name.startswith("refresh"):
                        l, r = sorted(set(l)), sorted(r)
                        word = "same, each once"
                    elif name.startswith("error"):
                        # What fetching ahead sends before the run stops
                        # depends on timing: every request of the
                        # one-at-a-time run must be among them.
                        l = set(found[a][name + " -v"][key])
                        r = set(r) & l
                        word = "all of the one-at-a-time run's sent (%d, %d more fetched ahead)" % (
                            len(l), len(right[key]) - len(l))
                    else:
                        l, r = sorted(l), sorted(r)
                        word = "same set"
                checks.append("%s %s" % (key, word if l == r else "DIFFERENT"))
                differences += l != r
            print("%-26s %s (%d bytes, %d files, %d requests)" % (
                name, ", ".join(checks), len(left["output"]), len(left["cache"]), len(left["requests"])))
        if len(args.dialog) == 2:
            (da, driver_a), (db, driver_b) = [d.split("=", 1) for d in args.dialog]
            for option_name, options in (("dialog defaults", []), ("dialog all off", ["--all-off"])):
                ta = dialog_text(os.path.abspath(driver_a), standin, work, args.list, options)
                tb = dialog_text(os.path.abspath(driver_b), standin, work, args.list, options)
                print("%-26s list text %s (%d bytes)" % (option_name, "same" if ta == tb else "DIFFERENT", len(ta)))
                differences += ta != tb
    finally:
        standin.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
