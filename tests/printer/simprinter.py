#!/usr/bin/env python3
"""A receipt printer with a cash drawer on its kick port, on a pseudo-terminal, for the
printer driver's tests and benchmark. It prints the terminal's path, then serves it until
its standard input closes.

It answers the real-time status request (10 04 01) with a status byte whose bit 2 is the
drawer switch's level, and a printer-ID request (1D 49 n) with the text it was given for n.
A kick (1B 70 m t1 t2) opens the drawer as its pulse ends, t1 x 2 ms later, for --open-ms.
Every byte received is logged with the moment it came, every answer with the moment it
went, on the monotonic clock: "<ns> rx <hex>" and "<ns> tx <hex>".

    simprinter.py --log FILE [--open-ms N] [--wired high|low] [--left-open]
                  [--fault off|garbage|slow|dead] [--slow-ms N] [--fault-after N]
                  [--id N=TEXT ...]
"""

import argparse
import heapq
import os
import select
import subprocess
import sys
import time
from pathlib import Path

SWITCH = 0x04
ONLINE = 0x12  # the bits every status byte has set
GARBAGE = 0xFF  # its fixed bits wrong
COMMAND_LENGTHS = {b"\x10\x04": 3, b"\x1b\x70": 5, b"\x1d\x49": 3}


def commands(stream):
    """The stream cut into the commands above, as (offset, bytes); any other byte alone."""
    at, found = 0, []
    while at < len(stream):
        length = COMMAND_LENGTHS.get(stream[at:at + 2], 1)
        if at + length > len(stream):
            break
        found.append((at, stream[at:at + length]))
        at += length
    return found


def start(log, *options):
    """This printer in a child process, which ends when its standard input is closed (as
    communicate() does): the process, and the terminal's path."""
    process = subprocess.Popen([sys.executable, __file__, "--log", str(log), *options],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    return process, process.stdout.readline().strip()


def received(log):
    """Every byte the log shows received, and the commands in them as (seconds, bytes), each
    at the time its first byte came."""
    stream, times = b"", []
    for ns, way, data in (line.split(" ", 2) for line in Path(log).read_text().splitlines()):
        if way == "rx":
            stream += bytes.fromhex(data)
            times += [int(ns) / 1e9] * (len(stream) - len(times))
    return stream, [(times[at], command) for at, command in commands(stream)]


def kicks(log):
    return [(t, c) for t, c in received(log)[1] if c[:2] == b"\x1b\x70"]


def main():
    options = argparse.ArgumentParser()
    options.add_argument("--log", required=True)
    options.add_argument("--open-ms", type=int, default=3000, help="how long a kick opens the drawer")
    options.add_argument("--wired", choices=("high", "low"), default="high",
                         help="the switch's level while the drawer is open")
    options.add_argument("--left-open", action="store_true", help="the drawer stands open")
    options.add_argument("--fault", choices=("off", "garbage", "slow", "dead"))
    options.add_argument("--slow-ms", type=int, default=0, help="a slow printer's delay")
    options.add_argument("--fault-after", type=int, default=0,
                         help="status requests answered well before the fault begins")
    options.add_argument("--id", action="append", default=[], help="N=TEXT: 1D 49 N's answer")
    args = options.parse_args()
    ids = {int(n): text.encode() for n, text in (entry.split("=", 1) for entry in args.id)}

    # The terminal is left as a new one is: the driver must make it raw itself.
    master, slave = os.openpty()
    print(os.ttyname(slave), flush=True)
    log = open(args.log, "a", buffering=1)
    pending = b""
    answers = []  # (due ns, bytes), soonest first
    opened = (0, 0)  # the drawer is open from the first to the second, in ns
    statuses = 0

    def note(way, data):
        log.write(f"{time.monotonic_ns()} {way} {data.hex(' ')}\n")

    def switch(now):
        open_ = args.left_open or opened[0] <= now < opened[1]
        return open_ == (args.wired == "high")

    while True:
        now = time.monotonic_ns()
        while answers and answers[0][0] <= now:
            data = heapq.heappop(answers)[1]
            os.write(master, data)
            note("tx", data)
        wait = max(0, answers[0][0] - now) / 1e9 if answers else None
        readable, _, _ = select.select([master, sys.stdin], [], [], wait)
        if sys.stdin in readable and not os.read(sys.stdin.fileno(), 1024):
            return
        if master not in readable:
            continue
        data = os.read(master, 1024)
        now = time.monotonic_ns()
        note("rx", data)
        pending += data
        used = 0
        for at, command in commands(pending):
            used = at + len(command)
            statuses += command[:2] == b"\x10\x04"
            fault = args.fault if statuses > args.fault_after else None
            if command[:2] == b"\x10\x04":
                if fault == "off":
                    continue
                status = GARBAGE if fault == "garbage" else ONLINE | (SWITCH if switch(now) else 0)
                delay = args.slow_ms * 1_000_000 if fault == "slow" else 0
                heapq.heappush(answers, (now + delay, bytes([status])))
            elif command[:2] == b"\x1b\x70" and fault not in ("dead", "off"):
                ends = now + command[3] * 2_000_000
                opened = (ends, ends + args.open_ms * 1_000_000)
            elif command[:2] == b"\x1d\x49" and command[2] in ids and fault != "off":
                heapq.heappush(answers, (now, b"\x5f" + ids[command[2]] + b"\x00"))
        pending = pending[used:]


if __name__ == "__main__":
    main()
