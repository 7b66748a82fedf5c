// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "feed/FeedSnapshot.h"

#include <QByteArray>

#include <optional>

// The feed's documents, built from a snapshot. The names and meanings are
// a contract with the station's monitoring (txpanel-snmp reads the JSON,
// Prometheus the metrics): a reading the panel has not taken in this
// connection is absent from both, and one whose text is not a number has a
// null value in the JSON and no sample in the metrics, never a made-up 0.
//
// While alarms are off (no alarms in the snapshot) /status.json and /metrics
// are exactly as they were before alarms existed: no "alarms" key, no alarm
// families; /alarms.json is then not served (404).
namespace FeedDocuments {
// GET /status.json; with alarms on, an "alarms" array as in /alarms.json.
QByteArray statusJson(const FeedSnapshot &snapshot);
// GET /metrics, Prometheus text exposition format 0.0.4.
QByteArray metricsText(const FeedSnapshot &snapshot);
// GET /alarms.json: {"name", "alarms"}, the alarm book's snapshot
// (AlarmBook::toJson()); nothing while alarms are off.
std::optional<QByteArray> alarmsJson(const FeedSnapshot &snapshot);
inline constexpr char JsonType[] = "application/json";
inline constexpr char MetricsType[] = "text/plain; version=0.0.4; charset=utf-8";

// A label value as the exposition format quotes it: \ " and newline escaped.
QByteArray escapeLabelValue(const QString &value);
} // namespace FeedDocuments
