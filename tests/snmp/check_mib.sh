#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# TXPANEL-MIB must pass smilint at level 3 without a single message. The base
# SMIv2 modules it imports come from the stand-ins beside this script, as
# Debian's main archive has none.
set -euo pipefail
mib="$1"
base_mibs="$2"
command -v smilint >/dev/null 2>&1 || { echo "SKIP: smilint missing (Debian: smitools)"; exit 77; }
report="$(SMIPATH="$base_mibs" smilint -l 3 "$mib" 2>&1)" || true
if [ -n "$report" ]; then
    echo "$report"
    echo "FAIL: smilint -l 3 has something to say about $(basename "$mib")" >&2
    exit 1
fi
# The module must also be what smilint read: a broken import path would make
# it parse nothing and say nothing about it at a lower level.
identifiers="$(SMIPATH="$base_mibs" smidump -f identifiers "$mib" 2>/dev/null)" || true
grep -q "txpanelPanelState" <<<"$identifiers" ||
    { echo "FAIL: smidump finds no txpanelPanelState in $mib" >&2; exit 1; }
echo "smilint -l 3 clean"
