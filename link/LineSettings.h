// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// How the line frames its characters, written as "baud,parity,data,stop", e.g.
// "4800,N,8,1": parity N (none), E (even), O (odd), M (mark) or S (space);
// 5 to 8 data bits; 1, 1.5 or 2 stop bits.
class LineSettings
{
public:
    qint32 baud = 4800;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Blanks around the text and around each field are allowed, and the parity
    // letter in either case; nothing for a text that is not four such fields.
    static std::optional<LineSettings> parse(const QString &text);
    // With the parity letter in upper case, e.g. "1200,O,8,1.5".
    QString text() const;
};
