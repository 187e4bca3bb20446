"""The program as a user meets it: real clicks and keys on a real X server, checked through
the driver's ordered call log and through what the screen shows."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402
from common import (PROGRAM, REFRESH, SIMULATOR, START_UP, STATISTICS, TITLE,  # noqa: E402
                    Case, kicks, reads, settled)
from xsession import Program, Server, drawer_box, statistics_box  # noqa: E402

FAULT_DRIVER = os.environ["CRTEST_FAULT_DRIVER"]
ARTIFACTS = os.environ.get("CRTEST_ARTIFACTS", ".")
INPUT_LATENCY = 0.05  # how long the window system may take to hand an input to the program


class WindowTest(Case):
    window_manager = True
    screen = (1024, 768)

    @classmethod
    def setUpClass(cls):
        cls.server = Server(cls.window_manager, *cls.screen)
        cls.addClassCleanup(cls.server.close)

    def launch(self, delays="", driver=SIMULATOR, environment=None):
        program = self.track(Program(self.server, driver, delays, environment))
        program.window = program.wait("the window to show", lambda: self.server.top_level(TITLE))
        return program

    def start(self, delays="", driver=SIMULATOR, environment=None):
        """Starts the program and lets its start-up end."""
        program = self.launch(delays, driver, environment)
        self.answer_count_boxes()
        self.assertEqual(program.ended_calls(), START_UP)
        return program

    def since_start(self):
        return self.calls_since(len(START_UP))

    def evidence(self):
        try:
            self.server.save(os.path.join(ARTIFACTS, self.id().rsplit(".", 1)[-1] + ".png"))
        except Exception as error:  # the picture is a help, not the verdict
            return f"\nno screenshot: {error}"
        return ""

    def in_phase(self, button, phase_begins, act, phase_ends, delays="", environment=None,
                 tries=3):
        """Clicks the button of a freshly started program, does act(program) once the phase
        has begun, and returns the calls all that caused. On a machine so busy that act came
        after the phase ended, the run says nothing and is made again."""
        for _ in range(tries):
            program = self.start(delays, environment=environment)
            program.click(button)
            program.wait_for_call(*phase_begins)
            acted = time.monotonic()
            act(program)
            ended = program.time_of(*phase_ends)
            if ended is None or acted + INPUT_LATENCY < ended:
                return self.since_start()
            program.close()
        self.fail(f"the input never came before {phase_ends}, in {tries} tries")

    def kick_or_status(self, button):
        """An act: a click on KICK or STATUS, and then its count boxes answered."""
        def act(program):
            program.click(button)
            self.answer_count_boxes(2)
        return act

    def assertShownDuring(self, call_event, shown, expected):
        """The screen shows what is expected while the program is still blocked before the
        given call event: painted before the call, not by some later event."""
        self.assertEqual(settled(shown, expected, 0.1), expected)
        self.assertIsNone(self.program.time_of(*call_event), f"{call_event} came first")

    def exit(self):
        self.program.click("Exit_Cmd")
        self.assertEqual(self.program.wait_for_exit(), 0)
        self.assertEqual(self.program.ended_calls()[-1], "CloseBexor")


class StatusDuringKick(WindowTest):
    """A STATUS click during a kick runs a full refresh at the kick's next yield, inside
    the kick, which then goes on where it was."""

    def kick_with_status(self, delays, phase_begins, phase_ends):
        return self.in_phase("Kick_Cmd", phase_begins, self.kick_or_status("Status_Cmd"),
                             phase_ends, delays, {"BEXOR_SIM_OPEN_MS": "60000"})

    def test_status_in_the_wait_after_the_kicks(self):
        calls = self.kick_with_status("", ("end", "DrawerOpen(3)"), ("begin", "DrawerState(0)", 2))
        self.assertEqual(calls, kicks(0, 1, 2, 3) + reads(0) + REFRESH + reads(1, 2, 3)
                         + [STATISTICS])

    def test_status_in_a_yield_of_the_kicks(self):
        calls = self.kick_with_status("DrawerOpen=300", ("begin", "DrawerOpen(1)"),
                                      ("end", "DrawerOpen(1)"))
        self.assertEqual(calls, kicks(0, 1) + REFRESH + kicks(2, 3) + reads(0, 1, 2, 3)
                         + [STATISTICS])

    def test_status_in_a_wait_of_the_second_pass(self):
        calls = self.kick_with_status("", ("end", "DrawerState(1)", 2),
                                      ("begin", "DrawerState(2)", 2))
        self.assertEqual(calls, kicks(0, 1, 2, 3) + reads(0, 1) + REFRESH + reads(2, 3)
                         + [STATISTICS])
        # The refresh left drawers 0 to 3 open, kicked, and 4 to 7 absent.
        self.assertLetters("OOOONNNN")


class OneHandlerAtATime(WindowTest):
    """A refresh never yields: whatever the user does meanwhile waits for its end. A close
    ends a kick at its next yield."""

    def during_refresh(self, act):
        return self.in_phase("Status_Cmd", ("begin", "DrawerState(2)", 2), act,
                             ("end", "DrawerState(7)", 2), "DrawerState=100")

    def close_box(self, program):
        program.ask_to_close()
        self.assertEqual(program.wait_for_exit(), 0)

    def test_kick_clicked_during_a_refresh_runs_after_it(self):
        self.assertEqual(self.during_refresh(self.kick_or_status("Kick_Cmd")), REFRESH
                         + kicks(0, 1, 2, 3) + reads(0, 1, 2, 3) + [STATISTICS])
        self.exit()

    def test_close_box_during_a_refresh_closes_after_it(self):
        self.assertEqual(self.during_refresh(self.close_box), REFRESH + ["CloseBexor"])

    def test_close_box_during_a_kick_closes_at_its_next_yield(self):
        calls = self.in_phase("Kick_Cmd", ("end", "DrawerOpen(3)"), self.close_box,
                              ("begin", "DrawerState(0)", 2))
        # Closed at the yield after the first drawer read back; nothing after the close.
        self.assertEqual(calls, kicks(0, 1, 2, 3) + reads(0) + ["CloseBexor"])

    def test_exit_during_a_kick_ends_it_at_once(self):
        def exit(program):
            program.click("Exit_Cmd")
            self.assertEqual(program.wait_for_exit(), 0)
        calls = self.in_phase("Kick_Cmd", ("begin", "DrawerOpen(1)"), exit,
                              ("end", "DrawerOpen(1)"), "DrawerOpen=300")
        self.assertEqual(calls, kicks(0, 1) + ["CloseBexor"])


class Keyboard(WindowTest):
    def assertExitsOn(self, key, calls):
        self.server.key(key)
        self.assertEqual(self.program.wait_for_exit(), 0)
        self.assertEqual(self.since_start(), calls)

    def test_enter_on_the_initial_focus_exits(self):
        self.start()
        self.assertExitsOn("Return", ["CloseBexor"])

    def test_escape_exits(self):
        self.start()
        self.assertExitsOn("Escape", ["CloseBexor"])

    def test_tab_then_enter_twice_refreshes_twice(self):
        # Tab moves from exit to STATUS. STATUS disables itself while it runs; the focus
        # must come back to it, so the second Enter refreshes again instead of kicking.
        program = self.start("DrawerState=50")
        self.server.key("Tab")
        self.server.key("Return")
        program.wait_for_call("begin", "DrawerState(1)", 2)
        self.server.key("Return")
        program.wait_for_call("end", "DrawerState(7)", 3)
        for _ in range(3):  # past kick and help, round to exit: no kick on the way
            self.server.key("Tab")
        self.assertExitsOn("Return", REFRESH + REFRESH + ["CloseBexor"])


class Painting(WindowTest):
    """What is painted outside the yields must be on the screen before the wait after it."""

    # No frame around the window, so its place on the screen is the program's own.
    window_manager = False

    def test_window_painted_and_centred_during_the_start_up_refresh(self):
        program = self.launch("DrawerState=300")
        program.wait_for_call("begin", "DrawerState(2)")
        self.assertEqual(program.origin(), ((1024 - 607) // 2, (768 - 384) // 2, 607, 384))
        # Both panels and the first two rows, each painted before its wait, while the third
        # is being read.
        self.assertShownDuring(("end", "DrawerState(2)"), lambda: (
            program.pixels((20, 100, 1, 1))[0][0], program.pixels((20, 250, 1, 1))[0][0],
            program.letters()[:3]), ((255, 192, 255), (192, 255, 192), "CC-"))

    def test_statistics_boxes_cleared_before_the_read_and_filled_before_each_count_box(self):
        # The boxes start with their descriptions, and are emptied before a slow read.
        program = self.launch("RetrieveStatistics=300")
        program.wait_for_call("begin", STATISTICS)
        self.assertShownDuring(("end", STATISTICS), lambda: [
            program.ink(statistics_box(record)) for record in (5, 6, 7, 10, 13, 14)],
            [0] * 6)
        # Once the first count's box is up, every text record and the raw count are shown.
        program.wait("the first count's message box", program.message_box_up)
        for record in (5, 6, 7, 10):
            self.assertGreater(program.ink(statistics_box(record)), 20, f"box {record}")
        # 1200 good openings: raw bytes B0 04 00 00, of which only the first draws much.
        self.assertGreater(program.ink(statistics_box(13)), 0)
        self.assertEqual(program.ink(statistics_box(14)), 0)


class Help(WindowTest):
    def test_a_failing_editor_is_told_and_the_window_goes_on(self):
        # xdg-open gives up only after a while, as it does when a terminal editor finds no
        # terminal: its failure comes from the event loop, as a message box of the window.
        tools = self.folder("crtest-tools-")
        with open(os.path.join(tools, "xdg-open"), "w") as stand_in:
            stand_in.write(f"#!/bin/sh\necho \"$@\" > {tools}/opened\n"
                           "echo 'no terminal emulator found' >&2\nexit 4\n")
        os.chmod(os.path.join(tools, "xdg-open"), 0o755)
        program = self.start(environment={"PATH": tools + ":" + os.environ["PATH"]})
        program.click("cmdHelp")
        program.answer_message()
        # The program starts in a folder of its own: the readme is the one beside it.
        with open(os.path.join(tools, "opened")) as opened:
            self.assertEqual(opened.read(),
                             os.path.join(os.path.dirname(PROGRAM), "Readme.Txt") + "\n")
        program.wait("the window to be in front again", program.in_front)
        program.click("Status_Cmd")
        program.wait_for_call("end", "DrawerState(7)", 2)
        self.exit()
        self.assertEqual(self.since_start(), REFRESH + ["CloseBexor"])


class FullValues(WindowTest):
    def test_a_long_serial_number_shows_whole_in_its_tooltip(self):
        # "SIMULATED-0001" is wider than its box, which shows only its beginning; the box
        # lies in a panel that takes no input, yet its tooltip still comes up.
        program = self.start()
        program.hover(statistics_box(7))
        revision = program.wait("the revision's tooltip", self.server.tooltip)
        program.hover(statistics_box(5))
        serial = program.wait("the serial number's tooltip", lambda:
                              self.server.tooltip() != revision and self.server.tooltip())
        # 14 characters against the revision's 4, in the tooltip's own font.
        self.assertGreater(serial[2], revision[2] + 40)
        self.assertGreater(xsession.ink(self.server.grab(*serial)), 50)


class DrawerRows(WindowTest):
    def test_drawer_letters_in_their_colours(self):
        # The fault driver reports drawers 0 to 3 closed and 4 to 7 absent, and opens a
        # present drawer for good when it is kicked.
        program = self.start(driver=FAULT_DRIVER)
        self.assertLetters("CCCCNNNN")
        self.kick_or_status("Kick_Cmd")(program)
        self.assertLetters("OOOONNNN")
        for n in range(8):
            self.assertEqual(program.pixels(drawer_box(n))[3][3], (255, 255, 255), n)


if __name__ == "__main__":
    unittest.main(verbosity=2)
