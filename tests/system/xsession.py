"""The real program on a real X server: a private Xvfb, the program started against a driver
behind the call recorder, input through the XTest extension, and the screen read back.

Nothing here sleeps for a fixed time: every wait polls the call log, the window or the
process against a deadline.
"""

import os
import shutil
import subprocess
import tempfile

# The call log and the waits are the same on every display; the cases reach them from here.
from calllog import DEADLINE, CallLog, Failure, poll  # noqa: F401
from Xlib import X, XK, display
from Xlib.ext import xtest
from Xlib.protocol import event

TITLE = "Varnel Quorvin Functional Utility V2.0"

# Where the controls are, in window pixels, centred: the design's twips divided by 15.
BUTTONS = {"Status_Cmd": (288, 40), "Kick_Cmd": (376, 40), "cmdHelp": (472, 40),
           "Exit_Cmd": (560, 40)}
DRAWER_PANEL = (8, 88)
STATISTICS_PANEL = (8, 240)


def drawer_box(n):
    """The state box of drawer n, as (left, top, width, height) in the window."""
    return (DRAWER_PANEL[0] + 236 + 32 * n, DRAWER_PANEL[1] + 56, 21, 25)


STATISTICS_BOXES = {5: (184, 24), 6: (184, 88), 7: (184, 56), 10: (472, 24),
                    13: (472, 56), 14: (472, 88)}


def statistics_box(record):
    left, top = STATISTICS_BOXES[record]
    return (STATISTICS_PANEL[0] + left, STATISTICS_PANEL[1] + top, 105, 30)


class Server:
    """A private Xvfb on a display number it picks itself."""

    def __init__(self, window_manager=False, width=1024, height=768):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        with os.fdopen(read, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    self.process.kill()
                    raise Failure("Xvfb did not start")
                number += chunk
        self.name = ":" + number.decode().strip()
        self.display = display.Display(self.name)
        self.root = self.display.screen().root
        self.size = (width, height)
        self.runtime = tempfile.mkdtemp(prefix="crtest-runtime-")
        os.chmod(self.runtime, 0o700)
        self.manager = None
        if window_manager:
            # Without one, nothing gives the keyboard focus back to the window when a
            # message box closes; a technician's desktop always has one.
            self.manager = subprocess.Popen(
                ["openbox", "--sm-disable"], env=dict(os.environ, DISPLAY=self.name),
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            check = self.display.intern_atom("_NET_SUPPORTING_WM_CHECK")
            poll("the window manager", lambda: self.root.get_full_property(check, X.AnyPropertyType))

    def close(self):
        if self.manager:
            self.manager.terminate()
            self.manager.wait()
        self.display.close()
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)

    # Input, as the user makes it.
    def move(self, x, y):
        xtest.fake_input(self.display, X.MotionNotify, x=x, y=y)
        self.display.sync()

    def click(self, x, y):
        self.move(x, y)
        xtest.fake_input(self.display, X.ButtonPress, 1)
        xtest.fake_input(self.display, X.ButtonRelease, 1)
        self.display.sync()

    def key(self, name):
        code = self.display.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(self.display, X.KeyPress, code)
        xtest.fake_input(self.display, X.KeyRelease, code)
        self.display.sync()

    def focus(self):
        return self.display.get_input_focus().focus

    def grab(self, left, top, width, height):
        """The screen's pixels in that rectangle, as rows of (r, g, b)."""
        raw = self.root.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF).data
        return [[(raw[i + 2], raw[i + 1], raw[i]) for i in range(row * width * 4,
                                                                  (row + 1) * width * 4, 4)]
                for row in range(height)]

    def save(self, path):
        from PIL import Image  # only needed when a picture is kept
        width, height = self.size
        raw = self.root.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF).data
        Image.frombytes("RGB", (width, height), raw, "raw", "BGRX").save(path)

    def tooltip(self):
        """The geometry (x, y, width, height) of the tooltip on screen, if one is shown."""
        kind = self.display.intern_atom("_NET_WM_WINDOW_TYPE")
        tip = self.display.intern_atom("_NET_WM_WINDOW_TYPE_TOOLTIP")
        for window in self.root.query_tree().children:
            try:
                types = window.get_full_property(kind, X.AnyPropertyType)
                if types and tip in types.value and \
                        window.get_attributes().map_state == X.IsViewable:
                    g = window.get_geometry()
                    return (g.x, g.y, g.width, g.height)
            except Exception:  # a window that went away while we looked
                continue
        return None

    def top_level(self, title):
        """The mapped window of that title, looked for below the root and, where a window
        manager has put it in a frame, below its frame."""
        for window in self.root.query_tree().children:
            try:
                for candidate in [window] + window.query_tree().children:
                    if candidate.get_wm_name() == title and \
                            candidate.get_attributes().map_state == X.IsViewable:
                        return candidate
            except Exception:  # a window that went away while we looked
                continue
        return None


