#!/usr/bin/env python3
"""Runs a Windows test program under Wine and starts stand-in web services for it.

    standin_broker.py COMMAND [ARGUMENTS...]

A Windows program under Wine can start a Linux program (CreateProcess takes an ELF
file), but that program comes out detached: re-parented to init, without an exit
code, out of reach of the Windows side. So the Linux side starts the stand-ins: this
broker runs COMMAND with TAVRO_STANDIN_SPOOL naming a fresh spool folder, and for
each request that the program leaves there it starts or stops one stand-in
(tools/corvanedb_standin.py); whatever still runs when COMMAND ends is stopped, and
the spool folder removed. The exit code is COMMAND's.

The requests, file names relative to the spool folder (each written in one step):
    ID.start     holds the dataset folder (a Linux path): start a stand-in with
                 ID/port, ID/log, ID/rules.json; ID/output gets what it prints
                 (ID/failed when it ended before writing its port)
    ID.stop      stop it; the broker removes ID/ and the request files, then
                 writes ID.stopped
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "corvanedb_standin.py")
POLL_SECONDS = 0.01


def start(spool, ident, running):
    with open(os.path.join(spool, ident + ".start"), encoding="utf-8") as f:
        lines = f.read().splitlines()  # the data folder, and the latency in milliseconds
    data = lines[0].strip()
    latency = lines[1].strip() if len(lines) > 1 else "0"
    work = os.path.join(spool, ident)
    os.makedirs(work, exist_ok=True)
    output = open(os.path.join(work, "output"), "wb")
    try:
        process = subprocess.Popen(
            [sys.executable, os.path.abspath(STANDIN), "--data", data, "--port", "0",
             "--port-file", os.path.join(work, "port"), "--log", os.path.join(work, "log"),
             "--rules", os.path.join(work, "rules.json"), "--latency-ms", latency],
            stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT)
    except OSError as error:
        output.write(("cannot start the stand-in: %s\n" % error).encode())
        output.close()
        write_file(os.path.join(work, "failed"), "not started\n")
        return
    output.close()
    running[ident] = process


def stop(spool, ident, running):
    process = running.pop(ident, None)
    if process is not None:
        end(process)
    shutil.rmtree(os.path.join(spool, ident), ignore_errors=True)
    for suffix in (".start", ".stop"):
        try:
            os.remove(os.path.join(spool, ident + suffix))
        except OSError:
            pass
    write_file(os.path.join(spool, ident + ".stopped"), "stopped\n")


def end(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def write_file(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(temporary, path)


def serve(spool, running, handled):
    """Handles the requests that arrived; notes stand-ins that ended by themselves."""
    for name in sorted(os.listdir(spool)):
        ident, _, kind = name.rpartition(".")
        if kind == "start" and ident not in handled:
            handled.add(ident)
            start(spool, ident, running)
        elif kind == "stop":
            stop(spool, ident, running)
    for ident, process in list(running.items()):
        if process.poll() is not None and not os.path.exists(os.path.join(spool, ident, "port")):
            write_file(os.path.join(spool, ident, "failed"), "ended with %d\n" % process.returncode)
            del running[ident]


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    # A stop from outside (ctest's time-out) still stops the stand-ins.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))
    spool = tempfile.mkdtemp(prefix="shopping-spool-")
    running, handled = {}, set()
    environment = dict(os.environ, TAVRO_STANDIN_SPOOL=spool)
    try:
        program = subprocess.Popen(argv[1:], env=environment)
        while program.poll() is None:
            serve(spool, running, handled)
            time.sleep(POLL_SECONDS)
        return program.returncode
    finally:
        for process in running.values():
            end(process)
        shutil.rmtree(spool, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
