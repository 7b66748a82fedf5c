// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>

#include <optional>

// The band the station's licence allows, from the two stored limits in kHz.
//
// A limit whose key is absent is open (0 below, 1000000 above). Anything else
// the engineer stored must be a whole number of kHz: text that is not one,
// empty text, a list ("108,000" reads as one), a typed or invalid value all
// make the band unusable, and an unusable band accepts nothing. A limit
// written by the engineer never turns into "no limit".
class BandLimits
{
public:
    static constexpr qint64 DefaultUp = 1000000;
    static constexpr qint64 DefaultDown = 0;

    // No limits stored: the open band.
    BandLimits() = default;
    // The stored values; std::nullopt for a key that is not stored.
    // misspeltKeys: keys stored that differ from LimitUp or LimitDown only in
    // letter case (SettingsStore::misspeltKeys()). Each makes its side
    // unusable as a wrong value would, so a limit meant by the engineer
    // never turns into no limit because of a typing slip.
    static BandLimits fromStored(const std::optional<QVariant> &up,
                                 const std::optional<QVariant> &down,
                                 const QStringList &misspeltKeys = {});
    // A band nothing passes, for a store that cannot be trusted.
    static BandLimits closed(const QString &why);

    bool usable() const { return m_unusable.isEmpty(); }
    bool accepts(qint64 kHz) const;
    // Why nothing passes, in the operator's words; empty when usable.
    QString whyUnusable() const { return m_unusable; }
    // The limits as loaded, for the warning: the stored texts, the defaults
    // when neither is stored, empty for the one not stored.
    QString upText() const { return m_upText; }
    QString downText() const { return m_downText; }
    // The OUT OF RANGE warning for a refused entry.
    QString refusal() const;

    // A stored value as text for the operator: lists joined as they were written.
    static QString storedText(const QVariant &value);

private:
    std::optional<qint64> m_up = DefaultUp;
    std::optional<qint64> m_down = DefaultDown;
    QString m_upText = QString::number(DefaultUp);
    QString m_downText = QString::number(DefaultDown);
    QString m_unusable;
};
