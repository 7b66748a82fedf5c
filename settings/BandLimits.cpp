// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/BandLimits.h"

#include <QStringList>

namespace {
// A whole number of kHz, blanks around it allowed; nothing else.
std::optional<qint64> wholeKHz(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString().trimmed();
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (const QChar character : text) {
        if (character < QLatin1Char('0') || character > QLatin1Char('9'))
            return std::nullopt;
    }
    return text.toLongLong();
}
} // namespace

QString BandLimits::storedText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    if (!value.isValid())
        return QStringLiteral("@Invalid()");
    return QStringLiteral("@") + QString::fromLatin1(value.typeName());
}

BandLimits BandLimits::fromStored(const std::optional<QVariant> &up,
                                  const std::optional<QVariant> &down,
                                  const QStringList &misspeltKeys)
{
    BandLimits band;
    QStringList misspelt;
    bool upMisspelt = false;
    bool downMisspelt = false;
    for (const QString &key : misspeltKeys) {
        const bool isUp = key.compare(QLatin1String("LimitUp"), Qt::CaseInsensitive) == 0;
        const bool isDown = key.compare(QLatin1String("LimitDown"), Qt::CaseInsensitive) == 0;
        if (!isUp && !isDown)
            continue;
        upMisspelt = upMisspelt || isUp;
        downMisspelt = downMisspelt || isDown;
        misspelt << QStringLiteral("%1 is not %2 (key names are case-sensitive)")
                        .arg(key, isUp ? QStringLiteral("LimitUp") : QStringLiteral("LimitDown"));
    }
    if (!up && !down && misspelt.isEmpty())
        return band;
    // With one limit stored, the other is open but shows as loaded: empty.
    band.m_upText.clear();
    band.m_downText.clear();
    QStringList unusable;
    if (up) {
        band.m_upText = storedText(*up);
        band.m_up = wholeKHz(*up);
        if (!band.m_up)
            unusable << QStringLiteral("LimitUp \"%1\"").arg(band.m_upText);
    }
    if (down) {
        band.m_downText = storedText(*down);
        band.m_down = wholeKHz(*down);
        if (!band.m_down)
            unusable << QStringLiteral("LimitDown \"%1\"").arg(band.m_downText);
    }
    if (!unusable.isEmpty())
        misspelt.prepend(unusable.join(QStringLiteral(" and ")) +
                         QStringLiteral(" is not a whole number of kHz"));
    // The side of a misspelt key is closed, whatever the other key holds.
    if (upMisspelt) {
        band.m_up.reset();
        band.m_upText.clear();
    }
    if (downMisspelt) {
        band.m_down.reset();
        band.m_downText.clear();
    }
    band.m_unusable = misspelt.join(QStringLiteral("; "));
    return band;
}

BandLimits BandLimits::closed(const QString &why)
{
    BandLimits band;
    band.m_up.reset();
    band.m_down.reset();
    band.m_upText.clear();
    band.m_downText.clear();
    band.m_unusable = why;
    return band;
}

bool BandLimits::accepts(qint64 kHz) const
{
    if (!usable() || !m_up || !m_down)
        return false;
    return kHz <= *m_up && kHz >= *m_down;
}

QString BandLimits::refusal() const
{
    if (usable())
        return QStringLiteral("OUT OF RANGE - LIMIT RANGE ") + m_downText + QStringLiteral(" - ") +
               m_upText + QStringLiteral(" KHz");
    // Printing a range here could show one that contains the refused entry.
    return QStringLiteral("OUT OF RANGE - BAND LIMITS UNUSABLE: ") + m_unusable +
           QStringLiteral(". No frequency can be sent until the station engineer corrects it.");
}
