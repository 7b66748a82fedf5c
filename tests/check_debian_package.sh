#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the .deb from the build tree (everything CPack writes goes to a scratch
# directory), unpacks it and checks what an operator's machine would get: the
# Qt 6 runtime in Depends, and every file the desktop entry points at.
set -euo pipefail
build_dir="$1"
source_dir="$2"
app_id="$3"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if ! cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, got: ${debs[*]}"
deb="${debs[0]}"
echo "== $(basename "$deb")"

echo "== control fields"
dpkg-deb -f "$deb" Package Version Architecture Maintainer Section Depends Description
depends="$(dpkg-deb -f "$deb" Depends)"
# libqt6sql6-sqlite is a plug-in loaded at run time: named by hand, not found by shlibdeps.
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6sql6 libqt6charts6 \
    libqt6sql6-sqlite; do
    grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
[ -n "$(dpkg-deb -f "$deb" Section)" ] || fail "no Section"

root="$scratch/root"
dpkg -x "$deb" "$root"

entry="$root/usr/share/applications/$app_id.desktop"
[ -f "$entry" ] || fail "no desktop entry at ${entry#"$root"}"
field() { sed -n "s/^$1=//p" "$entry" | head -n1; }

echo "== where the desktop entry points"
exec_line="$(field Exec)"
binary="${exec_line%% *}"
case "$binary" in
/*) binary_path="$root$binary" ;;
*) binary_path="$root/usr/bin/$binary" ;;
esac
[ -x "$binary_path" ] || fail "Exec=$exec_line: ${binary_path#"$root"} is not an executable in the package"
file -b "$binary_path" | grep -q ELF || fail "${binary_path#"$root"} is not an ELF program"
echo "Exec=$exec_line -> ${binary_path#"$root"}"

# The simulator ships too: training needs no build tree.
[ -x "$root/usr/bin/txsim" ] || fail "txsim missing from usr/bin"

icon="$(field Icon)"
icons=("$root"/usr/share/icons/hicolor/*/apps/"$icon".svg "$root"/usr/share/icons/hicolor/*/apps/"$icon".png)
found=""
for candidate in "${icons[@]}"; do [ -f "$candidate" ] && found="$candidate"; done
[ -n "$found" ] || fail "Icon=$icon resolves to no file under usr/share/icons/hicolor"
echo "Icon=$icon -> ${found#"$root"}"

path="$(field Path)"
[ -n "$path" ] || fail "no Path= in the desktop entry"
for name in Connect.ico NoConn.ICO; do
    cmp -s "$root$path/$name" "$source_dir/resources/$name" ||
        fail "Path=$path does not hold the shipped $name"
done
echo "Path=$path -> Connect.ico NoConn.ICO"

[ -f "$root/usr/share/metainfo/$app_id.metainfo.xml" ] || fail "no metainfo"

# An install that kept the build tree's run path would load whatever Qt lies
# there instead of the system's.
for program in "$root"/usr/bin/*; do
    if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -qF "$build_dir"; then
        fail "$(basename "$program") keeps a run path into the build tree"
    fi
done

# The SNMP sub-agent, when built, comes with its MIB and its systemd unit; the
# unit is shipped but must not be enabled or started by the package.
if [ -f "$build_dir/snmp/txpanel-snmp" ]; then
    echo "== SNMP sub-agent"
    [ -x "$root/usr/bin/txpanel-snmp" ] || fail "txpanel-snmp missing from usr/bin"
    [ -f "$root/usr/share/snmp/mibs/TXPANEL-MIB.txt" ] || fail "TXPANEL-MIB.txt missing"
    unit="$root/usr/lib/systemd/system/txpanel-snmp.service"
    [ -f "$unit" ] || fail "no txpanel-snmp.service under usr/lib/systemd/system"
    grep -q '^ExecStart=/usr/bin/txpanel-snmp ' "$unit" || fail "the unit does not start /usr/bin/txpanel-snmp"
    grep -q '^DynamicUser=yes' "$unit" || fail "the unit does not run as an unprivileged user"
    if find "$root/etc" -path '*/systemd/system/*' 2>/dev/null | grep -q .; then
        fail "the package enables a unit: $(find "$root/etc" -path '*/systemd/system/*')"
    fi
    dpkg-deb -e "$deb" "$scratch/control"
    for script in postinst preinst; do
        if [ -f "$scratch/control/$script" ] &&
            grep -Eq 'systemctl|deb-systemd-(helper|invoke)|update-rc\.d|invoke-rc\.d' "$scratch/control/$script"; then
            fail "$script enables or starts a service"
        fi
    done
    echo "txpanel-snmp, TXPANEL-MIB.txt and ${unit#"$root"} (not enabled)"
fi

echo "package layout OK"
