// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/AlarmRules.h"

#include <QLocale>

namespace {
QString watts(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest) + QStringLiteral(" W");
}

// Newer than what was counted: read afresh by this cycle.
template <typename T> bool fresh(const TxReading::Item<T> &item, qint64 &seen)
{
    if (!item.present() || item.readAtMs <= seen)
        return false;
    seen = item.readAtMs;
    return true;
}

bool readingAlarm(AlarmKind kind)
{
    return kind != AlarmKind::LinkLost;
}
} // namespace

AlarmRules::AlarmRules(const AlarmSettings &settings) : m_settings(settings) {}

void AlarmRules::set(AlarmKind kind, bool active, const QString &value, Changes &changes)
{
    Rule &r = rule(kind);
    r.since = -1;
    r.count = 0;
    if (r.active == active)
        return;
    r.active = active;
    changes.push_back({kind, active, value});
}

void AlarmRules::observe(AlarmKind kind, bool raising, bool clearing, qint64 atMs,
                         const QString &value, Changes &changes)
{
    const AlarmSettings::Limits &limits = m_settings[kind];
    if (!limits.watched)
        return;
    Rule &r = rule(kind);
    const bool toward = r.active ? clearing : raising;
    if (!toward) {
        r.since = -1;
        r.count = 0;
        return;
    }
    if (r.since < 0)
        r.since = atMs;
    ++r.count;
    const auto delayMs = qint64(limits.delaySeconds * 1000.0 + 0.5);
    if (r.count >= m_settings.readings && atMs - r.since >= delayMs)
        set(kind, !r.active, value, changes);
}

AlarmRules::Changes AlarmRules::reading(const TxReading &reading)
{
    Changes changes;
    // On-air first: the forward power's minimum holds only on the air, and the
    // cycle read the on-air state last, so its latest value is the context.
    const bool onAirFresh = fresh(reading.onAir, m_seen.onAir);
    const bool onAirKnown = reading.onAir.present() && reading.onAir.value.has_value();
    const bool onAirNow = onAirKnown && reading.onAir.value.value_or(false);

    const bool forwardFresh = fresh(reading.forwardW, m_seen.forward);
    const bool reflectedFresh = fresh(reading.reflectedW, m_seen.reflected);
    if (forwardFresh && reading.forwardW.value && onAirKnown) {
        const double forward = *reading.forwardW.value;
        const auto &limits = m_settings[AlarmKind::ForwardLow];
        observe(AlarmKind::ForwardLow, onAirNow && forward < limits.raise,
                !onAirNow || forward >= limits.clear, reading.forwardW.readAtMs, watts(forward),
                changes);
    }
    if (reflectedFresh && reading.reflectedW.value) {
        const double reflected = *reading.reflectedW.value;
        const auto &limits = m_settings[AlarmKind::ReflectedHigh];
        observe(AlarmKind::ReflectedHigh, reflected > limits.raise, reflected < limits.clear,
                reading.reflectedW.readAtMs, watts(reflected), changes);
    }
    if ((forwardFresh || reflectedFresh) && reading.forwardW.value && reading.reflectedW.value) {
        const auto &limits = m_settings[AlarmKind::VswrHigh];
        const qint64 at = qMax(reading.forwardW.readAtMs, reading.reflectedW.readAtMs);
        if (const std::optional<double> vswr = reading.vswr()) {
            observe(AlarmKind::VswrHigh, *vswr > limits.raise, *vswr < limits.clear, at,
                    QString::number(*vswr, 'f', 2), changes);
        } else if (*reading.forwardW.value > 0) {
            // Reflected at or above forward: as bad as a mismatch gets.
            observe(AlarmKind::VswrHigh, true, false, at, QStringLiteral("infinite"), changes);
        }
    }
    if (fresh(reading.temperatureC, m_seen.temperature) && reading.temperatureC.value) {
        const double celsius = *reading.temperatureC.value;
        const bool lamp = reading.temperatureAlarm.value.value_or(false);
        const auto &limits = m_settings[AlarmKind::TemperatureHigh];
        observe(AlarmKind::TemperatureHigh, celsius > limits.raise || lamp,
                celsius < limits.clear && !lamp, reading.temperatureC.readAtMs,
                QString::number(celsius) + QStringLiteral(" °C") +
                    (lamp ? QStringLiteral(", ALARM TEMP lit") : QString()),
                changes);
    }
    if (fresh(reading.locked, m_seen.lock) && reading.locked.value) {
        const bool locked = *reading.locked.value;
        observe(AlarmKind::LockLost, !locked, locked, reading.locked.readAtMs,
                locked ? QStringLiteral("locked") : QStringLiteral("unlocked"), changes);
    }
    if (onAirFresh && onAirKnown) {
        if (onAirNow)
            m_expectOnAir = true;
        observe(AlarmKind::RfOff, m_expectOnAir && !onAirNow, onAirNow, reading.onAir.readAtMs,
                onAirNow ? QStringLiteral("on the air") : QStringLiteral("off the air"), changes);
    }
    return changes;
}

void AlarmRules::restartRuns()
{
    for (Rule &r : m_rules) {
        r.since = -1;
        r.count = 0;
    }
    // The window starts each connection with a reading of its own.
    m_seen = Seen();
}

AlarmRules::Changes AlarmRules::connectionStarted(qint64 nowMs)
{
    Q_UNUSED(nowMs)
    Changes changes;
    restartRuns();
    m_linkDownSinceMs = -1;
    set(AlarmKind::LinkLost, false, QStringLiteral("polling again"), changes);
    return changes;
}

AlarmRules::Changes AlarmRules::linkLost(qint64 nowMs)
{
    // Readings on either side of a loss are not consecutive; what was raised stays.
    restartRuns();
    if (m_linkDownSinceMs < 0)
        m_linkDownSinceMs = nowMs;
    return tick(nowMs);
}

AlarmRules::Changes AlarmRules::tick(qint64 nowMs)
{
    Changes changes;
    const AlarmSettings::Limits &limits = m_settings[AlarmKind::LinkLost];
    if (m_linkDownSinceMs < 0 || !limits.watched || active(AlarmKind::LinkLost))
        return changes;
    if (nowMs - m_linkDownSinceMs >= qint64(limits.delaySeconds * 1000.0 + 0.5))
        set(AlarmKind::LinkLost, true, QStringLiteral("link down"), changes);
    return changes;
}

AlarmRules::Changes AlarmRules::monitoringStopped(qint64 nowMs)
{
    Q_UNUSED(nowMs)
    Changes changes;
    restartRuns();
    m_linkDownSinceMs = -1;
    m_expectOnAir = false;
    for (const AlarmKind kind : AlarmKinds::All) {
        if (rule(kind).active)
            set(kind, false,
                readingAlarm(kind) ? QStringLiteral("monitoring stopped")
                                   : QStringLiteral("stopped by the operator"),
                changes);
    }
    return changes;
}

AlarmRules::Changes AlarmRules::rfCommand(bool onAir, qint64 nowMs)
{
    Q_UNUSED(nowMs)
    Changes changes;
    if (onAir)
        return changes;
    // The operator took the transmitter off the air: nothing to alarm on.
    m_expectOnAir = false;
    set(AlarmKind::RfOff, false, QStringLiteral("switched off by the operator"), changes);
    return changes;
}