class Program(CallLog):
    """build/crtest on a server, its driver calls written down by the recorder."""

    def __init__(self, server, program, recorder_dir, driver, delays="", environment=None):
        self.server = server
        self.folder = tempfile.mkdtemp(prefix="crtest-system-")
        self.log_path = os.path.join(self.folder, "calls.log")
        env = dict(os.environ)
        env.update({
            "DISPLAY": server.name, "QT_QPA_PLATFORM": "xcb", "XDG_RUNTIME_DIR": server.runtime,
            "LD_LIBRARY_PATH": recorder_dir, "CRTEST_RECORD_DRIVER": driver,
            "CRTEST_RECORD_LOG": self.log_path, "CRTEST_RECORD_DELAY": delays,
        })
        env.pop("QT_SCALE_FACTOR", None)
        env.update(environment or {})
        # Everything below speaks in the window's own pixels; this many screen pixels each.
        self.scale = float(env.get("QT_SCALE_FACTOR", 1))
        self.process = subprocess.Popen([program], cwd=self.folder, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.window = poll("the window to show", lambda: server.top_level(TITLE))
        self.known_windows = {self.window.id}

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def origin(self):
        geometry = self.window.get_geometry()
        position = self.window.translate_coords(self.server.root, 0, 0)
        return (-position.x, -position.y, geometry.width, geometry.height)

    # What the user does to the window.
    def click(self, control):
        left, top, _, _ = self.origin()
        x, y = BUTTONS[control]
        self.server.click(left + round(x * self.scale), top + round(y * self.scale))

    def hover(self, box):
        left, top, _, _ = self.origin()
        x, y, width, height = (round(v * self.scale) for v in box)
        self.server.move(left + x + width // 2, top + y + height // 2)

    def ask_to_close(self):
        """What the window manager sends when the user clicks the window's close box."""
        d = self.server.display
        protocols = d.intern_atom("WM_PROTOCOLS")
        message = event.ClientMessage(
            window=self.window, client_type=protocols,
            data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        self.window.send_event(message, event_mask=X.NoEventMask)
        d.sync()

    def has_focus(self):
        focus = self.server.focus()
        return not isinstance(focus, int) and focus.id == self.window.id

    def message_box_up(self):
        """A message box of the window's, not yet answered, has the keyboard focus."""
        focus = self.server.focus()
        if isinstance(focus, int) or focus.id in self.known_windows:
            return False
        try:
            owner = focus.get_wm_transient_for()
        except Exception:  # gone while we looked
            return False
        return owner is not None and owner.id == self.window.id

    def answer_message(self):
        """Waits for the next message box to take the focus, then presses Enter in it."""
        poll("a message box to take the focus", self.message_box_up)
        self.known_windows.add(self.server.focus().id)
        self.server.key("Return")

    def wait_for_exit(self):
        try:
            return self.process.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def output(self):
        return self.process.stdout.read().decode(errors="replace") if self.process.stdout else ""

    # What the window shows.
    def pixels(self, box):
        left, top, _, _ = self.origin()
        x, y, width, height = (round(v * self.scale) for v in box)
        return self.server.grab(left + x, top + y, width, height)

    def letter(self, n):
        """The letter drawer n's box shows, told by its colour: O blue, N red, C black, - none."""
        counts = {"O": 0, "N": 0, "C": 0}
        for row in self.pixels(drawer_box(n))[2:-2]:
            for r, g, b in row[2:-2]:
                if b > 180 and r < 80 and g < 80:
                    counts["O"] += 1
                elif r > 180 and g < 80 and b < 80:
                    counts["N"] += 1
                elif r < 60 and g < 60 and b < 60:
                    counts["C"] += 1
        letter, count = max(counts.items(), key=lambda item: item[1])
        return letter if count >= 8 else "-"

    def letters(self):
        return "".join(self.letter(n) for n in range(8))

    def ink(self, box):
        """How many dark pixels (text) a box holds."""
        return sum(1 for row in self.pixels(box) for r, g, b in row if r + g + b < 200)
