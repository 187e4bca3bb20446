"""The printer kick-port driver (build/printer/libbexor.so) under the real crtest, against a
simulated printer on a pseudo-terminal (simprinter.py): what the check, the kicks and the
cycle run report, and every byte the printer receives, with when.

Run by CTest with the paths it needs in the environment (see tests/printer/CMakeLists.txt).
"""

import datetime
import json
import os
import re
import unittest
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

from test_cli import DEADLINE, FAST, run, scratch, validate
import simprinter

PRINTER_DIR = os.environ["CRTEST_PRINTER_DIR"]

STATUS = bytes.fromhex("10 04 01")
# Transmit printer ID: firmware, model, serial number.
IDENTITY = bytes.fromhex("1d 49 41 1d 49 43 1d 49 44")
IDS = ("65=2.31-SIM", "67=SIMPRINTER")  # what the printer tells of them: firmware and model
# Pin 2 and pin 5 for 100 ms, then off 400 ms.
KICK = [bytes.fromhex("1b 70 00 32 c8"), bytes.fromhex("1b 70 01 32 c8")]
# Short cycles: a 40 ms pulse, after which the drawer stays open 60 ms and is closed again
# long before the pin's off time of 160 ms is over.
SHORT = {"BEXOR_PRINTER_PULSE_MS": "40"}
# How much later the simulated printer may log a byte than it was written, on a loaded
# machine; a pulse fired early by the driver's own fault would be early by 90 ms or more.
JITTER = 0.010


class Printer:
    """The simulated printer of one case, with its log and the driver's state folder."""

    def __init__(self, test, *options, ids=IDS):
        folder = scratch(test)
        self.state = Path(folder, "state")
        self.log = Path(folder, "printer.log")
        process, device = simprinter.start(self.log, *(f"--id={i}" for i in ids), *options)
        test.addCleanup(process.communicate, timeout=DEADLINE)
        self.settings = {"LD_LIBRARY_PATH": PRINTER_DIR, "BEXOR_PRINTER_DEVICE": device,
                         "BEXOR_PRINTER_STATE_DIR": str(self.state)}

    def check(self, *arguments, **settings):
        """crtest --check --json ARGUMENTS: its result and its report, held to the schema."""
        result = run("--check", "--json", *arguments, **{**self.settings, **settings})
        report = json.loads(result.stdout)
        validate(report)
        return result, report


def together(rows, printer, case):
    """Each row with its printer, made by printer(row), and what case(printer, row) gives,
    the cases run all at once: the printers are slow and the machine idle meanwhile."""
    printers = [printer(row) for row in rows]
    with ThreadPoolExecutor(len(rows)) as pool:
        return zip(printers, pool.map(case, printers, rows), rows)


class Check(unittest.TestCase):
    maxDiff = None

    def test_check(self):
        """Both drawers from the one switch, as the level it is wired to says; the identity a
        printer tells; counts kept from the first use. Nothing but status and ID requests
        sent, and an answer that comes too late never taken for the next one's."""
        installed = datetime.date.today().strftime("%Y%m%d")
        shown = {"serial_number": "", "manufacture_date": "", "mechanical_revision": "2.31",
                 "installation_date": installed, "good_opens": "0", "failed_opens": "0"}
        rows = (("closed", [], {}, "closed", shown),
                ("left open", ["--left-open"], {}, "open", shown),
                ("wired low, closed", ["--wired", "low"], {"BEXOR_PRINTER_OPEN_LEVEL": "low"},
                 "closed", shown),
                ("no identity told", [], {}, "closed", {**shown, "mechanical_revision": ""}),
                # The first read's answer comes when the second read is under way.
                ("slow after the open", ["--fault", "slow", "--slow-ms", "700", "--fault-after",
                                         "1"], {}, "not-present", shown))
        for printer, (result, report), (name, _, _, drawers, statistics) in together(
                rows, lambda row: Printer(self, *row[1], ids=() if "identity" in row[0] else IDS),
                lambda printer, row: printer.check(**row[2])):
            with self.subTest(name):
                self.assertEqual((result.returncode, [d["state"] for d in report["drawers"]]),
                                 (0, [drawers] * 2 + ["not-present"] * 6))
                self.assertEqual(report["statistics"]["records"], statistics)
                self.assertEqual(simprinter.received(printer.log)[0], STATUS * 3 + IDENTITY)

    def test_open_refused(self):
        """A printer that does not answer as one, or cannot be reached, is not opened: each
        open fails with its status within 1 s."""
        rows = (("switched off", ["--fault", "off"], {}, 4),
                ("answers too late", ["--fault", "slow", "--slow-ms", "700"], {}, 4),
                ("answers garbage", ["--fault", "garbage"], {}, 5),
                ("no such device", [], {"BEXOR_PRINTER_DEVICE": "/nonexistent/lp0"}, 2),
                ("pulse too long for the command", [], {"BEXOR_PRINTER_PULSE_MS": "511"}, 6))
        for _, (result, report), (name, _, _, status) in together(
                rows, lambda row: Printer(self, *row[1]),
                lambda printer, row: printer.check("--verbose", **row[2])):
            with self.subTest(name):
                self.assertEqual((result.returncode, report["open_results"]), (4, [status] * 2))
                opens = re.findall(r"OpenBexor\(\) = (-?\d+) \(([\d.]+) ms\)", result.stderr)
                self.assertEqual([int(s) for s, _ in opens], [status] * 2)
                self.assertLess(max(float(ms) for _, ms in opens), 1000)

    def test_kick_both(self):
        """--kick 0,1: one command a pin, each followed by a read of the switch only once its
        pulse has ended; both counted good, both read back open."""
        printer = Printer(self)
        result, report = printer.check("--kick", "0,1")
        after = report["statistics_after_kicks"]
        self.assertEqual((result.returncode, [k["after"] for k in report["kicks"]],
                          after["good_opens"], after["failed_opens"]), (0, ["open", "open"], 2, 0))
        sent, timed = simprinter.received(printer.log)
        self.assertEqual(sent, STATUS * 3 + IDENTITY + KICK[0] + STATUS + KICK[1] + STATUS * 3)
        for kick in KICK:
            at = next(i for i, (_, c) in enumerate(timed) if c == kick)
            self.assertGreaterEqual(timed[at + 1][0] - timed[at][0], 0.100 - JITTER)


