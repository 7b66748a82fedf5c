// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/LineSettings.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<char, QSerialPort::Parity>, 5> ParityLetters{{
    {'N', QSerialPort::NoParity},
    {'E', QSerialPort::EvenParity},
    {'O', QSerialPort::OddParity},
    {'M', QSerialPort::MarkParity},
    {'S', QSerialPort::SpaceParity},
}};

constexpr std::array<std::pair<const char *, QSerialPort::StopBits>, 3> StopTexts{{
    {"1", QSerialPort::OneStop},
    {"1.5", QSerialPort::OneAndHalfStop},
    {"2", QSerialPort::TwoStop},
}};
} // namespace

std::optional<LineSettings> LineSettings::parse(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings settings;

    bool ok = false;
    settings.baud = parts.at(0).trimmed().toInt(&ok);
    if (!ok || settings.baud <= 0)
        return std::nullopt;

    const QString parityText = parts.at(1).trimmed().toUpper();
    if (parityText.size() != 1)
        return std::nullopt;
    const auto parity =
        std::find_if(ParityLetters.cbegin(), ParityLetters.cend(), [&parityText](const auto &p) {
            return parityText.at(0) == QLatin1Char(p.first);
        });
    if (parity == ParityLetters.cend())
        return std::nullopt;
    settings.parity = parity->second;

    const int dataBits = parts.at(2).trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QString stopText = parts.at(3).trimmed();
    const auto stop =
        std::find_if(StopTexts.cbegin(), StopTexts.cend(),
                     [&stopText](const auto &s) { return stopText == QLatin1String(s.first); });
    if (stop == StopTexts.cend())
        return std::nullopt;
    settings.stopBits = stop->second;
    return settings;
}

QString LineSettings::text() const
{
    char parityLetter = 'N';
    for (const auto &[letter, value] : ParityLetters) {
        if (value == parity)
            parityLetter = letter;
    }
    const char *stop = "1";
    for (const auto &[stopText, value] : StopTexts) {
        if (value == stopBits)
            stop = stopText;
    }
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(QLatin1Char(parityLetter))
        .arg(int(dataBits))
        .arg(QLatin1String(stop));
}
