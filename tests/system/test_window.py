"""The program as a user meets it: real clicks and keys on a private X server, checked
through the driver's call log and through what the screen shows, also under the colour
schemes that fight its own colours most."""

import collections
import contextlib
import itertools
import os
import tempfile
import time
import unittest
from pathlib import Path

import simprinter  # tests/printer, on the path CTest gives
from common import (ARTIFACTS, DEADLINE, KICK, PROGRAM, REFRESH, SIMULATED, STATISTICS,
                    STATISTICS_BOXES, Case, XProgram, XServer, ink, poll, settled)

INPUT_LATENCY = 0.05  # how long the window system may take to hand an input to the program


class WindowTest(Case):
    window_manager = True
    screen = (1024, 768)

    @classmethod
    def setUpClass(cls):
        cls.server = XServer(cls.window_manager, *cls.screen)
        cls.addClassCleanup(cls.server.close)

    def start(self, delays="", environment=None, answered=True):
        """Starts the program, the one program on the server, waits for its window and,
        unless told not to, answers the count boxes of start-up."""
        if hasattr(self, "program"):
            self.program.close()
        program = self.track(XProgram(self.server, delays, environment))
        program.window = poll("the window to show", program.top_level)
        if answered:
            self.answer_count_boxes()
        return program

    def evidence(self):
        with contextlib.suppress(Exception):  # the picture is a help, not the verdict
            self.server.save(os.path.join(ARTIFACTS, self.id().rsplit(".", 1)[-1] + ".png"))
        return ""

    def in_phase(self, button, phase_begins, act, phase_ends, delays):
        """Clicks the button of a freshly started program, does act(program) once the phase
        has begun, and returns the calls since start-up. On a machine so busy that act came
        after the phase ended, the run says nothing and is made again. A kicked drawer stays
        open, and the program logs what it does."""
        for _ in range(3):
            program = self.start(delays, {"BEXOR_SIM_OPEN_MS": "60000",
                                          "QT_LOGGING_RULES": "crtest.*=true"})
            program.click(button)
            program.wait_for_call(*phase_begins)
            acted = time.monotonic()
            act(program)
            ended = program.time_of(*phase_ends)
            if ended is None or acted + INPUT_LATENCY < ended:
                return self.since_start()
        self.fail(f"the input never came before {phase_ends}, in 3 tries")

    def kick_or_status(self, button):
        """An act: a click on KICK or STATUS, and then its count boxes answered."""
        def act(program):
            program.click(button)
            self.answer_count_boxes(2)
        return act

    def close_box(self, program):
        """An act: the window closed as its close box or Alt+F4 closes it, through the window
        manager; the program ends by itself."""
        self.server.key("Alt_L", "F4")
        self.assertEqual(program.process.wait(DEADLINE), 0)


class Meanwhile(WindowTest):
    """The kick yields between its steps: STATUS clicked meanwhile is handled at its next
    yield, inside it, and the kick goes on where it was; a close ends it there. A refresh
    never yields: a kick clicked or a close asked for meanwhile waits for its end."""

    def test_what_comes_while_a_handler_runs(self):
        status, kick = self.kick_or_status("Status_Cmd"), self.kick_or_status("Kick_Cmd")
        for name, button, begins, act, ends, delays, expected in (
                ("STATUS while a drawer is kicked", "Kick_Cmd", ("begin", "DrawerOpen(1)"),
                 status, ("end", "DrawerOpen(1)"), "DrawerOpen=300", KICK[:2] + REFRESH + KICK[2:]),
                ("STATUS in the wait after a read-back", "Kick_Cmd", ("end", "DrawerState(1)", 2),
                 status, ("begin", "DrawerState(2)", 2), "", KICK[:6] + REFRESH + KICK[6:]),
                # The next yield follows the first read-back.
                ("close in the wait after the kicks", "Kick_Cmd", ("end", "DrawerOpen(3)"),
                 self.close_box, ("begin", "DrawerState(0)", 2), "", KICK[:5] + ["CloseBexor"]),
                ("KICK during a refresh", "Status_Cmd", ("begin", "DrawerState(2)", 2), kick,
                 ("end", "DrawerState(7)", 2), "DrawerState=100", REFRESH + KICK),
                ("close during a refresh", "Status_Cmd", ("begin", "DrawerState(2)", 2),
                 self.close_box, ("end", "DrawerState(7)", 2), "DrawerState=100",
                 REFRESH + ["CloseBexor"])):
            with self.subTest(name):
                self.assertEqual(self.in_phase(button, begins, act, ends, delays), expected)
                if act == status:
                    # Both the refresh and the kick's read-back find the kicked drawers open.
                    self.assertLetters("OOOONNNN")
                elif act == self.close_box:
                    # The technician is told nothing after the close: the program's own log
                    # of its message boxes says so (a box made while the program quits is
                    # gone before it can be seen, or nearly so).
                    said = self.program.output()
                    self.assertNotIn("Message box", said[said.index("CloseBexor"):])


