# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""txpanel-snmp end to end against the real panel: txsim on a
pseudo-terminal (live commands typed at it through a pipe), the built
txpanel polling it with its status feed on, a private snmpd and snmptrapd,
and the sub-agent reading the panel's feed. What the simulator is set to
shows in the walk; a live change on the simulator shows in /status.json, in
/metrics, in the walk and as a notification in the trap log. The panel's
alarms are on: a reflected power too high raises its alarm once after its
delay, and it clears, in /alarms.json, /metrics, the alarm table and the trap
log. (Acknowledging is a button in the panel's Station window, which this
test cannot press from outside: snmp_end_to_end.py checks the acknowledged
notification with a fake feed, tst_feed the acknowledgement in the feed.)

usage: panel_end_to_end.py AGENT MIB_DIR BASE_MIB_DIR TXPANEL TXSIM
Exit 77 (CTest's skip) only when a Debian SNMP tool is missing.
"""

import datetime
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "feed"))
import panel_stack  # noqa: E402
from panel_stack import PanelStack  # noqa: E402
from snmp_end_to_end import (SKIP, TOOLS, Failure, Stack, expect, row_has,  # noqa: E402
                             trap_seen, wait_until)


def feed_has(panel, **wanted):
    """A probe: /status.json's readings hold these values."""
    def probe():
        readings = panel.status().get("readings", {})
        got = {k: readings.get(k, {}).get("value") for k in wanted}
        return (got == wanted, got)
    return probe


def metrics_have(panel, *lines):
    def probe():
        text = panel.metrics()[1]
        missing = [line for line in lines if f"\n{line}\n" not in text]
        return (not missing, missing)
    return probe


# A short delay for the reflected power (the default is 5 s); the VSWR that
# a reflected power of 5 W gives rises with it.
ALARMS = """[Alarms]
Enabled=true
Notify=false
ReflectedDelay=2
VswrDelay=2
"""
REFLECTED_DELAY = 2.0


def alarm_is(panel, alarm_id, state):
    """A probe: /alarms.json has the alarm in that state; returns the alarm."""
    def probe():
        alarm = panel.alarms()[alarm_id]
        return (alarm["state"] == state, alarm)
    return probe


def utc(text):
    return datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))


def guarded(probe):
    """A probe that counts a feed not answering yet as not satisfied."""
    def run():
        try:
            return probe()
        except (OSError, ValueError, panel_stack.Failure) as error:
            return (False, error)
    return run


