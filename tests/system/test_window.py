"""The program as a user meets it: real clicks and keys on a real X server, checked through
the driver's ordered call log and through what the screen shows.

Run by CTest with the paths of the program, the recorder, the simulator and the fault
driver in the environment (see tests/system/CMakeLists.txt).
"""

import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402
from xsession import Program, Server, drawer_box, statistics_box  # noqa: E402

PROGRAM = os.environ["CRTEST_PROGRAM"]
RECORDER = os.environ["CRTEST_RECORDER_DIR"]
SIMULATOR = os.environ["CRTEST_SIMULATOR"]
FAULT_DRIVER = os.environ["CRTEST_FAULT_DRIVER"]
ARTIFACTS = os.environ.get("CRTEST_ARTIFACTS", ".")

REFRESH = [f"DrawerState({n})" for n in range(8)]
# How long the window system may take to hand an input to the program.
INPUT_LATENCY = 0.05
STATISTICS = "RetrieveStatistics(0,15,106)"


def kicks(*drawers):
    return [f"DrawerOpen({n})" for n in drawers]


def reads(*drawers):
    return [f"DrawerState({n})" for n in drawers]


class WindowTest(unittest.TestCase):
    server = None
    window_manager = True
    screen = (1024, 768)

    @classmethod
    def setUpClass(cls):
        cls.server = Server(cls.window_manager, *cls.screen)

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def start(self, delays="", driver=SIMULATOR, environment=None):
        """Starts the program and lets its start-up end: a refresh, the statistics and
        their two count boxes, answered."""
        program = self.launch(delays, driver, environment)
        program.wait_for_call("end", STATISTICS)
        program.answer_message()
        program.answer_message()
        xsession.poll("the window to have the focus again",
                      lambda: program.has_focus() and not program.message_box_up())
        self.assertEqual(program.ended_calls(), ["OpenBexor"] + REFRESH + [STATISTICS])
        return program

    def launch(self, delays="", driver=SIMULATOR, environment=None):
        program = Program(self.server, PROGRAM, RECORDER, driver, delays, environment)
        self.addCleanup(program.close)
        self.addCleanup(self.keep_evidence, program)
        self.program = program
        return program

    def keep_evidence(self, program):
        """A failing case leaves a picture of the screen and the call log behind."""
        # Inside a clean-up unittest reports success afresh; the result knows better.
        result = self._outcome.result
        if not any(getattr(test, "test_case", test) is self
                   for test, _ in result.failures + result.errors):
            return
        os.makedirs(ARTIFACTS, exist_ok=True)
        name = self.id().rsplit(".", 1)[-1]
        try:
            self.server.save(os.path.join(ARTIFACTS, name + ".png"))
        except Exception as error:  # the picture is a help, not the verdict
            print(f"no screenshot: {error}", file=sys.stderr)
        print("\n".join(" ".join(map(str, c)) for c in program.calls()), file=sys.stderr)

    def calls_since(self, mark):
        return self.program.ended_calls()[mark:]

    def finish_kick(self):
        """A kick ends with the statistics and their two count boxes."""
        self.program.wait_for_call("end", STATISTICS, 2)
        self.program.answer_message()
        self.program.answer_message()

    def in_phase(self, scenario, delays="", environment=None, tries=3):
        """Runs scenario(program) on a freshly started program and returns the calls it
        caused. The scenario acts on the window at some moment of a handler and names the
        call event that ends that moment; on a machine so busy that the input could not be
        made in time, the run says nothing and is made again."""
        for _ in range(tries):
            program = self.start(delays, environment=environment)
            mark = len(program.ended_calls())
            acted, (way, call, *occurrence) = scenario(program)
            ended = program.time_of(way, call, *occurrence)
            if ended is None or acted + INPUT_LATENCY < ended:
                return self.calls_since(mark)
            program.close()
        self.fail(f"the input never came before {call} {way}ed, in {tries} tries")

    def assertShownDuring(self, call_event, shown, expected):
        """The screen shows what is expected while the program is still blocked before the
        given call event: painted before the call, not by some later event."""
        try:
            xsession.poll(f"the screen to show {expected}", lambda: shown() == expected,
                          deadline=0.1)
        except xsession.Failure:
            self.assertEqual(shown(), expected)
        self.assertIsNone(self.program.time_of(*call_event), f"{call_event} came first")

    def assertLetters(self, expected):
        """The rows show these letters once the message boxes that covered them are gone
        and the window has repainted what they covered."""
        try:
            xsession.poll(f"the rows to read {expected}",
                          lambda: self.program.letters() == expected, deadline=3)
        except xsession.Failure:
            self.assertEqual(self.program.letters(), expected)

    def exit(self):
        self.program.click("Exit_Cmd")
        self.assertEqual(self.program.wait_for_exit(), 0)
        self.assertEqual(self.program.ended_calls()[-1], "CloseBexor")


