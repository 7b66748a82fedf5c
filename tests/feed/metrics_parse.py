# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""The feed's /metrics read by Prometheus's own parser (Debian's
python3-prometheus-client), from the real panel polling txsim: every family
parses with its type and help, the values are the transmitter's, a reading
that is not a number has no sample, and label values survive escaping. With
the panel's alarms on, the alarm families parse too, one sample per alarm.

usage: metrics_parse.py TXPANEL TXSIM
Exit 77 (CTest's skip) only when python3-prometheus-client is missing.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from panel_stack import Failure, PanelStack, wait_until  # noqa: E402

SKIP = 77
# As QSettings reads it from the .conf line below: quotes and a backslash.
NAME = 'north "A" \\ mast'
NAME_INI = '"north \\"A\\" \\\\ mast"'

ALARM_IDS = ["forward-low", "reflected-high", "vswr-high", "temperature-high", "lock-lost",
             "link-lost", "rf-off"]
ALARMS = "[Alarms]\nEnabled=true\nNotify=false\n"

GAUGES = ["txpanel_up", "txpanel_state", "txpanel_info", "txpanel_connected_seconds",
          "txpanel_forward_power_watts", "txpanel_reflected_power_watts", "txpanel_vswr",
          "txpanel_temperature_celsius", "txpanel_temperature_alarm", "txpanel_locked",
          "txpanel_on_air", "txpanel_frequency_hertz", "txpanel_reading_age_seconds"]


def expect(condition, message):
    if not condition:
        raise Failure(message)


def families(text):
    from prometheus_client.parser import text_string_to_metric_families
    parsed = {}
    for family in text_string_to_metric_families(text):
        parsed[family.name] = family
    return parsed


def value(parsed, family, **labels):
    """The one sample of a family (with these labels), or None when it has none."""
    found = [s for s in parsed[family].samples
             if all(s.labels.get(k) == v for k, v in labels.items())]
    expect(len(found) <= 1, f"{family}{labels}: more than one sample: {found}")
    return found[0].value if found else None


def run(stack):
    headers, text = stack.metrics()
    expect(headers.get("Content-Type") == "text/plain; version=0.0.4; charset=utf-8",
           f"Content-Type: {headers.get('Content-Type')}")
    parsed = families(text)
    for name in GAUGES:
        expect(name in parsed and parsed[name].type == "gauge" and parsed[name].documentation,
               f"{name}: missing, not a gauge or without help: {parsed.get(name)}")
    # The client library names a counter's family without its _total.
    cycles = parsed.get("txpanel_status_cycles") or parsed.get("txpanel_status_cycles_total")
    expect(cycles is not None and cycles.type == "counter",
           f"the status cycles are not a counter: {sorted(parsed)}")
    expect(cycles.samples[0].name == "txpanel_status_cycles_total" and cycles.samples[0].value > 0,
           f"status cycles: {cycles.samples}")
    print("PASS every family parses, with its type and help")

    expect(value(parsed, "txpanel_up") == 1, "txpanel_up is not 1 while polling")
    expect(value(parsed, "txpanel_state", state="polling") == 1, "state label")
    expect(value(parsed, "txpanel_forward_power_watts") == 12.5, "forward power")
    expect(value(parsed, "txpanel_reflected_power_watts") == 0.3, "reflected power")
    expect(abs(value(parsed, "txpanel_vswr") - 1.367) < 1e-9, "VSWR")
    expect(value(parsed, "txpanel_temperature_celsius") == 20, "temperature (raw 150)")
    expect(value(parsed, "txpanel_temperature_alarm") == 0, "temperature alarm")
    expect(value(parsed, "txpanel_locked") == 1, "lock")
    expect(value(parsed, "txpanel_on_air") == 0, "on air")
    expect(value(parsed, "txpanel_frequency_hertz") == 107_900_000, "frequency")
    for reading in ["forward_w", "reflected_w", "vswr", "temperature_c", "temperature_alarm",
                    "locked", "on_air", "frequency_khz"]:
        age = value(parsed, "txpanel_reading_age_seconds", reading=reading)
        expect(age is not None and 0 <= age < 5, f"age of {reading}: {age}")
    info = parsed["txpanel_info"].samples[0].labels
    expect(info == {"name": NAME, "port": "1", "firmware": "V1.0"},
           f"txpanel_info's labels, escaping undone by the parser: {info}")
    print("PASS the values are the transmitter's; the name's quotes and backslash survive")

    # A read-out that is not a number: no sample at all, and no VSWR from it.
    stack.command("forward --")
    def forward_gone():
        parsed = families(stack.metrics()[1])
        gone = value(parsed, "txpanel_forward_power_watts") is None
        return (parsed if gone and value(parsed, "txpanel_vswr") is None else None)
    parsed = wait_until("the forward power's sample to go", forward_gone)
    expect(value(parsed, "txpanel_reading_age_seconds", reading="forward_w") is not None,
           "a reading taken but not a number still has its age")
    expect(value(parsed, "txpanel_reflected_power_watts") == 0.3, "reflected power kept")
    print("PASS a reading that is not a number has no sample (and no VSWR), not 0")

    check_alarms(stack)


def check_alarms(stack):
    parsed = families(stack.metrics()[1])
    for name, kind in [("txpanel_alarm_active", "gauge"),
                       ("txpanel_alarm_unacknowledged", "gauge"),
                       ("txpanel_alarm_raises", "counter")]:
        expect(name in parsed and parsed[name].type == kind and parsed[name].documentation,
               f"{name}: missing, not a {kind} or without help: {parsed.get(name)}")
    expect(all(s.name == "txpanel_alarm_raises_total"
               for s in parsed["txpanel_alarm_raises"].samples),
           f"the raises counter's samples: {parsed['txpanel_alarm_raises'].samples}")
    for family in ["txpanel_alarm_active", "txpanel_alarm_unacknowledged",
                   "txpanel_alarm_raises"]:
        values = [(s.labels, s.value) for s in parsed[family].samples]
        expect(values == [({"alarm": alarm_id}, 0) for alarm_id in ALARM_IDS],
               f"{family}: one sample per alarm, in order, all 0: {values}")
    print("PASS the alarm families parse: two gauges and a counter, a sample per alarm")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        import prometheus_client.parser  # noqa: F401
    except ImportError:
        print("SKIP: python3-prometheus-client is not installed")
        return SKIP
    stack = PanelStack(sys.argv[1], sys.argv[2], name=NAME, name_ini=NAME_INI,
                       sim_options=["--temperature", "150"], extra_settings=ALARMS)
    try:
        stack.start()
        run(stack)
    except Failure as failure:
        print(f"FAIL: {failure}")
        print("--- panel's output:\n" + stack.panel_says())
        return 1
    finally:
        stack.stop()
    print("metrics parse passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
