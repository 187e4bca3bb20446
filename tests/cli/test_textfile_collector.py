"""node_exporter's textfile collector reads what crtest --check --openmetrics writes: the
file in its folder, node_exporter on a loopback port, one scrape, the values and types."""

import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.request

PROGRAM = os.environ["CRTEST_PROGRAM"]
SIMULATOR_DIR = os.environ["CRTEST_SIMULATOR_DIR"]
NODE_EXPORTER = os.environ["CRTEST_NODE_EXPORTER"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TextfileCollector(unittest.TestCase):
    longMessage = False

    def test_scrape(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        env = {k: v for k, v in os.environ.items() if not k.startswith("BEXOR_SIM_")}
        env.update(LD_LIBRARY_PATH=SIMULATOR_DIR, BEXOR_SIM_PRESENT="0,5")
        with open(os.path.join(folder, "crtest.prom"), "w") as out:
            subprocess.run([PROGRAM, "--check", "--openmetrics"], env=env, stdout=out,
                           check=True, timeout=30)
        port = free_port()
        exporter = subprocess.Popen(
            [NODE_EXPORTER, f"--web.listen-address=127.0.0.1:{port}",
             "--collector.disable-defaults", "--collector.textfile",
             f"--collector.textfile.directory={folder}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(exporter.wait)
        self.addCleanup(exporter.terminate)
        end = time.monotonic() + 30
        while True:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as r:
                    scraped = r.read().decode().splitlines()
                break
            except OSError:
                self.assertIsNone(exporter.poll(), "node_exporter ended")
                self.assertLess(time.monotonic(), end, "node_exporter never answered")
                time.sleep(0.05)
        for line in ("node_textfile_scrape_error 0",
                     "# TYPE crtest_drawer_good_opens_total counter",
                     "crtest_drawer_good_opens_total 1200",
                     "# TYPE crtest_drawer_failed_opens_total counter",
                     "crtest_drawer_failed_opens_total 3",
                     "# TYPE crtest_drawer_present gauge",
                     'crtest_drawer_present{drawer="0"} 1',
                     'crtest_drawer_present{drawer="1"} 0',
                     'crtest_drawer_present{drawer="5"} 1',
                     "# HELP crtest_device_open Whether the controller opened in the check (1) or not (0).",
                     "crtest_device_open 1",
                     "crtest_check_exit_status 0"):
            self.assertIn(line, scraped, "\n".join(l for l in scraped if "crtest" in l))


if __name__ == "__main__":
    unittest.main(verbosity=2)
