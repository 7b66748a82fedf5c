# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""The real panel and the simulated transmitter, started as an operator's
site would run them, for the tests that read the status feed from outside.

PanelStack starts txsim on a pseudo-terminal with its standard input a pipe
(so the test can type live commands at it and read its answers), then the
built txpanel under QT_QPA_PLATFORM=offscreen with a settings directory of
its own ([Startup] Comm=1, [Link] ConnectAtStart=true, [Feed] Enabled=true on
a free loopback port, and any further sections the test gives, such as
[Alarms]) and TXPANEL_COM1 pointing at txsim's device. Every process it
starts it stops, by its own process id.
"""

import json
import os
import queue
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request


class Failure(Exception):
    pass


def remove_serial_locks_of(pid):
    """A panel ended by a signal leaves its serial lock behind (it ends at
    once, without closing the port): the test removes the locks naming it."""
    folder = "/run/lock"
    if not os.path.isdir(folder):
        return
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        try:
            with open(path) as lock:
                if name.startswith("LCK..") and lock.readline().strip() == str(pid):
                    os.remove(path)
        except (OSError, ValueError):
            pass


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, probe, timeout=20.0):
    """Polls probe() until it returns something true, and returns that; on
    timeout fails naming `what` and the last thing probe() returned."""
    deadline = time.monotonic() + timeout
    seen = None
    while True:
        try:
            seen = probe()
        except (OSError, ValueError) as error:  # not answering yet, or half a document
            seen = error
        else:
            if seen:
                return seen
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}; last saw: {seen!r}")
        time.sleep(0.1)


class PanelStack:
    def __init__(self, panel, txsim, name="site-a", name_ini=None, sim_options=(),
                 resume=False, extra_settings=""):
        self.tmp = tempfile.mkdtemp(prefix="txpanel-feed-test-")
        self.panel_binary = os.path.abspath(panel)
        self.txsim_binary = os.path.abspath(txsim)
        self.name = name
        self.name_ini = name_ini if name_ini is not None else name
        self.sim_options = list(sim_options)
        self.extra_settings = extra_settings
        self.port = free_port()
        self.url = f"http://127.0.0.1:{self.port}"
        self.sim = None
        self.panel = None
        self._sim_lines = queue.Queue()
        self.device = None
        # With resume, the port's device is a link the test re-points at the
        # line brought back, as udev does for /dev/serial/by-id/.
        self.resume = resume
        self.link = os.path.join(self.tmp, "transmitter")

    # Processes

    def start(self):
        self.sim = subprocess.Popen(
            [self.txsim_binary, *self.sim_options], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, bufsize=1)
        threading.Thread(target=self._read_sim, daemon=True).start()
        first = self._sim_line(10)
        if not first.startswith("DEVICE "):
            raise Failure(f"txsim did not name its device: {first!r}")
        self.device = first.split(" ", 1)[1].strip()

        config = os.path.join(self.tmp, "config")
        os.makedirs(config)
        with open(os.path.join(config, "Tx_Orvel.conf"), "w") as conf:
            conf.write(f"""[Startup]
Comm=1
LimitUp=108000
LimitDown=87500

[Link]
ConnectAtStart=true
Resume={"true" if self.resume else "false"}

[Feed]
Enabled=true
Address=127.0.0.1
Port={self.port}
Name={self.name_ini}
""")
            if self.extra_settings:
                conf.write("\n" + self.extra_settings)
        if self.resume:
            os.symlink(self.device, self.link)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config,
                   TXPANEL_COM1=self.link if self.resume else self.device)
        self.panel_log = open(os.path.join(self.tmp, "panel.log"), "wb")
        self.panel = subprocess.Popen([self.panel_binary], cwd=self.tmp, env=env,
                                      stdin=subprocess.DEVNULL, stdout=self.panel_log,
                                      stderr=subprocess.STDOUT)
        # Two whole cycles: every reading is in.
        wait_until("the panel's feed to say it is polling",
                   lambda: self.status().get("state") == "polling"
                   and self.status().get("cycles", 0) >= 2)

    def _read_sim(self):
        for line in self.sim.stdout:
            self._sim_lines.put(line.rstrip("\n"))

    def _sim_line(self, timeout):
        try:
            return self._sim_lines.get(timeout=timeout)
        except queue.Empty:
            raise Failure("txsim printed nothing in time") from None

    def command(self, line):
        """Types a live command at txsim; returns its answer, which must be OK."""
        self.sim.stdin.write(line + "\n")
        self.sim.stdin.flush()
        answer = self._sim_line(10)
        if not answer.startswith("OK"):
            raise Failure(f"txsim refused {line!r}: {answer}")
        return answer

    def replug(self):
        """Brings an unplugged txsim back on a new pseudo-terminal and points
        the port's link at it."""
        self.sim.stdin.write("plug\n")
        self.sim.stdin.flush()
        line = self._sim_line(10)
        if not line.startswith("DEVICE "):
            raise Failure(f"txsim did not name its new device: {line!r}")
        self.device = line.split(" ", 1)[1].strip()
        answer = self._sim_line(10)
        if not answer.startswith("OK"):
            raise Failure(f"txsim refused plug: {answer}")
        fresh = self.link + ".new"
        os.symlink(self.device, fresh)
        os.replace(fresh, self.link)

    def panel_says(self):
        with open(os.path.join(self.tmp, "panel.log"), errors="replace") as log:
            return log.read()

    def stop(self):
        for name in ("panel", "sim"):
            process = getattr(self, name)
            if process is None:
                continue
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            remove_serial_locks_of(process.pid)
            setattr(self, name, None)
        if getattr(self, "panel_log", None):
            self.panel_log.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # The feed

    def fetch(self, path, method="GET"):
        """(status, headers, body) of one request; HTTP errors are answers too."""
        request = urllib.request.Request(self.url + path, method=method)
        try:
            with urllib.request.urlopen(request, timeout=5) as answer:
                return answer.status, dict(answer.headers), answer.read()
        except urllib.error.HTTPError as error:
            return error.code, dict(error.headers), error.read()

    def status(self):
        code, _, body = self.fetch("/status.json")
        if code != 200:
            raise Failure(f"/status.json answered {code}")
        return json.loads(body)

    def alarms(self):
        """/alarms.json's alarms by id (the panel's alarms must be on)."""
        code, _, body = self.fetch("/alarms.json")
        if code != 200:
            raise Failure(f"/alarms.json answered {code}: {body!r}")
        document = json.loads(body)
        if document.get("name") != self.name:
            raise Failure(f"/alarms.json names another panel: {document}")
        return {alarm["id"]: alarm for alarm in document["alarms"]}

    def metrics(self):
        code, headers, body = self.fetch("/metrics")
        if code != 200:
            raise Failure(f"/metrics answered {code}")
        return headers, body.decode("utf-8")
