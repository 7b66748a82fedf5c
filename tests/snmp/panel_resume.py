# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""A lost link resumed, seen from the station's monitoring: the real panel
with [Link] Resume on, txsim's line pulled out and brought back on a new
pseudo-terminal behind the same link; /status.json goes polling, resuming,
polling, and the sub-agent's notifications tell link down then link up.

usage: panel_resume.py AGENT MIB_DIR BASE_MIB_DIR TXPANEL TXSIM
Exit 77 (CTest's skip) only when a Debian SNMP tool is missing.
"""

import os
import shutil
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "feed"))
import panel_stack  # noqa: E402
from panel_stack import PanelStack  # noqa: E402
from snmp_end_to_end import (SKIP, TOOLS, Failure, Stack, expect, row_has,  # noqa: E402
                             trap_seen, wait_until)


class StateWatch:
    """The feed's state as a monitoring system polling it often would see it."""

    def __init__(self, panel):
        self.panel = panel
        self.seen = []
        self.running = True
        self.thread = threading.Thread(target=self._watch, daemon=True)
        self.thread.start()

    def _watch(self):
        while self.running:
            try:
                state = self.panel.status().get("state")
            except (OSError, ValueError, panel_stack.Failure):
                state = None
            if state and (not self.seen or self.seen[-1] != state):
                self.seen.append(state)
            time.sleep(0.05)

    def stop(self):
        self.running = False
        self.thread.join()


def run(stack, panel):
    stack.start_trapd()
    stack.start_snmpd()
    stack.start_agent([panel.url + "/status.json"])
    wait_until("the panel's row polling", row_has(stack, {"txpanelPanelState.1": "polling"}),
               timeout=30)
    watch = StateWatch(panel)
    try:
        wait_until("the watch to see the panel polling",
                   lambda: (watch.seen == ["polling"], watch.seen))
        panel.command("unplug")
        wait_until("resuming in /status.json",
                   lambda: (panel.status().get("state") == "resuming", panel.status()))
        wait_until("txpanelLinkDown", trap_seen(stack, "txpanelLinkDown",
                                                "txpanelPanelState.1 = INTEGER: resuming"))
        time.sleep(1)  # a retry or two against a device that is not there
        panel.replug()
        wait_until("polling again in /status.json",
                   lambda: (panel.status().get("state") == "polling"
                            and panel.status().get("cycles", 0) >= 1, panel.status()),
                   timeout=30)
        wait_until("txpanelLinkUp", trap_seen(stack, "txpanelLinkUp",
                                              "txpanelPanelState.1 = INTEGER: polling"))
    finally:
        watch.stop()
    expect(watch.seen == ["polling", "resuming", "polling"],
           f"states the feed went through: {watch.seen}")
    traps = "\n".join(stack.traps())
    expect(traps.index("txpanelLinkDown") < traps.rindex("txpanelLinkUp"),
           f"link down then link up in the trap log: {traps}")
    print("PASS the line pulled and brought back: polling, resuming, polling; "
          "link down then link up")
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
    panel = PanelStack(txpanel, txsim, resume=True)
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
