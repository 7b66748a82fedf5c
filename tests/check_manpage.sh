#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# An operator reads `PROGRAM --help` at the terminal and `man PROGRAM` in the
# package; both must name the same options. Compares the option names (-x,
# --long) that --help lists with those the manual page's OPTIONS section
# describes, and that the page reads cleanly through man's own formatter.
#
#   check_manpage.sh PROGRAM PAGE.gz
set -euo pipefail
program="$1"
page="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

"$program" --help >"$scratch/help" 2>&1 || fail "$program --help exited with $?: $(cat "$scratch/help")"
# QCommandLineParser's layout: after "Options:", one option a line, its names
# first ("  -c, --config <file>  text"); the names end where two blanks start
# the description.
sed -n '/^Options:/,/^Arguments:/p' "$scratch/help" |
    sed -n 's/^  \(-[^ ].*\)$/\1/p' | sed 's/  .*//' |
    grep -oE '(^|[ ,])--?[A-Za-z?][A-Za-z0-9-]*' | tr -d ' ,' | sort -u >"$scratch/from-help"
[ -s "$scratch/from-help" ] || fail "$program --help lists no option: $(cat "$scratch/help")"

# scdoc writes a definition as its term on a line of its own, followed by the
# indented text (.RS 4); the option names are the bold words of the terms.
gzip -dc "$page" >"$scratch/page"
awk '/^\.SH /{inside = ($0 ~ /^\.SH "?OPTIONS"?$/)} inside {print}' "$scratch/page" |
    awk 'NR > 1 && $0 == ".RS 4" {print previous} {previous = $0}' |
    grep -oE '\\fB\\?-\\?-?[A-Za-z?][A-Za-z0-9-]*' | sed 's/\\fB//; s/\\//g' |
    sort -u >"$scratch/from-page"
[ -s "$scratch/from-page" ] || fail "$(basename "$page") has no OPTIONS section with options"

if ! diff -u --label "$(basename "$program") --help" --label "$(basename "$page")" \
    "$scratch/from-help" "$scratch/from-page" >"$scratch/diff"; then
    cat "$scratch/diff" >&2
    fail "--help and the manual page do not name the same options (- only in --help, + only in the page)"
fi

# The page as man shows it, with groff's warnings on (as lintian reads it).
if command -v man >/dev/null 2>&1; then
    LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" \
        >/dev/null 2>"$scratch/groff" || fail "man cannot format $(basename "$page")"
    [ ! -s "$scratch/groff" ] || { cat "$scratch/groff" >&2; fail "groff warns on $(basename "$page")"; }
fi
echo "$(basename "$program"): --help and $(basename "$page") name the same $(wc -l <"$scratch/from-help") options"
