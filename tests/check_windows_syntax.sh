#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# scripts/windows-syntax-check itself: it must pass portable code and Unix code
# behind its #ifdef, and fail a Unix-only header or call left unguarded, or code
# the build's own definitions forbid (QT_NO_CAST_FROM_ASCII).
set -euo pipefail
build_dir="$1"
source_dir="$2"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
check() { "$source_dir/scripts/windows-syntax-check" "$build_dir" "$@" >"$scratch/out" 2>&1; }

cat >"$scratch/portable.cpp" <<'CPP'
#include <QSerialPort>
#include <QString>
#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif
#if !defined(Q_OS_WIN) || defined(Q_OS_UNIX) || defined(Q_OS_LINUX)
#error "not compiled as Windows code"
#endif
#if !defined(UNICODE) || !defined(QT_NO_KEYWORDS)
#error "the Windows build's definitions are missing"
#endif
int sent(QSerialPort &port)
{
#ifdef Q_OS_UNIX
    return int(::write(int(port.handle()), "x", 1));
#else
    return int(port.write("x", 1));
#endif
}
QString name() { return QStringLiteral("COM1"); }
CPP
check "$scratch/portable.cpp" || { cat "$scratch/out"; echo "portable code refused" >&2; exit 1; }

cat >"$scratch/termios.cpp" <<'CPP'
#include <QString>
#include <termios.h>
int raw(int fd) { termios tio{}; return ::tcgetattr(fd, &tio); }
CPP
cat >"$scratch/write.cpp" <<'CPP'
#include <QSerialPort>
int sent(QSerialPort &port) { return int(::write(int(port.handle()), "x", 1)); }
CPP
cat >"$scratch/ascii.cpp" <<'CPP'
#include <QString>
QString name() { return "COM1"; }
CPP
for bad in termios write ascii; do
    if check "$scratch/$bad.cpp"; then
        cat "$scratch/out"
        echo "$bad.cpp passed, yet it cannot build for Windows" >&2
        exit 1
    fi
    grep -q "$bad.cpp: does not compile for Windows" "$scratch/out" ||
        { cat "$scratch/out"; echo "$bad.cpp not named as the failing file" >&2; exit 1; }
done
# One bad file among good ones fails the whole run.
if check "$scratch/portable.cpp" "$scratch/termios.cpp"; then
    echo "a run with one bad file passed" >&2
    exit 1
fi
echo "windows syntax check: portable code passes, Unix-only code fails"
