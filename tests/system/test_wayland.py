"""The program on a Wayland desktop: its buttons pressed and its window read through the
accessibility bus, checked through the driver's call log. Needs Debian's /usr/bin/python3 for
the accessibility library's bindings."""

import contextlib
import os
import subprocess
import unittest

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

from common import DEADLINE, KICK, SIMULATED, Case, Program, Session, poll  # noqa: E402

# The program answers nothing while a driver call blocks its thread; the default 0.8 s would
# take a refresh of eight slow drawers for a dead program.
Atspi.set_timeout(int(DEADLINE * 1000), int(DEADLINE * 1000))


class WaylandSession(Session):
    """A private D-Bus session bus with its accessibility bus, and a headless weston. That
    backend has no input devices: the program is pressed and read through AT-SPI."""

    def begin(self, width=1024, height=640):
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        # Qt joins the accessibility bus only if it is there when the program starts; it
        # never starts it itself.
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=self.env,
                       stdout=subprocess.DEVNULL, check=True, timeout=DEADLINE)
        self.weston_log = os.path.join(self.runtime, "weston.log")
        self.env["WAYLAND_DISPLAY"] = "wayland-crtest"
        weston = self.start(["weston", "--backend=headless-backend.so", "--idle-time=0",
                             "--socket=wayland-crtest", "--no-config", f"--width={width}",
                             f"--height={height}", f"--log={self.weston_log}"])
        socket = os.path.join(self.runtime, "wayland-crtest")
        poll("weston's socket", lambda: os.path.exists(socket) or weston.poll() is not None)
        if weston.poll() is not None:
            raise AssertionError(f"weston ended ({weston.returncode}):\n{self.weston_says()}")
        # The library reads the bus address from this process's environment the first
        # time it is used and keeps that connection: one session a process.
        os.environ.update(DBUS_SESSION_BUS_ADDRESS=self.env["DBUS_SESSION_BUS_ADDRESS"],
                          XDG_RUNTIME_DIR=self.runtime)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)

    def weston_says(self):
        # weston writes its log out in blocks: a running weston may show nothing yet.
        with contextlib.suppress(OSError), open(self.weston_log, errors="replace") as log:
            return log.read()[-4000:]
        return "(no log)"


class WaylandProgram(Program):
    """The program as a Wayland client of the session, seen through the accessibility bus."""
    platform = {"QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def find(self, role, name=None, within=None):
        """The shown nodes of that role (and name) below within, or anywhere on the bus: the
        program is the only one on it. Nodes that go away while we look are passed over."""
        found, stack = [], [within or Atspi.get_desktop(0)]
        while stack:
            node = stack.pop()
            with contextlib.suppress(Exception):
                stack += [node.get_child_at_index(i) for i in range(node.get_child_count())]
                if node.get_role_name() == role and name in (None, node.get_name()) and \
                        node.get_state_set().contains(Atspi.StateType.SHOWING):
                    found.append(node)
        return found

    def in_front(self):
        return not self.find("alert")

    def press(self, name, within=None):
        """Presses the push button of that accessible name, as the user's click would."""
        button = poll(f'the button "{name}"', lambda: self.find("push button", name, within))
        # Qt lists a button's press as its first action.
        if not button[0].do_action(0):
            raise AssertionError(f'"{name}" refused to be pressed')

    def answer_message(self):
        box = poll("a message box", lambda: [
            box for box in self.find("alert") if box.path not in self.answered])[0]
        self.answered.add(box.path)
        self.press("OK", box)

    def letters(self):
        boxes = [self.find("text", f"Drawer {n} state") for n in range(8)]
        if all(boxes):
            return "".join(Atspi.Text.get_text(b[0], 0, -1) or "-" for b in boxes)


class Wayland(Case):
    def setUp(self):
        # A compositor that does not start fails the case: it is what the case is about.
        self.session = WaylandSession()
        self.addCleanup(self.session.close)

    def evidence(self):
        return "\nweston's log:\n" + self.session.weston_says()

    def test_start_up_kick_and_exit(self):
        program = self.track(WaylandProgram(self.session))
        self.answer_count_boxes()
        self.assertLetters(SIMULATED)
        program.press("Kick the ticked drawers")
        self.answer_count_boxes(2)
        self.assertLetters("OOOONNNN")
        program.press("Close the device and exit")
        self.assertEqual(program.process.wait(DEADLINE), 0)
        self.assertEqual(self.since_start(), KICK + ["CloseBexor"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
