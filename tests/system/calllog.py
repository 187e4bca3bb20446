"""The driver's call log as the recorder writes it, and waiting without fixed sleeps: the
parts of a system case that do not depend on the display it runs on.
"""

import re
import time

DEADLINE = 15.0  # seconds any one expected thing may take on a loaded machine


class Failure(AssertionError):
    pass


def poll(what, check, deadline=DEADLINE, interval=0.01):
    """Returns check()'s first true value, or fails naming what was awaited."""
    end = time.monotonic() + deadline
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"gave up waiting for {what}")
        time.sleep(interval)


CALL = re.compile(r"^(\d+) ([<>]) (\w+)(?:\(([^)]*)\))?(?: = (-?\d+))?$")


class CallLog:
    """What the recorder wrote down at self.log_path."""

    log_path = None

    # One (time in s, "begin"/"end", name, argument, result) a line.
    def calls(self):
        try:
            with open(self.log_path) as log:
                lines = log.read().splitlines()
        except FileNotFoundError:
            return []
        entries = []
        for line in lines:
            match = CALL.match(line)
            if not match:
                raise Failure(f"unreadable call log line: {line!r}")
            ns, way, name, argument, result = match.groups()
            entries.append((int(ns) / 1e9, "begin" if way == ">" else "end",
                            name + (f"({argument})" if argument is not None else ""),
                            None if result is None else int(result)))
        return entries

    def ended_calls(self):
        """The calls that have returned, in order, as "Name(argument)"."""
        return [call for _, way, call, _ in self.calls() if way == "end"]

    def time_of(self, way, call, occurrence=1):
        """When the given call began or ended for the n-th time (monotonic seconds, the
        clock time.monotonic() reads), or None if it has not."""
        times = [t for t, w, c, _ in self.calls() if w == way and c == call]
        return times[occurrence - 1] if len(times) >= occurrence else None

    def wait_for_call(self, way, call, occurrence=1):
        """Waits until the given call has begun or ended for the n-th time."""
        def seen():
            matches = [c for c in self.calls() if c[1] == way and c[2] == call]
            return len(matches) >= occurrence
        poll(f"{call} to {way} ({occurrence})", seen)
