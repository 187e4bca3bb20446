"""The program on a Wayland desktop: its buttons pressed and its window read through the
accessibility bus, checked through the driver's call log."""

import unittest

from common import DEADLINE, KICK, SIMULATED, Case, WaylandProgram, WaylandSession


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
        start_up = len(program.ended_calls())
        program.press("Kick the ticked drawers")
        self.answer_count_boxes(2)
        self.assertEqual(program.ended_calls()[start_up:], KICK)
        self.assertLetters("OOOONNNN")
        program.press("Close the device and exit")
        self.assertEqual(program.process.wait(DEADLINE), 0)
        self.assertClosedLast()


if __name__ == "__main__":
    unittest.main(verbosity=2)
