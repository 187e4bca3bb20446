"""The real build/crtest from outside: its command line and exit statuses, the check against
the bundled simulator in each format, read by parsers that are not ours, its log, a signal.

Run by CTest with the paths it needs in the environment (see tests/cli/CMakeLists.txt).
"""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import jsonschema
from prometheus_client import parser as textformat
from prometheus_client.openmetrics import parser as openmetrics

PROGRAM = os.environ["CRTEST_PROGRAM"]
SIMULATOR_DIR = os.environ["CRTEST_SIMULATOR_DIR"]
DEADLINE = 20.0
SCHEMA = json.loads(Path(os.environ["CRTEST_SCHEMA"]).read_text())


def validate(report):
    jsonschema.validate(report, SCHEMA, cls=jsonschema.Draft202012Validator)


def environment(**settings):
    """No display of any kind, no simulator setting, the simulator as the driver."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES",
                        "LD_DEBUG") and not k.startswith("BEXOR_SIM_")}
    env["LD_LIBRARY_PATH"] = SIMULATOR_DIR
    env.update(settings)
    return env


def run(*arguments, program=PROGRAM, **settings):
    return subprocess.run([program, *arguments], env=environment(**settings),
                          capture_output=True, text=True, timeout=DEADLINE)


def scratch(test):
    folder = tempfile.mkdtemp()
    test.addCleanup(shutil.rmtree, folder)
    return folder


class CommandLine(unittest.TestCase):
    def test_answers_and_refusals(self):
        """Help, version and usage errors are answered before anything is loaded; a window that
        cannot be opened is status 1 and one sentence, never Qt's abort."""
        for program, arguments, settings, status, out, err in (
                (PROGRAM, ["--help"], {}, 0, r"Usage: crtest \[options\]\n(.|\n)*"
                 r"\n  6      a kicked drawer did not open\n", ""),
                (PROGRAM, ["--version"], {}, 0, r"crtest 2\.00\n\Z", ""),
                (PROGRAM, ["--check", "--kick", "2,2"], {}, 2, r"\Z",
                 "--kick takes drawer numbers 0 to 7 separated by commas, each once, not '2,2'.\n"
                 "Usage: crtest [--verbose] [--check [--kick DRAWERS] [--json | --openmetrics]]\n"
                 "Try 'crtest --help' for more information."),
                (PROGRAM, [], {}, 1, r"\Z", "the window needs a display, and neither DISPLAY nor "
                 "WAYLAND_DISPLAY is set (crtest --check needs none)."),
                (PROGRAM, [], {"DISPLAY": ":8971"}, 1, r"\Z", "the window cannot be opened, no "
                 "display could be reached (qt.qpa.xcb: could not connect to display :8971).")):
            with self.subTest(arguments=arguments, settings=settings):
                result = run(*arguments, program=program, LD_DEBUG="files", **settings)
                self.assertRegex(result.stdout, "^" + out)
                said = re.sub(r"(?m)^\s*\d+:.*\n", "", result.stderr)  # the loader's lines out
                self.assertEqual((result.returncode, said), (status, err and f"crtest: {err}\n"))
                if status != 1:
                    self.assertNotRegex(result.stderr, "libbexor")


