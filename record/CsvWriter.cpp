// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/CsvWriter.h"

#include <QIODevice>

QString CsvWriter::field(const QString &text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvWriter::row(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &text : fields)
        out << field(text);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

bool CsvWriter::writeRow(const QStringList &fields)
{
    if (!m_ok)
        return false;
    QByteArray bytes;
    if (!m_started) {
        bytes = QByteArrayLiteral("\xEF\xBB\xBF");
        m_started = true;
    }
    bytes += row(fields).toUtf8();
    m_ok = m_out.write(bytes) == bytes.size();
    return m_ok;
}
