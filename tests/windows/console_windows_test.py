#!/usr/bin/env python3
"""The console mode of the Windows build under Wine against the Linux build.

Each scenario runs both programs the same way: under a pseudo-terminal (so each takes
the console mode), in a folder of its own, standard output in a file, against the same
stand-in web service. Then: the standard output is the same once the Windows build's
CR LF is read as LF (and every line of it ends in CR LF), the cache folders hold the
same files with the same bytes, and the requests at the stand-in are the same (in
order for verbose runs, which fetch nothing ahead; as a multiset for the runs that
fetch ahead on worker threads; not compared for a failing run that fetches ahead, as
what the workers started before the failure depends on timing).

Names that only Windows refuses (devices such as CON, ':' and the other reserved
characters, a trailing dot or blank) are tried on their own: the Windows build refuses
them with the cache file message and Error 4 before anything is sent or made, where the
Linux build looks them up.
"""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wintest  # noqa: E402
from wintest import SAMPLE, folder_snapshot, linux_command, program_environment, run_in_pty  # noqa: E402
from wintest import windows_command  # noqa: E402

ITEMS = wintest.sample_items()
SECOND_FAILS = ITEMS[:2] + ["Nothing Like It At All"] + ITEMS[2:]
DOCUMENT = "/db/doc/item/en/3/2001.json"  # Copper Ore
CORE = "/db/doc/core/en/3/data.json"


def scenario(name, arguments, start="empty", rules=(), env=None, requests="exact", peak_kb=None):
    return {"name": name, "arguments": arguments, "start": start, "rules": list(rules),
            "env": env or {}, "requests": requests, "peak_kb": peak_kb}


SCENARIOS = [
    scenario("cold", ITEMS, requests="multiset"),
    scenario("warm", ITEMS, start="after:cold"),
    scenario("warm verbose", ITEMS + ["-v"], start="after:cold"),
    scenario("omit crystals", ITEMS + ["-oc"], start="after:cold"),
    scenario("dont craft sold", ITEMS + ["-dcisbm"], start="after:cold"),
    scenario("beast tribe", ITEMS + ["-dcisbm", "-cbti"], start="after:cold"),
    scenario("material gear", ITEMS + ["-dcisbm", "-cmg"], start="after:cold"),
    scenario("every option, long forms in any case",
             ITEMS + ["-Omit-Crystals", "-DONT-CRAFT-ITEMS-SOLD-BY-MERCHANTS", "-craft-beast-tribe-items",
                      "-craft-material-gear", "-verbose"], start="after:cold"),
    scenario("refresh", ITEMS + ["-rc"], start="after:cold", requests="multiset"),
    scenario("refresh verbose", ITEMS + ["-rc", "-v"], start="after:cold"),
    scenario("cold verbose", ITEMS + ["-v"]),
    scenario("no arguments", []),
    scenario("error on the second item", SECOND_FAILS, requests=None),
    scenario("error on the second item, verbose", SECOND_FAILS + ["-v"]),
    scenario("accented and wide names", ["Cr\u00e8me Br\u00fbl\u00e9e", "2", "\u65e5\u672c", "-v"], start="core"),
    scenario("name with a path in it", ["../escape", "-v"], start="core"),
    scenario("name over 99 bytes", ["n" * 100], start="core"),
    scenario("missing cache folder", ITEMS, start="no-cache"),
    scenario("core data download fails", ITEMS, rules=[{"path": CORE, "status": 500, "body": "trouble"}]),
    scenario("refused connection", ["Copper Ore", "-v"], start="core", env={"CORVANEDB_URL": "http://127.0.0.1:1"}),
    scenario("500 page for the search", ["Copper Ore", "-v"], start="core",
             rules=[{"path": "/api/search.php", "status": 500, "body": "server trouble"}]),
    scenario("500 page for the document", ["Copper Ore", "-v"], start="core",
             rules=[{"path": DOCUMENT, "status": 500, "body": "server trouble"}]),
    scenario("stalled past CORVANEDB_TIMEOUT", ["Copper Ore", "-v"], start="core",
             rules=[{"path": DOCUMENT, "delay": 3, "body": "late"}], env={"CORVANEDB_TIMEOUT": "1"}),
    scenario("document cut short", ["Copper Ore", "-v"], start="core",
             rules=[{"path": DOCUMENT, "truncate": 20}]),
    scenario("gzip answers", ["Bronze Ingot", "5", "-v"], start="core",
             rules=[{"path": "/api/search.php", "gzip": True}, {"path": "/db/doc/item/en/3/2011.json", "gzip": True},
                    {"path": DOCUMENT, "gzip": True}]),
    scenario("redirected document", ["Copper Ore", "-v"], start="core",
             rules=[{"path": DOCUMENT, "query": "", "redirect": DOCUMENT + "?moved=1"}]),
    scenario("rate limit on every fourth address", ITEMS, requests="set", rules=[
        {"path": "*", "first_of_every": 4, "status": 429, "headers": {"Retry-After": "1"}, "body": '{"id":429,}'}]),
]
# A hostile service's answers, each fetched ahead and one at a time; each run also
# keeps within 100 MB.
HOSTILE = [("endless document", {"endless": True}), ("gzip decoding to 1 GiB", {"gzip_bomb": 1024}),
           ("document of 16 MiB and a byte", {"pad_to": 16777217}), ("redirect to ftp", {"redirect": "ftp://127.0.0.1:1/x"}),
           ("redirect loop", {"redirect": DOCUMENT}), ("503 holding an id", {"status": 503, "body": '{"id":"503",}'}),
           ("429, then the document", {"status": 429, "headers": {"Retry-After": "1"}, "times": 1})]
