"""The real build/crtest from outside, for what only the running program shows: its exit
status and standard error, its JSON held to the schema, its log, a real signal, its cycle
runs. What each outcome says in each format is proven in process (tests/tst_report.cpp), each
driver fault by tests/faults/tst_check.cpp; parsers not ours read the metrics here and in
tests/fleet. Run by CTest with the paths it needs in the environment (see
tests/cli/CMakeLists.txt).
"""

import csv
import json
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import jsonschema
from prometheus_client.openmetrics import parser as openmetrics

PROGRAM = os.environ["CRTEST_PROGRAM"]
SIMULATOR_DIR = os.environ["CRTEST_SIMULATOR_DIR"]
DEADLINE = 20.0
SCHEMA = json.loads(Path(os.environ["CRTEST_SCHEMA"]).read_text())
# The simulator's drawers as the README gives them: 0 to 3 closed (16n+1), 4 to 7 empty (-1).
CODES = [16 * n + 1 if n < 4 else -1 for n in range(8)]
# Short cycles, each time with room for a machine so loaded that a read comes 50 ms late.
FAST = ["--interval", "5", "--open-timeout", "200ms", "--close-timeout", "300ms"]


def validate(report):
    jsonschema.validate(report, SCHEMA, cls=jsonschema.Draft202012Validator)


def environment(**settings):
    """No display of any kind, no simulator setting, the simulator as the driver."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES",
                        "LD_DEBUG") and not k.startswith("BEXOR_SIM_")}
    return {**env, "LD_LIBRARY_PATH": SIMULATOR_DIR, **settings}


def run(*arguments, program=PROGRAM, **settings):
    # The fleet's tools run through here too: ansible-playbook takes its time.
    return subprocess.run([program, *arguments], env=environment(**settings),
                          capture_output=True, text=True, timeout=DEADLINE * 3)


def scratch(test):
    return test.enterContext(tempfile.TemporaryDirectory())


def poll(what, check, process=None):
    """check()'s first true value; fails if none comes in time or the process ends first."""
    end = time.monotonic() + DEADLINE
    while not (value := check()):
        if time.monotonic() > end or process and process.poll() is not None:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.005)
    return value


class CommandLine(unittest.TestCase):
    def test_answers_and_refusals(self):
        """Help, version and usage errors are answered before anything is loaded; a CSV file
        that cannot be written and a window that cannot be opened are status 1 and one
        sentence, never Qt's abort."""
        statuses = "".join(rf"  {n} +{meaning}.*\n(?:  +[a-z].*\n)?" for n, meaning in (
            (0, "all well"), (1, "the program could not run"), (2, "usage error"),
            (3, "driver library missing"), (4, "controller did not open"),
            (5, "statistics read failed"), (6, "a kicked drawer did not open"),
            (7, "a drawer did not close in time"), (8, "a drawer's sensor bounced"),
            (9, "the controller's counts disagree"), (10, "a drawer read not present"),
            (r"128\+n", r"the check was interrupted by signal n \(130 SIGINT, 143 SIGTERM\)")))
        for arguments, settings, status, out, err in (
                (["--help"], {}, 0, r"Usage: crtest \[options\]\n(.|\n)*\nExit status:\n"
                 + statuses + "When several of 3 to 10 apply, the lowest is returned", ""),
                (["--version"], {}, 0, r"crtest 2\.00\n\Z", ""),
                (["--check", "--kick", "2,2"], {}, 2, r"\Z",
                 "--kick takes drawer numbers 0 to 7 separated by commas, each once, not '2,2'.\n"
                 "Usage: crtest [--verbose] [--check [--kick DRAWERS [--cycles N [--interval TIME] "
                 "[--open-timeout TIME] [--close-timeout TIME] [--csv FILE]]] [--json | "
                 "--prometheus | --openmetrics]]\n"
                 "Try 'crtest --help' for more information."),
                # Found out before the controller is touched: --verbose would log a call.
                (["--check", "--verbose", "--kick", "0", "--cycles", "1", "--csv", "/none/c"],
                 {}, 1, r"\Z", "the CSV file /none/c cannot be written: No such file or "
                 "directory"),
                ([], {}, 1, r"\Z", "the window needs a display, and neither DISPLAY nor "
                 "WAYLAND_DISPLAY is set (crtest --check needs none)."),
                ([], {"DISPLAY": ":8971"}, 1, r"\Z", "the window cannot be opened, no display "
                 "could be reached (qt.qpa.xcb: could not connect to display :8971).")):
            with self.subTest(arguments=arguments, settings=settings):
                result = run(*arguments, LD_DEBUG="files", **settings)
                self.assertRegex(result.stdout, "^" + out)
                said = re.sub(r"(?m)^\s*\d+:.*\n", "", result.stderr)  # the loader's lines out
                self.assertEqual((result.returncode, said), (status, err and f"crtest: {err}\n"))
                if status != 1:
                    self.assertNotRegex(result.stderr, "libbexor")


