"""What the system tier's cases share: the real program in a folder of its own behind the
call recorder, in a session of its own (a private Xvfb with openbox, or a headless weston
with its buses), driven and read back as a user would. Every wait polls against a deadline.
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

from PIL import Image
from Xlib import X, XK, display
from Xlib.ext import xtest

DEADLINE = 15.0  # seconds any one expected thing may take on a loaded machine
TITLE = "Varnel Quorvin Functional Utility V2.0"
PROGRAM = os.environ["CRTEST_PROGRAM"]
ARTIFACTS = os.environ.get("CRTEST_ARTIFACTS", ".")
STATISTICS = "RetrieveStatistics(0,15,106)"
REFRESH = [f"DrawerState({n})" for n in range(8)]
SIMULATED = "CCCCNNNN"  # the simulator's drawers: 0 to 3 closed, 4 to 7 not there
# What a kick calls with those shown: every present drawer is ticked, and kicked, in order;
# then each is read back, then the statistics.
KICK = [f"DrawerOpen({n})" for n in range(4)] + [f"DrawerState({n})" for n in range(4)] \
    + [STATISTICS]
# The recorder's lines: "<monotonic ns> > DrawerOpen(3)", "<monotonic ns> < DrawerOpen(3) = 0".
CALL = re.compile(r"^(\d+) ([<>]) (\S+)", re.M)

# Where the controls are, in window pixels: the layout's twips divided by 15.
BUTTONS = {"Status_Cmd": (288, 40), "Kick_Cmd": (376, 40), "cmdHelp": (472, 40),
           "Exit_Cmd": (560, 40)}
STATISTICS_BOXES = {record: (8 + left, 240 + top, 105, 30) for record, left, top in (
    (5, 184, 24), (6, 184, 88), (7, 184, 56), (10, 472, 24), (13, 472, 56), (14, 472, 88))}
# The colours that tell the drawer letters apart.
LETTER_COLOURS = {"O": lambda r, g, b: b > 180 and r < 80 and g < 80,  # blue
                  "N": lambda r, g, b: r > 180 and g < 80 and b < 80,  # red
                  "C": lambda r, g, b: max(r, g, b) < 60}  # black


def ink(image):
    """How many dark pixels (text) there are."""
    return sum(1 for pixel in image.getdata() if sum(pixel) < 200)


def poll(what, check, deadline=DEADLINE):
    """check()'s first true value; fails naming what was awaited if none comes in time."""
    end = time.monotonic() + deadline
    while not (value := check()):
        if time.monotonic() > end:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.01)
    return value


def settled(read, expected, deadline):
    """read() once it gives expected, or what it gives when the deadline has passed."""
    end = time.monotonic() + deadline
    while (value := read()) != expected and time.monotonic() < end:
        time.sleep(0.01)
    return value