class StatusDuringKick(WindowTest):
    """A STATUS click during a kick runs a full refresh at the kick's next yield, inside
    the kick, which then goes on where it was."""

    def kick_with_status(self, delays, click_after, phase_end):
        def scenario(program):
            program.click("Kick_Cmd")
            program.wait_for_call(*click_after)
            clicked = time.monotonic()
            program.click("Status_Cmd")
            self.finish_kick()
            return clicked, phase_end
        return self.in_phase(scenario, delays, {"BEXOR_SIM_OPEN_MS": "60000"})

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
    """A refresh never yields: whatever the user does meanwhile waits for its end."""

    def during_refresh(self, act):
        def scenario(program):
            program.click("Status_Cmd")
            program.wait_for_call("begin", "DrawerState(2)", 2)
            acted = time.monotonic()
            act(program)
            return acted, ("end", "DrawerState(7)", 2)
        return self.in_phase(scenario, "DrawerState=100")

    def test_kick_clicked_during_a_refresh_runs_after_it(self):
        def kick(program):
            program.click("Kick_Cmd")
            self.finish_kick()
        self.assertEqual(self.during_refresh(kick), REFRESH + kicks(0, 1, 2, 3)
                         + reads(0, 1, 2, 3) + [STATISTICS])
        self.exit()

    def test_close_box_during_a_refresh_closes_after_it(self):
        def close(program):
            program.ask_to_close()
            self.assertEqual(program.wait_for_exit(), 0)
        self.assertEqual(self.during_refresh(close), REFRESH + ["CloseBexor"])

    def test_close_box_during_a_kick_closes_at_its_next_yield(self):
        def scenario(program):
            program.click("Kick_Cmd")
            program.wait_for_call("end", "DrawerOpen(3)")
            acted = time.monotonic()
            program.ask_to_close()
            self.assertEqual(program.wait_for_exit(), 0)
            return acted, ("begin", "DrawerState(0)", 2)
        # Closed at the yield after the first drawer read back; nothing after the close.
        self.assertEqual(self.in_phase(scenario), kicks(0, 1, 2, 3) + reads(0) + ["CloseBexor"])

    def test_exit_during_a_kick_ends_it_at_once(self):
        def scenario(program):
            program.click("Kick_Cmd")
            program.wait_for_call("begin", "DrawerOpen(1)")
            acted = time.monotonic()
            program.click("Exit_Cmd")
            self.assertEqual(program.wait_for_exit(), 0)
            return acted, ("end", "DrawerOpen(1)")
        self.assertEqual(self.in_phase(scenario, "DrawerOpen=300"), kicks(0, 1) + ["CloseBexor"])


class Keyboard(WindowTest):
    def test_enter_on_the_initial_focus_exits(self):
        program = self.start()
        mark = len(program.ended_calls())
        self.server.key("Return")
        self.assertEqual(program.wait_for_exit(), 0)
        self.assertEqual(self.calls_since(mark), ["CloseBexor"])

    def test_escape_exits(self):
        program = self.start()
        mark = len(program.ended_calls())
        self.server.key("Escape")
        self.assertEqual(program.wait_for_exit(), 0)
        self.assertEqual(self.calls_since(mark), ["CloseBexor"])

    def test_tab_then_enter_twice_refreshes_twice(self):
        # Tab moves from exit to STATUS. STATUS disables itself while it runs; the focus
        # must come back to it, so the second Enter refreshes again instead of kicking.
        program = self.start("DrawerState=50")
        mark = len(program.ended_calls())
        self.server.key("Tab")
        self.server.key("Return")
        program.wait_for_call("begin", "DrawerState(1)", 2)
        self.server.key("Return")
        program.wait_for_call("end", "DrawerState(7)", 3)
        self.server.key("Tab")
        self.server.key("Tab")
        self.server.key("Tab")  # past kick and help, round to exit: no kick on the way
        self.server.key("Return")
        self.assertEqual(program.wait_for_exit(), 0)
        self.assertEqual(self.calls_since(mark), REFRESH + REFRESH + ["CloseBexor"])


