# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""txpanel-snmp end to end against the real panel: txsim on a
pseudo-terminal (live commands typed at it through a pipe), the built
txpanel polling it with its status feed on, a private snmpd and snmptrapd,
and the sub-agent reading the panel's feed. What the simulator is set to
shows in the walk; a live change on the simulator shows in /status.json, in
/metrics, in the walk and as a notification in the trap log.

usage: panel_end_to_end.py AGENT MIB_DIR BASE_MIB_DIR TXPANEL TXSIM
Exit 77 (CTest's skip) only when a Debian SNMP tool is missing.
"""

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

    # No notification for the baseline; the first is the one caused here.
    panel.command("lock off")
    wait_until("lock false in /status.json", guarded(feed_has(panel, locked=False)))
    wait_until("txpanel_locked 0 in /metrics", guarded(metrics_have(panel, "txpanel_locked 0")))
    wait_until("lock false in the walk", row_has(stack, {"txpanelPanelLocked.1": "false"}))
    wait_until("txpanelLockLost", trap_seen(stack, "txpanelLockLost", "txpanelPanelName.1",
                                            "txpanelPanelLocked.1 = INTEGER: false"))
    expect("txpanelLockLost" in stack.traps()[0],
           f"a notification came before the first change: {stack.traps()[0]}")
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


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: missing {' '.join(missing)} (Debian: snmpd snmp snmptrapd)")
        return SKIP
    agent, mib_dir, base_mib_dir, txpanel, txsim = sys.argv[1:]
    stack = Stack(agent, mib_dir, base_mib_dir)
    panel = PanelStack(txpanel, txsim, sim_options=["--temperature", "150"])
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
