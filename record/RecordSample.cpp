// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordSample.h"

namespace {
template <typename T> std::optional<T> valueOf(const TxReading::Item<T> &item)
{
    return item.present() ? item.value : std::nullopt;
}
} // namespace

RecordSample RecordSample::fromReading(const TxReading &reading, qint64 utcSeconds)
{
    RecordSample sample;
    sample.utcSeconds = utcSeconds;
    sample.forwardW = valueOf(reading.forwardW);
    sample.reflectedW = valueOf(reading.reflectedW);
    sample.vswr = reading.vswr();
    if (const std::optional<qint16> celsius = valueOf(reading.temperatureC))
        sample.temperatureC = *celsius;
    sample.temperatureAlarm = valueOf(reading.temperatureAlarm);
    sample.locked = valueOf(reading.locked);
    sample.onAir = valueOf(reading.onAir);
    sample.frequencyKHz = valueOf(reading.frequencyKHz);
    return sample;
}
