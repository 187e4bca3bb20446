"""The real build/crtest from outside: its command line, the check against the bundled
simulator in every format, checked by parsers that are not ours, signals, and the log.

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

import jsonschema
from prometheus_client.openmetrics import parser as openmetrics
from prometheus_client import parser as textformat

PROGRAM = os.environ["CRTEST_PROGRAM"]
SIMULATOR_DIR = os.environ["CRTEST_SIMULATOR_DIR"]
RECORDER_DIR = os.environ["CRTEST_RECORDER_DIR"]
SCHEMA = os.environ["CRTEST_SCHEMA"]
DEADLINE = 20.0

TIME = re.compile(r"^crtest 2\.00 check at \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
HEALTHY = """Controller: open
Drawers:
  0 closed
  1 closed
  2 closed
  3 closed
  4 not present
  5 not present
  6 not present
  7 not present
Statistics:
  Serial number:        SIMULATED-0001
  Manufacture date:     20240115
  Mechanical revision:  R2.0
  Installation date:    20240301
  Good opens:           1200
  Failed opens:         3
"""


def environment(**settings):
    """A clean environment: no display of any kind, the simulator as the driver."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES",
                        "LD_DEBUG") and not k.startswith("BEXOR_SIM_")}
    env["LD_LIBRARY_PATH"] = SIMULATOR_DIR
    env.update(settings)
    return env


def run(*arguments, program=PROGRAM, **settings):
    return subprocess.run([program, *arguments], env=environment(**settings),
                          capture_output=True, text=True, timeout=DEADLINE)


class CommandLine(unittest.TestCase):
    def test_help_and_version_load_nothing(self):
        """Answered before the driver, the window module or the GUI is loaded."""
        for arguments, start in ((["--help"], "Usage: crtest [options]\n"),
                                 (["-h"], "Usage: crtest [options]\n"),
                                 (["--version"], "crtest 2.00\n"),
                                 (["-v"], "crtest 2.00\n")):
            with self.subTest(arguments=arguments):
                result = run(*arguments, LD_DEBUG="files")
                self.assertEqual(result.returncode, 0, result.stderr[-2000:])
                self.assertTrue(result.stdout.startswith(start), result.stdout)
                for library in ("libbexor", "crtest-window", "libQt6Gui", "libQt6Widgets"):
                    self.assertNotIn(library, result.stderr)
        self.assertIn("  6      a kicked drawer did not open\n", run("--help").stdout)

    def test_usage_errors(self):
        cases = {
            ("--bogus",): "crtest: Unknown option 'bogus'.",
            ("extra",): "crtest: Unexpected argument 'extra'.",
            ("--kick", "1"): "crtest: --kick needs --check.",
            ("--json",): "crtest: --json needs --check.",
            ("--check", "--json", "--openmetrics"):
                "crtest: --json and --openmetrics cannot be given together.",
            ("--check", "--kick", "8"): "crtest: --kick takes drawer numbers 0 to 7 separated "
                                        "by commas, each once, not '8'.",
            ("--check", "--kick", "2,2"): "crtest: --kick takes drawer numbers 0 to 7 separated "
                                          "by commas, each once, not '2,2'.",
            ("--check", "--kick"): "crtest: Missing value after '--kick'.",
        }
        for arguments, first in cases.items():
            with self.subTest(arguments=arguments):
                result = run(*arguments, LD_DEBUG="files")
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                self.assertNotIn("libbexor", result.stderr)
                lines = [l for l in result.stderr.splitlines() if not re.match(r"^\s*\d+:", l)]
                self.assertEqual(lines, [first, "Usage: crtest [--verbose] [--check [--kick "
                                         "DRAWERS] [--json | --openmetrics]]",
                                         "Try 'crtest --help' for more information."])

    def test_no_display(self):
        """One sentence and status 1, not Qt's abort."""
        result = run()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.stderr,
                         "crtest: the window needs a display, and neither DISPLAY nor "
                         "WAYLAND_DISPLAY is set (crtest --check needs none).\n")

    def test_unreachable_display(self):
        result = run(DISPLAY=":8971")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr,
                         "crtest: the window cannot be opened, no display could be reached "
                         "(qt.qpa.xcb: could not connect to display :8971).\n")

    def test_window_module_missing(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        program = shutil.copy(PROGRAM, folder)
        result = run(program=program, QT_QPA_PLATFORM="offscreen")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr,
                         f"crtest: the window cannot be opened: {folder}/crtest-window.so could not "
                         "be loaded: cannot open shared object file: No such file or directory\n")