class Keyboard(WindowTest):
    def test_tab_enter_and_escape(self):
        # Tab moves from exit to STATUS. STATUS disables itself while it runs; the focus
        # must come back to it, so that the second Enter refreshes again instead of kicking.
        program = self.start("DrawerState=50")
        self.server.key("Tab")
        self.server.key("Return")
        program.wait_for_call("begin", "DrawerState(1)", 2)
        self.server.key("Return")
        program.wait_for_call("end", "DrawerState(7)", 3)
        self.server.key("Escape")  # presses exit, wherever the focus is
        self.assertEqual(program.process.wait(DEADLINE), 0)
        self.assertEqual(self.since_start(), REFRESH + REFRESH + ["CloseBexor"])


class Painting(WindowTest):
    """What is painted outside the yields must be on the screen before the wait after it."""

    window_manager = False  # no frame: the window's place on the screen is the program's own

    def assertShownDuring(self, call_event, shown, expected):
        """The screen shows what is expected while the program is still blocked before the
        call event: painted before the call, not by some later event."""
        self.assertEqual(settled(shown, expected, 0.1), expected)
        self.assertIsNone(self.program.time_of(*call_event), f"{call_event} came first")

    def test_window_painted_and_centred_during_the_start_up_refresh(self):
        program = self.start("DrawerState=300", answered=False)
        program.wait_for_call("begin", "DrawerState(2)")
        self.assertEqual(program.origin(), ((1024 - 607) // 2, (768 - 384) // 2, 607, 384))
        # Both panels and the first two rows, each painted before its wait, while the third
        # is being read.
        self.assertShownDuring(("end", "DrawerState(2)"), lambda: (
            program.pixels((20, 100, 1, 1)).getpixel((0, 0)),
            program.pixels((20, 250, 1, 1)).getpixel((0, 0)),
            program.letters()[:3]), ((255, 192, 255), (192, 255, 192), "CC-"))

    def test_statistics_boxes_cleared_before_a_slow_read(self):
        # The boxes start with their descriptions.
        program = self.start("RetrieveStatistics=300", answered=False)
        program.wait_for_call("begin", STATISTICS)
        self.assertShownDuring(("end", STATISTICS), lambda: [
            ink(program.pixels(box)) for box in STATISTICS_BOXES.values()], [0] * 6)


class Help(WindowTest):
    """What tells the technician more than the window: the help text, a tooltip."""

    def test_a_failing_editor_is_told_and_the_window_goes_on(self):
        # The editor's failure comes later, from the event loop, as a message box.
        tools = tempfile.mkdtemp(dir=self.server.runtime)
        stand_in = Path(tools, "xdg-open")
        stand_in.write_text(f"#!/bin/sh\necho \"$@\" > {tools}/opened\nexit 4\n")
        stand_in.chmod(0o755)
        program = self.start(environment={"PATH": tools + ":" + os.environ["PATH"]})
        program.click("cmdHelp")
        program.answer_message()
        # The program starts in a folder of its own: the readme is the one beside it.
        self.assertEqual(Path(tools, "opened").read_text(),
                         str(Path(PROGRAM).with_name("Readme.Txt")) + "\n")
        poll("the window to be in front again", program.in_front)
        program.click("Exit_Cmd")
        self.assertEqual(program.process.wait(DEADLINE), 0)
        self.assertEqual(self.since_start(), ["CloseBexor"])

    def test_a_long_serial_number_shows_whole_in_its_tooltip(self):
        # "SIMULATED-0001" is wider than its box, which shows only its beginning; the box
        # lies in a panel that takes no input, yet its tooltip still comes up.
        program = self.start()
        program.hover(STATISTICS_BOXES[7])
        revision = poll("the revision's tooltip", self.server.tooltip)
        program.hover(STATISTICS_BOXES[5])
        serial = poll("the serial number's tooltip", lambda:
                              self.server.tooltip() != revision and self.server.tooltip())
        # 14 characters against the revision's 4, in the tooltip's own font.
        self.assertGreater(serial[2], revision[2] + 40)
        self.assertGreater(ink(self.server.grab(*serial)), 50)


class OnAPrinter(WindowTest):
    """The window on a drawer hung on a receipt printer's kick port: the printer driver
    behind the recorder, the simulated printer on a pseudo-terminal."""

    def test_start_up_and_kick(self):
        folder = tempfile.mkdtemp(dir=self.server.runtime)
        log = Path(folder, "printer.log")
        printer, device = simprinter.start(log, "--open-ms", "60000")
        self.addCleanup(printer.communicate, timeout=DEADLINE)
        program = self.start(environment={"CRTEST_RECORD_DRIVER": os.environ["CRTEST_PRINTER"],
                                          "BEXOR_PRINTER_DEVICE": device,
                                          "BEXOR_PRINTER_STATE_DIR": folder})
        # Two drawers, both read from the one switch; a printer has no others.
        self.assertLetters("CCNNNNNN")
        program.click("Kick_Cmd")
        self.answer_count_boxes(2)
        self.assertLetters("OONNNNNN")
        self.assertEqual(self.since_start(), KICK[:2] + KICK[4:6] + [STATISTICS])
        self.assertEqual([c for _, c in simprinter.kicks(log)],
                         [bytes.fromhex("1b 70 00 32 c8"), bytes.fromhex("1b 70 01 32 c8")])


SCHEMES = {"dark": "/usr/share/qt6ct/colors/darker.conf",
           "high-contrast": os.path.join(os.path.dirname(__file__), "highcontrast.conf")}

# Text on the colours the window fixes, in window pixels at scale 1, and for captions the
# side they are aligned to: the row titles and drawer numbers on the drawer panel, the
# captions and boxes of the statistics panel, and the STATUS caption on its button. The
# drawer letters keep their design colours.
TEXTS = [
    ("Cash Drawer Number :", (40, 120, 183, 18), "left"),
    ("Open/Close/Not Preset:", (40, 152, 185, 21), "left"),
    ("Kick This Drawer Out ?", (40, 184, 185, 17), "left"),
    *((f"#{n}", (244 + 32 * n, 112, 25, 21), "centre") for n in range(8)),
    ("SerialNumber :", (16, 264, 165, 17), "right"),
    ("MechanicalRevision : ", (16, 296, 165, 17), "right"),
    ("ManufactureDate :", (16, 328, 165, 17), "right"),
    ("InstallationDate :", (304, 264, 165, 17), "right"),
    ("DrawerGoodOpen :", (304, 296, 165, 25), "right"),
    ("DrawerFailedOpen :", (304, 328, 165, 17), "right"),
    *((f"box {record}", box, None) for record, box in STATISTICS_BOXES.items()),
    ("STATUS", (252, 50, 72, 20), None),
]
# A caption too wide for its label is cut at the edge opposite its alignment, and its
# letters touch that edge.
CUT_EDGES = {"left": [-1], "centre": [0, -1], "right": [0]}


def luminance(rgb):
    linear = [c / 255 / 12.92 if c / 255 <= 0.03928 else ((c / 255 + 0.055) / 1.055) ** 2.4
              for c in rgb]
    return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def text_contrast(image):
    """The contrast of a region's text against its background: the background is the
    region's most common colour, the text the colour that stands out most from it."""
    counts = collections.Counter(image.getdata())
    background = counts.most_common(1)[0][0]
    return max(contrast(colour, background) for colour in counts), background


class Appearance(WindowTest):
    """The window under the colour schemes a technician's desktop may have that fight its
    fixed colours most, at scale 1 and 2: every text it draws on a colour it fixes stays
    readable, at the contrast the WCAG asks for, and no caption is cut. Screenshots of each
    are kept in CRTEST_ARTIFACTS/screenshots for a person to look at."""

    screen = (1600, 1000)  # room for the window at twice its size

    def test_texts_readable_and_whole(self):
        for scheme, scale in itertools.product(SCHEMES, (1, 2)):
            with self.subTest(scheme=scheme, scale=scale):
                self.look_at(scheme, scale)

    def look_at(self, scheme, scale):
        config = tempfile.mkdtemp(dir=self.server.runtime)
        os.makedirs(os.path.join(config, "qt6ct"))
        with open(os.path.join(config, "qt6ct", "qt6ct.conf"), "w") as conf:
            conf.write(f"[Appearance]\ncolor_scheme_path={SCHEMES[scheme]}\n"
                       "custom_palette=true\n")
        program = self.start(environment={"QT_SCALE_FACTOR": str(scale), "XDG_CONFIG_HOME": config,
                                          "QT_QPA_PLATFORMTHEME": "qt6ct"})
        self.assertLetters(SIMULATED)
        self.server.save(os.path.join(ARTIFACTS, "screenshots", f"{scheme}-x{scale}.png"))
        self.assertEqual(program.origin()[2:], (607 * scale, 384 * scale))
        for name, box, aligned in TEXTS:
            image = program.pixels(box)
            ratio, background = text_contrast(image)
            self.assertGreaterEqual(ratio, 4.5, f"{name} on {background}")
            if aligned:
                edges = {image.getpixel((column % image.width, row))
                         for column in CUT_EDGES[aligned] for row in range(image.height)}
                self.assertEqual(edges, {background}, f"{name} cut")


if __name__ == "__main__":
    unittest.main(verbosity=2)
