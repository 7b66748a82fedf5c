#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# The built panel under a real window manager: the window, frame and title bar
# included, opens in the middle of the screen.
#
# Usage: centred.sh TXPANEL RESOURCES_DIR
set -euo pipefail
txpanel="$(realpath "$1")" resources="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/realpanel.sh"

reason="$(rp_need_tools)" || { echo "SKIP: $reason"; exit 77; }
for tool in twm xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: missing $tool"; exit 77; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/txpanel-centred.XXXXXX")"
passed=false
cleanup() {
    rp_stop
    if $passed; then rm -rf "$work"; else echo "Kept for a look: $work" >&2; fi
}
trap cleanup EXIT

rp_start_display "$work"
# twm frames every window with a border and a title bar, as a desktop would.
HOME="$work" DISPLAY="$RP_DISPLAY" twm >"$work/twm.log" 2>&1 &
RP_PIDS+=($!)
RP_DEVICE=/dev/null
rp_start_panel "$work" "$txpanel" "$resources"
rp_wait_window "$work"

# The frame is the window manager's parent of the panel's own window.
frame_geometry() {
    local wid parent info
    wid="$(DISPLAY="$RP_DISPLAY" xdotool search --onlyvisible --name ORVEL | head -n1)"
    parent="$(DISPLAY="$RP_DISPLAY" xwininfo -id "$wid" -tree |
        sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')"
    info="$(DISPLAY="$RP_DISPLAY" xwininfo -id "$parent")"
    FX="$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")"
    FY="$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")"
    FW="$(sed -n 's/.*Width: *//p' <<<"$info")"
    FH="$(sed -n 's/.*Height: *//p' <<<"$info")"
    FB="$(sed -n 's/.*Border width: *//p' <<<"$info")"
    # A frame taller than the client area plus menu bar means twm has framed it.
    [ -n "$FH" ] && [ "$FH" -gt 500 ]
}
# xwininfo gives the outer corner of the border; the outer size counts the border twice.
centred() {
    frame_geometry || return 1
    local want_x want_y
    want_x=$(((1024 - FW - 2 * FB) / 2))
    want_y=$(((768 - FH - 2 * FB) / 2))
    [ $((FX - want_x)) -ge -1 ] && [ $((FX - want_x)) -le 1 ] &&
        [ $((FY - want_y)) -ge -1 ] && [ $((FY - want_y)) -le 1 ]
}
rp_until 10 centred ||
    rp_fail "frame ${FW}x${FH} (border ${FB}) at $FX,$FY on a 1024x768 screen is not centred"
echo "PASS: frame ${FW}x${FH} at $FX,$FY"
passed=true