class Check(unittest.TestCase):
    def check(self, *arguments, status=0, **settings):
        result = run("--check", *arguments, **settings)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return result

    def test_text(self):
        result = self.check()
        lines = result.stdout.split("\n", 2)
        self.assertRegex(lines[0], TIME)
        self.assertEqual(lines[1], f"Driver: {SIMULATOR_DIR}/libbexor.so")
        self.assertEqual(lines[2], HEALTHY + "Exit status: 0 (all well)\n")
        self.assertEqual(result.stderr, "")

    def test_outcomes(self):
        """The simulator's settings, each to its exit status and its line in the report."""
        cases = (
            ({"BEXOR_SIM_OPEN_FAIL": "once"}, [], 0, "Exit status: 0 (all well)"),
            ({"BEXOR_SIM_OPEN_FAIL": "always"}, [], 4,
             "  The controller did not open: OpenBexor returned 2, then 2."),
            ({"BEXOR_SIM_STATS_FAIL": "9"}, [], 5,
             "  The statistics read failed: RetrieveStatistics returned 9."),
            ({}, ["--kick", "3,1"], 0, "  1 closed -> open: opened (DrawerOpen returned 0)"),
            ({}, ["--kick", "3,1"], 0, "Change of the counts: good opens +2, failed opens 0"),
            ({"BEXOR_SIM_KICK_FAIL": "7"}, ["--kick", "2"], 6,
             "  Drawer 2 did not open: DrawerOpen returned 7, and it reads closed after the kick."),
            ({"BEXOR_SIM_KICK_FAIL": "7"}, ["--kick", "2"], 6,
             "Change of the counts: good opens 0, failed opens +1"),
            ({"BEXOR_SIM_PRESENT": "none"}, [], 0, "  0 not present"),
            ({"LD_LIBRARY_PATH": tempfile.gettempdir() + "/crtest-no-driver-here"}, [], 3,
             "Driver: not loaded: libbexor.so: cannot open shared object file: "
             "No such file or directory"),
        )
        for settings, arguments, status, line in cases:
            with self.subTest(settings=settings, arguments=arguments):
                result = self.check(*arguments, status=status, **settings)
                self.assertIn(line, result.stdout.splitlines())
                self.assertIn(f"Exit status: {status} (", result.stdout)

    def test_json_against_its_schema(self):
        with open(SCHEMA) as f:
            schema = json.load(f)
        for arguments, settings, status in (([], {}, 0), (["--kick", "0,2"], {}, 0),
                                            ([], {"BEXOR_SIM_OPEN_FAIL": "always"}, 4),
                                            ([], {"LD_LIBRARY_PATH": "/nonexistent"}, 3)):
            with self.subTest(arguments=arguments, settings=settings):
                report = json.loads(self.check("--json", *arguments, status=status,
                                               **settings).stdout)
                jsonschema.validate(report, schema, cls=jsonschema.Draft202012Validator)
                self.assertEqual(report["exit_status"], status)
        report = json.loads(self.check("--json", "--kick", "0,2").stdout)
        self.assertEqual(report["statistics"]["records"]["serial_number"], "SIMULATED-0001")
        self.assertEqual(report["statistics"]["good_opens"], 1200)
        self.assertEqual([d["state"] for d in report["drawers"]],
                         ["closed"] * 4 + ["not-present"] * 4)
        self.assertEqual([(k["drawer"], k["before"], k["after"], k["opened"])
                          for k in report["kicks"]],
                         [(0, "closed", "open", True), (2, "closed", "open", True)])
        self.assertEqual(report["count_changes"], {"good_opens": 2, "failed_opens": 0})
        # The schema refuses what it must: a report that lost a drawer.
        report["drawers"].pop()
        with self.assertRaises(jsonschema.ValidationError):
            jsonschema.validate(report, schema, cls=jsonschema.Draft202012Validator)

    def test_metrics(self):
        text = self.check("--openmetrics").stdout
        self.assertTrue(text.endswith("\n# EOF\n"))
        # The classic text format, which node_exporter's textfile collector reads: every
        # family typed, the counters as counters (this parser names them without _total).
        families = {f.name: f for f in textformat.text_string_to_metric_families(text)}
        self.assertEqual(families["crtest_drawer_good_opens"].type, "counter")
        self.assertEqual([(s.name, s.value) for s in families["crtest_drawer_good_opens"].samples],
                         [("crtest_drawer_good_opens_total", 1200)])
        self.assertEqual([(s.name, s.value) for s in families["crtest_drawer_failed_opens"].samples],
                         [("crtest_drawer_failed_opens_total", 3)])
        self.assertEqual(families["crtest_device_open"].samples[0].value, 1)
        present = {s.labels["drawer"]: s.value for s in families["crtest_drawer_present"].samples}
        self.assertEqual(present, {str(n): 1 if n < 4 else 0 for n in range(8)})
        self.assertEqual(families["crtest_check_exit_status"].samples[0].value, 0)
        self.assertAlmostEqual(families["crtest_check_timestamp_seconds"].samples[0].value,
                               time.time(), delta=60)
        # Strict OpenMetrics, but for the counters: its parser wants a counter's family named
        # without _total, which the textfile collector would then leave untyped.
        gauges = re.sub(r"(?m)^(# (HELP|TYPE) )?crtest_drawer_(good|failed)_opens_total.*\n", "", text)
        parsed = {f.name: f for f in openmetrics.text_string_to_metric_families(gauges)}
        self.assertEqual(sorted(parsed), ["crtest_check_exit_status", "crtest_check_timestamp_seconds",
                                          "crtest_device_open", "crtest_drawer_open",
                                          "crtest_drawer_present"])
        self.assertEqual(len(parsed["crtest_drawer_open"].samples), 8)
        with self.assertRaisesRegex(ValueError, "Clashing name: crtest_drawer_good_opens_total"):
            list(openmetrics.text_string_to_metric_families(text))

    def test_verbose_logs_every_call_in_order(self):
        result = self.check("--verbose")
        driver = [re.sub(r" \(\d+\.\d{3} ms\)$", "", l)
                  for l in result.stderr.splitlines() if l.startswith("crtest.driver: ")]
        self.assertEqual(driver, ["crtest.driver: OpenBexor() = 0"]
                         + [f"crtest.driver: DrawerState({n}) = {16 * n + 1 if n < 4 else -1}"
                            for n in range(8)]
                         + ["crtest.driver: RetrieveStatistics(0, 15, buffer, 106) = 0",
                            "crtest.driver: CloseBexor() = 0"])
        self.assertIn("crtest.events: Drawer 4 is not present (state code -1)",
                      result.stderr.splitlines())
        self.assertEqual(result.stdout.split("\n", 2)[2], HEALTHY + "Exit status: 0 (all well)\n")
        # Off by default; QT_LOGGING_RULES picks one category alone.
        self.assertEqual(self.check().stderr, "")
        only = self.check(QT_LOGGING_RULES="crtest.driver=true").stderr.splitlines()
        self.assertEqual(len(only), 11)
        self.assertTrue(all(l.startswith("crtest.driver: ") for l in only))

    def test_logging_rules_from_a_configuration_file(self):
        """Qt's own qtlogging.ini turns the log on too, though the check looks for it itself."""
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        os.makedirs(os.path.join(folder, "QtProject"))
        with open(os.path.join(folder, "QtProject", "qtlogging.ini"), "w") as ini:
            ini.write("[Rules]\ncrtest.events=true\n")
        lines = self.check(XDG_CONFIG_HOME=folder).stderr.splitlines()
        self.assertEqual(lines[0], "crtest.events: The controller is open (OpenBexor returned 0)")
        self.assertEqual(len(lines), 10)

    def test_example_service_leaves_a_whole_metrics_file(self):
        """The shipped service's command, with the metrics folder moved: a good check, a
        failing one and one that cannot run each leave a file the collector can read."""
        with open(os.environ["CRTEST_SERVICE"]) as unit:
            text = unit.read()
        command = re.search(r"^ExecStart=/bin/sh -c '(.*?)'\n", re.sub(r"\\\n", " ", text),
                            re.M).group(1)
        script = command.replace("$$", "$").replace("%%", "%").replace("\\\\", "\\")
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        script = script.replace("/var/lib/prometheus/node-exporter", folder)
        program_dir = os.path.dirname(PROGRAM)
        for path, settings, status in ((program_dir, {}, 0),
                                       (program_dir, {"BEXOR_SIM_OPEN_FAIL": "always"}, 4),
                                       ("/nonexistent", {}, 127)):
            with self.subTest(settings=settings, status=status):
                env = environment(PATH=path + ":/usr/bin:/bin", **settings)
                result = subprocess.run(["/bin/sh", "-c", script], env=env, capture_output=True,
                                        text=True, timeout=DEADLINE)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertEqual(os.listdir(folder), ["crtest.prom"])
                with open(os.path.join(folder, "crtest.prom")) as metrics:
                    families = {f.name: f for f in
                                textformat.text_string_to_metric_families(metrics.read())}
                self.assertEqual(families["crtest_check_exit_status"].samples[0].value, status)

    def test_no_gui_library_is_mapped(self):
        result = self.check(LD_DEBUG="files")
        for library in ("libQt6Gui", "libQt6Widgets", "crtest-window", "platforms/"):
            self.assertNotIn(library, result.stderr)


