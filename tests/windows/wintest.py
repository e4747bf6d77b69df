"""What the Linux-side tests of the Windows build share: where things are, running a
program under a pseudo-terminal (the Windows build under Wine, the Linux build as it
is), the stand-in web service, and waiting for a condition.

The tests take their paths from the environment that ctest gives them
(tests/windows/CMakeLists.txt):
    TAVRO_SOURCE_DIR, TAVRO_WINDOWS_PROGRAM, TAVRO_LINUX_PROGRAM, TAVRO_DIALOG_PROBE,
    TAVRO_DETACHED_LAUNCHER, TAVRO_BUILD_DIR, TAVRO_WINE_SESSION, WINEPREFIX, and the
    build's TAVRO_WINDOWS_ARCH (win64 or win32) and TAVRO_MINGW_TRIPLET
"""

import hashlib
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.environ.get("TAVRO_SOURCE_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SAMPLE = os.path.join(SOURCE, "data", "sample")
WINE_RUN = os.path.join(SOURCE, "tools", "wine-run.sh")
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import standin_client  # noqa: E402
MAIN_TITLE = "TAVRO Shopping list generator by DURSK Alpha 7"

# A generous limit for anything that waits on a busy two-core machine.
PATIENCE = 120


def path_of(variable):
    """A path that ctest hands over; the test cannot run without it."""
    value = os.environ.get(variable)
    if not value:
        raise RuntimeError("%s is not set: run this test through ctest in the Windows build folder" % variable)
    return value


def wait_for(ready, limit=PATIENCE, what="a condition"):
    """Calls ready() until it gives something true; fails the test after `limit` seconds."""
    try:
        return standin_client.wait_until(ready, limit, what)
    except TimeoutError as error:
        raise AssertionError(str(error)) from None


def windows_path(unix_path):
    """The path under Wine's drive for / (Z:)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def program_environment(base_url, extra=None):
    """The caller's environment for a console run: the service address, no display (so
    that no message box can wait for a click), and the Wine prefix of the test run."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "CORVANEDB_TIMEOUT"):
        env.pop(name, None)
    env["CORVANEDB_URL"] = base_url
    env.update(extra or {})
    return env


def windows_command(arguments):
    return [WINE_RUN, path_of("TAVRO_WINDOWS_PROGRAM")] + list(arguments)


def linux_command(arguments):
    program = path_of("TAVRO_LINUX_PROGRAM")
    if not os.access(program, os.X_OK):
        raise AssertionError("no Linux build at %s: tools/run-tests.sh builds it first" % program)
    return [program] + list(arguments)


class Run:
    """What one run left: exit code, standard output and error bytes, terminal bytes, and
    the most memory that the process (or one it waited for) held, in KiB."""

    def __init__(self, code, stdout, stderr, terminal, peak_kb=0):
        self.code, self.stdout, self.stderr, self.terminal = code, stdout, stderr, terminal
        self.peak_kb = peak_kb


def run_in_pty(command, cwd, env, redirect=True, feed=None, limit=PATIENCE, again=None):
    """Runs command with a new pseudo-terminal as its controlling terminal and standard
    input (so it takes the console mode), standard output and error in files (with
    redirect) or on the terminal. `feed(master, elapsed)` may act on the terminal while
    it runs. What the terminal shows is read all along, so that the program never waits
    for a full terminal.

    Now and then Wine starts a program from a terminal without the console that it
    makes for it (its console host does not come up). The program then rightly finds no
    console, takes the window mode and, without a display, ends at once: exit code 0 and
    not a byte anywhere, where the console mode always prints its option list first. Such
    a run of the Windows build is made once more from the same folder, with a note (and
    after calling `again`, which may undo what else the first run did)."""
    backup = None
    if command[0] == WINE_RUN and feed is None:
        backup = tempfile.mkdtemp(prefix="shopping-backup-")
        shutil.copytree(cwd, os.path.join(backup, "folder"), symlinks=True)
    try:
        run = run_once_in_pty(command, cwd, env, redirect, feed, limit)
        if backup and run.code == 0 and not (run.stdout or run.stderr or run.terminal):
            sys.stderr.write("note: Wine gave %s no console; running it once more\n" % command)
            shutil.rmtree(cwd)
            shutil.copytree(os.path.join(backup, "folder"), cwd, symlinks=True)
            if again:
                again()
            run = run_once_in_pty(command, cwd, env, redirect, feed, limit)
        return run
    finally:
        if backup:
            shutil.rmtree(backup, ignore_errors=True)


def run_once_in_pty(command, cwd, env, redirect, feed, limit):
    scratch = tempfile.mkdtemp(prefix="shopping-pty-")
    out_path, err_path = os.path.join(scratch, "out"), os.path.join(scratch, "err")
    pid, master = pty.fork()
    if pid == 0:
        try:
            os.chdir(cwd)
            if redirect:
                out = os.open(out_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                err = os.open(err_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                os.dup2(out, 1)
                os.dup2(err, 2)
            os.execvpe(command[0], command, env)
        finally:
            os._exit(127)
    terminal = bytearray()
    started = time.monotonic()
    status = None
    peak_kb = 0
    try:
        while status is None:
            readable, _, _ = select.select([master], [], [], 0.05)
            if readable:
                try:
                    terminal += os.read(master, 65536)
                except OSError:
                    pass
            if feed:
                feed(master, time.monotonic() - started)
            done, raw, usage = os.wait4(pid, os.WNOHANG)
            if done:
                status, peak_kb = os.waitstatus_to_exitcode(raw), usage.ru_maxrss
            elif time.monotonic() - started > limit:
                os.killpg(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
                raise AssertionError("%s ran longer than %d s" % (command, limit))
        # What the terminal still holds.
        while select.select([master], [], [], 0.05)[0]:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            terminal += chunk
        stdout = read_bytes(out_path) if redirect else b""
        stderr = read_bytes(err_path) if redirect else b""
    finally:
        os.close(master)
        shutil.rmtree(scratch, ignore_errors=True)
    return Run(status, stdout, stderr, bytes(terminal), peak_kb)


read_bytes = standin_client.read_bytes


def terminal_text(raw):
    """What Wine's console shows on a terminal, as text: its escape sequences removed
    and each cursor step right read as a blank."""
    text = raw.replace(b"\x1b[K\x1b[1C", b" ")
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", text)
    text = re.sub(rb"\x1b\][^\x07]*\x07", b"", text)
    return text.replace(b"\r", b"").decode("utf-8", errors="replace")


def folder_snapshot(folder):
    """Name and SHA-256 of each entry of a folder ("<folder>" for a folder)."""
    found = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            found[name] = "<folder>"
        else:
            with open(path, "rb") as f:
                found[name] = hashlib.sha256(f.read()).hexdigest()
    return found


class Standin(standin_client.Standin):
    """The shared stand-in client, over the sample world unless told otherwise."""

    def __init__(self, data=SAMPLE):
        super().__init__(data)


def sample_items():
    """The demo list as command-line arguments: each name, then its quantity."""
    items = []
    with open(os.path.join(SAMPLE, "list.txt")) as f:
        for line in f:
            name, _, quantity = line.strip().rpartition(" ")
            items += [name, quantity]
    return items


class StandinTestCase(unittest.TestCase):
    """Tests that share one stand-in on the sample world and one scratch folder, `work`,
    both removed after the last test (also when the set-up fails half-way)."""

    WORK_PREFIX = "shopping-"

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix=cls.WORK_PREFIX)
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        cls.standin = Standin()
        cls.addClassCleanup(cls.standin.stop)
