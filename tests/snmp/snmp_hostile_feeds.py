# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""txpanel-snmp against feeds that mean harm: five good panels' feeds and
twelve hostile ones (endless chunks, endless headers, an endless status line,
10 MB with and without a length, a drip, deep nesting, NaN, two redirects,
silence, noise) in one agent, under a private snmpd. The good rows stay
`polling` at every walk and their fetches never fail; the hostile rows say
what is wrong; a redirect is never followed; the agent does not balloon.

usage: snmp_hostile_feeds.py AGENT MIB_DIR BASE_MIB_DIR [--measure SECONDS]
With --measure, the agent runs with its default interval and timeout for
that long and its resident memory and CPU share are printed (the benchmark).
Exit 77 (CTest's skip) only when a Debian SNMP tool is missing.
"""

import os
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fake_feed import FakeFeed, polling_document  # noqa: E402
from hostile_feed import PATHS  # noqa: E402
from snmp_end_to_end import (SKIP, Failure, Stack, expect, free_port,  # noqa: E402
                             wait_until)

GOOD = 5
# What each hostile feed's row must read (either will do where both are fair).
EXPECTED = {
    "/endless-chunks": {"invalidFeed"}, "/endless-headers": {"invalidFeed"},
    "/endless-status-line": {"invalidFeed"}, "/ten-megabytes": {"invalidFeed"},
    "/ten-megabytes-unsized": {"invalidFeed", "unreachable"}, "/drip": {"unreachable"},
    "/deep-nesting": {"invalidFeed"}, "/nan": {"invalidFeed"},
    "/redirect-302": {"invalidFeed"}, "/redirect-301": {"invalidFeed"},
    "/silent": {"unreachable"}, "/garbage": {"invalidFeed", "unreachable"},
}
PAGE = os.sysconf("SC_PAGE_SIZE")
TICKS = os.sysconf("SC_CLK_TCK")


def usage(pid):
    """(resident MiB, CPU seconds) of the process."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    with open(f"/proc/{pid}/statm") as statm:
        resident = int(statm.read().split()[1]) * PAGE / (1 << 20)
    return resident, (int(fields[11]) + int(fields[12])) / TICKS


def states(stack):
    walk = stack.walk() or {}
    return [walk.get(f"txpanelPanelState.{row}") for row in range(1, GOOD + len(PATHS) + 1)]


def run(stack, measure):
    good = []
    for n in range(GOOD):
        feed = FakeFeed(free_port(socket.SOCK_STREAM), polling_document(name=f"good-{n + 1}"))
        feed.start()
        stack.feeds.append(feed)
        good.append(feed)
    hostile_port = free_port(socket.SOCK_STREAM)
    stack._start("hostile", [sys.executable, os.path.join(os.path.dirname(__file__),
                                                           "hostile_feed.py"),
                             str(hostile_port), good[0].url],
                 os.path.join(stack.tmp, "hostile.out"))
    wait_until("the hostile server", lambda: "listening" in open(
        os.path.join(stack.tmp, "hostile.out")).read())
    urls = [feed.url for feed in good] + [f"http://127.0.0.1:{hostile_port}{path}"
                                          for path in PATHS]
    stack.start_snmpd()
    if measure:
        stack._start("agent", [stack.agent_binary, "-x", stack.agentx, *urls], stack.agent_log)
    else:
        stack._start("agent", [stack.agent_binary, "-x", stack.agentx, "-i", "1", "-t", "1",
                               *urls], stack.agent_log)
    agent = stack.processes["agent"][0].pid

    def settled():
        seen = states(stack)
        hostile_ok = all(seen[GOOD + i] in EXPECTED[path] for i, path in enumerate(PATHS))
        return (seen[:GOOD] == ["polling"] * GOOD and hostile_ok, seen)
    wait_until("every row settled", settled, timeout=30)
    print("PASS every hostile row says what is wrong: " +
          ", ".join(f"{path[1:]} {state}" for path, state in zip(PATHS, states(stack)[GOOD:])))

    # Fetch after fetch, every good row stays polling and no good fetch fails.
    rounds = 0
    started = time.monotonic()
    rss_start, cpu_start = usage(agent)
    rss_most = rss_start
    reads = [feed.requests() for feed in good]
    while time.monotonic() - started < (measure or 8):
        seen = states(stack)
        expect(seen[:GOOD] == ["polling"] * GOOD, f"a good row left polling: {seen}")
        rss_most = max(rss_most, usage(agent)[0])
        rounds += 1
        time.sleep(0.5)
    seconds = time.monotonic() - started
    rss_end, cpu_end = usage(agent)
    says = stack.agent_says()
    for n in range(1, GOOD + 1):
        expect(f"panel {n} (" not in says, f"a good feed was reported failing: {says}")
    interval = 5 if measure else 1
    for n, feed in enumerate(good):
        expect(feed.requests() - reads[n] >= seconds / interval - 2,
               f"good feed {n + 1} was read {feed.requests() - reads[n]} times in {seconds:.0f} s")
    print(f"PASS the good rows stayed polling through {rounds} walks in {seconds:.0f} s")
    for n, path in enumerate(PATHS, start=GOOD + 1):
        if path.startswith("/redirect"):
            expect(f"panel {n} (" in says and "not followed" in says,
                   f"the redirect at {path} was not told as such: {says}")
    expect(good[0].requests() > 0 and "hostile" not in (stack.walk() or {}).get(
        f"txpanelPanelName.{GOOD + PATHS.index('/redirect-301') + 1}", ""),
        "a redirect's body was taken as its row's status")
    print("PASS the redirects were told as errors and never followed")
    cpu_share = 100.0 * (cpu_end - cpu_start) / seconds
    print(f"agent: {rss_start:.1f} MiB resident at the start, at most {rss_most:.1f}, "
          f"{rss_end:.1f} at the end; CPU {cpu_share:.1f} % of a core over {seconds:.0f} s "
          f"({'default interval 5 s, timeout 2 s' if measure else 'interval 1 s, timeout 1 s'})")
    # Far above what it needs, far below what an unbounded reader reached.
    expect(rss_most < 256, f"the agent grew to {rss_most:.0f} MiB")


def main():
    args = sys.argv[1:]
    measure = 0
    if "--measure" in args:
        at = args.index("--measure")
        measure = float(args[at + 1])
        del args[at:at + 2]
    if len(args) != 3:
        sys.exit(__doc__)
    missing = [tool for tool in ["snmpd", "snmpwalk"] if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: missing {' '.join(missing)} (Debian: snmpd snmp)")
        return SKIP
    stack = Stack(*args)
    try:
        run(stack, measure)
    except Failure as failure:
        print(f"FAIL: {failure}")
        print("--- agent's output:\n" + stack.agent_says())
        return 1
    finally:
        stack.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
