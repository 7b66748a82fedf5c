#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a line that keeps sending costs the panel once its connection has ended.

    bench/bench_drain.py build/txpanel [SECONDS]

A transmitter of this script's own on a pseudo-terminal answers the panel for
3 s, falls silent until the panel's 15 s supervision ends the connection (the
port stays open, waiting for OFF), then floods the line as fast as it takes
bytes for SECONDS (default 10). Prints how much the line took and the panel's
CPU meanwhile: a panel that drains the line wakes for every read; one that
leaves it unread lets the system's buffer fill and the flood wait there.
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time
import tty

ANSWERS = {4: b"12.5\r", 5: b"0.3\r", 6: b"V1.0\r", 7: b"150\r", 8: b"9\r", 9: b"107900\r",
           10: b"0\r"}


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    panel = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    master, slave = pty.openpty()
    tty.setraw(master)
    with tempfile.TemporaryDirectory() as config:
        with open(os.path.join(config, "Tx_Orvel.conf"), "w") as settings:
            settings.write("[Startup]\nComm=1\n[Link]\nConnectAtStart=true\n")
        env = dict(os.environ, XDG_CONFIG_HOME=config, TXPANEL_COM1=os.ttyname(slave),
                   QT_QPA_PLATFORM="offscreen")
        process = subprocess.Popen([panel], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            answered = 0
            start = time.time()
            while time.time() - start < 3:
                if select.select([master], [], [], 0.5)[0]:
                    for byte in os.read(master, 64):
                        os.write(master, ANSWERS.get(byte, b"0\r"))
                        answered += 1
            time.sleep(16.5)
            os.set_blocking(master, False)
            before, since, sent = cpu_seconds(process.pid), time.time(), 0
            junk = b"x" * 4096
            while time.time() - since < seconds:
                try:
                    sent += os.write(master, junk)
                except BlockingIOError:
                    time.sleep(0.001)
                try:
                    os.read(master, 4096)
                except BlockingIOError:
                    pass
            share = 100 * (cpu_seconds(process.pid) - before) / (time.time() - since)
            print(f"answered {answered} questions, then the connection ended by silence")
            print(f"flood for {seconds:.0f} s: the line took {sent / 1024:.0f} KiB")
            print(f"panel CPU meanwhile: {share:.1f} % of a core")
        finally:
            process.terminate()
            process.wait()


if __name__ == "__main__":
    main()
