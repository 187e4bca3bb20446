"""The real program under a headless weston, in a session of its own: a private runtime
folder, D-Bus session bus and accessibility bus. weston's headless backend has no input
devices, so buttons are pressed with their AT-SPI "Press" action and the window is read
through AT-SPI too. Needs Debian's /usr/bin/python3 for the AT-SPI bindings.
"""

import os
import subprocess
import warnings

import common
from common import DEADLINE, TITLE, Failure, settled

# The Debian packages the case needs beyond the X11 ones.
REQUIRED = ["weston", "qt6-wayland", "dbus-daemon", "dbus-bin", "at-spi2-core",
            "python3-gi", "gir1.2-atspi-2.0"]


def missing_packages():
    return [package for package in REQUIRED if "install ok installed" not in subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True).stdout]


class Session(common.Session):
    """A private D-Bus session with its accessibility bus and a headless weston; self.atspi
    is the AT-SPI client library, connected to it."""

    def __init__(self, width=1024, height=640):
        super().__init__("crtest-wayland-")
        self.weston_log = os.path.join(self.runtime, "weston.log")
        try:
            self._start_buses()
            self._start_weston(width, height)
            self.atspi = self._connect()
        except BaseException:
            self.close()
            raise

    def _start_buses(self):
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, text=True)
        address = bus.stdout.readline().strip()
        if not address:
            raise Failure(f"the session bus did not start (status {bus.wait()})")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # Qt joins the accessibility bus only if it is there when the program starts; it
        # never starts it itself.
        started = subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
             "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
            env=self.env, capture_output=True, text=True, timeout=DEADLINE)
        if started.returncode != 0:
            raise Failure(f"the accessibility bus did not start: {started.stderr.strip()}")

    def _start_weston(self, width, height):
        socket = "wayland-crtest"
        weston = self.start(
            ["weston", "--backend=headless-backend.so", f"--socket={socket}",
             "--idle-time=0", "--no-config", f"--width={width}", f"--height={height}",
             f"--log={self.weston_log}"])
        path = os.path.join(self.runtime, socket)
        settled(lambda: weston.poll() is not None or os.path.exists(path), True, DEADLINE)
        if weston.poll() is not None or not os.path.exists(path):
            raise Failure(f"weston (status {weston.poll()}) made no socket; its log:\n"
                          f"{self.weston_says()}")
        self.env["WAYLAND_DISPLAY"] = socket

    def weston_says(self):
        try:
            with open(self.weston_log, errors="replace") as log:
                # weston writes its log out in blocks: a running weston may show nothing.
                return log.read()[-4000:] or "(nothing written yet)"
        except OSError:
            return "(none)"

    def _connect(self):
        # The library reads the bus address from this process's environment the first
        # time it is used and keeps that connection: one session a process.
        os.environ.update(DBUS_SESSION_BUS_ADDRESS=self.env["DBUS_SESSION_BUS_ADDRESS"],
                          XDG_RUNTIME_DIR=self.runtime)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        with warnings.catch_warnings():
            # PyGObject's importer predates the current import protocol, and says so.
            warnings.simplefilter("ignore", ImportWarning)
            import gi
            gi.require_version("Atspi", "2.0")
            from gi.repository import Atspi
        # The program answers nothing while a driver call blocks its thread; the default
        # 0.8 s would take a refresh of eight slow drawers for a dead program.
        Atspi.set_timeout(int(DEADLINE * 1000), int(DEADLINE * 1000))
        return Atspi


class Program(common.Program):
    """build/crtest as a Wayland client of the session, seen through the accessibility bus."""

    def __init__(self, session, driver):
        self.atspi = session.atspi
        super().__init__(dict(session.env, QT_QPA_PLATFORM="wayland",
                              QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"), driver)
        self.answered = set()

    def nodes(self, test, within=None, deep=True):
        """The nodes below within (the program's node unless given) that pass test, depth
        first; only its children unless deep. Nodes that go away are passed over."""
        stack = [(within or self.application(), 0)]
        while stack:
            node, depth = stack.pop()
            try:
                if depth and test(node):
                    yield node
                if deep or not depth:
                    stack.extend((node.get_child_at_index(i), depth + 1)
                                 for i in reversed(range(node.get_child_count())))
            except Exception:  # a node that went away while we looked (or none at all)
                continue

    def shown(self, node, role=None, name=None):
        return (role is None or node.get_role_name() == role) and \
            (name is None or node.get_name() == name) and \
            node.get_state_set().contains(self.atspi.StateType.SHOWING)

    def application(self):
        """The program's node on the accessibility bus, told by its process id."""
        return next(self.nodes(lambda node: node.get_process_id() == self.process.pid,
                               self.atspi.get_desktop(0), deep=False), None)

    def find(self, role, name, within=None):
        return next(self.nodes(lambda node: self.shown(node, role, name), within), None)

    def window(self):
        return next(self.nodes(lambda node: self.shown(node, name=TITLE), deep=False), None)

    def message_boxes(self):
        """The message boxes shown now, as (identity, node)."""
        return [(node.path, node) for node in
                self.nodes(lambda node: self.shown(node, "alert"), deep=False)]

    def in_front(self):
        return not self.message_boxes()

    def press(self, name):
        """Presses the push button of that accessible name, as the user's click would."""
        do_action(self.wait(f'the button "{name}"', lambda: self.find("push button", name)),
                  "Press")

    def answer_message(self):
        """Waits for a message box not yet answered and presses its OK."""
        identity, box = self.wait("a message box", lambda: next(
            (shown for shown in self.message_boxes() if shown[0] not in self.answered), None))
        ok = self.wait("the message box's OK", lambda: self.find("push button", "OK", box))
        self.answered.add(identity)
        do_action(ok, "Press")

    def letters(self):
        """The letters of the eight drawer state boxes, in drawer order."""
        boxes = [self.find("text", f"Drawer {n} state") for n in range(8)]
        if None in boxes:
            return None
        return "".join(self.atspi.Text.get_text(box, 0, -1) or "-" for box in boxes)


def do_action(node, name):
    with warnings.catch_warnings():
        # The typelib marks the action name call deprecated, but has no successor for it
        # except the localised name, which depends on the language the program runs in.
        warnings.simplefilter("ignore", DeprecationWarning)
        names = [node.get_action_name(i) for i in range(node.get_n_actions())]
    if name not in names:
        raise Failure(f'"{node.get_name()}" has no {name} action, only {names}')
    if not node.do_action(names.index(name)):
        raise Failure(f'"{node.get_name()}" refused its {name} action')
