# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# shellcheck shell=bash disable=SC2034
# The real panel on a virtual X display of its own, against txsim on a
# pseudo-terminal, driven by mouse clicks as an operator would. Sourced by
# tests/realwindow.sh and scripts/soak; nothing here touches the caller's display.
#
# Every wait polls against a deadline: a loaded machine only makes it slower.

RP_PIDS=()

# Stops what this file started, newest first, each by its own process id.
rp_stop() {
    local i
    for ((i = ${#RP_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${RP_PIDS[i]}" 2>/dev/null || true
    done
    for ((i = ${#RP_PIDS[@]} - 1; i >= 0; i--)); do
        wait "${RP_PIDS[i]}" 2>/dev/null || true
    done
    RP_PIDS=()
}

rp_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# rp_until SECONDS COMMAND...: runs COMMAND until it succeeds; false once the time is up.
rp_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

rp_need_tools() {
    local tool missing=()
    for tool in Xvfb xdotool import convert; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    [ ${#missing[@]} -eq 0 ] || { echo "missing: ${missing[*]}"; return 1; }
}

# Sets RP_DISPLAY. Xvfb picks a free display number itself and tells it on fd 3.
rp_start_display() {
    local work="$1"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    RP_PIDS+=($!)
    rp_until 20 grep -q '^[0-9]' "$work/display" || rp_fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    RP_DISPLAY=":$(head -n1 "$work/display")"
}

# rp_start_sim WORK RECORD TXSIM [OPTIONS...]: sets RP_DEVICE.
rp_start_sim() {
    local work="$1" record="$2" txsim="$3"
    shift 3
    : >"$record"
    "$txsim" --record "$record" "$@" >"$work/txsim.out" 2>&1 &
    RP_PIDS+=($!)
    rp_until 20 grep -q '^DEVICE ' "$work/txsim.out" || rp_fail "txsim did not start: $(cat "$work/txsim.out")"
    RP_DEVICE="$(sed -n 's/^DEVICE //p' "$work/txsim.out" | head -n1)"
}

# rp_start_panel WORK TXPANEL RESOURCES: the panel on port 1 with the FM band, in
# a settings directory and working directory of its own; sets RP_PANEL_PID.
rp_start_panel() {
    local work="$1" txpanel="$2" resources="$3"
    mkdir -p "$work/config" "$work/run"
    printf '[Startup]\nComm=1\nLimitUp=108000\nLimitDown=87500\n' >"$work/config/Tx_Orvel.conf"
    cp "$resources/Connect.ico" "$resources/NoConn.ICO" "$work/run/"
    (cd "$work/run" && exec env DISPLAY="$RP_DISPLAY" QT_QPA_PLATFORM=xcb \
        XDG_CONFIG_HOME="$work/config" TXPANEL_COM1="$RP_DEVICE" "$txpanel" >"$work/panel.log" 2>&1) &
    RP_PANEL_PID=$!
    RP_PIDS+=($!)
}

rp_find_window() {
    local wid geometry
    kill -0 "$RP_PANEL_PID" 2>/dev/null || rp_fail "the panel exited: $(cat "$RP_WORK/panel.log")"
    wid="$(DISPLAY="$RP_DISPLAY" xdotool search --onlyvisible --name ORVEL 2>/dev/null | head -n1)"
    [ -n "$wid" ] || return 1
    geometry="$(DISPLAY="$RP_DISPLAY" xdotool getwindowgeometry --shell "$wid")" || return 1
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$geometry"
    # The client area is a fixed 758 x 490 under the menu bar, whatever the bar's height.
    [ "$WIDTH" -eq 758 ] && [ "$HEIGHT" -gt 490 ] || return 1
    RP_LEFT=$X
    RP_TOP=$((Y + HEIGHT - 490))
}

# Sets RP_LEFT and RP_TOP, the screen position of the client area's corner.
rp_wait_window() {
    RP_WORK="$1"
    rp_until 30 rp_find_window || rp_fail "no panel window on $RP_DISPLAY"
}

# The layout in twips, 15 to the pixel, each level rounded on its own as the
# panel does; positions below are in pixels from the client area's corner.
rp_px() { echo $((($1 * 2 + 15) / 30)); }
rp_at() { # rp_at TWIPS_X TWIPS_Y [TWIPS_X TWIPS_Y]...: nested origins summed
    local x=0 y=0
    while [ $# -gt 0 ]; do
        x=$((x + $(rp_px "$1"))) y=$((y + $(rp_px "$2")))
        shift 2
    done
    echo "$x $y"
}
rp_centre() { # rp_centre LEFT TOP WIDTH HEIGHT, in twips
    echo "$(($(rp_px "$1") + $(rp_px "$3") / 2)) $(($(rp_px "$2") + $(rp_px "$4") / 2))"
}
RP_POWER="$(rp_centre 9705 5424 1212 732)"
RP_DISCONNECT="$(rp_centre 9648 3504 1272 480)"
RP_LOCK_LAMP="$(rp_centre 8976 288 516 396)"
# The read-outs' top-left corners (inside the SSPanel containers); their text is
# centred, so a few pixels in from the corner is background.
declare -A RP_READOUTS=(
    [forward]="$(rp_at 360 1920 3960 240 165 165)"
    [reflected]="$(rp_at 360 1920 6480 240 180 180)"
    [temperature]="$(rp_at 4320 276 168 168)"
    [communications]="$(rp_at 4200 1200 120 120)"
)

rp_click() { # rp_click "X Y" in client pixels
    local x y
    read -r x y <<<"$1"
    DISPLAY="$RP_DISPLAY" xdotool mousemove $((RP_LEFT + x)) $((RP_TOP + y)) click 1
}

rp_shot() {
    DISPLAY="$RP_DISPLAY" import -window root "$1"
}

# rp_pixel SHOT "X Y" [DX DY]: "R G B" of that client pixel, 0 to 255.
rp_pixel() {
    local x y
    read -r x y <<<"$2"
    x=$((RP_LEFT + x + ${3:-0})) y=$((RP_TOP + y + ${4:-0}))
    convert "$1" -crop "1x1+$x+$y" +repage \
        -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}

# rp_readouts_are SHOT "R G B": every read-out's background is that colour.
rp_readouts_are() {
    local name seen
    RP_WRONG=""
    for name in "${!RP_READOUTS[@]}"; do
        seen="$(rp_pixel "$1" "${RP_READOUTS[$name]}" 3 3)"
        [ "$seen" = "$2" ] || RP_WRONG+=" $name=($seen)"
    done
    [ -z "$RP_WRONG" ]
}

# The lock lamp lit is a bright red; unlit it is a dark red, both drawn with a gradient.
rp_lock_lit() {
    local r g b
    read -r r g b <<<"$(rp_pixel "$1" "$RP_LOCK_LAMP")"
    [ "$r" -ge 200 ] && [ "$g" -le 120 ]
}
rp_lock_unlit() {
    local r g b
    read -r r g b <<<"$(rp_pixel "$1" "$RP_LOCK_LAMP")"
    [ "$r" -ge 60 ] && [ "$r" -le 170 ] && [ "$g" -le 40 ]
}

# The status cycle the panel repeats while connected, with the transmitter locked.
RP_CYCLE="4 5 7 8 9 10"

# rp_record_summary RECORD: "first complete broken tail forbidden firstbad" where
# first is the first byte, complete the whole cycles after it, broken the bytes
# out of the cycle's order, tail the bytes of an unfinished last cycle, forbidden
# the RF on/off, programming and digit bytes; firstbad is LINE:BYTE or -.
rp_record_summary() {
    awk -v cycle="$RP_CYCLE" '
        BEGIN { n = split(cycle, want, " "); pos = 0; first = "-"; firstbad = "-" }
        NR == 1 { first = $1; next }
        {
            if ($1 == 11 || $1 == 12 || $1 == 14 || ($1 >= 48 && $1 <= 57)) forbidden++
            if ($1 == want[pos + 1]) {
                if (++pos == n) { complete++; pos = 0 }
                next
            }
            broken++
            if (firstbad == "-") firstbad = NR ":" $1
            # Pick up again at the next cycle start.
            pos = ($1 == want[1]) ? 1 : 0
        }
        END { printf "%s %d %d %d %d %s\n", first, complete, broken, pos, forbidden, firstbad }
    ' "$1"
}

rp_record_has_cycles() { # rp_record_has_cycles RECORD N
    local first complete rest
    read -r first complete rest <<<"$(rp_record_summary "$1")"
    [ "$first" = 6 ] && [ "$complete" -ge "$2" ]
}

rp_rss_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

# The panel's own memory (heap, stacks), without the library pages that RSS
# also counts and that grow as code paths run for the first time.
rp_anon_kib() {
    awk '/^RssAnon:/ { print $2 }' "/proc/$1/status"
}
