// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ReplyDecoding.h"

#include <cmath>

namespace ReplyDecoding {
QString printable(const QString &reply)
{
    QString shown = reply;
    for (QChar &character : shown) {
        if (character.unicode() < 32 || character.unicode() > 126)
            character = QLatin1Char('?');
    }
    return shown;
}

qint16 leadingNumber(const QString &text)
{
    qint16 result = 0;
    const int length = qMin(3, int(text.size()));
    for (int position = 0; position < length; ++position) {
        const QChar character = text.at(position);
        if (character == QLatin1Char('.'))
            break;
        int digit = 0;
        if (character >= QLatin1Char('0') && character <= QLatin1Char('9'))
            digit = character.unicode() - '0';
        result = qint16(result * 10 + digit);
    }
    return result;
}

qint16 celsiusFromRaw(qint16 raw)
{
    return qint16((raw - 130) * 2 - 20);
}

bool temperatureAlarm(qint16 raw)
{
    return raw > TemperatureAlarmRaw;
}

TwoState twoState(const QString &reply)
{
    if (reply == QLatin1String("9"))
        return TwoState::Yes;
    if (reply == QLatin1String("0"))
        return TwoState::No;
    return TwoState::Other;
}

std::optional<qint32> frequencyKHz(const QString &report)
{
    if (report.size() < 6)
        return std::nullopt;
    qint32 kHz = 0;
    for (int i = 0; i < 6; ++i) {
        const QChar character = report.at(i);
        if (character < QLatin1Char('0') || character > QLatin1Char('9'))
            return std::nullopt;
        kHz = kHz * 10 + (character.unicode() - '0');
    }
    return kHz;
}

QString frequencyText(qint32 kHz)
{
    return QStringLiteral("%1.%2 MHz")
        .arg(kHz / 1000, 3, 10, QLatin1Char('0'))
        .arg(kHz % 1000, 3, 10, QLatin1Char('0'));
}

std::optional<double> number(const QString &reply)
{
    bool ok = false;
    const double value = reply.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || reply.trimmed().isEmpty())
        return std::nullopt;
    return value;
}
} // namespace ReplyDecoding
