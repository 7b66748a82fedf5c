#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# scripts/spdx-headers itself, on a scratch repository with one file of each
# kind: the header comes first in each file's own comment syntax (after a #!
# line or an XML declaration), the file's text follows unchanged, binary files
# are left alone, a second run changes nothing, and reuse accepts the result.
# The SPDX tags below are text the test expects, not this file's own licence:
# REUSE-IgnoreStart tells `reuse lint` to skip them.
# REUSE-IgnoreStart
set -euo pipefail
source_dir="$1"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
repo="$scratch/repo"
mkdir -p "$repo/scripts" "$repo/src" "$repo/packaging" "$repo/docs"
cp "$source_dir/scripts/spdx-headers" "$repo/scripts/"
cp -r "$source_dir/LICENSES" "$repo/"
mkdir "$repo/.reuse"
printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\nFiles: docs/*.png\nCopyright: 2026 The txpanel developers\nLicense: GPL-3.0-or-later\n' >"$repo/.reuse/dep5"

printf '// What the file does.\n#include "src/a.h"\n' >"$repo/src/a.cpp"
printf '#pragma once\n' >"$repo/src/a.h"
printf '#!/usr/bin/env bash\n# What the script does.\necho hi\n' >"$repo/scripts/run"
chmod +x "$repo/scripts/run"
printf 'add_subdirectory(src)\n' >"$repo/CMakeLists.txt"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<svg xmlns="http://www.w3.org/2000/svg"/>\n' >"$repo/packaging/icon.svg"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<component/>\n' >"$repo/packaging/app.metainfo.xml.in"
printf '[Desktop Entry]\nType=Application\n' >"$repo/packaging/app.desktop.in"
printf '# Title\n' >"$repo/README.md"
mkdir "$repo/docs/man"
printf 'prog(1)\n\n# NAME\n\nprog - does things\n' >"$repo/docs/man/prog.1.scd"
printf 'no newline at the end' >"$repo/src/tail.cpp"
: >"$repo/src/empty.h"
printf '\x89PNG\r\n\x1a\n\0\0\0' >"$repo/docs/shot.png"
cp "$repo/docs/shot.png" "$scratch/shot.png"
git -C "$repo" init -q
git -C "$repo" add -A

fail() { echo "$*" >&2; exit 1; }
expect() { # FILE LINE_NUMBER TEXT
    local line
    line="$(sed -n "$2p" "$repo/$1")"
    [ "$line" = "$3" ] || fail "$1 line $2: expected '$3', got '$line'"
}

"$repo/scripts/spdx-headers" >/dev/null
C="SPDX-FileCopyrightText: 2026 The txpanel developers"
L="SPDX-License-Identifier: GPL-3.0-or-later"
expect src/a.cpp 1 "// $C"
expect src/a.cpp 2 "// $L"
expect src/a.cpp 3 ""
expect src/a.cpp 4 "// What the file does."
expect src/a.h 4 "#pragma once"
expect scripts/run 1 '#!/usr/bin/env bash'
expect scripts/run 2 "# $C"
expect scripts/run 3 "# $L"
expect scripts/run 5 "# What the script does."
[ -x "$repo/scripts/run" ] || fail "scripts/run lost its executable bit"
expect CMakeLists.txt 1 "# $C"
expect packaging/icon.svg 1 '<?xml version="1.0" encoding="UTF-8"?>'
expect packaging/icon.svg 2 "<!-- $C -->"
expect packaging/icon.svg 3 "<!-- $L -->"
expect packaging/app.metainfo.xml.in 3 "<!-- SPDX-License-Identifier: CC0-1.0 -->"
expect packaging/app.desktop.in 1 "# $C"
expect packaging/app.desktop.in 4 "[Desktop Entry]"
expect README.md 1 "<!-- $C -->"
expect README.md 4 "# Title"
expect docs/man/prog.1.scd 1 "prog(1)"
expect docs/man/prog.1.scd 2 "; $C"
expect docs/man/prog.1.scd 3 "; $L"
# scdoc still reads the page, the header being comments to it.
if command -v scdoc >/dev/null; then
    scdoc <"$repo/docs/man/prog.1.scd" >"$scratch/prog.1" || fail "scdoc refuses the page with its header"
    grep -q '^prog - does things' "$scratch/prog.1" || fail "the page lost its text: $(cat "$scratch/prog.1")"
fi
[ "$(tail -c 21 "$repo/src/tail.cpp")" = "no newline at the end" ] ||
    fail "the last line without a newline changed"
[ "$(wc -l <"$repo/src/empty.h")" -eq 2 ] || fail "an empty file gets the two header lines only"
cmp -s "$repo/docs/shot.png" "$scratch/shot.png" || fail "a binary file was changed"

# A second run finds every header and changes nothing.
git -C "$repo" add -A
"$repo/scripts/spdx-headers" >/dev/null
git -C "$repo" diff --quiet || { git -C "$repo" diff; fail "a second run changed files"; }

(cd "$repo" && reuse lint >"$scratch/lint") || { cat "$scratch/lint"; fail "reuse lint refused the result"; }

# Named files only, given relative to where the script is run.
printf 'int x;\n' >"$repo/src/new.cpp"
printf 'int y;\n' >"$repo/src/other.cpp"
(cd "$repo/src" && ../scripts/spdx-headers new.cpp >/dev/null)
expect src/new.cpp 1 "// $C"
expect src/other.cpp 1 "int y;"

# A file of a kind the script knows no comment for fails the run, named.
printf 'data\n' >"$repo/src/table.dat"
if "$repo/scripts/spdx-headers" >"$scratch/out" 2>&1; then fail "an unknown kind of file passed"; fi
grep -q "src/table.dat" "$scratch/out" || fail "the unknown file was not named"
echo "spdx-headers: headers first, in each file's syntax, once; reuse lint clean"
# REUSE-IgnoreEnd
