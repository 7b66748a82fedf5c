# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""txpanel-snmp's commands end to end: snmpset against a private snmpd with
an SNMPv3 authPriv user and a v2c community, the sub-agent attached, and a
stand-in for each panel's control socket that records the request line and
answers the reply line the test scripts.

With TXPANEL and TXSIM too, one more agent commands a real panel polling
txsim: an authPriv Set takes the transmitter off the air, a v2c Set does
not, and the panel's record names who sent it.

usage: snmp_set.py AGENT MIB_DIR BASE_MIB_DIR [TXPANEL TXSIM]
Exit 77 (CTest's skip) only when a Debian SNMP tool is missing.
"""

import json
import os
import shutil
import socket
import sqlite3
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "feed"))
from panel_stack import PanelStack  # noqa: E402
from fake_feed import FakeFeed, polling_document  # noqa: E402
from snmp_end_to_end import (SKIP, TOOLS, Failure, Stack, expect, free_port,  # noqa: E402
                             row_has, wait_until)

USER = "ops"
V3 = ["-v3", "-l", "authPriv", "-u", USER, "-a", "SHA", "-A", "ops-auth-pass",
      "-x", "AES", "-X", "ops-priv-pass"]


class FakeControl:
    """A panel's control socket: one reply line per request line, taken from
    `replies` in turn; every request line is kept."""

    def __init__(self, path):
        self.path = path
        self.lines = []
        self.replies = []
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(path)
        self.server.listen(8)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            with client, client.makefile("rb") as reader:
                for line in reader:
                    self.lines.append(line.decode())
                    reply = self.replies.pop(0) if self.replies else {"ok": True}
                    # A panel answers once the transmitter has: the time
                    # that takes is the test's to script.
                    time.sleep(reply.pop("after_s", 0))
                    client.sendall(json.dumps(dict({"protocol": 1}, **reply)).encode() + b"\n")

    def stop(self):
        self.server.close()
        os.unlink(self.path)


class SetStack(Stack):
    """The end-to-end stack, its snmpd opening the writer's context to the
    SNMPv3 user alone (authPriv) and keeping the v2c write community, whose
    Sets the agent itself must refuse."""

    def __init__(self, *args):
        super().__init__(*args)
        with open(os.path.join(self.tmp, "snmpd.conf"), "a") as conf:
            conf.write(f"""agentXTimeout 8
agentXRetries 0
createUser {USER} SHA ops-auth-pass AES ops-priv-pass
group writers usm {USER}
access writers {USER} usm priv exact txpanel txpanel none
access writers "" usm priv exact txpanel txpanel none
""")

    def start_agent(self, argv):
        self._start("agent", [self.agent_binary, "-x", self.agentx, "-i", "0.4", "-t", "0.4",
                              "--reconnect", "1", *argv], self.agent_log)

    def set(self, oid, kind, value, *, v3=True, context=USER):
        security = [*V3, "-n", context] if v3 else ["-v2c", "-c", "private"]
        result = subprocess.run(
            ["snmpset", *security, "-t", "8", "-r", "0", "-Ir", "-M", self.mib_path,
             "-m", "TXPANEL-MIB", f"127.0.0.1:{self.snmp_port}", oid, kind, value],
            capture_output=True, text=True, env=self.env)
        return result.returncode, result.stdout + result.stderr


def run(stack):
    feed = FakeFeed(free_port(socket.SOCK_STREAM), polling_document())
    stack.feeds.append(feed)
    feed.start()
    control = FakeControl(os.path.join(stack.tmp, "control"))
    try:
        _run(stack, feed, control)
    finally:
        control.stop()


def _run(stack, feed, control):
    config = os.path.join(stack.tmp, "feeds.conf")
    with open(config, "w") as out:
        # Panel 3 is paired with a socket nobody serves.
        out.write(f"{feed.url}\n{feed.url} {os.path.join(stack.tmp, 'nobody')}\n")
    stack.start_snmpd()
    stack.start_agent([feed.url, "-c", config, "--control-socket", f"1={control.path}",
                       "--writer", USER])
    wait_until("the agent attached", row_has(stack, {"txpanelPanelState.1": "polling",
                                                     "txpanelPanelCount.0": "3"}))

    # Each command as the panel gets it, and what snmpset shows of each reply.
    cases = [
        ("rf off, confirmed", "txpanelPanelRfCommand.1", "i", "2",
         {"ok": True, "outcome": "confirmed", "command": "rf off"},
         "via snmp ops rf off\n", None),
        ("rf on, not allowed", "txpanelPanelRfCommand.1", "i", "1",
         {"ok": False, "outcome": "refused", "reason": "rf on is not allowed"},
         "via snmp ops rf on\n", "noAccess"),
        ("rf off, not connected", "txpanelPanelRfCommand.1", "i", "2",
         {"ok": False, "outcome": "refused", "reason": "not connected"},
         "via snmp ops rf off\n", "inconsistentValue"),
        ("frequency, the link lost", "txpanelPanelFrequencySet.1", "u", "98500",
         {"ok": False, "outcome": "lost", "reason": "the link ended"},
         "via snmp ops frequency 98500\n", "commitFailed"),
        ("rf off, confirmed after a slow exchange", "txpanelPanelRfCommand.1", "i", "2",
         {"ok": True, "outcome": "confirmed", "after_s": 2.5},
         "via snmp ops rf off\n", None),
        ("ack an alarm", "txpanelPanelAlarmAcknowledge.1", "s", "reflected-high",
         {"ok": True, "outcome": "done"}, "via snmp ops ack reflected-high\n", None),
        ("ack one the panel does not know", "txpanelPanelAlarmAcknowledge.1", "s", "fire",
         {"ok": False, "outcome": "error", "reason": "no such alarm"},
         "via snmp ops ack fire\n", "wrongValue"),
    ]
    for name, oid, kind, value, reply, line, error in cases:
        sent = len(control.lines)
        control.replies.append(reply)
        status, said = stack.set(oid, kind, value)
        expect(control.lines[sent:] == [line],
               f"{name}: the panel got {control.lines[sent:]}, not {line!r}")
        if error is None:
            expect(status == 0 and f"{oid.split('.')[0]}.1 = " in said,
                   f"{name}: snmpset failed: {said}")
        else:
            expect(status != 0 and error in said, f"{name}: wanted {error}, snmpset said {said}")
        print(f"PASS {name}: {line.strip()!r} -> {error or 'success'}")

    # Refused before the panel hears of it: a v2c community (snmpd lets it
    # write, the agent does not), a v3 Set outside the writer's context, a
    # malformed value, a row without a control socket; and a socket nobody
    # serves.
    sent = len(control.lines)
    for name, oid, kind, value, v3, context, error in [
        ("v2c", "txpanelPanelRfCommand.1", "i", "2", False, "", "noAccess"),
        ("the default context", "txpanelPanelRfCommand.1", "i", "2", True, "", "noAccess"),
        ("RF 3", "txpanelPanelRfCommand.1", "i", "3", True, USER, "wrongValue"),
        ("a blank alarm", "txpanelPanelAlarmAcknowledge.1", "s", " ", True, USER, "wrongValue"),
        ("a read-only column", "txpanelPanelName.1", "s", "x", True, USER, "notWritable"),
        ("no control socket", "txpanelPanelRfCommand.2", "i", "2", True, USER, "notWritable"),
        ("nobody at the socket", "txpanelPanelRfCommand.3", "i", "2", True, USER,
         "resourceUnavailable"),
    ]:
        status, said = stack.set(oid, kind, value, v3=v3, context=context)
        expect(status != 0 and error in said, f"{name}: wanted {error}, snmpset said {said}")
        print(f"PASS {name}: {error}")
    expect(control.lines[sent:] == [], f"refused Sets reached the panel: {control.lines[sent:]}")
    says = stack.agent_says()
    for reason in ["rf on is not allowed", "not connected", "no control socket",
                   "--writer", "no such alarm"]:
        expect(reason in says, f"the agent's log does not tell '{reason}': {says}")
    print("PASS the reasons are in the agent's log")

    # The last remote command, as the panel's feed tells it.
    feed.set(polling_document(last_remote={
        "when": "2026-12-09T10:15:30.250Z", "who": "snmp ops (agent user Debian-snmp)",
        "way": "snmp", "command": "rf off", "outcome": "confirmed"}))
    wait_until("the last remote command in the walk", row_has(stack, {
        "txpanelPanelLastRemoteWho.1": "snmp ops (agent user Debian-snmp)",
        "txpanelPanelLastRemoteWay.1": "snmp",
        "txpanelPanelLastRemoteCommand.1": "rf off",
        "txpanelPanelLastRemoteOutcome.1": "confirmed",
        "txpanelPanelLastRemoteTime.1": "2026-12-9,10:15:30.2,+0:0",
        "txpanelPanelRfCommand.1": "on"}))
    print("PASS the last remote command is published")


def real_panel(stack, panel, txsim):
    """The agent in front of a real panel's control socket and feed."""
    control = os.path.join(stack.tmp, "panel-control")
    record = os.path.join(stack.tmp, "panel-record.sqlite")
    site = PanelStack(panel, txsim, name="mast", extra_settings=f"""[Record]
Enabled=true
Path={record}

[Control]
Enabled=true
Socket={control}
""")
    try:
        site.start()
        site.command("rf on")
        wait_until("the panel to see the transmitter on the air",
                   lambda: site.status()["readings"]["on_air"]["value"] is True)
        stack.stop("agent")
        stack.start_agent([f"{site.url}/status.json", "--control-socket", f"1={control}",
                           "--writer", USER])
        wait_until("the agent attached to the real panel",
                   row_has(stack, {"txpanelPanelName.1": "mast"}))

        status, said = stack.set("txpanelPanelRfCommand.1", "i", "2", v3=False, context="")
        expect(status != 0 and "noAccess" in said, f"v2c rf off: snmpset said {said}")
        expect(site.status()["readings"]["on_air"]["value"] is True,
               "a v2c Set took the transmitter off the air")
        print("PASS a v2c Set leaves the real transmitter on the air")

        status, said = stack.set("txpanelPanelRfCommand.1", "i", "2")
        expect(status == 0, f"authPriv rf off: snmpset said {said}")
        # snmpset returned once the transmitter itself confirmed it.
        expect(", rf off," in site.command("status"), "the transmitter is still on the air")
        wait_until("the feed to show the transmitter off the air",
                   lambda: site.status()["readings"]["on_air"]["value"] is False)
        last = site.status().get("last_remote") or {}
        expect(last.get("command") == "rf off" and last.get("outcome") == "confirmed"
               and last.get("way") == "snmp" and "snmp ops" in last.get("who", ""),
               f"the feed's last_remote: {last}")
        site.stop()
        with sqlite3.connect(record) as db:
            rows = db.execute("SELECT user, subject, new_value, outcome FROM events "
                              "WHERE kind = 'remote-command'").fetchall()
        expect(len(rows) == 1 and rows[0][1:] == ("snmp", "rf off", "confirmed")
               and rows[0][0].startswith("snmp ops"), f"the record's commands: {rows}")
        print(f"PASS an authPriv Set takes the real transmitter off the air, recorded as {rows[0][0]!r}")
    finally:
        site.stop()


def main():
    if len(sys.argv) not in (4, 6):
        sys.exit(__doc__)
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: missing {' '.join(missing)} (Debian: snmpd snmp snmptrapd)")
        return SKIP
    stack = SetStack(*sys.argv[1:4])
    started = time.monotonic()
    try:
        run(stack)
        if len(sys.argv) == 6:
            real_panel(stack, *sys.argv[4:6])
    except Failure as failure:
        print(f"FAIL: {failure}")
        print("--- agent's output:\n" + stack.agent_says())
        return 1
    finally:
        stack.close()
    print(f"commands end to end passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
