// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>

// A panel the test ended (terminated, or a child that left with _Exit) does
// not remove the serial lock it took: the test removes the ones naming that
// process, so that no run of the suite leaves files in the system's lock
// folder.
inline void removeSerialLocksOf(qint64 pid)
{
    if (pid <= 0)
        return;
    const QDir folder(QStringLiteral("/run/lock"));
    for (const QString &name : folder.entryList({QStringLiteral("LCK..*")}, QDir::Files)) {
        QFile lock(folder.filePath(name));
        if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == pid) {
            lock.close();
            lock.remove();
        }
    }
}