class Check(unittest.TestCase):
    maxDiff = None

    def test_json_against_its_schema(self):
        """Each outcome valid by the schema, the process's exit status its; no log unless asked."""
        drawers = [{"drawer": n, "state": state, "code": code} for n, (state, code) in enumerate(
            [("closed", 1), ("closed", 17), ("closed", 33), ("closed", 49)]
            + [("not-present", -1)] * 4)]
        not_read = {"outcome": "not-read", "status": None, "records": None, "good_opens": None,
                    "failed_opens": None}
        # A copy of the driver cut short, which the loader faults on: refused by the trial.
        cut = scratch(self)
        Path(cut, "libbexor.so").write_bytes(Path(SIMULATOR_DIR, "libbexor.so").read_bytes()[:4096])
        cases = (
            ({}, [], {
                "origin": "check", "device": "open", "open_results": [0], "drawers": drawers,
                "driver": {"file": f"{SIMULATOR_DIR}/libbexor.so", "error": None},
                "statistics": {"outcome": "read", "status": 0, "good_opens": 1200,
                               "failed_opens": 3, "records": {
                                   "serial_number": "SIMULATED-0001", "good_opens": "1200",
                                   "manufacture_date": "20240115", "failed_opens": "3",
                                   "mechanical_revision": "R2.0", "installation_date": "20240301"}},
                "kicks": None, "count_changes": None, "problems": [], "interrupted_by": None,
                "exit_status": 0}),
            # The drawers as first read, codes included; each kicked one's read-back beside it.
            ({}, ["--kick", "0,2"], {"drawers": drawers, "exit_status": 0, "kicks": [
                {"drawer": 0, "status": 0, "before": "closed", "after": "open", "code_after": 0,
                 "opened": True},
                {"drawer": 2, "status": 0, "before": "closed", "after": "open", "code_after": 32,
                 "opened": True}], "count_changes": {"good_opens": 2, "failed_opens": 0}}),
            # Both go wrong: the lower status decides.
            ({"BEXOR_SIM_KICK_FAIL": "7", "BEXOR_SIM_STATS_FAIL": "9"}, ["--kick", "2"], {
                "statistics": {**not_read, "outcome": "refused", "status": 9},
                "count_changes": None, "exit_status": 5,
                "kicks": [{"drawer": 2, "status": 7, "before": "closed", "after": "closed",
                           "code_after": 33, "opened": False}]}),
            ({"BEXOR_SIM_OPEN_FAIL": "always"}, [], {
                "device": "did-not-open", "open_results": [2, 2], "statistics": not_read,
                "kicks": None, "exit_status": 4,
                "problems": ["The controller did not open: OpenBexor returned 2, then 2."]}),
            ({"LD_LIBRARY_PATH": "/nonexistent"}, [], {
                "device": "not-bound", "open_results": [], "exit_status": 3,
                "driver": {"file": None, "error": "libbexor.so: cannot open shared object file: "
                                                  "No such file or directory"}}),
            ({"LD_LIBRARY_PATH": cut, "LD_DEBUG": "files", "LD_DEBUG_OUTPUT": f"{cut}/ld"}, [], {
                "device": "not-bound", "open_results": [], "exit_status": 3,
                "driver": {"file": None, "error": f"{cut}/libbexor.so: a trial load of it died of "
                                                  "SIGBUS (a damaged or partly copied library)"}}),
        )
        for settings, arguments, expected in cases:
            with self.subTest(settings=settings, arguments=arguments):
                result = run("--check", "--json", *arguments, **settings)
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

    def test_metrics(self):
        """Read as node_exporter's textfile collector reads the classic text format, the
        counters typed under their _total names."""
        result = run("--check", "--openmetrics", "--kick", "0,2")
        text = result.stdout
        self.assertTrue(text.endswith("\n# EOF\n"))
        families = {f.name: (f.type, {tuple(s.labels.values()): s.value for s in f.samples})
                    for f in textformat.text_string_to_metric_families(text)}
        stamp = families.pop("crtest_check_timestamp_seconds")[1][()]
        self.assertAlmostEqual(stamp, time.time(), delta=60)
        self.assertEqual(families, {
            "crtest_device_open": ("gauge", {(): 1}),
            "crtest_drawer_present": ("gauge", {("0",): 1, ("1",): 1, ("2",): 1, ("3",): 1,
                                                ("4",): 0, ("5",): 0, ("6",): 0, ("7",): 0}),
            "crtest_drawer_open": ("gauge", {("0",): 1, ("1",): 0, ("2",): 1, ("3",): 0,
                                             ("4",): 0, ("5",): 0, ("6",): 0, ("7",): 0}),
            "crtest_drawer_good_opens": ("counter", {(): 1202}),
            "crtest_drawer_failed_opens": ("counter", {(): 3}),
            "crtest_check_exit_status": ("gauge", {(): 0})})
        # Strict OpenMetrics too, but for the counters, which it would want named without _total.
        gauges = re.sub(r"(?m)^.*crtest_drawer_(good|failed)_opens_total.*\n", "", text)
        self.assertEqual(len(list(openmetrics.text_string_to_metric_families(gauges))), 5)

    def test_text_and_log(self):
        """The report alone on standard output, every driver call on standard error; without
        --verbose, QT_LOGGING_RULES or Qt's qtlogging.ini pick what is logged."""
        result = run("--check", "--verbose", "--kick", "1")
        self.assertRegex(result.stdout, r"^crtest 2\.00 check at \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\n"
                         r"(.|\n)*\nChange of the counts: good opens \+1, failed opens 0\n"
                         r"Exit status: 0 \(all well\)\n\Z")
        lines = result.stderr.splitlines()
        self.assertEqual([re.sub(r" \(\d+\.\d{3} ms\)$", "", l[15:]) for l in lines
                          if l.startswith("crtest.driver: ")], [
            "OpenBexor() = 0", "DrawerState(0) = 1", "DrawerState(1) = 17", "DrawerState(2) = 33",
            "DrawerState(3) = 49", "DrawerState(4) = -1", "DrawerState(5) = -1",
            "DrawerState(6) = -1", "DrawerState(7) = -1",
            "RetrieveStatistics(0, 15, buffer, 106) = 0", "DrawerOpen(1) = 0",
            "DrawerState(1) = 16", "RetrieveStatistics(0, 15, buffer, 106) = 0",
            "CloseBexor() = 0"])
        self.assertIn("crtest.events: Drawer 1 kicked (DrawerOpen returned 0)", lines)
        driver = run("--check", QT_LOGGING_RULES="crtest.driver=true").stderr.splitlines()
        self.assertEqual([l.split(":")[0] for l in driver], ["crtest.driver"] * 11)
        folder = scratch(self)
        Path(folder, "QtProject").mkdir()
        Path(folder, "QtProject", "qtlogging.ini").write_text("[Rules]\ncrtest.events=true\n")
        events = run("--check", XDG_CONFIG_HOME=folder).stderr.splitlines()
        self.assertEqual((events[0], len(events)),
                         ("crtest.events: The controller is open (OpenBexor returned 0)", 10))

    def test_example_service_leaves_a_whole_metrics_file(self):
        """The shipped service's command, the metrics folder moved: a good check, a failing one
        and one that cannot run each leave a whole file that says so."""
        service = re.sub(r"\\\n", " ", Path(os.environ["CRTEST_SERVICE"]).read_text())
        command = re.search(r"^ExecStart=/bin/sh -c '(.*?)'\n", service, re.M).group(1)
        folder = scratch(self)
        script = command.replace("$$", "$").replace("%%", "%").replace("\\\\", "\\").replace(
            "/var/lib/prometheus/node-exporter", folder)
        for path, settings, status, device_open, drawers in (
                (os.path.dirname(PROGRAM), {}, 0, 1, 8),
                (os.path.dirname(PROGRAM), {"BEXOR_SIM_OPEN_FAIL": "always"}, 4, 0, 0),
                ("/nonexistent", {}, 127, None, None)):
            with self.subTest(settings=settings, status=status):
                result = subprocess.run(["/bin/sh", "-c", script], capture_output=True, text=True,
                                        env=environment(PATH=path + ":/usr/bin:/bin", **settings),
                                        timeout=DEADLINE)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertEqual(os.listdir(folder), ["crtest.prom"])
                samples = {f.name: f.samples for f in textformat.text_string_to_metric_families(
                    Path(folder, "crtest.prom").read_text())}
                self.assertEqual(samples["crtest_check_exit_status"][0].value, status)
                if device_open is not None:
                    self.assertEqual(samples["crtest_device_open"][0].value, device_open)
                    self.assertEqual(len(samples["crtest_drawer_present"]), drawers)

    def test_a_signal_closes_the_controller(self):
        """A signal during the check: the call under way ends, the controller is closed, once
        and last, and the report says so. SIGTERM lands in the wait after a drawer's read;
        SIGINT inside a slow call, which is not cut short, so its statistics are read."""
        for signum, when, delays, status, statistics in (
                (signal.SIGTERM, "< DrawerState(2) = 33", "", 143, "not-read"),
                (signal.SIGINT, "> RetrieveStatistics", "RetrieveStatistics=300", 130, "read")):
            with self.subTest(signal=signum.name):
                log = os.path.join(scratch(self), "calls.log")
                env = environment(LD_LIBRARY_PATH=os.environ["CRTEST_RECORDER_DIR"],
                                  CRTEST_RECORD_DRIVER=os.path.join(SIMULATOR_DIR, "libbexor.so"),
                                  CRTEST_RECORD_LOG=log, CRTEST_RECORD_DELAY=delays)
                process = subprocess.Popen([PROGRAM, "--check", "--json"], env=env, text=True,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                end = time.monotonic() + DEADLINE
                while not (os.path.exists(log) and when in Path(log).read_text()):
                    self.assertLess(time.monotonic(), end, f"{when} never came")
                    self.assertIsNone(process.poll())
                    time.sleep(0.005)
                process.send_signal(signum)
                report = json.loads(process.communicate(timeout=DEADLINE)[0])
                validate(report)
                calls = [line.split(" ", 1)[1] for line in Path(log).read_text().splitlines()]
                self.assertEqual((calls[-2:], calls.count("> CloseBexor")),
                                 (["> CloseBexor", "< CloseBexor = 0"], 1))
                self.assertEqual((process.returncode, report["exit_status"],
                                  report["interrupted_by"], report["statistics"]["outcome"]),
                                 (status, status, signum.name, statistics))
                self.assertEqual(report["problems"], [
                    f"The check was interrupted by {signum.name} before it finished."])


if __name__ == "__main__":
    unittest.main(verbosity=2)
