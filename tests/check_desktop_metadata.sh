#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs the desktop entry, icon and metainfo as a package would (prefix /usr,
# into a scratch DESTDIR) and has the freedesktop and AppStream validators judge
# exactly what gets installed, the desktop entry's install-time Path= included.
set -euo pipefail
build_dir="$1"
app_id="$2"

for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/common.sh installs it)" >&2; exit 1; }
done

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
DESTDIR="$scratch/root" cmake --install "$build_dir" --prefix /usr --component desktop >/dev/null

share="$scratch/root/usr/share"
entry="$share/applications/$app_id.desktop"
metainfo="$share/metainfo/$app_id.metainfo.xml"
for file in "$entry" "$metainfo"; do
    [ -f "$file" ] || { echo "not installed: ${file#"$scratch/root"}" >&2; exit 1; }
done

echo "== desktop-file-validate"
# It exits 0 on warnings and hints; a clean entry prints nothing at all.
report="$(desktop-file-validate "$entry" 2>&1)" || { echo "$report" >&2; exit 1; }
[ -z "$report" ] || { echo "$report" >&2; exit 1; }

# Strict: warnings and infos fail too. The one info let through says the
# validator does not know our ID's top-level domain.
strict=(--no-net --explain --strict --override=cid-maybe-not-rdns=pedantic)
echo "== appstreamcli validate"
appstreamcli validate "${strict[@]}" "$metainfo"
# The tree check also ties the metainfo's launchable to the installed entry.
echo "== appstreamcli validate-tree"
appstreamcli validate-tree "${strict[@]}" "$scratch/root"

# A stale entry from a /usr/local configure would send the panel to a
# directory that the package never creates.
path="$(sed -n 's/^Path=//p' "$entry")"
[ "$path" = /usr/share/txpanel ] || { echo "Path=$path, expected /usr/share/txpanel" >&2; exit 1; }
echo "desktop entry and metainfo valid"
