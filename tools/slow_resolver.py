#!/usr/bin/env python3
"""A name server that answers every name slowly: each A query with 127.0.0.1, each other
query with no address, after --delay seconds (queries wait side by side).

    python3 tools/slow_resolver.py --address 127.9.9.1 --delay 4 --ready-file FILE

It listens on UDP port 53 of --address (any 127.x.y.z; port 53 needs root), writes
--ready-file once it listens, and runs until it is stopped. A resolv.conf naming that
address (bind-mounted over /etc/resolv.conf in a mount namespace of its own) makes a
program's name lookups slow, for tests of what waits for a lookup."""

import argparse
import socket
import struct
import threading
import time

TYPE_A = 1


def answer(query):
    """The reply to one query: its question, and for an A question the address 127.0.0.1."""
    ident, _flags, questions = struct.unpack(">HHH", query[:6])
    end = 12
    while query[end] != 0:
        end += query[end] + 1
    question = query[12:end + 5]
    qtype = struct.unpack(">H", query[end + 1:end + 3])[0]
    records = b""
    if questions == 1 and qtype == TYPE_A:
        records = struct.pack(">HHHIH", 0xC00C, TYPE_A, 1, 60, 4) + socket.inet_aton("127.0.0.1")
    return struct.pack(">HHHHHH", ident, 0x8180, 1, 1 if records else 0, 0, 0) + question + records


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--address", required=True)
    parser.add_argument("--delay", type=float, required=True)
    parser.add_argument("--ready-file", required=True)
    args = parser.parse_args()
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind((args.address, 53))
    with open(args.ready_file, "w") as f:
        f.write("ready\n")

    def reply(query, sender):
        time.sleep(args.delay)
        try:
            server.sendto(answer(query), sender)
        except (OSError, IndexError, struct.error):
            pass

    while True:
        query, sender = server.recvfrom(4096)
        threading.Thread(target=reply, args=(query, sender), daemon=True).start()


if __name__ == "__main__":
    main()
