"""The real program under a headless Wayland compositor, driven through the accessibility
bus: weston's headless backend has no keyboard or pointer to fake input on, so buttons are
pressed with their AT-SPI "Press" action and the window is read back through AT-SPI too.

Everything runs in a session of its own: a private runtime folder, a private D-Bus
session bus with its accessibility bus, and weston on a socket in that folder. Nothing
here sleeps for a fixed time: every wait polls against a deadline.

Run with Debian's /usr/bin/python3: the AT-SPI bindings are Debian packages.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import warnings

from calllog import CallLog, Failure, poll

TITLE = "Varnel Quorvin Functional Utility V2.0"
DEADLINE = 10.0  # seconds any one expected thing may take on a loaded machine

# The Debian packages the case needs beyond the X11 ones.
REQUIRED = ["weston", "qt6-wayland", "dbus-daemon", "dbus-bin", "at-spi2-core",
            "python3-gi", "gir1.2-atspi-2.0"]


def missing_packages():
    """The required Debian packages that are not installed."""
    missing = []
    for package in REQUIRED:
        state = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                               capture_output=True, text=True).stdout
        if "install ok installed" not in state:
            missing.append(package)
    return missing


class Session:
    """A private D-Bus session with its accessibility bus and a headless weston."""

    def __init__(self, width=1024, height=640):
        self.runtime = tempfile.mkdtemp(prefix="crtest-wayland-")  # 0700, as Wayland asks
        self.children = []
        self.env = {key: value for key, value in os.environ.items()
                    if key not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                   "AT_SPI_BUS_ADDRESS", "QT_SCALE_FACTOR")}
        self.env["XDG_RUNTIME_DIR"] = self.runtime
        self.weston_log = os.path.join(self.runtime, "weston.log")
        try:
            self._start_buses()
            self._start_weston(width, height)
        except BaseException:
            self.close()
            raise

    def start(self, argv, env=None, **options):
        """Starts a process in this session, in a process session of its own so that it
        can be ended with everything it started."""
        child = subprocess.Popen(argv, env=env or self.env, start_new_session=True,
                                 **options)
        self.children.append(child)
        return child

    def _start_buses(self):
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
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
             f"--log={self.weston_log}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        path = os.path.join(self.runtime, socket)
        try:
            poll("weston's socket", lambda: weston.poll() is not None or os.path.exists(path),
                 deadline=DEADLINE)
        except Failure:
            raise Failure(f"weston made no socket in {DEADLINE:.0f} s; its log:\n"
                          f"{self.weston_says()}") from None
        if weston.poll() is not None:
            raise Failure(f"weston ended with status {weston.returncode}; its log:\n"
                          f"{self.weston_says()}")
        self.env["WAYLAND_DISPLAY"] = socket

    def weston_says(self):
        try:
            with open(self.weston_log, errors="replace") as log:
                # weston writes its log out in blocks: a running weston may show nothing.
                return log.read()[-4000:] or "(nothing written yet)"
        except OSError:
            return "(none)"

    def connect(self):
        """The AT-SPI client library, connected to this session's accessibility bus.

        The library reads the bus address from this process's environment the first time
        it is used and keeps that connection: one session a process."""
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"]
        os.environ["XDG_RUNTIME_DIR"] = self.runtime
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

    def strays(self):
        """Processes still running with this session's runtime folder: what the buses
        started on demand, and anything those started."""
        marker = f"\0XDG_RUNTIME_DIR={self.runtime}\0".encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    if marker in b"\0" + environ.read():
                        found.append(int(entry))
            except OSError:  # gone, or not ours to read
                continue
        return found

    def close(self):
        """Ends every process of the session, the last started first, then whatever is
        left that was started on their behalf, and removes the runtime folder."""
        for child in reversed(self.children):
            stop(child)
        for sig in (signal.SIGTERM, signal.SIGKILL):
            for pid in self.strays():
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            end = time.monotonic() + 3
            while self.strays() and time.monotonic() < end:
                time.sleep(0.02)
        left = self.strays()
        shutil.rmtree(self.runtime, ignore_errors=True)
        if left:
            raise Failure(f"processes of the Wayland session would not end: {left}")


def stop(child):
    """Ends a child and the rest of its process group: politely, then not."""
    if child.poll() is None:
        for sig, patience in ((signal.SIGTERM, 3), (signal.SIGKILL, DEADLINE)):
            try:
                os.killpg(child.pid, sig)
            except ProcessLookupError:
                break
            try:
                child.wait(timeout=patience)
                break
            except subprocess.TimeoutExpired:
                continue
    for stream in (child.stdout, child.stderr):
        if stream:
            stream.close()


class Program(CallLog):
    """build/crtest as a Wayland client of the session, its driver calls written down by
    the recorder, its window seen through the accessibility bus."""

    def __init__(self, session, atspi, program, recorder_dir, driver):
        self.session = session
        self.atspi = atspi
        self.folder = tempfile.mkdtemp(prefix="crtest-wayland-program-")
        self.log_path = os.path.join(self.folder, "calls.log")
        self.output_path = os.path.join(self.folder, "output.txt")
        env = dict(session.env)
        env.update({
            "QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "LD_LIBRARY_PATH": recorder_dir, "CRTEST_RECORD_DRIVER": driver,
            "CRTEST_RECORD_LOG": self.log_path, "CRTEST_RECORD_DELAY": "",
        })
        with open(self.output_path, "wb") as output:
            self.process = session.start([program], env=env, cwd=self.folder,
                                         stdout=output, stderr=subprocess.STDOUT)
        self.answered = set()

    def close(self):
        stop(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)

    def output(self):
        with open(self.output_path, errors="replace") as output:
            return output.read()

    def ended(self):
        """Fails, with what the program said, if it is no longer running."""
        if self.process.poll() is not None:
            raise Failure(f"the program ended with status {self.process.returncode}; "
                          f"it said:\n{self.output()}")

    def wait(self, what, check, deadline=DEADLINE):
        """Like poll, but gives up at once, saying so, if the program has ended."""
        def check_while_running():
            value = check()
            if not value:
                self.ended()
            return value
        return poll(what, check_while_running, deadline, interval=0.02)

    def wait_for_exit(self):
        try:
            return self.process.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end") from None

    # The program as the accessibility bus shows it.
    def application(self):
        """The program's node on the accessibility bus, told by its process id."""
        desktop = self.atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            node = desktop.get_child_at_index(i)
            try:
                if node is not None and node.get_process_id() == self.process.pid:
                    return node
            except Exception:  # an application that left the bus while we looked
                continue
        return None

    def showing(self, node):
        return node.get_state_set().contains(self.atspi.StateType.SHOWING)

    def find(self, role, name, within=None):
        """The first showing node of that role and name, depth first."""
        stack = [within or self.application()]
        while stack:
            node = stack.pop()
            if node is None:
                continue
            try:
                if node.get_role_name() == role and node.get_name() == name \
                        and self.showing(node):
                    return node
                stack.extend(node.get_child_at_index(i)
                             for i in reversed(range(node.get_child_count())))
            except Exception:  # a node that went away while we looked
                continue
        return None

    def window(self):
        """The program's top-level window, if it is shown."""
        application = self.application()
        if application is None:
            return None
        for i in range(application.get_child_count()):
            node = application.get_child_at_index(i)
            try:
                if node.get_name() == TITLE and self.showing(node):
                    return node
            except Exception:
                continue
        return None

    def message_boxes(self):
        """The message boxes shown now, as (identity, node)."""
        application = self.application()
        boxes = []
        for i in range(application.get_child_count() if application else 0):
            node = application.get_child_at_index(i)
            try:
                if node.get_role_name() == "alert" and self.showing(node):
                    boxes.append((node.path, node))
            except Exception:
                continue
        return boxes

    def press(self, name):
        """Presses the push button of that accessible name, as the user's click would."""
        button = self.wait(f'the button "{name}"', lambda: self.find("push button", name))
        do_action(button, "Press")

    def answer_message(self):
        """Waits for a message box not yet answered and presses its OK."""
        def new_box():
            return next(((identity, node) for identity, node in self.message_boxes()
                         if identity not in self.answered), None)
        identity, box = self.wait("a message box", new_box)
        ok = self.wait("the message box's OK", lambda: self.find("push button", "OK", box))
        self.answered.add(identity)
        do_action(ok, "Press")

    def wait_for_no_message(self):
        self.wait("the message boxes to close", lambda: not self.message_boxes())

    def letters(self):
        """The letters of the eight drawer state boxes, in drawer order."""
        text = ""
        for n in range(8):
            box = self.find("text", f"Drawer {n} state")
            if box is None:
                return None
            text += self.atspi.Text.get_text(box, 0, -1) or "-"
        return text


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