class Painting(WindowTest):
    """What is painted outside the yields must be on the screen before the wait after it."""

    # No frame around the window, so its place on the screen is the program's own.
    window_manager = False

    def test_window_painted_and_centred_during_the_start_up_refresh(self):
        program = self.launch("DrawerState=300")
        program.wait_for_call("begin", "DrawerState(2)")
        left, top, width, height = program.origin()
        self.assertEqual((width, height), (607, 384))
        self.assertEqual((left, top), ((1024 - 607) // 2, (768 - 384) // 2))
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
        program.wait_for_call("end", STATISTICS)
        # The first count's box is up: every text record and the raw count are on screen.
        xsession.poll("the first count's message box", lambda: program.message_box_up())
        for record in (5, 6, 7, 10):
            self.assertGreater(program.ink(statistics_box(record)), 20, f"box {record}")
        # 1200 good openings: raw bytes B0 04 00 00, of which only the first draws much.
        self.assertGreater(program.ink(statistics_box(13)), 0)
        self.assertEqual(program.ink(statistics_box(14)), 0)



class Help(WindowTest):
    def test_a_failing_editor_is_told_and_the_window_goes_on(self):
        # xdg-open gives up only after a while, as it does when a terminal editor finds no
        # terminal: its failure comes from the event loop, as a message box of the window.
        tools = tempfile.mkdtemp(prefix="crtest-tools-")
        self.addCleanup(shutil.rmtree, tools, True)
        with open(os.path.join(tools, "xdg-open"), "w") as stand_in:
            stand_in.write(f"#!/bin/sh\necho \"$@\" > {tools}/opened\n"
                           "echo 'no terminal emulator found' >&2\nexit 4\n")
        os.chmod(os.path.join(tools, "xdg-open"), 0o755)
        program = self.start(environment={"PATH": tools + ":" + os.environ["PATH"]})
        mark = len(program.ended_calls())
        program.click("cmdHelp")
        program.answer_message()
        # The program starts in a folder of its own: the readme is the one beside it.
        with open(os.path.join(tools, "opened")) as opened:
            self.assertEqual(opened.read(),
                             os.path.join(os.path.dirname(PROGRAM), "Readme.Txt") + "\n")
        xsession.poll("the window to have the focus again",
                      lambda: program.has_focus() and not program.message_box_up())
        program.click("Status_Cmd")
        program.wait_for_call("end", "DrawerState(7)", 2)
        self.exit()
        self.assertEqual(self.calls_since(mark), REFRESH + ["CloseBexor"])


class FullValues(WindowTest):
    def test_a_long_serial_number_shows_whole_in_its_tooltip(self):
        # "SIMULATED-0001" is wider than its box, which shows only its beginning; the box
        # lies in a panel that takes no input, yet its tooltip still comes up.
        program = self.start()
        program.hover(statistics_box(7))
        revision = xsession.poll("the revision's tooltip", self.server.tooltip)
        program.hover(statistics_box(5))
        serial = xsession.poll("the serial number's tooltip",
                               lambda: self.server.tooltip() != revision and self.server.tooltip())
        # 14 characters against the revision's 4, in the tooltip's own font.
        self.assertGreater(serial[2], revision[2] + 40)
        ink = sum(1 for row in self.server.grab(*serial) for r, g, b in row if r + g + b < 200)
        self.assertGreater(ink, 50)


class DrawerRows(WindowTest):
    def test_drawer_letters_in_their_colours(self):
        # The fault driver reports drawers 0 to 3 closed and 4 to 7 absent, and opens a
        # present drawer for good when it is kicked.
        program = self.start(driver=FAULT_DRIVER)
        self.assertLetters("CCCCNNNN")
        program.click("Kick_Cmd")
        self.finish_kick()
        self.assertLetters("OOOONNNN")
        for n in range(8):
            self.assertEqual(program.pixels(drawer_box(n))[3][3], (255, 255, 255), n)



if __name__ == "__main__":
    unittest.main(verbosity=2)
