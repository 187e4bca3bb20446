"""What the X11 and the Wayland cases share: a session of child processes with a runtime
folder, the program in a folder of its own behind the call recorder, its call log, and
waits that poll against a deadline (nothing here sleeps for a fixed time).
"""

import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

DEADLINE = 15.0  # seconds any one expected thing may take on a loaded machine
TITLE = "Varnel Quorvin Functional Utility V2.0"
PROGRAM = os.environ["CRTEST_PROGRAM"]
RECORDER = os.environ["CRTEST_RECORDER_DIR"]
SIMULATOR = os.environ["CRTEST_SIMULATOR"]
STATISTICS = "RetrieveStatistics(0,15,106)"
# The recorder's lines: "<monotonic ns> > DrawerOpen(3)", "<monotonic ns> < DrawerOpen(3) = 0".
CALL = re.compile(r"^(\d+) ([<>]) (\w+(?:\([^)]*\))?)(?: = (-?\d+))?$")


def kicks(*drawers):
    return [f"DrawerOpen({n})" for n in drawers]


def reads(*drawers):
    return [f"DrawerState({n})" for n in drawers]


REFRESH = reads(*range(8))
START_UP = ["OpenBexor"] + REFRESH + [STATISTICS]


class Failure(AssertionError):
    pass


def poll(what, check, deadline=DEADLINE):
    """check()'s first true value; fails naming what was awaited if none comes in time."""
    end = time.monotonic() + deadline
    while not (value := check()):
        if time.monotonic() > end:
            raise Failure(f"gave up waiting for {what}")
        time.sleep(0.01)
    return value


def settled(read, expected, deadline):
    """read() once it gives expected, or what it gives when the deadline has passed."""
    end = time.monotonic() + deadline
    while (value := read()) != expected and time.monotonic() < end:
        time.sleep(0.01)
    return value


def start(argv, **options):
    """A child in a process group of its own, so that stop() ends what it started too; its
    output goes nowhere unless options say otherwise."""
    return subprocess.Popen(argv, start_new_session=True, **{
        "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, **options})


def stop(child):
    """Ends a child and what is left of its process group, politely and then not, and
    closes its pipes; once only, as its group's number is free again afterwards."""
    if getattr(child, "stopped", False):
        return
    child.stopped = True
    for sig, patience in ((signal.SIGTERM, 3), (signal.SIGKILL, DEADLINE)):
        with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
            os.killpg(child.pid, sig)
            child.wait(timeout=patience)
    for stream in (child.stdout, child.stderr):
        if stream:
            stream.close()


class Session:
    """Children started with a private runtime folder, each in a process group of its own;
    close() ends them, the last started first, and with them what they started (the buses'
    helpers, the compositor's clients)."""

    def __init__(self, prefix):
        self.runtime = tempfile.mkdtemp(prefix=prefix)  # 0700, as Wayland asks
        self.children = []
        self.env = {key: value for key, value in os.environ.items()
                    if key not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                   "AT_SPI_BUS_ADDRESS", "QT_SCALE_FACTOR")}
        self.env["XDG_RUNTIME_DIR"] = self.runtime

    def start(self, argv, **options):
        self.children.append(start(argv, **{"env": self.env, **options}))
        return self.children[-1]

    def close(self):
        for child in reversed(self.children):
            stop(child)
        shutil.rmtree(self.runtime, ignore_errors=True)


class Program:
    """build/crtest in a folder of its own, the recorder in front of its driver writing each
    call down, what it prints kept in a file."""

    def __init__(self, env, driver, delays=""):
        self.folder = tempfile.mkdtemp(prefix="crtest-system-")
        self.log_path = os.path.join(self.folder, "calls.log")
        env = dict(env, LD_LIBRARY_PATH=RECORDER, CRTEST_RECORD_DRIVER=driver,
                   CRTEST_RECORD_LOG=self.log_path, CRTEST_RECORD_DELAY=delays)
        with open(os.path.join(self.folder, "output.txt"), "wb") as output:
            self.process = start([PROGRAM], env=env, cwd=self.folder, stdout=output,
                                 stderr=subprocess.STDOUT)

    def close(self):
        stop(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)

    def output(self):
        try:
            with open(os.path.join(self.folder, "output.txt"), errors="replace") as output:
                return output.read()
        except FileNotFoundError:  # closed already, as a run made again is
            return ""

    def wait(self, what, check, deadline=DEADLINE):
        """poll(), but failing at once, with what the program said, if it has ended."""
        def check_while_running():
            value = check()
            if not value and self.process.poll() is not None:
                raise Failure(f"the program ended with status {self.process.returncode} "
                              f"before {what}; it said:\n{self.output()}")
            return value
        return poll(what, check_while_running, deadline)

    def wait_for_exit(self):
        try:
            return self.process.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end") from None

    def calls(self):
        """The call log as (time.monotonic() time, "begin"/"end", "Name(argument)", result)."""
        try:
            with open(self.log_path) as log:
                lines = log.read().splitlines()
        except FileNotFoundError:
            return []
        if bad := [line for line in lines if not CALL.match(line)]:
            raise Failure(f"unreadable call log lines: {bad}")
        return [(int(ns) / 1e9, "begin" if way == ">" else "end", call, result)
                for ns, way, call, result in (CALL.match(line).groups() for line in lines)]

    def ended_calls(self):
        return [call for _, way, call, _ in self.calls() if way == "end"]

    def time_of(self, way, call, occurrence=1):
        """When the call began or ended for the n-th time, or None if it has not."""
        times = [t for t, w, c, _ in self.calls() if w == way and c == call]
        return times[occurrence - 1] if len(times) >= occurrence else None

    def wait_for_call(self, way, call, occurrence=1):
        self.wait(f"{call} to {way} ({occurrence})",
                  lambda: self.time_of(way, call, occurrence) is not None)


class Case(unittest.TestCase):
    """A failing case prints its program's call log, what it said and what evidence() adds."""

    def track(self, program):
        self.addCleanup(program.close)
        self.addCleanup(self.keep_evidence, program)
        self.program = program
        return program

    def folder(self, prefix):
        path = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def evidence(self):
        return ""

    def keep_evidence(self, program):
        # Inside a clean-up unittest reports success afresh; the result knows better.
        result = self._outcome.result
        if any(getattr(test, "test_case", test) is self
               for test, _ in result.failures + result.errors):
            print("\ncall log:\n" + "\n".join(" ".join(map(str, c)) for c in program.calls())
                  + "\nthe program said:\n" + program.output() + self.evidence(),
                  file=sys.stderr)

    def calls_since(self, mark):
        return self.program.ended_calls()[mark:]

    def answer_count_boxes(self, occurrence=1):
        """The n-th statistics read ends with two count boxes: both answered."""
        self.program.wait_for_call("end", STATISTICS, occurrence)
        self.program.answer_message()
        self.program.answer_message()
        self.program.wait("the window to be in front again", self.program.in_front)

    def assertLetters(self, expected):
        """The rows show these letters, at the latest once what covered them is gone."""
        self.assertEqual(settled(self.program.letters, expected, 3), expected)
