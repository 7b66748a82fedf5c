# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""txpanel-snmp end to end: fake panel feeds, a private snmpd (AgentX
master), a private snmptrapd as its trap sink, and the sub-agent attached.
Reads go through snmpget/snmpwalk with TXPANEL-MIB loaded, so the MIB's
names and the agent's object identifiers are checked against each other.

usage: snmp_end_to_end.py AGENT MIB_DIR BASE_MIB_DIR
Exit 77 (CTest's skip) only when a Debian SNMP tool is missing.
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fake_feed import (FakeFeed, StalledFeed, alarm, alarm_list,  # noqa: E402
                       polling_document)

SKIP = 77
TOOLS = ["snmpd", "snmptrapd", "snmpget", "snmpwalk", "snmpset"]
COMMUNITY = "public"
WRITE_COMMUNITY = "private"
# The agent polls fast so that the test is quick; the timeout still leaves a
# loaded machine (two sanitizer builds side by side) ample time to answer
# from loopback.
INTERVAL = "0.4"
TIMEOUT = "0.4"
# The agent retries the AgentX master every second; net-snmp's own default
# would be 15 s, which this bound tells apart.
RECONNECT_WAIT = 8.0


class Failure(Exception):
    pass


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, probe, timeout=15.0):
    """Polls probe() until it is satisfied, and returns what it saw then; on
    timeout fails naming `what` and the last thing seen. probe() returns
    (satisfied, seen) or a plain truth value."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        satisfied, seen = result if isinstance(result, tuple) else (bool(result), result)
        if satisfied:
            return seen
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}; last saw: {seen!r}")
        time.sleep(0.1)


class Stack:
    """Every process the test starts, stopped whatever happens."""

    def __init__(self, agent, mib_dir, base_mib_dir):
        self.tmp = tempfile.mkdtemp(prefix="txpanel-snmp-test-")
        self.agent_binary = agent
        self.mib_path = f"+{base_mib_dir}:{mib_dir}"
        self.snmp_port = free_port(socket.SOCK_DGRAM)
        self.trap_port = free_port(socket.SOCK_DGRAM)
        self.agentx = os.path.join(self.tmp, "agentx.sock")
        self.trap_log = os.path.join(self.tmp, "traps.log")
        self.agent_log = os.path.join(self.tmp, "agent.log")
        self.env = dict(os.environ, SNMP_PERSISTENT_DIR=os.path.join(self.tmp, "persist"),
                        MIBS="")
        self.processes = {}
        self.feeds = []
        with open(os.path.join(self.tmp, "snmpd.conf"), "w") as conf:
            conf.write(f"""master agentx
