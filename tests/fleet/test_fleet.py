"""The fleet's tools run on the engines themselves: the shipped service's command under
Debian's node_exporter, the alert rules under promtool, the playbook under ansible-playbook
and the units under systemd-analyze. A tool that is missing fails its case.

Run by CTest with the paths it needs in the environment (see tests/fleet/CMakeLists.txt).
"""

import contextlib
import json
import os
import re
import signal
import socket
import subprocess
import time
import unittest
import urllib.request
from pathlib import Path

from test_cli import DEADLINE, PROGRAM, environment, poll, run, scratch, validate

EXAMPLES = Path(os.environ["CRTEST_EXAMPLES"])
# Whatever proxy the environment names, the scrapes stay on this machine.
DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def metrics(text):
    """The crtest families' types and every crtest sample, with node_exporter's scrape error
    and the files it read when it is node_exporter's text."""
    return (dict(re.findall(r"^# TYPE (crtest_\w+) (\w+)$", text, re.M)),
            {name + labels: float(value) for name, labels, value in re.findall(
                r"^(crtest_\w+|node_textfile_scrape_error)(\{.*\})? (\S+)$", text, re.M)},
            re.findall(r'^node_textfile_mtime_seconds\{file="(.*)"\}', text, re.M))


class NodeExporter(unittest.TestCase):
    def setUp(self):
        self.folder = scratch(self)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        self.url = f"http://127.0.0.1:{port}/metrics"
        exporter = subprocess.Popen(
            ["/usr/bin/prometheus-node-exporter", f"--web.listen-address=127.0.0.1:{port}",
             "--collector.disable-defaults", "--collector.textfile",
             f"--collector.textfile.directory={self.folder}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(exporter.wait, DEADLINE)
        self.addCleanup(exporter.terminate)

    def service(self, path=os.path.dirname(PROGRAM), **settings):
        """The shipped service's ExecStart as systemd hands it to /bin/sh, in its own process
        group, the collector's folder moved to ours."""
        unit = re.sub(r"\\\n", " ", (EXAMPLES / "crtest-check.service").read_text())
        command = re.search(r"^ExecStart=/bin/sh -c '(.*?)'\n", unit, re.M).group(1)
        script = command.replace("$$", "$").replace("%%", "%").replace("\\\\", "\\").replace(
            "/var/lib/prometheus/node-exporter", self.folder)
        process = subprocess.Popen(["/bin/sh", "-c", script], start_new_session=True,
                                   env=environment(PATH=f"{path}:/usr/bin:/bin", **settings))
        self.addCleanup(process.wait)
        self.addCleanup(lambda: process.poll() is None and os.killpg(process.pid, signal.SIGKILL))
        return process

    def scrape(self):
        def answer():
            with contextlib.suppress(OSError):
                return DIRECT.open(self.url, timeout=DEADLINE).read().decode()
        types, samples, files = metrics(poll("node_exporter to answer", answer))
        self.assertAlmostEqual(samples.pop("crtest_check_timestamp_seconds", time.time()),
                               time.time(), delta=60)
        return types, samples, files

    def test_what_the_service_leaves_is_served_whole(self):
        """A good check, every family under its type; one whose controller did not open;
        one killed while writing, whose half a file the collector never reads."""
        whole = Path(self.folder, "crtest.prom")
        self.assertEqual(self.service().wait(DEADLINE), 0)
        types, samples, files = self.scrape()
        gauges = ("device_open", "drawer_present", "drawer_open", "check_timestamp_seconds",
                  "check_exit_status")
        self.assertEqual(types, {**{f"crtest_{g}": "gauge" for g in gauges},
                                 "crtest_drawer_good_opens_total": "counter",
                                 "crtest_drawer_failed_opens_total": "counter"})
        good = whole.read_text()
        in_file = metrics(good)[1]
        del in_file["crtest_check_timestamp_seconds"]
        self.assertEqual((samples, files, samples["crtest_device_open"], len(in_file)),
                         ({**in_file, "node_textfile_scrape_error": 0}, [str(whole)], 1, 20))

        self.assertEqual(self.service(BEXOR_SIM_OPEN_FAIL="always").wait(DEADLINE), 4)
        did_not_open = ({"node_textfile_scrape_error": 0, "crtest_device_open": 0,
                         "crtest_check_exit_status": 4}, [str(whole)])
        self.assertEqual(self.scrape()[1:], did_not_open)

        # A stand-in for the program writes the first half of a good report and is killed
        # once the scrape in between has been made.
        bin = scratch(self)
        Path(bin, "half").write_text(good[:len(good) // 2])
        Path(bin, "crtest").write_text(f"#!/bin/sh\ncat {bin}/half\n"
                                       f"while [ ! -e {bin}/go ]; do sleep 0.01; done\n"
                                       "kill -KILL $$\n")
        os.chmod(Path(bin, "crtest"), 0o755)
        process = self.service(path=bin)
        poll("a half-written file", lambda: any(n != whole.name and os.path.getsize(
            Path(self.folder, n)) for n in os.listdir(self.folder)), process)
        self.assertEqual(self.scrape()[1:], did_not_open)
        Path(bin, "go").touch()
        self.assertEqual(process.wait(DEADLINE), 128 + signal.SIGKILL)
        self.assertEqual(self.scrape()[1:], ({"node_textfile_scrape_error": 0,
                                              "crtest_check_exit_status": 137}, [str(whole)]))
        self.assertEqual(os.listdir(self.folder), [whole.name])


    def test_a_cycle_run_is_served(self):
        """A cycle run's file: node_exporter serves its counters of cycles and faults per
        drawer and the time to open as a histogram, each under its type, without an error.
        What the samples say is the same in either format: tests/cycles reads them."""
        result = run("--check", "--prometheus", "--kick", "0,1", "--cycles", "2", "--interval",
                     "5", BEXOR_SIM_OPEN_MS="60")
        Path(self.folder, "crtest.prom").write_text(result.stdout)
        types, samples, _ = self.scrape()
        self.assertEqual({name: kind for name, kind in types.items() if "cycle" in name}, {
            "crtest_cycles_total": "counter", "crtest_cycle_faults_total": "counter",
            "crtest_cycle_kick_to_open_seconds": "histogram", "crtest_cycle_counts_agree": "gauge"})
        self.assertEqual(samples["node_textfile_scrape_error"], 0)


class Tools(unittest.TestCase):
    def test_alert_rules(self):
        """The rules load, and fire for the tills they name at the times they should and
        for no other (the expectations are in crtest.rules.test.yml)."""
        for command, rules in ("check", EXAMPLES / "crtest.rules.yml"), (
                "test", Path(__file__).with_name("crtest.rules.test.yml")):
            result = run(command, "rules", str(rules), program="promtool")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_playbook(self):
        """Two tills over a local connection: one on the simulator passes, one whose
        controller does not open fails with its problem; each has its line and its report."""
        folder = scratch(self)
        Path(folder, "tills.json").write_text(json.dumps({"tills": {"hosts": {
            "till-1": {}, "till-2": {"crtest_environment": {"BEXOR_SIM_OPEN_FAIL": "always"}}},
            "vars": {"ansible_connection": "local", "crtest": PROGRAM,
                     "ansible_python_interpreter": "/usr/bin/python3"}}}))
        # Its home and temporary folders in ours, so nothing is left behind in ~.
        result = run("-i", f"{folder}/tills.json", "-e", f"crtest_reports={folder}/reports",
                     str(EXAMPLES / "crtest-tills.yml"), program="ansible-playbook", HOME=folder,
                     ANSIBLE_LOCAL_TEMP=f"{folder}/tmp", ANSIBLE_REMOTE_TEMP=f"{folder}/tmp",
                     ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="false")
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
        lines = re.findall(r'"msg": "(.*)"', result.stdout)
        self.assertEqual(sorted(lines), [
            "till-1: status 0, controller open, drawers closed,closed,closed,closed,not-present,"
            "not-present,not-present,not-present, good opens 1200, failed opens 3",
            "till-2: status 4, controller did-not-open, drawers " + ",".join(["not-read"] * 8)
            + ", good opens -, failed opens -",
            "till-2: status 4: The controller did not open: OpenBexor returned 2, then 2."])
        self.assertRegex(result.stdout, r"till-1 +: ok=\d+ .* failed=0 .*\ntill-2 .* failed=1 ")
        # The reports are the program's own: held to the schema, with each open's result.
        reports = [json.loads(Path(folder, "reports", f"till-{n}.json").read_text())
                   for n in (1, 2)]
        for report in reports:
            validate(report)
        self.assertEqual([(r["exit_status"], r["open_results"]) for r in reports],
                         [(0, [0]), (4, [2, 2])])

    def test_units(self):
        """systemd accepts the service and the timer, and rates the service's exposure at 2.0
        or less. The manual page that Documentation= names comes with the package, not with a
        build tree, so it is not looked for."""
        service, timer = (str(EXAMPLES / f"crtest-check.{unit}") for unit in ("service", "timer"))
        verify = run("verify", "--man=no", service, timer, program="systemd-analyze")
        self.assertEqual((verify.returncode, verify.stderr), (0, ""))
        security = run("security", "--offline=true", service, program="systemd-analyze").stdout
        level = re.search(r"Overall exposure level for crtest-check\.service: ([\d.]+) ", security)
        self.assertLessEqual(float(level.group(1)), 2.0, security)


if __name__ == "__main__":
    unittest.main(verbosity=2)
