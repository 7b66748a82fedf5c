#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the .deb from the build tree (everything CPack writes goes to a scratch
# directory), unpacks it and checks what an operator's machine would get: the
# Qt 6 runtime in Depends, every file the desktop entry points at, a manual
# page for every program, the licences and the changelog; then lintian, which
# must find no error and no warning.
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

# The station service: its program links no desktop library, and its template
# unit ships (not enabled) in a form systemd itself accepts.
echo "== station service"
[ -x "$root/usr/bin/txpaneld" ] || fail "txpaneld missing from usr/bin"
if ldd "$build_dir/txpaneld" | grep -E 'libQt6(Gui|Widgets)'; then
    fail "txpaneld links a desktop library"
fi
unit="$root/usr/lib/systemd/system/txpaneld@.service"
[ -f "$unit" ] || fail "no txpaneld@.service under usr/lib/systemd/system"
for line in 'Type=notify' 'WatchdogSec=30' 'DynamicUser=yes' 'ProtectSystem=strict' \
    'NoNewPrivileges=yes' 'StateDirectory=txpanel/%i'; do
    grep -qx "$line" "$unit" || fail "txpaneld@.service lacks $line"
done
if command -v systemd-analyze >/dev/null; then
    # verify wants the programs the unit names where the unit says they are:
    # a copy of the unit pointing into the unpacked package.
    mkdir -p "$scratch/units"
    sed "s|/usr/bin/txpaneld|$root/usr/bin/txpaneld|" "$unit" >"$scratch/units/txpaneld@.service"
    ln -sf "txpaneld@.service" "$scratch/units/txpaneld@main.service"
    # It says what it ignores (an unknown key, a wrong value) and still
    # exits 0: any word from it is a fault of the unit.
    if ! SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no \
        "$scratch/units/txpaneld@main.service" >"$scratch/verify" 2>&1 ||
        grep -q . "$scratch/verify"; then
        cat "$scratch/verify" >&2
        fail "systemd-analyze verify refuses txpaneld@.service"
    fi
    echo "systemd-analyze verify: txpaneld@main.service accepted"
fi
# The control socket's group comes from sysusers.d, made by the postinst.
grep -qx 'g txpanel -' "$root/usr/lib/sysusers.d/txpanel.conf" ||
    fail "no group txpanel in usr/lib/sysusers.d/txpanel.conf"
echo "txpaneld and ${unit#"$root"} (not enabled), the group txpanel"

echo "== manual pages"
for program in "$root"/usr/bin/*; do
    name="$(basename "$program")"
    pages=("$root"/usr/share/man/man[18]/"$name".[18].gz)
    [ -f "${pages[0]}" ] || fail "$name has no manual page under usr/share/man/man1 or man8"
    gzip -t "${pages[0]}" || fail "${pages[0]#"$root"} is not gzip"
    echo "$name -> ${pages[0]#"$root"}"
done

echo "== licences and changelog"
doc="$root/usr/share/doc/txpanel"
[ -f "$doc/copyright" ] || fail "no usr/share/doc/txpanel/copyright"
[ -f "$doc/changelog.gz" ] || fail "no usr/share/doc/txpanel/changelog.gz"
version="$(dpkg-deb -f "$deb" Version)"
gzip -dc "$doc/changelog.gz" | head -n1 | grep -qF "txpanel ($version)" ||
    fail "the changelog's top entry is not version $version"
# Every licence the source tree uses (LICENSES/) has its paragraph with text.
for licence_file in "$source_dir"/LICENSES/*.txt; do
    id="$(basename "$licence_file" .txt)"
    awk -v id="$id" 'BEGIN { RS = "" } $1 == "License:" && $2 == id && NF > 2 { found = 1 }
        END { exit !found }' "$doc/copyright" || fail "copyright: no License: $id paragraph with its text"
done
# Each file's own SPDX licence is the one the copyright gives it: its last
# Files paragraph whose pattern matches, as the format has it.
awk 'BEGIN { RS = "" } $1 == "Files:" {
        licence = ""; n = split($0, lines, "\n"); patterns = ""
        for (i = 1; i <= n; i++) {
            if (lines[i] ~ /^License:/) { split(lines[i], w, " "); licence = w[2] }
            if (lines[i] ~ /^Files:/) { sub(/^Files:/, "", lines[i]); patterns = lines[i]; inside = 1; continue }
            if (inside && lines[i] ~ /^ /) patterns = patterns " " lines[i]; else inside = 0
        }
        m = split(patterns, p, " "); for (i = 1; i <= m; i++) print p[i], licence
    }' "$doc/copyright" >"$scratch/files-licences"
checked=0
while IFS= read -r file; do
    own="$(head -n 5 "$source_dir/$file" | sed -n 's/.*SPDX-License-Identifier: \([A-Za-z0-9.+-]*\).*/\1/p' | head -n1)"
    [ -n "$own" ] || continue
    given=""
    while read -r pattern licence; do
        # shellcheck disable=SC2053 # the pattern is a glob on purpose
        [[ "$file" == $pattern ]] && given="$licence"
    done <"$scratch/files-licences"
    [ "$given" = "$own" ] || fail "copyright gives $file ${given:-no licence}, its header says $own"
    checked=$((checked + 1))
done < <(cd "$source_dir" && find . -path ./.git -prune -o -path './build*' -prune -o -type f -print |
    sed 's|^\./||' | sort)
echo "copyright: $(cd "$source_dir/LICENSES" && ls -- *.txt | sed 's/\.txt$//' | tr '\n' ' ')each with its text; $checked files' own licences match"

echo "== lintian"
command -v lintian >/dev/null || fail "lintian is not installed (Debian package lintian)"
# No tag is overridden: an error or a warning fails the test.
if ! lintian --fail-on warning --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1; then
    cat "$scratch/lintian" >&2
    fail "lintian finds errors or warnings in $(basename "$deb")"
fi
grep -v '^N: ' "$scratch/lintian" || true
echo "lintian: no error, no warning"

echo "package layout OK"