agentXSocket {self.agentx}
agentXPerms 0660 0700
view txpanel included .1.3.6.1.4.1.32473
rocommunity {COMMUNITY} 127.0.0.1 -V txpanel
rwcommunity {WRITE_COMMUNITY} 127.0.0.1 -V txpanel
trap2sink 127.0.0.1:{self.trap_port} {COMMUNITY}
""")
        with open(os.path.join(self.tmp, "snmptrapd.conf"), "w") as conf:
            conf.write("disableAuthorization yes\ndoNotRetainNotificationLogs yes\n")

    # Processes

    def _start(self, name, argv, log):
        out = open(log, "ab")
        self.processes[name] = (subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT,
                                                 env=self.env, stdin=subprocess.DEVNULL), out)

    def stop(self, name, timeout=20):
        """Stops a process with SIGTERM; returns its exit status."""
        process, out = self.processes.pop(name)
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
        try:
            status = process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            out.close()
            raise Failure(f"{name} did not end within {timeout} s of SIGTERM")
        out.close()
        return status

    def start_trapd(self):
        self._start("snmptrapd", [
            "snmptrapd", "-f", "-C", "-c", os.path.join(self.tmp, "snmptrapd.conf"),
            "-Lf", self.trap_log, "-M", self.mib_path, "-m", "TXPANEL-MIB",
            "-F", "TRAP %v\n", f"udp:127.0.0.1:{self.trap_port}"],
            os.path.join(self.tmp, "snmptrapd.out"))

    def start_snmpd(self):
        self._start("snmpd", [
            "snmpd", "-f", "-C", "-c", os.path.join(self.tmp, "snmpd.conf"),
            "-Lf", os.path.join(self.tmp, "snmpd.log"), f"udp:127.0.0.1:{self.snmp_port}"],
            os.path.join(self.tmp, "snmpd.out"))

    def start_agent(self, urls):
        self._start("agent", [self.agent_binary, "-x", self.agentx, "-i", INTERVAL,
                              "-t", TIMEOUT, "--reconnect", "1", *urls], self.agent_log)

    def agent_says(self):
        with open(self.agent_log, errors="replace") as log:
            return log.read()

    def traps(self):
        """Each notification received so far, as one line of varbinds."""
        if not os.path.exists(self.trap_log):
            return []
        with open(self.trap_log, errors="replace") as log:
            return [line for line in log.read().splitlines()
                    if line.startswith("TRAP ") and "TXPANEL-MIB::txpanel" in line]

    def close(self):
        for name in list(self.processes):
            try:
                self.stop(name)
            except Failure as failure:
                print(f"cleanup: {failure}", file=sys.stderr)
        for feed in self.feeds:
            feed.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # SNMP requests

    def _tool(self, tool, *args, community=COMMUNITY):
        started = time.monotonic()
        result = subprocess.run(
            [tool, "-v2c", "-c", community, "-t", "1", "-r", "0", "-M", self.mib_path,
             "-m", "TXPANEL-MIB", "-OQsU", f"127.0.0.1:{self.snmp_port}", *args],
            capture_output=True, text=True, env=self.env)
        return result, time.monotonic() - started

    def walk(self):
        """{instance name: value} of the whole module, or None on failure."""
        result, _ = self._tool("snmpwalk", "txpanelMIB")
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.splitlines():
            name, _, value = line.partition(" = ")
            values[name.strip()] = value.strip()
        return values

    def get(self, name):
        result, _ = self._tool("snmpget", name)
        return result.stdout.strip() + result.stderr.strip()


def expect(condition, message):
    if not condition:
        raise Failure(message)


def row_has(stack, expected):
    """A probe: the walk holds every expected instance value."""
    def probe():
        walk = stack.walk()
        if walk is None:
            return (False, "walk failed")
        wrong = {k: walk.get(k) for k, v in expected.items() if walk.get(k) != v}
        return (not wrong, wrong or walk)
    return probe


def trap_seen(stack, notification, *varbinds):
    def probe():
        for line in stack.traps():
            if f"TXPANEL-MIB::{notification}" in line and all(v in line for v in varbinds):
                return (True, line)
        return (False, stack.traps())
    return probe


def alarm_traps(stack, notification):
    """The notifications of that name received so far."""
    sent = re.compile(rf"OID: TXPANEL-MIB::{notification}\b")
    return [t for t in stack.traps() if sent.search(t)]


def check_alarms(stack, site_a):
    """Panel 1 turns its alarms on; its reflected-power alarm is raised,
    cleared and acknowledged: rows in the walk and one notification each."""
    before = len(stack.traps())
    document = polling_document(alarms=alarm_list())
    site_a.set(document)
    wait_until("panel 1's alarms in the walk", row_has(stack, {
        "txpanelAlarmState.1.reflectedHigh": "normal",
        "txpanelAlarmName.1.reflectedHigh": "REFLECTED POWER HIGH",
        "txpanelAlarmRaises.1.reflectedHigh": "0"}))

    raised = alarm("reflected-high", "active-unacknowledged", "2026-12-08T14:03:22.570Z", "2.5 W",
                   raises=1)
    document["alarms"] = alarm_list(raised)
    site_a.set(document)
    wait_until("txpanelAlarmRaised", trap_seen(
        stack, "txpanelAlarmRaised", "txpanelPanelName.1 = STRING: site-a",
        "txpanelAlarmName.1.reflectedHigh = STRING: REFLECTED POWER HIGH",
        "txpanelAlarmState.1.reflectedHigh = INTEGER: activeUnacknowledged",
        "txpanelAlarmRaisedValue.1.reflectedHigh = STRING: 2.5 W"))
    expect(len(stack.traps()) == before + 1,
           f"turning alarms on was a baseline; the raise one trap: {stack.traps()[before:]}")
    wait_until("the raised alarm in the walk", row_has(stack, {
        "txpanelAlarmState.1.reflectedHigh": "activeUnacknowledged",
        "txpanelAlarmRaisedTime.1.reflectedHigh": "2026-12-8,14:3:22.5,+0:0",
        "txpanelAlarmRaises.1.reflectedHigh": "1"}))
    print("PASS an alarm raised: in the walk and a txpanelAlarmRaised trap")

    cleared = dict(raised, state="cleared-unacknowledged", active=False, acknowledged=False,
                   cleared="2026-12-08T14:04:10.000Z", clearedValue="1.0 W")
    document["alarms"] = alarm_list(cleared)
    site_a.set(document)
    wait_until("txpanelAlarmCleared", trap_seen(
        stack, "txpanelAlarmCleared", "txpanelPanelName.1 = STRING: site-a",
        "txpanelAlarmName.1.reflectedHigh = STRING: REFLECTED POWER HIGH",
        "txpanelAlarmState.1.reflectedHigh = INTEGER: clearedUnacknowledged",
        "txpanelAlarmClearedValue.1.reflectedHigh = STRING: 1.0 W"))
    print("PASS the alarm cleared: a txpanelAlarmCleared trap, state clearedUnacknowledged")

    acknowledged = dict(cleared, state="normal", acknowledged=True,
                        acknowledgedAt="2026-12-08T14:05:00.000Z", acknowledgedBy="alice")
    document["alarms"] = alarm_list(acknowledged)
    site_a.set(document)
    wait_until("txpanelAlarmAcknowledged", trap_seen(
        stack, "txpanelAlarmAcknowledged", "txpanelPanelName.1 = STRING: site-a",
        "txpanelAlarmState.1.reflectedHigh = INTEGER: normal",
        "txpanelAlarmRaisedValue.1.reflectedHigh = STRING: 2.5 W",
        "txpanelAlarmAcknowledgedBy.1.reflectedHigh = STRING: alice"))
    wait_until("the occurrence in the walk", row_has(stack, {
        "txpanelAlarmState.1.reflectedHigh": "normal",
        "txpanelAlarmClearedTime.1.reflectedHigh": "2026-12-8,14:4:10.0,+0:0",
        "txpanelAlarmAcknowledgedBy.1.reflectedHigh": "alice",
        "txpanelAlarmAcknowledgedTime.1.reflectedHigh": "2026-12-8,14:5:0.0,+0:0"}))
    # Three more reads of the unchanged feed: nothing more is sent.
    reads = site_a.requests()
    wait_until("three more reads of the feed", lambda: site_a.requests() >= reads + 3)
    for notification in ["txpanelAlarmRaised", "txpanelAlarmCleared",
                         "txpanelAlarmAcknowledged"]:
        sent = alarm_traps(stack, notification)
        expect(len(sent) == 1 and ".1.reflectedHigh" in sent[0],
               f"{notification}: once, for panel 1's alarm only: {sent}")
    print("PASS the alarm acknowledged: normal in the walk and a txpanelAlarmAcknowledged trap; "
          "each step told once")


def check_command_line(agent):
    """Errors on the command line are told on stderr, with a non-zero exit."""
    for argv, wanted in [
        ([agent, "ftp://127.0.0.1/status.json"], "not an http:// or https:// address"),
        ([agent], "no panel feed given"),
        ([agent, "-i", "zero", "http://127.0.0.1:1/status.json"], "--interval wants"),
        ([agent, "-c", "/nonexistent/txpanel-snmp.conf"], "cannot read configuration file"),
    ]:
        result = subprocess.run(argv, capture_output=True, text=True, timeout=30)
        expect(result.returncode == 2 and wanted in result.stderr,
               f"{argv[1:]}: wanted exit 2 and '{wanted}', got {result.returncode}: "
               f"{result.stderr!r}")
    result = subprocess.run([agent, "--help"], capture_output=True, text=True, timeout=30)
    expect(result.returncode == 0 and "--agentx-socket" in result.stdout,
           f"--help: {result.returncode} {result.stdout!r}")
    print("PASS command line errors and --help")


def run(stack):
    site_a = FakeFeed(free_port(socket.SOCK_STREAM), polling_document())
    # Panel 2 has alarms on, one of them active before the agent starts: a
    # baseline, not a notification.
    site_b_alarms = alarm_list(alarm("link-lost", "active-unacknowledged",
                                     "2026-12-08T13:59:00.000Z", "the line was lost", raises=4))
    site_b = FakeFeed(free_port(socket.SOCK_STREAM),
                      polling_document(name="site-b", device="/dev/ttyUSB1", firmware="",
                                       alarms=site_b_alarms))
    stalled = StalledFeed(free_port(socket.SOCK_STREAM))
    stack.feeds += [site_a, site_b, stalled]
    site_a.start()
    site_b.start()
    dead_url = f"http://127.0.0.1:{free_port(socket.SOCK_STREAM)}/status.json"

    # The master is not there yet: the agent says so and keeps trying.
    stack.start_trapd()
    stack.start_agent([site_a.url, site_b.url, dead_url, stalled.url])
    wait_until("the agent to say the AgentX master is not reachable",
               lambda: "AgentX master is not reachable" in stack.agent_says())
    stack.start_snmpd()
    # --reconnect 1: a few seconds at most, even on a loaded machine.
    wait_until("the agent to attach to snmpd started after it", row_has(stack, {
        "txpanelPanelCount.0": "4", "txpanelPanelState.1": "polling"}), timeout=RECONNECT_WAIT)
    print("PASS the agent attaches to a master that starts after it")

    # Every value the feed holds, scaled as the MIB says; the dead and the
    # stalled feeds are rows in state unreachable.
    walk = wait_until("all four rows", row_has(stack, {
        "txpanelPanelName.1": "site-a",
        "txpanelPanelFeedUrl.1": site_a.url,
        "txpanelPanelDevice.1": "/dev/ttyUSB0",
        "txpanelPanelFirmware.1": "V1.0",
        "txpanelPanelForwardPower.1": "12.5",
        "txpanelPanelReflectedPower.1": ".3",
        "txpanelPanelVswr.1": "1.37",
        "txpanelPanelTemperature.1": "20.0",
        "txpanelPanelTemperatureAlarm.1": "false",
        "txpanelPanelLocked.1": "true",
        "txpanelPanelOnAir.1": "true",
        "txpanelPanelFrequency.1": "107900",
        "txpanelPanelConnectedTime.1": "1234",
        "txpanelPanelReadingAge.1": ".3",
        "txpanelPanelName.2": "site-b",
        "txpanelPanelState.2": "polling",
        "txpanelPanelDevice.2": "/dev/ttyUSB1",
        "txpanelPanelFirmware.2": "",
        "txpanelPanelState.3": "unreachable",
        "txpanelPanelFeedUrl.3": dead_url,
        "txpanelPanelState.4": "unreachable",
        "txpanelAlarmName.2.linkLost": "LINK LOST",
        "txpanelAlarmState.2.linkLost": "activeUnacknowledged",
        "txpanelAlarmRaisedValue.2.linkLost": "the line was lost",
        "txpanelAlarmRaisedTime.2.linkLost": "2026-12-8,13:59:0.0,+0:0",
        "txpanelAlarmRaises.2.linkLost": "4",
        "txpanelAlarmState.2.forwardLow": "normal",
        "txpanelAlarmState.2.rfOff": "normal",
        "txpanelAlarmRaises.2.forwardLow": "0",
    }))
    expect("txpanelPanelFeedAge.1" in walk and "txpanelPanelFeedAge.3" not in walk,
           f"feed age: answered feeds have one, never-answered ones none: {walk}")
    for column in ["ForwardPower", "Locked", "ConnectedTime", "ReadingAge"]:
        expect(f"txpanelPanel{column}.3" not in walk,
               f"an unreachable panel shows no {column}: {walk}")
    print("PASS the walk reads the feeds' values; dead and stalled feeds are unreachable rows")
    alarm_rows = sorted(name for name in walk if name.startswith("txpanelAlarm"))
    expect(len([n for n in alarm_rows if n.startswith("txpanelAlarmState.")]) == 7 and
           all(".2." in name for name in alarm_rows),
           f"panel 2's seven alarms, and none for the panels with alarms off: {alarm_rows}")
    expect("txpanelAlarmClearedTime.2.linkLost" not in walk and
           "txpanelAlarmAcknowledgedBy.2.linkLost" not in walk and
           "txpanelAlarmRaisedTime.2.forwardLow" not in walk,
           f"what has not happened is not instantiated: {alarm_rows}")
    print("PASS the alarm table: a row per alarm of the panel with alarms on, none for others")

    # The stalled feed holds a fetch open all the time: requests are still
    # answered at once from the last values.
    slowest = 0.0
    for _ in range(5):
        result, took = stack._tool("snmpwalk", "txpanelMIB")
        expect(result.returncode == 0, f"walk failed: {result.stderr}")
        slowest = max(slowest, took)
    expect(slowest < 0.5, f"a walk took {slowest:.2f} s with a stalled feed")
    print(f"PASS walks answer promptly beside a stalled feed (slowest {slowest * 1000:.0f} ms)")

    # Read-only: a set is refused.
    result, _ = stack._tool("snmpset", "txpanelPanelName.1", "s", "other",
                            community=WRITE_COMMUNITY)
    expect(result.returncode != 0 and "notWritable" in result.stderr + result.stdout,
           f"a set was not refused as notWritable: {result.stdout!r} {result.stderr!r}")
    print("PASS sets are refused (notWritable)")

    # No traps for the baseline (panel 2's active alarm included): the first
    # trap the sink gets is the one caused below, after start-up.
    document = polling_document()
    document["readings"]["locked"]["value"] = False
    site_a.set(document)
    wait_until("lock false in the walk", row_has(stack, {"txpanelPanelLocked.1": "false"}))
    wait_until("txpanelLockLost", trap_seen(stack, "txpanelLockLost", "txpanelPanelName.1",
                                            "txpanelPanelLocked.1 = INTEGER: false"))
    first = stack.traps()[0]
    expect("txpanelLockLost" in first, f"a trap came before the first change: {first}")
    print("PASS no traps at start-up; lock lost shows in the walk and as a trap")

    document["readings"]["locked"]["value"] = True
    document["readings"]["temperature_alarm"]["value"] = True
    site_a.set(document)
    wait_until("txpanelLockRegained", trap_seen(stack, "txpanelLockRegained",
                                                "txpanelPanelLocked.1 = INTEGER: true"))
    wait_until("txpanelTemperatureAlarmRaised", trap_seen(
        stack, "txpanelTemperatureAlarmRaised", "txpanelPanelTemperatureAlarm.1 = INTEGER: true"))
    wait_until("the alarm in the walk", row_has(stack, {"txpanelPanelTemperatureAlarm.1": "true"}))
    document["readings"]["temperature_alarm"]["value"] = False
    document["readings"]["on_air"]["value"] = False
    site_a.set(document)
    wait_until("txpanelTemperatureAlarmCleared", trap_seen(
        stack, "txpanelTemperatureAlarmCleared",
        "txpanelPanelTemperatureAlarm.1 = INTEGER: false"))
    wait_until("txpanelOnAirChanged", trap_seen(stack, "txpanelOnAirChanged",
                                                "txpanelPanelOnAir.1 = INTEGER: false"))
    print("PASS lock regained, temperature alarm raised and cleared, on-air change")

    # Link down and up: resuming leaves polling, polling comes back.
    resuming = polling_document(state="resuming", connected_s=None, readings={})
    site_a.set(resuming)
    wait_until("resuming in the walk", row_has(stack, {"txpanelPanelState.1": "resuming"}))
    wait_until("txpanelLinkDown", trap_seen(stack, "txpanelLinkDown",
                                            "txpanelPanelState.1 = INTEGER: resuming"))
    walk = stack.walk()
    for column in ["ForwardPower", "Locked", "ConnectedTime", "ReadingAge"]:
        expect(f"txpanelPanel{column}.1" not in walk,
               f"readings the feed left out still show ({column}): {walk}")
    site_a.set(polling_document())
    wait_until("txpanelLinkUp", trap_seen(stack, "txpanelLinkUp",
                                          "txpanelPanelState.1 = INTEGER: polling"))
    # The lock was last known true and is true again: no lock trap for it.
    expect(sum("txpanelLockRegained" in t for t in stack.traps()) == 1,
           f"a reading coming back unchanged raised a trap: {stack.traps()}")
    print("PASS link down (resuming) and up (polling) in the walk and as traps")

    # A reading the panel has not read, and one whose text is not a number,
    # are not instantiated: Get says so, the walk skips them.
    document = polling_document()
    del document["readings"]["forward_w"]
    document["readings"]["reflected_w"] = {"value": None, "text": "--", "age_s": 0.2}
    document["readings"]["frequency_khz"]["age_s"] = 4.2
    site_a.set(document)
    wait_until("the oldest reading's age", row_has(stack, {"txpanelPanelReadingAge.1": "4.2"}))
    walk = stack.walk()
    expect("txpanelPanelForwardPower.1" not in walk and
           "txpanelPanelReflectedPower.1" not in walk and
           walk.get("txpanelPanelVswr.1") == "1.37",
           f"absent and non-numeric readings: {walk}")
    answer = stack.get("txpanelPanelForwardPower.1")
    expect("No Such Instance" in answer, f"Get of an absent reading: {answer}")
    print("PASS absent and non-numeric readings are not instantiated")

    check_alarms(stack, site_a)

    # A feed that stops answering: unreachable, its name kept, a link-down
    # trap; a feed answering nonsense: invalidFeed.
    site_b.stop()
    wait_until("panel 2 unreachable", row_has(stack, {"txpanelPanelState.2": "unreachable",
                                                      "txpanelPanelName.2": "site-b"}))
    walk = stack.walk()
    expect(not any(name.startswith("txpanelAlarm") and ".2." in name for name in walk),
           f"the alarms of a panel whose feed is gone are not known: {walk}")
    wait_until("txpanelLinkDown for panel 2", trap_seen(
        stack, "txpanelLinkDown", "txpanelPanelName.2", "txpanelPanelState.2 = INTEGER: unreachable"))
    site_b.set(b"<html>not a panel</html>")
    site_b.start()
    wait_until("panel 2 invalidFeed", row_has(stack, {"txpanelPanelState.2": "invalidFeed"}))
    site_b.set(polling_document(name="site-b"))
    wait_until("panel 2 back", row_has(stack, {"txpanelPanelState.2": "polling"}))
    wait_until("txpanelLinkUp for panel 2", trap_seen(stack, "txpanelLinkUp", "txpanelPanelName.2"))
    says = stack.agent_says()
    expect("feed not answering" in says and "not a panel status" in says and
           "the feed answers again" in says,
           f"the agent's stderr does not tell the feed's troubles: {says}")
    print("PASS a feed going away is unreachable with a trap, a wrong answer invalidFeed")

    # snmpd restarts: the agent registers again by itself.
    expect(stack.stop("snmpd") == 0, "snmpd did not stop cleanly")
    wait_until("the agent to notice the master went",
               lambda: "lost the AgentX master" in stack.agent_says())
    stack.start_snmpd()
    wait_until("the agent back after snmpd restarted", row_has(stack, {
        "txpanelPanelState.1": "polling", "txpanelPanelState.3": "unreachable"}),
        timeout=RECONNECT_WAIT)
    print("PASS the agent reconnects after snmpd restarts")

    status = stack.stop("agent")
    says = stack.agent_says()
    expect(status == 0, f"the agent exited with {status} on SIGTERM: {says}")
    for report in ["AddressSanitizer", "LeakSanitizer", "runtime error"]:
        expect(report not in says, f"sanitizer report from the agent: {says}")
    print("PASS the agent ends cleanly on SIGTERM")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: missing {' '.join(missing)} (Debian: snmpd snmp snmptrapd)")
        return SKIP
    agent, mib_dir, base_mib_dir = sys.argv[1:]
    check_command_line(agent)
    stack = Stack(agent, mib_dir, base_mib_dir)
    started = time.monotonic()
    try:
        run(stack)
    except Failure as failure:
        print(f"FAIL: {failure}")
        print("--- agent's output:\n" + stack.agent_says())
        print("--- traps:\n" + "\n".join(stack.traps()))
        return 1
    finally:
        stack.close()
    print(f"end to end passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
