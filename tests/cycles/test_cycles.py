"""crtest --check --kick LIST --cycles N, the real program on the bundled simulator: a clean
run counted right, faults the simulator makes in its metrics and exit status, an interrupted
run that keeps its rows, the JSON, CSV and OpenMetrics read by parsers not ours. How each
fault is told from the reads, and what the report says of it, is tests/cycles/tst_cycles.cpp.

Run by CTest with the paths it needs in the environment (see tests/cycles/CMakeLists.txt).
"""

import csv
import json
import os
import signal
import subprocess
import unittest
from pathlib import Path

from prometheus_client.openmetrics import parser as openmetrics

from test_cli import DEADLINE, PROGRAM, environment, poll, run, scratch, validate

# Short times, each with room for a machine so loaded that a read comes 50 ms late.
FAST = ["--interval", "5", "--open-timeout", "200ms", "--close-timeout", "300ms"]


class Cycles(unittest.TestCase):
    maxDiff = None

    def test_clean_run(self):
        """20 cycles of four drawers, read every 2 ms, each open 40 ms: every cycle opened and
        closed, the counts grew by 80, a CSV row for each in turn, a progress line every
        tenth on standard error and nothing but the report on standard output."""
        rows = os.path.join(scratch(self), "cycles.csv")
        result = run("--check", "--json", "--kick", "0,1,2,3", "--cycles", "20", "--interval", "2",
                     "--csv", rows, BEXOR_SIM_OPEN_MS="40")
        report = json.loads(result.stdout)
        validate(report)
        self.assertEqual((result.returncode, report["exit_status"], report["health_check"]),
                         (0, 0, "external"))
        cycles = report["cycles"]
        for drawer in cycles["drawers"]:
            self.assertEqual((drawer["done"], drawer["opened"], set(drawer["faults"].values())),
                             (20, 20, {0}))
            times = drawer["kick_to_open_ms"]
            self.assertTrue(2 <= times["min"] <= times["median"] <= times["p90"] <= times["max"])
        self.assertEqual(cycles["counts"], {"good_before": 1200, "good_after": 1280,
                                            "failed_before": 3, "failed_after": 3,
                                            "opened": 80, "not_opened": 0, "agree": True})
        with open(rows, newline="") as file:
            table = list(csv.DictReader(file))
        self.assertEqual([(r["cycle"], r["drawer"]) for r in table],
                         [(str(c), str(d)) for c in range(1, 21) for d in range(4)])
        self.assertTrue(all(r["opened"] == "1" and float(r["open_time_ms"]) > 0 for r in table))
        progress = result.stderr.splitlines()
        self.assertEqual([line.split(";")[0] for line in progress],
                         [f"crtest: {n} of 80 cycles done" for n in range(8, 81, 8)])

    def test_interrupted(self):
        """SIGINT after a few cycles: the controller closed once and last, the report of the
        cycles done marked interrupted, a CSV row for each of them, filed as each ended."""
        rows = Path(scratch(self), "cycles.csv")
        process = subprocess.Popen(
            [PROGRAM, "--check", "--verbose", "--kick", "0,1", "--cycles", "1000", "--interval",
             "5", "--csv", str(rows)], env=environment(BEXOR_SIM_OPEN_MS="60"), text=True,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        poll("four rows", lambda: rows.exists() and rows.read_text().count("\n") >= 4, process)
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=DEADLINE)
        with rows.open(newline="") as file:
            done = len(list(csv.DictReader(file)))
        self.assertEqual(process.returncode, 130)
        self.assertIn(f"\nVerdict: INTERRUPTED by SIGINT after {done} of 2000 cycles, 0 of them "
                      "with a fault\nExit status: 130 (interrupted)\n", out)
        calls = [line for line in err.splitlines() if line.startswith("crtest.driver: ")]
        self.assertEqual((calls[-1][:32], sum("CloseBexor" in c for c in calls)),
                         ("crtest.driver: CloseBexor() = 0 ", 1))

    def test_openmetrics(self):
        """The strict OpenMetrics parser reads every family of a cycle run under its type: the
        check's gauges and counters, a counter of cycles and of each fault per drawer, and the
        time to open as a histogram in seconds. Drawer 1 bounces, drawer 5 is missing and every
        second opening goes uncounted: the lowest of their statuses is the program's."""
        result = run("--check", "--openmetrics", "--kick", "1,5", "--cycles", "2", *FAST,
                     BEXOR_SIM_OPEN_MS="60", BEXOR_SIM_BOUNCE="1", BEXOR_SIM_COUNT_SKIP="2")
        self.assertEqual(result.returncode, 8)
        families = list(openmetrics.text_string_to_metric_families(result.stdout))
        self.assertEqual({family.name: family.type for family in families}, {
            "crtest_device_open": "gauge", "crtest_drawer_present": "gauge",
            "crtest_drawer_open": "gauge", "crtest_drawer_good_opens": "counter",
            "crtest_drawer_failed_opens": "counter", "crtest_cycles": "counter",
            "crtest_cycle_faults": "counter", "crtest_cycle_kick_to_open_seconds": "histogram",
            "crtest_cycle_counts_agree": "gauge", "crtest_check_timestamp_seconds": "gauge",
            "crtest_check_exit_status": "gauge"})
        samples = {(sample.name, *sample.labels.values()): sample.value
                   for family in families for sample in family.samples}
        self.assertEqual([samples[key] for key in (
            ("crtest_cycles_total", "1"), ("crtest_cycles_total", "5"),
            ("crtest_cycle_kick_to_open_seconds_count", "1"),
            ("crtest_cycle_kick_to_open_seconds_bucket", "1", "0.05"),
            ("crtest_cycle_counts_agree",))], [2, 1, 2, 2, 0])
        self.assertEqual({key for key, value in samples.items() if "faults" in key[0] and value},
                         {("crtest_cycle_faults_total", "1", "bounced"),
                          ("crtest_cycle_faults_total", "5", "not-present")})


if __name__ == "__main__":
    unittest.main(verbosity=2)