class Signals(unittest.TestCase):
    """A signal during the check: the controller is closed, the report says so."""

    def recorded(self, signum, when, delays=""):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        log = os.path.join(folder, "calls.log")
        env = environment(LD_LIBRARY_PATH=RECORDER_DIR,
                          CRTEST_RECORD_DRIVER=os.path.join(SIMULATOR_DIR, "libbexor.so"),
                          CRTEST_RECORD_LOG=log, CRTEST_RECORD_DELAY=delays)
        process = subprocess.Popen([PROGRAM, "--check"], env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        end = time.monotonic() + DEADLINE
        while not (os.path.exists(log) and when in open(log).read()):
            self.assertLess(time.monotonic(), end, f"{when} never came")
            self.assertIsNone(process.poll())
            time.sleep(0.005)
        process.send_signal(signum)
        out, err = process.communicate(timeout=DEADLINE)
        calls = [line.split(" ", 1)[1] for line in open(log).read().splitlines()]
        return process.returncode, out, calls

    def test_sigterm_in_a_wait(self):
        status, out, calls = self.recorded(signal.SIGTERM, "< DrawerState(2) = 33")
        self.assertEqual(status, 143)
        self.assertEqual(calls[-2:], ["> CloseBexor", "< CloseBexor = 0"])
        self.assertEqual(calls.count("> CloseBexor"), 1)
        self.assertNotIn("> DrawerState(4)", calls)
        self.assertIn("  The check was interrupted by SIGTERM before it finished.\n", out)
        self.assertTrue(out.endswith("Exit status: 143 (interrupted)\n"), out)

    def test_sigterm_inside_the_last_call(self):
        """No wait follows the statistics read: only the look after it sees the signal."""
        status, out, calls = self.recorded(signal.SIGTERM, "> RetrieveStatistics",
                                           "RetrieveStatistics=300")
        self.assertEqual(status, 143, out)
        self.assertEqual(calls[-4:], ["> RetrieveStatistics(0,15,106)",
                                      "< RetrieveStatistics(0,15,106) = 0",
                                      "> CloseBexor", "< CloseBexor = 0"])
        self.assertIn("  Serial number:        SIMULATED-0001\n", out)
        self.assertTrue(out.endswith("Exit status: 143 (interrupted)\n"), out)

    def test_sigint_inside_a_slow_call(self):
        """The call under way is not cut short; the controller is closed after it."""
        status, out, calls = self.recorded(signal.SIGINT, "> DrawerState(1)", "DrawerState=300")
        self.assertEqual(status, 130)
        self.assertEqual(calls[-4:], ["> DrawerState(1)", "< DrawerState(1) = 17",
                                      "> CloseBexor", "< CloseBexor = 0"])
        self.assertIn("  1 closed\n  2 not read\n", out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
