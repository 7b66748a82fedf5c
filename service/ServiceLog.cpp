// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/ServiceLog.h"

#include <cstdio>

namespace ServiceLog {
void write(Priority priority, const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1String(" / "));
    line.remove(QLatin1Char('\r'));
    const QByteArray bytes = '<' + QByteArray::number(int(priority)) + '>' + line.toUtf8() + '\n';
    // Written at once and whole: the journal stamps each line as it arrives,
    // and a service ended by SIGKILL keeps everything written before.
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace ServiceLog