SCENARIOS += [scenario(label + verbose, ["Copper Ore"] + verbose.split(), start="core", rules=[dict(rule, path=DOCUMENT)],
                       requests="multiset", peak_kb=100 << 10) for label, rule in HOSTILE for verbose in ("", " -v")]

# Names that Windows takes for a device, a stream or another file.
WINDOWS_ONLY_REFUSALS = ["CON", "nul.json", "Aux", "COM1", "lpt9.log", "a:b", "Copper Ore:secret", "trail.",
                         "trail ", "x|y", "what?", "star*", "CorvaneDBCore"]


class ConsoleDifferentialTest(wintest.StandinTestCase):
    WORK_PREFIX = "shopping-console-"

    def prepare(self, folder, start, finished):
        if start.startswith("after:"):
            shutil.copytree(finished[start.split(":", 1)[1]], folder)
            return
        os.makedirs(folder)
        if start != "no-cache":
            os.makedirs(os.path.join(folder, "cache"))
        if start == "core":
            shutil.copy(os.path.join(SAMPLE, "core.json"), os.path.join(folder, "cache", "corvanedbcore"))

    def run_scenario(self, label, command_of, case, finished):
        # A folder name of plain letters: the working folder must itself be a
        # name Windows takes.
        os.makedirs(os.path.join(self.work, label), exist_ok=True)
        folder = tempfile.mkdtemp(prefix="case-", dir=os.path.join(self.work, label))
        os.rmdir(folder)
        self.prepare(folder, case["start"], finished)
        self.standin.set_rules(case["rules"])
        self.standin.clear_log()
        env = program_environment(self.standin.url, case["env"])
        run = run_in_pty(command_of(case["arguments"]), folder, env, again=self.standin.clear_log)
        finished[case["name"]] = folder
        cache = os.path.join(folder, "cache")
        return {"run": run, "cache": folder_snapshot(cache) if os.path.isdir(cache) else None,
                "folder": sorted(os.listdir(folder)), "requests": self.standin.requests()}

    def test_same_output_cache_and_requests_as_the_linux_build(self):
        linux_done, windows_done = {}, {}
        for case in SCENARIOS:
            with self.subTest(case["name"]):
                linux = self.run_scenario("linux", linux_command, case, linux_done)
                windows = self.run_scenario("windows", windows_command, case, windows_done)
                self.assertEqual(linux["run"].code, 0)
                self.assertEqual(windows["run"].code, 0)
                out = windows["run"].stdout
                self.assertNotIn(b"\n", out.replace(b"\r\n", b""), "a line end that is not CR LF")
                self.assertNotIn(b"\r", out.replace(b"\r\n", b""), "a CR that ends no line")
                self.assertEqual(out.replace(b"\r\n", b"\n").decode(errors="replace"),
                                 linux["run"].stdout.decode(errors="replace"))
                self.assertEqual(windows["run"].stderr, b"")
                self.assertEqual(windows["folder"], linux["folder"])
                self.assertEqual(windows["cache"], linux["cache"])
                if case["requests"] == "exact":
                    self.assertEqual(windows["requests"], linux["requests"])
                elif case["requests"] == "multiset":
                    self.assertEqual(sorted(windows["requests"]), sorted(linux["requests"]))
                elif case["requests"] == "set":  # which addresses were asked twice depends on timing
                    self.assertEqual(set(windows["requests"]), set(linux["requests"]))
                if case["peak_kb"]:
                    self.assertLess(windows["run"].peak_kb, case["peak_kb"])
                    self.assertLess(linux["run"].peak_kb, case["peak_kb"])

    def test_names_only_windows_refuses(self):
        header = "".join("%s\n" % line for line in [
            "Parameter list:", "-v or -verbose", "-oc or -omit-crystals",
            "-dcisbm or -dont-craft-items-sold-by-merchants", "-cbti or -craft-beast-tribe-items",
            "-cmg or -craft-material-gear", "-rc or -refresh-cache",
            "TAVRO Shopping list generator by DURSK Alpha 7", "Will generate shopping list with 1 items."])
        for name in WINDOWS_ONLY_REFUSALS:
            for refresh in ([], ["-rc"]):
                with self.subTest(name=name, refresh=bool(refresh)):
                    case = scenario(name, [name] + refresh, start="core")
                    windows = self.run_scenario("windows-only", windows_command, case, {})
                    self.assertEqual(windows["run"].code, 0)
                    expected = (header.replace("1 items", "%d items" % (1 + len(refresh)))
                                + ".Error opening cache file for [%s]. Ensure the cache folder exists alongside "
                                  "the program.\nError 4\n" % name)
                    self.assertEqual(windows["run"].stdout.replace(b"\r\n", b"\n").decode(), expected)
                    self.assertEqual(windows["requests"], [])
                    self.assertEqual(windows["folder"], ["cache"])
                    self.assertEqual(list(windows["cache"]), ["corvanedbcore"])
                    # The Linux build takes the same name for an ordinary file name
                    # and asks the service for it.
                    linux = self.run_scenario("linux-only", linux_command, case, {})
                    self.assertNotIn(b"Error 4", linux["run"].stdout)
                    self.assertNotEqual(linux["requests"], [])


