// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ReplyDecoding.h"

#include <charconv>
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
    // Built digit by digit: it is made for every frequency reply.
    if (kHz < 0 || kHz > 999999)
        return QStringLiteral("%1.%2 MHz")
            .arg(kHz / 1000, 3, 10, QLatin1Char('0'))
            .arg(kHz % 1000, 3, 10, QLatin1Char('0'));
    char text[] = "000.000 MHz";
    for (int position : {6, 5, 4, 2, 1, 0}) {
        text[position] = char('0' + kHz % 10);
        kHz /= 10;
    }
    return QString::fromLatin1(text, int(sizeof(text)) - 1);
}

std::optional<double> number(const QString &reply)
{
    // A view, not a copy: a power reading comes twice a cycle.
    const QStringView trimmed = QStringView(reply).trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    double value = 0;
    // The usual plain reading ("12.5") without Qt's general conversion, which
    // costs a cycle's worth of the rest of the link; anything else takes it.
    char plain[32];
    bool parsed = false;
    if (trimmed.size() < qsizetype(sizeof plain)) {
        qsizetype length = 0;
        for (const QChar character : trimmed) {
            const char16_t code = character.unicode();
            if (code > 127)
                break;
            plain[length++] = char(code);
        }
        if (length == trimmed.size()) {
            const auto [end, error] = std::from_chars(plain, plain + length, value);
            parsed = error == std::errc() && end == plain + length;
        }
    }
    if (!parsed) {
        bool ok = false;
        value = trimmed.toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}
} // namespace ReplyDecoding