class Check(unittest.TestCase):
    maxDiff = None

    def test_json_against_its_schema(self):
        """Each outcome valid by the schema, the process's exit status its own, no log unless
        asked, and what only the real driver gives: the file, each open's result, each state
        code, each kick read back, a refused read's status."""
        cut = scratch(self)
        Path(cut, "libbexor.so").write_bytes(Path(SIMULATOR_DIR, "libbexor.so").read_bytes()[:4096])
        for settings, expected in (
                ({}, {"driver": {"file": f"{SIMULATOR_DIR}/libbexor.so", "error": None},
                      "open_results": [0], "exit_status": 0,
                      "drawers": [{"drawer": n, "state": "closed" if code > 0 else "not-present",
                                   "code": code} for n, code in enumerate(CODES)],
                      "kicks": [{"drawer": n, "status": 0, "before": "closed", "after": "open",
                                 "code_after": 16 * n, "opened": True} for n in (0, 2)],
                      "statistics_after_kicks": {
                          "outcome": "read", "status": 0, "good_opens": 1202, "failed_opens": 3,
                          "records": {"serial_number": "SIMULATED-0001", "good_opens": "1202",
                                      "manufacture_date": "20240115", "failed_opens": "3",
                                      "mechanical_revision": "R2.0",
                                      "installation_date": "20240301"}}}),
                # Both go wrong: the lower status decides.
                ({"BEXOR_SIM_KICK_FAIL": "7", "BEXOR_SIM_STATS_FAIL": "9"}, {
                    "statistics": {"outcome": "refused", "status": 9, "records": None,
                                   "good_opens": None, "failed_opens": None}, "exit_status": 5,
                    "kicks": [{"drawer": n, "status": 7, "before": "closed", "after": "closed",
                               "code_after": 16 * n + 1, "opened": False} for n in (0, 2)]}),
                # A copy of the driver cut short, which the loader faults on: refused by the trial.
                ({"LD_LIBRARY_PATH": cut, "LD_DEBUG": "files", "LD_DEBUG_OUTPUT": f"{cut}/ld"}, {
                    "device": "not-bound", "open_results": [], "kicks": [], "exit_status": 3,
                    "driver": {"file": None, "error": f"{cut}/libbexor.so: a trial load of it "
                               "died of SIGBUS (a damaged or partly copied library)"}})):
            with self.subTest(settings=settings):
                result = run("--check", "--json", "--kick", "0,2", **settings)
                report = json.loads(result.stdout)
                validate(report)
                self.assertEqual((result.returncode, result.stderr), (expected["exit_status"], ""))
                self.assertEqual({key: report[key] for key in expected}, expected)
        # The trial ran in the helper beside the program, not in a copy of the program.
        helper = Path(PROGRAM).resolve().with_name("crtest-trial-load")
        logs = "".join(log.read_text() for log in Path(cut).glob("ld.*"))
        self.assertEqual(re.findall(r"file=libbexor\.so .* loaded by (\S+)", logs), [str(helper)])
        # The schema can refuse: a report that lost a drawer.
        self.assertRaises(jsonschema.ValidationError, validate,
                          {**report, "drawers": report["drawers"][:7]})

    def test_text_and_log(self):
        """The report alone on standard output, every driver call on standard error; without
        --verbose, QT_LOGGING_RULES or Qt's qtlogging.ini pick what is logged."""
        result = run("--check", "--verbose", "--kick", "1")
        self.assertRegex(result.stdout, r"^crtest 2\.00 check at \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\n"
                         r"(.|\n)*\nChange of the counts: good opens \+1, failed opens 0\n"
                         r"Exit status: 0 \(all well\)\n\Z")
        lines = result.stderr.splitlines()
        statistics = "RetrieveStatistics(0, 15, buffer, 106) = 0"
        self.assertEqual([re.sub(r" \(\d+\.\d{3} ms\)$", "", line[15:]) for line in lines
                          if line.startswith("crtest.driver: ")], [
            "OpenBexor() = 0", *(f"DrawerState({n}) = {code}" for n, code in enumerate(CODES)),
            statistics, "DrawerOpen(1) = 0", "DrawerState(1) = 16", statistics, "CloseBexor() = 0"])
        self.assertIn("crtest.events: Drawer 1 kicked (DrawerOpen returned 0)", lines)
        driver = run("--check", QT_LOGGING_RULES="crtest.driver=true").stderr.splitlines()
        self.assertEqual([line.split(":")[0] for line in driver], ["crtest.driver"] * 11)
        rules = Path(scratch(self), "QtProject", "qtlogging.ini")
        rules.parent.mkdir()
        rules.write_text("[Rules]\ncrtest.events=true\n")
        events = run("--check", XDG_CONFIG_HOME=str(rules.parents[1])).stderr.splitlines()
        self.assertEqual((events[0], len(events)),
                         ("crtest.events: The controller is open (OpenBexor returned 0)", 10))

    def test_a_signal_closes_the_controller(self):
        """A signal during the check: the call under way ends, the controller is closed, once
        and last, and the report says so. SIGTERM lands in the wait after a drawer's read;
        SIGINT inside a slow call, which is not cut short, so its statistics are read."""
        for signum, when, delays, status, statistics in (
                (signal.SIGTERM, "< DrawerState(2) = 33", "", 143, "not-read"),
                (signal.SIGINT, "> RetrieveStatistics", "RetrieveStatistics=300", 130, "read")):
            with self.subTest(signal=signum.name):
                log = Path(scratch(self), "calls.log")
                process = subprocess.Popen(
                    [PROGRAM, "--check", "--json"], text=True, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE, env=environment(
                        LD_LIBRARY_PATH=os.environ["CRTEST_RECORDER_DIR"],
                        CRTEST_RECORD_DRIVER=os.path.join(SIMULATOR_DIR, "libbexor.so"),
                        CRTEST_RECORD_LOG=str(log), CRTEST_RECORD_DELAY=delays))
                poll(when, lambda: log.exists() and when in log.read_text(), process)
                process.send_signal(signum)
                report = json.loads(process.communicate(timeout=DEADLINE)[0])
                validate(report)
                calls = [line.split(" ", 1)[1] for line in log.read_text().splitlines()]
                self.assertEqual((calls[-2:], calls.count("> CloseBexor")),
                                 (["> CloseBexor", "< CloseBexor = 0"], 1))
                self.assertEqual((process.returncode, report["exit_status"], report["problems"],
                                  report["interrupted_by"], report["statistics"]["outcome"]),
                                 (status, status, [f"The check was interrupted by {signum.name} "
                                                   "before it finished."], signum.name, statistics))


class Cycles(unittest.TestCase):
    """crtest --check --kick LIST --cycles N on the bundled simulator. How each fault is told
    from the reads, and what the report says of it, is tests/cycles/tst_cycles.cpp."""

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
