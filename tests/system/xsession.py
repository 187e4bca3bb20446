"""The real program on a private Xvfb: input through the XTest extension, the screen read
back."""

import os
import subprocess

import common
from common import Failure
from Xlib import X, XK, display
from Xlib.ext import xtest
from Xlib.protocol import event

# Where the controls are, in window pixels: the layout's twips divided by 15.
BUTTONS = {"Status_Cmd": (288, 40), "Kick_Cmd": (376, 40), "cmdHelp": (472, 40),
           "Exit_Cmd": (560, 40)}
STATISTICS_BOXES = {5: (184, 24), 6: (184, 88), 7: (184, 56), 10: (472, 24),
                    13: (472, 56), 14: (472, 88)}
# The colours that tell the drawer letters apart.
LETTER_COLOURS = {"O": lambda r, g, b: b > 180 and r < 80 and g < 80,  # blue
                  "N": lambda r, g, b: r > 180 and g < 80 and b < 80,  # red
                  "C": lambda r, g, b: max(r, g, b) < 60}  # black


def drawer_box(n):
    """The state box of drawer n, as (left, top, width, height) in the window."""
    return (8 + 236 + 32 * n, 88 + 56, 21, 25)


def statistics_box(record):
    left, top = STATISTICS_BOXES[record]
    return (8 + left, 240 + top, 105, 30)


class Server(common.Session):
    """A private Xvfb on a display number it picks itself, with openbox if asked: without a
    window manager nothing gives the focus back to the window when a message box closes."""

    def __init__(self, window_manager=False, width=1024, height=768):
        super().__init__("crtest-runtime-")
        xvfb = self.start(["Xvfb", "-displayfd", "1", "-screen", "0", f"{width}x{height}x24",
                           "-nolisten", "tcp", "-noreset"], stdout=subprocess.PIPE, text=True)
        self.env["DISPLAY"] = ":" + xvfb.stdout.readline().strip()
        if self.env["DISPLAY"] == ":":
            self.close()
            raise Failure("Xvfb did not start")
        self.display = display.Display(self.env["DISPLAY"])
        self.root = self.display.screen().root
        self.size = (width, height)
        if window_manager:
            self.start(["openbox", "--sm-disable"])
            check = self.display.intern_atom("_NET_SUPPORTING_WM_CHECK")
            common.poll("the window manager",
                        lambda: self.root.get_full_property(check, X.AnyPropertyType))

    def close(self):
        if hasattr(self, "display"):
            self.display.close()
        super().close()

    def fake(self, *events):
        for kind, detail, *at in events:
            xtest.fake_input(self.display, kind, detail, *at)
        self.display.sync()

    def move(self, x, y):
        self.fake((X.MotionNotify, 0, X.CurrentTime, X.NONE, x, y))

    def click(self, x, y):
        self.move(x, y)
        self.fake((X.ButtonPress, 1), (X.ButtonRelease, 1))

    def key(self, name):
        code = self.display.keysym_to_keycode(XK.string_to_keysym(name))
        self.fake((X.KeyPress, code), (X.KeyRelease, code))

    def focus(self):
        return self.display.get_input_focus().focus

    def grab(self, left, top, width, height):
        """The screen's pixels in that rectangle, as rows of (r, g, b)."""
        raw = self.root.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF).data
        pixels = [(raw[i + 2], raw[i + 1], raw[i]) for i in range(0, width * height * 4, 4)]
        return [pixels[row * width:(row + 1) * width] for row in range(height)]

    def save(self, path):
        from PIL import Image  # only needed when a picture is kept
        os.makedirs(os.path.dirname(path), exist_ok=True)
        raw = self.root.get_image(0, 0, *self.size, X.ZPixmap, 0xFFFFFFFF).data
        Image.frombytes("RGB", self.size, raw, "raw", "BGRX").save(path)

    def find(self, test):
        """test(window) for the first mapped window below the root or below a window
        manager's frame for which it is true, else None."""
        for window in self.root.query_tree().children:
            try:
                for candidate in [window] + window.query_tree().children:
                    found = test(candidate)
                    if found and candidate.get_attributes().map_state == X.IsViewable:
                        return found
            except Exception:  # a window that went away while we looked
                continue
        return None

    def top_level(self, title):
        return self.find(lambda window: window.get_wm_name() == title and window)

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


class Program(common.Program):
    """build/crtest on a server; all below speaks in the window's own pixels."""

    def __init__(self, server, driver, delays="", environment=None):
        self.server = server
        env = dict(server.env, QT_QPA_PLATFORM="xcb", **(environment or {}))
        self.scale = float(env.get("QT_SCALE_FACTOR", 1))  # screen pixels a window pixel
        super().__init__(env, driver, delays)
        self.answered = set()

    def origin(self):
        geometry = self.window.get_geometry()
        position = self.window.translate_coords(self.server.root, 0, 0)
        return (-position.x, -position.y, geometry.width, geometry.height)

    def on_screen(self, box):
        left, top, _, _ = self.origin()
        x, y, width, height = (round(v * self.scale) for v in box)
        return (left + x, top + y, width, height)

    def click(self, control):
        x, y, _, _ = self.on_screen(BUTTONS[control] + (0, 0))
        self.server.click(x, y)

    def hover(self, box):
        x, y, width, height = self.on_screen(box)
        self.server.move(x + width // 2, y + height // 2)

    def ask_to_close(self):
        """What the window manager sends when the user clicks the window's close box."""
        d = self.server.display
        message = event.ClientMessage(
            window=self.window, client_type=d.intern_atom("WM_PROTOCOLS"),
            data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        self.window.send_event(message, event_mask=X.NoEventMask)
        d.sync()

    def in_front(self):
        """The window has the keyboard focus."""
        return getattr(self.server.focus(), "id", None) == self.window.id

    def message_box_up(self):
        """A message box of the window's, not yet answered, has the keyboard focus."""
        focus = self.server.focus()
        try:
            return focus.id not in self.answered and \
                focus.get_wm_transient_for().id == self.window.id
        except Exception:  # no window focused, not a box, or gone while we looked
            return False

    def answer_message(self):
        """Waits for the next message box to take the focus, then presses Enter in it."""
        self.wait("a message box to take the focus", self.message_box_up)
        self.answered.add(self.server.focus().id)
        self.server.key("Return")

    def pixels(self, box):
        return self.server.grab(*self.on_screen(box))

    def letter(self, n):
        """The letter drawer n's box shows, told by its colour, or - for none."""
        inside = [pixel for row in self.pixels(drawer_box(n))[2:-2] for pixel in row[2:-2]]
        letter, count = max(((letter, sum(1 for pixel in inside if looks(*pixel)))
                             for letter, looks in LETTER_COLOURS.items()), key=lambda c: c[1])
        return letter if count >= 8 else "-"

    def letters(self):
        return "".join(self.letter(n) for n in range(8))

    def ink(self, box):
        return ink(self.pixels(box))


def ink(pixels):
    """How many dark pixels (text) there are."""
    return sum(1 for row in pixels for r, g, b in row if r + g + b < 200)
