# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Shared by scripts/test and scripts/demo: install what is missing, then build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# What the panel and the simulator are built from: all scripts/demo installs.
# None of these starts a service.
# Installed without the packages they merely recommend (a desktop theme, GTK,
# translations); Qt Charts' CMake package needs Qt OpenGL's, which is only
# recommended, hence named.
DEMO_PACKAGES=(cmake g++ make qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6sql6-sqlite
               qt6-httpserver-dev qt6-websockets-dev libgl-dev libqt6opengl6-dev)
# The SNMP sub-agent's library (scripts/demo --snmp); no daemon comes with it.
SNMP_PACKAGES=(libsnmp-dev)
# What the tests, the static checks, the manual pages and the Debian package
# need besides. snmpd's package starts the system's SNMP daemon; the tests
# run private ones of their own on free loopback ports.
TEST_PACKAGES=(xvfb xdotool x11-apps twm imagemagick fonts-liberation fonts-dejavu-core procps
               desktop-file-utils appstream dpkg-dev file binutils reuse clazy jq
               g++-mingw-w64-x86-64-posix snmpd snmp snmptrapd smitools python3
               python3-prometheus-client wrk scdoc lintian man-db)
PACKAGES=("${DEMO_PACKAGES[@]}" "${SNMP_PACKAGES[@]}" "${TEST_PACKAGES[@]}")

# The panel's own code, which every platform builds; a folder that does not
# exist (yet) is skipped.
PRODUCT_DIRS=(app panel link tuning settings feed record control service)

# install_missing [PACKAGE...]: installs those of the packages (all of
# PACKAGES when none is named) that are not installed yet.
install_missing() {
    local missing=() wanted=("$@")
    [ $# -gt 0 ] || wanted=("${PACKAGES[@]}")
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
            echo "Please run: apt-get install -y ${missing[*]}" >&2; exit 1
        fi
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    local options=()
    [ "${INSTALL_RECOMMENDS:-yes}" = yes ] || options+=(--no-install-recommends)
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${options[@]}" \
        "${missing[@]}" >/dev/null
}

configure() {
    local dir="$1"; shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

build() {
    configure "$@"
    cmake --build "$1" -j2
}

# The .cpp files under the given folders of the source tree, one a line.
sources_in() {
    local dir
    for dir in "$@"; do
        if [ -d "$ROOT/$dir" ]; then find "$ROOT/$dir" -name '*.cpp'; fi
    done | sort
}

# Runs COMMAND... FILE for every FILE listed (one a line) in LIST, two at a time
# (the machine has two cores). Run number N writes its output to OUT/N.log, and
# leaves OUT/N.failed when it fails.
run_each() {
    local list="$1" out="$2"; shift 2
    local n=0 file running=()
    while IFS= read -r file; do
        n=$((n + 1))
        ("$@" "$file" >"$out/$n.log" 2>&1 || : >"$out/$n.failed") &
        running+=("$!")
        if [ "${#running[@]}" -ge 2 ]; then
            wait "${running[0]}"
            running=("${running[@]:1}")
        fi
    done <"$list"
    wait
}