class Cycles(unittest.TestCase):
    maxDiff = None

    def test_each_fault(self):
        """Each fault of the printer named by the cycle run, with its exit status; every kick
        one command, the next on its pin not before the off time of four times the pulse."""
        rows = (("clean", [], 0, []),
                ("dead solenoid", ["--fault", "dead"], 6, [
                    "Drawer 0 did not open within 200 ms in 2 of 2 cycles, first in cycle 1: "
                    "DrawerOpen returned 0 each time: the driver reported a failure as a "
                    "success."]),
                ("switched off", ["--fault", "off", "--fault-after", "3"], 10, [
                    "Drawer 0 read not present in cycle 1; its cycles stopped there."]))
        for printer, (result, report), (name, _, status, problems) in together(
                rows, lambda row: Printer(self, "--open-ms", "60", *row[1]),
                lambda printer, _: printer.check("--kick", "0", "--cycles", "2", *FAST, **SHORT)):
            with self.subTest(name):
                self.assertEqual((result.returncode, report["problems"]), (status, problems))
                kicks = simprinter.kicks(printer.log)
                self.assertEqual([c for _, c in kicks],
                                 [bytes.fromhex("1b 70 00 14 50")] * (2 if status != 10 else 0))
                if kicks:
                    self.assertGreaterEqual(kicks[1][0] - kicks[0][0], 0.040 + 0.160 - JITTER)
                    self.assertTrue(report["cycles"]["counts"]["agree"])

    def test_off_time_kept_from_one_program_to_the_next(self):
        """The longest pulse, whose off time the command cannot carry: two checks kicking the
        same drawer one after the other, the second waiting out the first one's off time."""
        printer = Printer(self, "--open-ms", "500", ids=(*IDS, "68=S1"))
        for _ in range(2):
            printer.check("--kick", "0", BEXOR_PRINTER_PULSE_MS="510")
        (first, one), (second, other) = simprinter.kicks(printer.log)
        self.assertEqual([one, other], [bytes.fromhex("1b 70 00 ff ff")] * 2)
        self.assertGreaterEqual(second - first, 0.510 + 4 * 0.510 - JITTER)

    def test_damaged_counts(self):
        """A counts file damaged is reported as the statistics' failure and left as it is,
        also by a kick, which still fires."""
        def case(printer, row):
            printer.check()
            counts = next(printer.state.iterdir())
            counts.write_bytes(row[1](counts.read_bytes()))
            return counts, counts.read_bytes(), printer.check("--kick", "0")
        for printer, (counts, damaged, (result, report)), (name, _) in together(
                (("a count changed", lambda t: t.replace(b"good 0", b"good 7")),
                 ("cut short", lambda t: t[:len(t) // 2])), lambda _: Printer(self), case):
            with self.subTest(name):
                self.assertEqual((result.returncode, report["statistics"]["status"],
                                  report["kicks"][0]["after"]), (5, 10, "open"))
                self.assertEqual(counts.read_bytes(), damaged)
                self.assertEqual([c for _, c in simprinter.kicks(printer.log)], KICK[:1])


if __name__ == "__main__":
    unittest.main(verbosity=2)