def spawn(argv, **options):
    """A child in a process group of its own, so that stop() ends what it started too."""
    return subprocess.Popen(argv, start_new_session=True, **{
        "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, **options})


def stop(child):
    """Ends a child's process group, politely and then not; once only, as the group's
    number is free again afterwards."""
    if getattr(child, "stopped", False):
        return
    child.stopped = True
    for sig, patience in ((signal.SIGTERM, 3), (signal.SIGKILL, DEADLINE)):
        with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
            os.killpg(child.pid, sig)
            child.wait(timeout=patience)
    if child.stdout:
        child.stdout.close()


class Session:
    """Children with a private runtime folder; close() ends them, the last started first,
    and with them what they started (the buses' helpers, the compositor's clients)."""

    def __init__(self, *arguments):
        self.runtime = tempfile.mkdtemp(prefix="crtest-session-")  # 0700, as Wayland asks
        self.closers = [lambda: shutil.rmtree(self.runtime, ignore_errors=True)]
        self.env = {key: value for key, value in os.environ.items() if key not in (
            "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS",
            "QT_SCALE_FACTOR")} | {"XDG_RUNTIME_DIR": self.runtime}
        try:
            self.begin(*arguments)
        except BaseException:
            self.close()
            raise

    def start(self, argv, **options):
        child = spawn(argv, **{"env": self.env, **options})
        self.closers.append(lambda: stop(child))
        return child

    def close(self):
        for close in reversed(self.closers):
            close()


class XServer(Session):
    """A private Xvfb on a display number it picks itself, with openbox if asked: without a
    window manager nothing gives the focus back to the window when a message box closes."""

    def begin(self, window_manager, width, height):
        xvfb = self.start(["Xvfb", "-displayfd", "1", "-screen", "0", f"{width}x{height}x24",
                           "-nolisten", "tcp", "-noreset"], stdout=subprocess.PIPE, text=True)
        self.env["DISPLAY"] = ":" + xvfb.stdout.readline().strip()
        self.display = display.Display(self.env["DISPLAY"])
        self.closers.append(self.display.close)
        self.root = self.display.screen().root
        self.size = (width, height)
        if window_manager:
            self.start(["openbox", "--sm-disable"])
            check = self.display.intern_atom("_NET_SUPPORTING_WM_CHECK")
            poll("the window manager",
                 lambda: self.root.get_full_property(check, X.AnyPropertyType))

    def fake(self, *events):
        for kind, detail, *at in events:
            xtest.fake_input(self.display, kind, detail, *at)
        self.display.sync()

    def key(self, *names):
        """Presses the keys one after the other, then lets them go, the last first."""
        codes = [self.display.keysym_to_keycode(XK.string_to_keysym(name)) for name in names]
        self.fake(*((X.KeyPress, c) for c in codes), *((X.KeyRelease, c) for c in codes[::-1]))

    def grab(self, left, top, width, height):
        """The screen's pixels in that rectangle, as an RGB image."""
        raw = self.root.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF).data
        return Image.frombytes("RGB", (width, height), raw, "raw", "BGRX")

    def save(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.grab(0, 0, *self.size).save(path)

    def find(self, test):
        """test(window) for the first mapped window below the root or below a window
        manager's frame for which it is true, else None."""
        for window in self.root.query_tree().children:
            with contextlib.suppress(Exception):  # a window that went away while we looked
                for candidate in [window] + window.query_tree().children:
                    if (found := test(candidate)) and \
                            candidate.get_attributes().map_state == X.IsViewable:
                        return found
        return None

    def tooltip(self):
        """The geometry (x, y, width, height) of the tooltip on screen, if one is shown."""
        kind, tip = (self.display.intern_atom(name) for name in
                     ("_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_TOOLTIP"))

        def geometry(window):
            types = window.get_full_property(kind, X.AnyPropertyType)
            if types and tip in types.value:
                g = window.get_geometry()
                return (g.x, g.y, g.width, g.height)
        return self.find(geometry)


class Program:
    """build/crtest in a folder of its own on a session, the recorder in front of the
    simulator writing each call down, what it prints kept in a file."""

    def __init__(self, session, delays="", environment=None):
        self.session = session
        self.folder = tempfile.mkdtemp(prefix="crtest-system-")
        self.log_path = os.path.join(self.folder, "calls.log")
        self.answered = set()
        self.env = session.env | self.platform | {
            "LD_LIBRARY_PATH": os.environ["CRTEST_RECORDER_DIR"], "CRTEST_RECORD_DELAY": delays,
            "CRTEST_RECORD_DRIVER": os.environ["CRTEST_SIMULATOR"],
            "CRTEST_RECORD_LOG": self.log_path} | (environment or {})
        with open(os.path.join(self.folder, "output.txt"), "wb") as output:
            self.process = spawn([PROGRAM], env=self.env, cwd=self.folder, stdout=output,
                                 stderr=subprocess.STDOUT)

    def close(self):
        stop(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)

    def output(self):
        with contextlib.suppress(OSError), \
                open(os.path.join(self.folder, "output.txt"), errors="replace") as output:
            return output.read()
        return "(closed)"

    def calls(self):
        """The call log as (time.monotonic() time, "begin" or "end", "Name(arguments)")."""
        with contextlib.suppress(FileNotFoundError), open(self.log_path) as log:
            return [(int(ns) / 1e9, "begin" if way == ">" else "end", call)
                    for ns, way, call in CALL.findall(log.read())]
        return []

    def time_of(self, way, call, occurrence=1):
        times = [t for t, w, c in self.calls() if (w, c) == (way, call)]
        return times[occurrence - 1] if len(times) >= occurrence else None

    def wait_for_call(self, way, call, occurrence=1):
        poll(f"{call} to {way} ({occurrence})",
             lambda: self.time_of(way, call, occurrence) is not None)


class XProgram(Program):
    """The program on an X server; all below speaks in the window's own pixels."""
    platform = {"QT_QPA_PLATFORM": "xcb"}

    def top_level(self):
        return self.session.find(lambda window: window.get_wm_name() == TITLE and window)

    def origin(self):
        geometry = self.window.get_geometry()
        position = self.window.translate_coords(self.session.root, 0, 0)
        return (-position.x, -position.y, geometry.width, geometry.height)

    def on_screen(self, box):
        left, top, _, _ = self.origin()
        scale = float(self.env.get("QT_SCALE_FACTOR", 1))  # screen pixels a window pixel
        x, y, width, height = (round(v * scale) for v in box)
        return (left + x, top + y, width, height)

    def hover(self, box):
        x, y, width, height = self.on_screen(box)
        self.session.fake((X.MotionNotify, 0, X.CurrentTime, X.NONE, x + width // 2,
                          y + height // 2))

    def click(self, control):
        self.hover(BUTTONS[control] + (0, 0))
        self.session.fake((X.ButtonPress, 1), (X.ButtonRelease, 1))

    def in_front(self):
        return getattr(self.session.display.get_input_focus().focus, "id", None) == \
            self.window.id

    def message_box_up(self):
        """A message box of the window's, not yet answered, has the keyboard focus."""
        focus = self.session.display.get_input_focus().focus
        with contextlib.suppress(Exception):  # no window focused, not a box, or gone
            return focus.id not in self.answered and \
                focus.get_wm_transient_for().id == self.window.id
        return False

    def answer_message(self):
        """Waits for the next message box to take the focus, then presses Enter in it."""
        poll("a message box to take the focus", self.message_box_up)
        self.answered.add(self.session.display.get_input_focus().focus.id)
        self.session.key("Return")

    def pixels(self, box):
        return self.session.grab(*self.on_screen(box))

    def letters(self):
        """The letters the drawers' boxes show, each told by its colour, or - for none."""
        def letter(n):
            box = self.pixels((244 + 32 * n, 144, 21, 25))
            inside = box.crop((2, 2, box.width - 2, box.height - 2)).getdata()
            count, letter = max((sum(1 for pixel in inside if looks(*pixel)), letter)
                                for letter, looks in LETTER_COLOURS.items())
            return letter if count >= 8 else "-"
        return "".join(letter(n) for n in range(8))


class Case(unittest.TestCase):
    """A failing case prints its program's call log, what it said and what evidence() adds."""

    def track(self, program):
        self.addCleanup(program.close)
        self.program = program
        return program

    def evidence(self):
        return ""

    def tearDown(self):
        # Inside the case unittest tells no failure of a subtest; the result does.
        result = self._outcome.result
        if hasattr(self, "program") and any(getattr(test, "test_case", test) is self
                                            for test, _ in result.failures + result.errors):
            print("\ncall log:\n" + "\n".join(" ".join(map(str, c)) for c in self.program.calls())
                  + "\nthe program said:\n" + self.program.output() + self.evidence(),
                  file=sys.stderr)

    def since_start(self):
        """The calls ended since start-up, which ends in the first statistics read."""
        calls = [call for _, way, call in self.program.calls() if way == "end"]
        return calls[calls.index(STATISTICS) + 1:]

    def answer_count_boxes(self, occurrence=1):
        """The n-th statistics read ends with two count boxes: both answered."""
        self.program.wait_for_call("end", STATISTICS, occurrence)
        self.program.answer_message()
        self.program.answer_message()
        poll("the window to be in front again", self.program.in_front)

    def assertLetters(self, expected):
        """The rows show these letters, at the latest once what covered them is gone."""
        self.assertEqual(settled(self.program.letters, expected, 3), expected)
