#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""Reads a CSV file the panel exported with Python's own csv module and
checks it row by row against the record it came from, read with Python's
own sqlite3 module: the same rows, the same order, the same values, times
in ISO 8601 UTC, a header row naming the units.

    csv_matches_db.py CSV DATABASE log|readings|minutes FROM TO [KIND...]

FROM and TO are ISO 8601 UTC times (FROM inclusive, TO exclusive).
Exit status 0 when they match; otherwise the first difference is printed.
"""
import csv
import datetime
import io
import sqlite3
import sys

HEADERS = {
    "log": ["time (UTC)", "kind", "user", "subject", "old value", "new value", "outcome",
            "detail"],
    "readings": ["time (UTC)", "forward (W)", "reflected (W)", "VSWR (ratio)",
                 "temperature (°C)", "temperature alarm (1 = lit)", "locked (1 = yes)",
                 "on air (1 = yes)", "frequency (kHz)"],
    "minutes": ["minute start (UTC)", "samples", "forward min (W)", "forward mean (W)",
                "forward max (W)", "reflected min (W)", "reflected mean (W)",
                "reflected max (W)", "VSWR min (ratio)", "VSWR mean (ratio)",
                "VSWR max (ratio)", "temperature min (°C)", "temperature mean (°C)",
                "temperature max (°C)", "on air (share 0 to 1)", "locked (share 0 to 1)"],
}


def utc(text):
    if not text.endswith("Z"):
        raise ValueError(f"not a UTC time: {text!r}")
    return datetime.datetime.fromisoformat(text[:-1]).replace(tzinfo=datetime.timezone.utc)


def seconds(text):
    return int(utc(text).timestamp())


def same_value(field, value):
    """A CSV field against the database's value: empty for NULL, numbers equal exactly."""
    if value is None:
        return field == ""
    if isinstance(value, float):
        return field != "" and float(field) == value
    if isinstance(value, int):
        return field != "" and float(field) == value
    return field == value


def main():
    path, database, what, start, end = sys.argv[1:6]
    kinds = sys.argv[6:]
    # RFC 4180: CR LF line ends; newline="" leaves them to the csv module.
    with open(path, newline="", encoding="utf-8-sig") as handle:
        raw = handle.read()
    if not raw.endswith("\r\n"):
        print("the last record does not end in CR LF")
        return 1
    rows = list(csv.reader(io.StringIO(raw)))
    if rows[0] != HEADERS[what]:
        print(f"header {rows[0]!r}, expected {HEADERS[what]!r}")
        return 1
    body = rows[1:]
    db = sqlite3.connect(f"file:{database}?mode=ro", uri=True)
    if what == "log":
        query = ("SELECT utc, kind, user, subject, old_value, new_value, outcome, detail"
                 " FROM events WHERE utc >= ? AND utc < ?")
        params = [utc(start).isoformat(timespec="milliseconds").replace("+00:00", "Z"),
                  utc(end).isoformat(timespec="milliseconds").replace("+00:00", "Z")]
        if kinds:
            query += " AND kind IN (%s)" % ",".join("?" * len(kinds))
            params += kinds
        expected = db.execute(query + " ORDER BY id", params).fetchall()
    else:
        table = "samples" if what == "readings" else "minutes"
        columns = ("t, forward, reflected, vswr, temperature, temperature_alarm, locked,"
                   " on_air, frequency") if what == "readings" else "*"
        first = -(-utc(start).timestamp() // 1)
        last = -(-utc(end).timestamp() // 1)
        expected = db.execute(f"SELECT {columns} FROM {table} WHERE t >= ? AND t < ? ORDER BY t",
                              (int(first), int(last))).fetchall()
    if len(body) != len(expected):
        print(f"{len(body)} rows in the file, {len(expected)} in the record")
        return 1
    for number, (row, record) in enumerate(zip(body, expected), start=2):
        if len(row) != len(HEADERS[what]):
            print(f"row {number}: {len(row)} fields: {row!r}")
            return 1
        if what == "log":
            if utc(row[0]) != utc(record[0]) or row[1:] != list(record[1:]):
                print(f"row {number}: {row!r} against {record!r}")
                return 1
        else:
            if seconds(row[0]) != record[0]:
                print(f"row {number}: time {row[0]} against {record[0]}")
                return 1
            for field, value in zip(row[1:], record[1:]):
                if not same_value(field, value):
                    print(f"row {number}: {row!r} against {record!r}")
                    return 1
    print(f"{len(body)} rows match")
    return 0


if __name__ == "__main__":
    sys.exit(main())
