"""The program on a Wayland desktop: its buttons pressed and its window read through the
accessibility bus, checked through the driver's ordered call log."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wsession  # noqa: E402
from common import (DEADLINE, SIMULATOR, START_UP, STATISTICS, Case, kicks,  # noqa: E402
                    reads, settled)


class Wayland(Case):
    def setUp(self):
        missing = wsession.missing_packages()
        if missing:
            self.fail("the Wayland case needs the Debian packages " + ", ".join(missing)
                      + " (setup.sh installs them)")
        # A compositor that does not start fails the case: it is what the case is about.
        self.session = wsession.Session()
        self.addCleanup(self.session.close)

    def evidence(self):
        return "\nweston's log:\n" + self.session.weston_says()

    def assertCallsSince(self, mark, expected):
        """The calls after the mark, once there are as many as expected, are these."""
        settled(lambda: len(self.calls_since(mark)) >= len(expected), True, DEADLINE)
        self.assertEqual(self.calls_since(mark), expected)

    def test_start_up_kick_and_exit(self):
        program = self.track(wsession.Program(self.session, SIMULATOR))
        program.wait("the window to show on the accessibility bus", program.window)
        self.assertCallsSince(0, START_UP)
        self.answer_count_boxes()
        self.assertLetters("CCCCNNNN")

        program.press("Kick the ticked drawers")
        kick = kicks(0, 1, 2, 3) + reads(0, 1, 2, 3) + [STATISTICS]
        self.assertCallsSince(len(START_UP), kick)
        self.answer_count_boxes(2)
        self.assertLetters("OOOONNNN")

        program.press("Close the device and exit")
        self.assertEqual(program.wait_for_exit(), 0)
        # The whole run, in order: the device closed last, and nothing called after it.
        self.assertEqual(program.ended_calls(), START_UP + kick + ["CloseBexor"])
        self.assertEqual(program.calls()[-1][1:3], ("end", "CloseBexor"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
