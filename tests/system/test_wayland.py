"""The program on a Wayland desktop: the real program as a client of a headless weston,
its buttons pressed and its window read through the accessibility bus, checked through
the driver's ordered call log.

Run by CTest with the paths of the program, the recorder and the simulator in the
environment (see tests/system/CMakeLists.txt).
"""

import contextlib
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wsession  # noqa: E402

PROGRAM = os.environ["CRTEST_PROGRAM"]
RECORDER = os.environ["CRTEST_RECORDER_DIR"]
SIMULATOR = os.environ["CRTEST_SIMULATOR"]

REFRESH = [f"DrawerState({n})" for n in range(8)]
STATISTICS = "RetrieveStatistics(0,15,106)"

KICK = "Kick the ticked drawers"
EXIT = "Close the device and exit"


class Wayland(unittest.TestCase):
    def setUp(self):
        missing = wsession.missing_packages()
        if missing:
            self.fail("the Wayland case needs the Debian packages " + ", ".join(missing)
                      + " (setup.sh installs them)")
        # A compositor that does not start fails the case: it is what the case is about.
        self.session = wsession.Session()
        self.addCleanup(self.session.close)
        self.atspi = self.session.connect()

    def launch(self):
        program = wsession.Program(self.session, self.atspi, PROGRAM, RECORDER, SIMULATOR)
        self.addCleanup(program.close)
        self.program = program
        return program

    @contextlib.contextmanager
    def evidence(self):
        """A failure inside also prints the call log and what the program and weston said.
        (Inside a cleanup, unittest no longer tells whether the case failed.)"""
        try:
            yield
        except BaseException:
            print("\ncall log:", file=sys.stderr)
            print("\n".join(" ".join(map(str, c)) for c in self.program.calls()),
                  file=sys.stderr)
            print("\nthe program said:\n" + self.program.output(), file=sys.stderr)
            print("\nweston's log:\n" + self.session.weston_says(), file=sys.stderr)
            raise

    def assertCallsSince(self, mark, expected):
        """The calls after the mark, once there are as many as expected, are these."""
        try:
            self.program.wait(f"{len(expected)} calls",
                              lambda: len(self.program.ended_calls()[mark:]) >= len(expected))
        except wsession.Failure:
            pass  # the comparison says what came instead
        self.assertEqual(self.program.ended_calls()[mark:], expected)

    def answer_count_boxes(self):
        """The statistics end with two message boxes, one for each count, each answered OK."""
        self.program.answer_message()
        self.program.answer_message()
        self.program.wait_for_no_message()

    def assertLetters(self, expected):
        try:
            self.program.wait(f"the rows to read {expected}",
                              lambda: self.program.letters() == expected, deadline=3)
        except wsession.Failure:
            pass  # the comparison says what they read instead
        self.assertEqual(self.program.letters(), expected)

    def test_start_up_kick_and_exit(self):
        program = self.launch()
        with self.evidence():
            program.wait("the window to show on the accessibility bus", program.window)

            start_up = ["OpenBexor"] + REFRESH + [STATISTICS]
            self.assertCallsSince(0, start_up)
            self.answer_count_boxes()
            self.assertLetters("CCCCNNNN")

            program.press(KICK)
            kick = [f"DrawerOpen({n})" for n in range(4)] \
                + [f"DrawerState({n})" for n in range(4)] + [STATISTICS]
            self.assertCallsSince(len(start_up), kick)
            self.answer_count_boxes()
            self.assertLetters("OOOONNNN")

            program.press(EXIT)
            self.assertEqual(program.wait_for_exit(), 0)
            # The whole run, in order: the device closed last, and nothing called after it.
            self.assertEqual(program.ended_calls(), start_up + kick + ["CloseBexor"])
            self.assertEqual(program.calls()[-1][1:3], ("end", "CloseBexor"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
