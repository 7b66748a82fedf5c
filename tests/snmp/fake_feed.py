# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-ins for a panel's /status.json feed, for txpanel-snmp's tests.

FakeFeed answers GET /status.json with whatever document the test last set;
StalledFeed accepts connections and never answers, like a panel whose event
loop is stuck. Both listen on 127.0.0.1 only, on a port the caller picks.
Run as a script, FakeFeed serves a JSON file (re-read at every request) so a
person can try the agent by hand: fake_feed.py PORT FILE.
"""

import copy
import http.server
import json
import socket
import sys
import threading

# The document a panel serves while connected, as the panel's feed gives it.
POLLING = {
    "name": "site-a", "state": "polling", "port": "1", "device": "/dev/ttyUSB0",
    "firmware": "V1.0", "connected_s": 1234, "cycles": 5678,
    "readings": {
        "forward_w": {"value": 12.5, "text": "12.5", "age_s": 0.2},
        "reflected_w": {"value": 0.3, "text": "0.3", "age_s": 0.2},
        "vswr": {"value": 1.37, "age_s": 0.2},
        "temperature_c": {"value": 20, "text": "20", "age_s": 0.2},
        "temperature_alarm": {"value": False, "age_s": 0.2},
        "locked": {"value": True, "age_s": 0.2},
        "on_air": {"value": True, "age_s": 0.2},
        "frequency_khz": {"value": 107900, "text": "107.900 MHz", "age_s": 0.3},
    },
}


# The alarms a panel with alarms on publishes, in its order.
ALARM_TITLES = {
    "forward-low": "FORWARD POWER LOW", "reflected-high": "REFLECTED POWER HIGH",
    "vswr-high": "VSWR HIGH", "temperature-high": "TEMPERATURE HIGH", "lock-lost": "LOCK LOST",
    "link-lost": "LINK LOST", "rf-off": "RF OFF THE AIR",
}


def polling_document(**changes):
    """A copy of POLLING with top-level fields replaced."""
    document = copy.deepcopy(POLLING)
    document.update(changes)
    return document


def alarm(alarm_id, state="normal", raised=None, raised_value=None, cleared=None,
          cleared_value=None, acknowledged_at=None, acknowledged_by=None, raises=0):
    """One alarm as the panel's feed gives it (times ISO 8601 UTC)."""
    return {"id": alarm_id, "title": ALARM_TITLES[alarm_id], "state": state,
            "active": state.startswith("active-"),
            "acknowledged": state in ("normal", "active-acknowledged"),
            "raised": raised, "raisedValue": raised_value, "cleared": cleared,
            "clearedValue": cleared_value, "acknowledgedAt": acknowledged_at,
            "acknowledgedBy": acknowledged_by, "raises": raises}


def alarm_list(*changed):
    """Every alarm normal, but for those given (alarm() objects)."""
    given = {entry["id"]: entry for entry in changed}
    return [given.get(alarm_id, alarm(alarm_id)) for alarm_id in ALARM_TITLES]


class _Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):  # noqa: N802 (the name http.server calls)
        body = self.server.feed.answer() if self.path == "/status.json" else None
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class _Server(http.server.ThreadingHTTPServer):
    allow_reuse_address = True
    daemon_threads = True


class FakeFeed:
    """A panel's feed on 127.0.0.1:port; start() and stop() may repeat."""

    def __init__(self, port, document=None, path=None):
        self.port = port
        self.url = f"http://127.0.0.1:{port}/status.json"
        self._lock = threading.Lock()
        self._body = None
        self._path = path
        self._server = None
        self._thread = None
        self._requests = 0
        if document is not None:
            self.set(document)

    def set(self, document):
        """Serve this document (a dict as JSON, or raw bytes) from now on."""
        body = document if isinstance(document, bytes) else json.dumps(document).encode()
        with self._lock:
            self._body = body

    def requests(self):
        """How many times the document has been asked for."""
        with self._lock:
            return self._requests

    def answer(self):
        with self._lock:
            self._requests += 1
        return self.body()

    def body(self):
        if self._path is not None:
            with open(self._path, "rb") as file:
                return file.read()
        with self._lock:
            return self._body

    def start(self):
        self._server = _Server(("127.0.0.1", self.port), _Handler)
        self._server.feed = self
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def stop(self):
        if self._server is None:
            return
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()
        self._server = None


class StalledFeed:
    """Listens on 127.0.0.1:port and never reads or answers."""

    def __init__(self, port):
        self.url = f"http://127.0.0.1:{port}/status.json"
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._socket.bind(("127.0.0.1", port))
        self._socket.listen(64)

    def stop(self):
        self._socket.close()


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: fake_feed.py PORT FILE")
    feed = FakeFeed(int(sys.argv[1]), path=sys.argv[2])
    feed.start()
    print(f"serving {sys.argv[2]} at {feed.url}", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        feed.stop()


if __name__ == "__main__":
    main()