class ConsoleStreamsTest(wintest.StandinTestCase):
    """Where the Windows build's output goes: the terminal, a pipe, a file, and the
    console of a parent that started it without standard handles."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="shopping-streams-")
        os.makedirs(os.path.join(self.folder, "cache"))
        shutil.copy(os.path.join(SAMPLE, "core.json"), os.path.join(self.folder, "cache", "corvanedbcore"))
        self.env = program_environment(self.standin.url)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_terminal_shows_names_in_any_script(self):
        name = "Cr\u00e8me Br\u00fbl\u00e9e \u65e5\u672c"
        run = run_in_pty(windows_command([name, "-v"]), self.folder, self.env, redirect=False)
        self.assertEqual(run.code, 0)
        # The console wraps its lines at the terminal's width.
        shown = wintest.terminal_text(run.terminal).replace("\n", "")
        self.assertIn("Retrieving recipe for %s... Retrieving index for %s..." % (name, name), shown)
        self.assertIn("Error 3", shown)

    def test_pipe_and_file_get_the_same_bytes(self):
        arguments = ["Bronze Lamp", "3", "-v"]
        second = os.path.join(self.folder, "second")
        shutil.copytree(os.path.join(self.folder, "cache"), os.path.join(second, "cache"))
        to_file = run_in_pty(windows_command(arguments), self.folder, self.env)
        piped = run_in_pty(["bash", "-c", 'set -o pipefail; "$@" | cat', "bash"] + windows_command(arguments),
                           second, self.env)
        self.assertEqual(to_file.code, 0)
        self.assertEqual(piped.code, 0)
        self.assertIn(b"\r\n   3 Bronze Lamp Frame ", to_file.stdout)
        self.assertEqual(piped.stdout, to_file.stdout)
        # Nothing of it on the terminal: the output went where it was sent.
        self.assertNotIn("Bronze Lamp Frame", wintest.terminal_text(piped.terminal))

    def test_started_without_standard_handles_it_writes_to_the_parents_console(self):
        program = wintest.windows_path(wintest.path_of("TAVRO_WINDOWS_PROGRAM"))
        launcher = wintest.path_of("TAVRO_DETACHED_LAUNCHER")
        command = [wintest.WINE_RUN, launcher, '"%s" "Bronze Lamp" 3' % program]
        run = run_in_pty(command, self.folder, self.env, redirect=False)
        self.assertEqual(run.code, 0)
        shown = wintest.terminal_text(run.terminal)
        self.assertIn("TAVRO Shopping list generator by DURSK Alpha 7", shown)
        self.assertIn("   3 Bronze Lamp Frame", shown)


class InterruptTest(unittest.TestCase):
    """Ctrl+C during a download leaves the cache as it was, in both builds."""

    def test_ctrl_c_during_a_download(self):
        standin = wintest.Standin()
        try:
            standin.set_rules([{"path": DOCUMENT, "delay": 60, "body": "late"}])
            for label, command_of in (("linux", linux_command), ("windows", windows_command)):
                with self.subTest(label):
                    folder = tempfile.mkdtemp(prefix="shopping-interrupt-")
                    self.addCleanup(shutil.rmtree, folder, True)
                    os.makedirs(os.path.join(folder, "cache"))
                    shutil.copy(os.path.join(SAMPLE, "core.json"), os.path.join(folder, "cache", "corvanedbcore"))
                    before = folder_snapshot(os.path.join(folder, "cache"))
                    seen = {"download": False, "sent": False}

                    def press_ctrl_c(master, elapsed):
                        names = os.listdir(os.path.join(folder, "cache"))
                        seen["download"] = seen["download"] or any(n.startswith(".download-") for n in names)
                        if seen["download"] and not seen["sent"] and DOCUMENT in str(standin.requests()):
                            os.write(master, b"\x03")
                            seen["sent"] = True

                    run = run_in_pty(command_of(["Copper Ore", "-rc", "-v"]), folder,
                                     program_environment(standin.url), feed=press_ctrl_c)
                    self.assertTrue(seen["sent"], "the download never started")
                    self.assertNotIn(b"Error", run.stdout)
                    self.assertEqual(folder_snapshot(os.path.join(folder, "cache")), before)
        finally:
            standin.stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
