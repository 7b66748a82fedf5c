#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The built panel in a real X window, clicked ON, DISCONNECT and OFF with the
# mouse against the simulator: what shows is read off the screen's pixels and
# what was asked off the simulator's record of the line.
#
# Usage: realwindow.sh TXPANEL TXSIM RESOURCES_DIR
set -euo pipefail
txpanel="$(realpath "$1")" txsim="$(realpath "$2")" resources="$(realpath "$3")"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/realpanel.sh"

# Without an X server or the tools to drive it there is nothing to run here.
reason="$(rp_need_tools)" || { echo "SKIP: $reason"; exit 77; }

work="$(mktemp -d "${TMPDIR:-/tmp}/txpanel-realwindow.XXXXXX")"
passed=false
cleanup() {
    rp_stop
    if $passed; then rm -rf "$work"; else echo "Kept for a look: $work" >&2; fi
}
trap cleanup EXIT

yellow="255 255 0"
olive="128 128 0"
record="$work/record"

rp_start_display "$work"
rp_start_sim "$work" "$record" "$txsim" --pace
rp_start_panel "$work" "$txpanel" "$resources"
rp_wait_window "$work"

# Painted in the unlit look before anything is clicked.
unlit_before() { rp_shot "$work/before.png" && rp_readouts_are "$work/before.png" "$olive"; }
rp_until 20 unlit_before || rp_fail "read-outs before ON:$RP_WRONG"
[ ! -s "$record" ] || rp_fail "the panel spoke before ON: $(head -c 100 "$record")"

# Only the firmware question, then whole status cycles in their order; the
# last may be cut short by DISCONNECT. Nothing here asks for RF or a frequency.
check_record() {
    read -r first complete broken tail forbidden firstbad <<<"$(rp_record_summary "$record")"
    [ "$first" = 6 ] || rp_fail "the first question was $first, not the firmware question"
    [ "$broken" -eq 0 ] || rp_fail "$broken bytes out of the cycle's order, first at line:byte $firstbad"
    [ "$forbidden" -eq 0 ] || rp_fail "$forbidden RF switching or programming bytes nobody asked for"
    [ "$complete" -ge 2 ] || rp_fail "only $complete whole cycles"
}

rp_click "$RP_POWER"
rp_until 30 rp_record_has_cycles "$record" 2 ||
    rp_fail "no firmware question and two cycles after ON: $(rp_record_summary "$record")"
check_record

connected() {
    rp_shot "$work/connected.png" && rp_readouts_are "$work/connected.png" "$yellow" &&
        rp_lock_lit "$work/connected.png"
}
rp_until 10 connected ||
    rp_fail "connected: read-outs$RP_WRONG, lock lamp $(rp_pixel "$work/connected.png" "$RP_LOCK_LAMP")"

rp_click "$RP_DISCONNECT"
# The lock lamp goes dark only once the polling loop has been left.
ended() { rp_shot "$work/ended.png" && rp_lock_unlit "$work/ended.png"; }
rp_until 15 ended || rp_fail "lock lamp after DISCONNECT: $(rp_pixel "$work/ended.png" "$RP_LOCK_LAMP")"
lines="$(wc -l <"$record")"

rp_click "$RP_POWER"
unlit_after() { rp_shot "$work/off.png" && rp_readouts_are "$work/off.png" "$olive"; }
rp_until 15 unlit_after || rp_fail "read-outs after OFF:$RP_WRONG"

# A loop still polling would have added a cycle many times over by now: at the
# line's pace one takes well under a tenth of a second.
quiet_until=$((SECONDS + 2))
while [ "$SECONDS" -lt "$quiet_until" ]; do
    [ "$(wc -l <"$record")" -eq "$lines" ] ||
        rp_fail "the panel went on asking after DISCONNECT: $lines lines, then $(wc -l <"$record")"
    sleep 0.1
done

check_record
echo "PASS: firmware question, $complete whole cycles ($tail bytes of one cut short), $lines bytes"
passed=true