def run(stack, panel):
    stack.start_trapd()
    stack.start_snmpd()
    stack.start_agent([panel.url + "/status.json"])
    wait_until("the panel's row as the simulator is set", row_has(stack, {
        "txpanelPanelCount.0": "1",
        "txpanelPanelState.1": "polling",
        "txpanelPanelName.1": "site-a",
        "txpanelPanelDevice.1": panel.device,
        "txpanelPanelFirmware.1": "V1.0",
        "txpanelPanelForwardPower.1": "12.5",
        "txpanelPanelReflectedPower.1": ".3",
        "txpanelPanelVswr.1": "1.37",
        "txpanelPanelTemperature.1": "20.0",
        "txpanelPanelTemperatureAlarm.1": "false",
        "txpanelPanelLocked.1": "true",
        "txpanelPanelOnAir.1": "false",
        "txpanelPanelFrequency.1": "107900",
    }), timeout=30)
    answer = stack.get("txpanelPanelFrequency.1")
    expect(answer.endswith("107900"), f"snmpget of the frequency: {answer}")
    walk = stack.walk()
    expect("txpanelPanelConnectedTime.1" in walk and "txpanelPanelReadingAge.1" in walk,
           f"connected time and reading age while polling: {walk}")
    print("PASS snmpwalk and snmpget read what the simulator is set to, through the panel")

    check_reflected_alarm(stack, panel)

    # The first notification after the alarm's is the one caused here.
    before = len(stack.traps())
    panel.command("lock off")
    wait_until("lock false in /status.json", guarded(feed_has(panel, locked=False)))
    wait_until("txpanel_locked 0 in /metrics", guarded(metrics_have(panel, "txpanel_locked 0")))
    wait_until("lock false in the walk", row_has(stack, {"txpanelPanelLocked.1": "false"}))
    wait_until("txpanelLockLost", trap_seen(stack, "txpanelLockLost", "txpanelPanelName.1",
                                            "txpanelPanelLocked.1 = INTEGER: false"))
    expect("txpanelLockLost" in stack.traps()[before],
           f"a notification came before the lock's: {stack.traps()[before:]}")
    print("PASS 'lock off' on the simulator: feed, metrics, walk and a txpanelLockLost trap")

    panel.command("temperature 180")
    wait_until("the alarm in /status.json",
               guarded(feed_has(panel, temperature_c=80, temperature_alarm=True)))
    wait_until("the alarm in /metrics", guarded(metrics_have(
        panel, "txpanel_temperature_alarm 1", "txpanel_temperature_celsius 80")))
    wait_until("the alarm in the walk", row_has(stack, {
        "txpanelPanelTemperatureAlarm.1": "true", "txpanelPanelTemperature.1": "80.0"}))
    wait_until("txpanelTemperatureAlarmRaised", trap_seen(
        stack, "txpanelTemperatureAlarmRaised", "txpanelPanelTemperatureAlarm.1 = INTEGER: true"))
    print("PASS 'temperature 180': feed, metrics, walk and a txpanelTemperatureAlarmRaised trap")

    panel.command("rf on")
    wait_until("on air in /status.json", guarded(feed_has(panel, on_air=True)))
    wait_until("txpanelOnAirChanged", trap_seen(stack, "txpanelOnAirChanged",
                                                "txpanelPanelOnAir.1 = INTEGER: true"))
    print("PASS 'rf on': the feed and a txpanelOnAirChanged trap")

    # The line pulled out: the panel's connection ends, and the monitoring
    # learns it, with no reading left to show.
    panel.command("unplug")
    wait_until("ended in /status.json",
               guarded(lambda: panel.status().get("state") == "ended"))
    wait_until("ended in the walk", row_has(stack, {"txpanelPanelState.1": "ended"}))
    wait_until("txpanelLinkDown", trap_seen(stack, "txpanelLinkDown",
                                            "txpanelPanelState.1 = INTEGER: ended"))
    walk = stack.walk()
    expect("txpanelPanelForwardPower.1" not in walk and "txpanelPanelLocked.1" not in walk,
           f"readings still shown once the connection ended: {walk}")
    text = panel.metrics()[1]
    expect("\ntxpanel_up 0\n" in text and "\ntxpanel_forward_power_watts " not in text,
           f"metrics once the connection ended: {text}")
    print("PASS 'unplug': the connection's end in the feed, the metrics, the walk and a trap")

    status = stack.stop("agent")
    expect(status == 0, f"the agent exited with {status}: {stack.agent_says()}")


