// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// Comma-separated values as RFC 4180 has them: records end in CR LF; a field
// holding a comma, a double quote, CR or LF is put in double quotes, its own
// double quotes doubled. UTF-8, opened by a byte-order mark so spreadsheet
// programs read the degree sign and names right.
class CsvWriter
{
public:
    explicit CsvWriter(QIODevice &out) : m_out(out) {}
    // False once a write has failed.
    bool writeRow(const QStringList &fields);
    bool ok() const { return m_ok; }

    static QString field(const QString &text);
    static QString row(const QStringList &fields);

private:
    QIODevice &m_out;
    bool m_started = false;
    bool m_ok = true;
};
