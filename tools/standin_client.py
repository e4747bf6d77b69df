"""The one client of the stand-in web service (tools/corvanedb_standin.py) for the
Python tests and the benchmarks: starts it on a free 127.0.0.1 port in a folder of its
own, waits until it listens, sets its fault rules, reads its request log, and stops it.

    with Standin("data/sample") as standin:
        standin.set_rules([{"path": "/api/search.php", "status": 500}])
        ... standin.url ... standin.requests()
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corvanedb_standin.py")
START_LIMIT = 60  # seconds a stand-in may take to start on a busy machine


def wait_until(condition, limit, what, interval=0.02):
    """Asks `condition` until it gives something true, and returns that; raises
    TimeoutError naming `what` when `limit` seconds have passed."""
    deadline = time.monotonic() + limit
    while True:
        found = condition()
        if found:
            return found
        if time.monotonic() > deadline:
            raise TimeoutError("gave up waiting for %s after %s s" % (what, limit))
        time.sleep(interval)


def read_bytes(path):
    """The file's bytes, or b"" when it cannot be read."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


class Standin:
    """One stand-in process serving `data`, with its port, log, rules and output files
    in a folder of its own (made in `parent` when given), removed when it stops.

    Raises RuntimeError with the stand-in's error output when it ends before it
    listens; the process and the folder are cleaned up on every path."""

    def __init__(self, data, extra_args=(), parent=None):
        self.dir = tempfile.mkdtemp(prefix="standin-", dir=parent)
        self.port_file = os.path.join(self.dir, "port")
        self.log_file = os.path.join(self.dir, "requests.log")
        self.rules_file = os.path.join(self.dir, "rules.json")
        self.stdout_file = os.path.join(self.dir, "stdout")
        self.stderr_file = os.path.join(self.dir, "stderr")
        self.proc = None
        self.stopped = False
        try:
            open(self.log_file, "w").close()
            with open(self.stdout_file, "wb") as out, open(self.stderr_file, "wb") as err:
                self.proc = subprocess.Popen(
                    [sys.executable, STANDIN, "--data", data, "--port-file", self.port_file,
                     "--log", self.log_file, "--rules", self.rules_file, *extra_args],
                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)

            def port_or_end():
                text = read_bytes(self.port_file)
                if text.endswith(b"\n"):
                    return text
                return b"ended" if self.proc.poll() is not None else None

            text = wait_until(port_or_end, START_LIMIT, "the stand-in's port")
            if text == b"ended":
                raise RuntimeError("the stand-in exited with code %s: %s" % (self.proc.returncode, self.stderr()))
            self.port = int(text)
            self.url = "http://127.0.0.1:%d" % self.port
        except BaseException:
            self.stop()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stdout_line(self):
        """The first line the stand-in printed (it prints it once it listens)."""
        text = wait_until(lambda: read_bytes(self.stdout_file).partition(b"\n")[1] and read_bytes(self.stdout_file),
                          START_LIMIT, "the stand-in's first line")
        return text.decode(errors="replace").partition("\n")[0] + "\n"

    def stderr(self):
        return read_bytes(self.stderr_file).decode(errors="replace")

    def set_rules(self, rules):
        """Rules as a list (written as JSON), a text (written as it is) or None (no rules
        file). The file is replaced in one step: the stand-in reads it at each request."""
        if rules is None:
            self.clear_rules()
            return
        temporary = self.rules_file + ".tmp"
        with open(temporary, "w") as f:
            f.write(rules if isinstance(rules, str) else json.dumps(rules))
        os.replace(temporary, self.rules_file)

    def clear_rules(self):
        if os.path.exists(self.rules_file):
            os.remove(self.rules_file)

    def clear_log(self):
        open(self.log_file, "w").close()

    def log_lines(self):
        """The request log's lines, one JSON object each."""
        return read_bytes(self.log_file).decode("utf-8").splitlines(keepends=True)

    def records(self):
        return [json.loads(line) for line in self.log_lines() if line.strip()]

    def requests(self):
        """"path?query" (or "path") of each request, in order."""
        return [r["path"] + ("?" + r["query"] if r["query"] else "") for r in self.records()]

    def stop(self, sig=signal.SIGTERM):
        """Stops the process (killing it if the signal does not end it), removes the
        folder, and returns the exit code."""
        if self.stopped:
            return self.proc.returncode if self.proc else None
        self.stopped = True
        code = None
        try:
            if self.proc is not None:
                if self.proc.poll() is None:
                    self.proc.send_signal(sig)
                try:
                    code = self.proc.wait(timeout=START_LIMIT)
                finally:
                    if self.proc.poll() is None:
                        self.proc.kill()
                        self.proc.wait()
        finally:
            shutil.rmtree(self.dir, ignore_errors=True)
        return code