def check_reflected_alarm(stack, panel):
    """'reflected 5' raises REFLECTED POWER HIGH once, after its delay;
    'reflected 0.3' clears it: the feed, the metrics, the walk, the traps."""
    alarms = panel.alarms()
    expect(list(alarms) == ["forward-low", "reflected-high", "vswr-high", "temperature-high",
                            "lock-lost", "link-lost", "rf-off"] and
           all(a["state"] == "normal" and a["raises"] == 0 for a in alarms.values()),
           f"/alarms.json before any alarm: {alarms}")
    expect(panel.status().get("alarms") == list(alarms.values()),
           "/status.json carries the same alarms as /alarms.json")
    wait_until("the alarm rows, all normal", row_has(stack, {
        "txpanelAlarmState.1.reflectedHigh": "normal",
        "txpanelAlarmName.1.reflectedHigh": "REFLECTED POWER HIGH",
        "txpanelAlarmState.1.linkLost": "normal"}))
    expect(stack.traps() == [], f"notifications at start-up: {stack.traps()}")

    sent_at = datetime.datetime.now(datetime.timezone.utc)
    panel.command("reflected 5")
    alarm = wait_until("reflected-high raised in /alarms.json",
                       guarded(alarm_is(panel, "reflected-high", "active-unacknowledged")),
                       timeout=30)
    waited = (utc(alarm["raised"]) - sent_at).total_seconds()
    # The feed gives the raise to the millisecond, cut off, while sent_at has
    # microseconds: a raise right at the delay may read up to 1 ms short.
    expect(waited >= REFLECTED_DELAY - 0.001 and alarm["raisedValue"] == "5 W" and alarm["raises"] == 1,
           f"raised {waited:.2f} s after the command (delay {REFLECTED_DELAY} s): {alarm}")
    wait_until("the raise in /metrics", guarded(metrics_have(
        panel, 'txpanel_alarm_active{alarm="reflected-high"} 1',
        'txpanel_alarm_unacknowledged{alarm="reflected-high"} 1',
        'txpanel_alarm_raises_total{alarm="reflected-high"} 1')))
    wait_until("the raise in the walk", row_has(stack, {
        "txpanelAlarmState.1.reflectedHigh": "activeUnacknowledged",
        "txpanelAlarmRaisedValue.1.reflectedHigh": "5 W"}))
    wait_until("txpanelAlarmRaised", trap_seen(
        stack, "txpanelAlarmRaised", "txpanelPanelName.1 = STRING: site-a",
        "txpanelAlarmName.1.reflectedHigh = STRING: REFLECTED POWER HIGH",
        "txpanelAlarmState.1.reflectedHigh = INTEGER: activeUnacknowledged",
        "txpanelAlarmRaisedValue.1.reflectedHigh = STRING: 5 W"))
    print(f"PASS 'reflected 5': raised {waited:.1f} s later, in /alarms.json, /metrics, "
          "the walk and a txpanelAlarmRaised trap")

    # Held high for ten more cycles: still the one raise.
    cycles = panel.status()["cycles"]
    wait_until("ten more status cycles",
               guarded(lambda: panel.status()["cycles"] >= cycles + 10), timeout=30)
    raised = [t for t in stack.traps() if "txpanelAlarmRaised" in t and ".1.reflectedHigh" in t]
    expect(len(raised) == 1 and panel.alarms()["reflected-high"]["raises"] == 1,
           f"raised once while held high: {raised}")

    panel.command("reflected 0.3")
    alarm = wait_until("reflected-high cleared in /alarms.json",
                       guarded(alarm_is(panel, "reflected-high", "cleared-unacknowledged")),
                       timeout=30)
    expect(alarm["clearedValue"] == "0.3 W" and alarm["acknowledgedBy"] is None,
           f"cleared: {alarm}")
    wait_until("the clear in /metrics", guarded(metrics_have(
        panel, 'txpanel_alarm_active{alarm="reflected-high"} 0',
        'txpanel_alarm_unacknowledged{alarm="reflected-high"} 1')))
    wait_until("the clear in the walk", row_has(stack, {
        "txpanelAlarmState.1.reflectedHigh": "clearedUnacknowledged",
        "txpanelAlarmClearedValue.1.reflectedHigh": "0.3 W"}))
    wait_until("txpanelAlarmCleared", trap_seen(
        stack, "txpanelAlarmCleared", "txpanelPanelName.1 = STRING: site-a",
        "txpanelAlarmState.1.reflectedHigh = INTEGER: clearedUnacknowledged",
        "txpanelAlarmClearedValue.1.reflectedHigh = STRING: 0.3 W"))
    print("PASS 'reflected 0.3': cleared, unacknowledged, in /alarms.json, /metrics, "
          "the walk and a txpanelAlarmCleared trap")


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: missing {' '.join(missing)} (Debian: snmpd snmp snmptrapd)")
        return SKIP
    agent, mib_dir, base_mib_dir, txpanel, txsim = sys.argv[1:]
    stack = Stack(agent, mib_dir, base_mib_dir)
    panel = PanelStack(txpanel, txsim, sim_options=["--temperature", "150"],
                       extra_settings=ALARMS)
    started = time.monotonic()
    try:
        panel.start()
        run(stack, panel)
    except (Failure, panel_stack.Failure) as failure:
        print(f"FAIL: {failure}")
        print("--- agent's output:\n" + stack.agent_says())
        print("--- traps:\n" + "\n".join(stack.traps()))
        print("--- panel's output:\n" + panel.panel_says())
        return 1
    finally:
        stack.close()
        panel.stop()
    print(f"panel end to end passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
