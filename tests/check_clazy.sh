#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# scripts/clazy-check itself: clean Qt code passes; a level-1 finding, in the
# file or in a header it includes, fails the run and is shown.
set -euo pipefail
build_dir="$1"
source_dir="$2"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
check() { "$source_dir/scripts/clazy-check" "$build_dir" "$@" >"$scratch/out" 2>&1; }

cat >"$scratch/clean.cpp" <<'CPP'
#include <QLatin1String>
#include <QString>
namespace {
constexpr QLatin1String Yes("9");
}
bool locked(const QString &reply) { return reply == Yes; }
CPP
check "$scratch/clean.cpp" || { cat "$scratch/out"; echo "clean code refused" >&2; exit 1; }

# A global whose constructor runs at program load.
cat >"$scratch/global.cpp" <<'CPP'
#include <QString>
const QString Yes = QStringLiteral("9");
bool locked(const QString &reply) { return reply == Yes; }
CPP
# In a header: a property that cannot tell when it changes.
cat >"$scratch/Widget.h" <<'CPP'
#pragma once
#include <QWidget>
class Widget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
public:
    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }
private:
    QString m_caption;
};
CPP
printf '#include "Widget.h"\n' >"$scratch/widget.cpp"

for bad in global:non-pod-global-static widget:qproperty-without-notify; do
    file="${bad%%:*}.cpp"
    if check "$scratch/$file"; then
        cat "$scratch/out"
        echo "$file passed, yet clazy has a finding there" >&2
        exit 1
    fi
    grep -q "warning: .*\[-Wclazy-${bad#*:}\]" "$scratch/out" ||
        { cat "$scratch/out"; echo "$file: finding ${bad#*:} not shown" >&2; exit 1; }
done
echo "clazy check: clean code passes, findings fail"
