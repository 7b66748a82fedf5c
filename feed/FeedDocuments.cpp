// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "feed/FeedDocuments.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One reading as both documents see it.
struct Reading
{
    QLatin1String key;            // JSON key and metrics label
    QJsonValue value;             // number, true/false, or null when not a number
    std::optional<double> number; // what a sample carries: the value, 1/0 for true/false
    std::optional<QString> text;
    qint64 readAtMs = -1;
};

// Thousandths are all a reading's age or a VSWR is good for. Divided, not
// multiplied by the step, so 0.009 comes out as the double nearest 0.009.
double thousandths(double x)
{
    return std::round(x * 1000.0) / 1000.0;
}

template <typename T> std::optional<double> numberOf(const std::optional<T> &value)
{
    if (!value)
        return std::nullopt;
    return double(*value);
}

template <typename T>
void add(std::vector<Reading> &out, QLatin1String key, const TxReading::Item<T> &item,
         bool panelShowsText)
{
    if (!item.present())
        return;
    Reading reading{key, QJsonValue(QJsonValue::Null), numberOf(item.value), std::nullopt,
                    item.readAtMs};
    if (item.value) {
        if constexpr (std::is_same_v<T, bool>)
            reading.value = *item.value;
        else
            reading.value = double(*item.value);
    }
    // A lamp shows no text, but when the transmitter's answer was neither
    // yes nor no the text is what tells the engineer why the value is null.
    if (panelShowsText || !item.text.isEmpty())
        reading.text = item.text;
    out.push_back(reading);
}

std::vector<Reading> readingsOf(const TxReading &r)
{
    std::vector<Reading> out;
    add(out, QLatin1String("forward_w"), r.forwardW, true);
    add(out, QLatin1String("reflected_w"), r.reflectedW, true);
    if (const std::optional<double> vswr = r.vswr()) {
        const double ratio = thousandths(*vswr);
        // As old as the older of the two powers it comes from.
        out.push_back({QLatin1String("vswr"), QJsonValue(ratio), ratio, std::nullopt,
                       std::min(r.forwardW.readAtMs, r.reflectedW.readAtMs)});
    }
    add(out, QLatin1String("temperature_c"), r.temperatureC, true);
    add(out, QLatin1String("temperature_alarm"), r.temperatureAlarm, false);
    add(out, QLatin1String("locked"), r.locked, false);
    add(out, QLatin1String("on_air"), r.onAir, false);
    add(out, QLatin1String("frequency_khz"), r.frequencyKHz, true);
    return out;
}

double ageSeconds(const Reading &reading, qint64 nowMs)
{
    return thousandths(double(std::max<qint64>(0, nowMs - reading.readAtMs)) / 1000.0);
}

const Reading *find(const std::vector<Reading> &readings, QLatin1String key)
{
    const auto found = std::find_if(readings.begin(), readings.end(),
                                    [key](const Reading &r) { return r.key == key; });
    return found == readings.end() ? nullptr : &*found;
}

QByteArray sampleValue(double value)
{
    // Whole numbers as such (a frequency in hertz reads 107900000, not
    // 1.079e+08); the rest as the shortest text that reads back the same.
    if (std::abs(value) < 9e15 && value == std::trunc(value))
        return QByteArray::number(qint64(value));
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

class Exposition
{
public:
    void family(const char *name, const char *type, const char *help)
    {
        m_text += "# HELP ";
        m_text += name;
        m_text += ' ';
        m_text += help;
        m_text += "\n# TYPE ";
        m_text += name;
        m_text += ' ';
        m_text += type;
        m_text += '\n';
    }
    void sample(const char *name, double value, const QByteArray &labels = QByteArray())
    {
        m_text += name;
        if (!labels.isEmpty()) {
            m_text += '{';
            m_text += labels;
            m_text += '}';
        }
        m_text += ' ';
        m_text += sampleValue(value);
        m_text += '\n';
    }
    QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

QByteArray label(const char *name, const QString &value)
{
    return QByteArray(name) + "=\"" + FeedDocuments::escapeLabelValue(value) + '"';
}

struct ReadingMetric
{
    const char *name;
    const char *help;
    const char *key;
    double scale;
};
constexpr ReadingMetric ReadingMetrics[] = {
    {"txpanel_forward_power_watts", "Forward RF power read from the transmitter, in watts.",
     "forward_w", 1},
    {"txpanel_reflected_power_watts", "Reflected RF power read from the transmitter, in watts.",
     "reflected_w", 1},
    {"txpanel_vswr", "Voltage standing wave ratio from the forward and reflected power.", "vswr",
     1},
    {"txpanel_temperature_celsius", "Transmitter temperature, in degrees Celsius.", "temperature_c",
     1},
    {"txpanel_temperature_alarm", "1 while the temperature alarm (ALARM TEMP) is lit.",
     "temperature_alarm", 1},
    {"txpanel_locked", "1 while the synthesiser is locked.", "locked", 1},
    {"txpanel_on_air", "1 while the RF output is on the air.", "on_air", 1},
    {"txpanel_frequency_hertz", "Carrier frequency reported by the transmitter, in hertz.",
     "frequency_khz", 1000},
};

QJsonArray alarmArray(const std::vector<AlarmEntry> &alarms)
{
    QJsonArray array;
    for (const AlarmEntry &alarm : alarms)
        array.append(alarm.toJson());
    return array;
}

struct AlarmMetric
{
    const char *name;
    const char *type;
    const char *help;
    double (*value)(const AlarmEntry &);
};
constexpr AlarmMetric AlarmMetrics[] = {
    {"txpanel_alarm_active", "gauge",
     "1 while the alarm is active (raised, not cleared yet), else 0; labelled with its id.",
     [](const AlarmEntry &a) { return a.active() ? 1.0 : 0.0; }},
    {"txpanel_alarm_unacknowledged", "gauge",
     "1 while the alarm waits for an operator's acknowledgement (active or cleared), else 0.",
     [](const AlarmEntry &a) { return a.acknowledged() ? 0.0 : 1.0; }},
    {"txpanel_alarm_raises_total", "counter", "Times the alarm was raised since the panel started.",
     [](const AlarmEntry &a) { return double(a.raises); }},
    {"txpanel_alarm_chattering", "gauge",
     "1 while the alarm is raised and cleared more often than a few times a minute (told once "
     "until it settles), else 0.",
     [](const AlarmEntry &a) { return a.chattering ? 1.0 : 0.0; }},
};

} // namespace

namespace FeedDocuments {

QByteArray escapeLabelValue(const QString &value)
{
    QByteArray escaped;
    const QByteArray utf8 = value.toUtf8();
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

QByteArray statusJson(const FeedSnapshot &snapshot)
{
    QJsonObject readings;
    for (const Reading &reading : readingsOf(snapshot.reading)) {
        QJsonObject entry{{QStringLiteral("value"), reading.value},
                          {QStringLiteral("age_s"), ageSeconds(reading, snapshot.nowMs)}};
        if (reading.text)
            entry.insert(QStringLiteral("text"), *reading.text);
        readings.insert(reading.key, entry);
    }
    QJsonObject root{
        {QStringLiteral("name"), snapshot.name},
        {QStringLiteral("state"), snapshot.state},
        {QStringLiteral("port"), snapshot.port},
        {QStringLiteral("device"), snapshot.device},
        {QStringLiteral("firmware"), snapshot.firmware},
        {QStringLiteral("connected_s"), snapshot.connectedSeconds
                                            ? QJsonValue(double(*snapshot.connectedSeconds))
                                            : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("cycles"), double(snapshot.cycles)},
        {QStringLiteral("readings"), readings},
    };
    if (!snapshot.linkNote.isEmpty())
        root.insert(QStringLiteral("link_note"), snapshot.linkNote);
    if (snapshot.alarms)
        root.insert(QStringLiteral("alarms"), alarmArray(*snapshot.alarms));
    if (snapshot.remoteControl)
        root.insert(QStringLiteral("last_remote"), RemoteCommand::json(snapshot.lastRemote));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<QByteArray> alarmsJson(const FeedSnapshot &snapshot)
{
    if (!snapshot.alarms)
        return std::nullopt;
    const QJsonObject root{
        {QStringLiteral("name"), snapshot.name},
        {QStringLiteral("alarms"), alarmArray(*snapshot.alarms)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QByteArray metricsText(const FeedSnapshot &snapshot)
{
    const std::vector<Reading> readings = readingsOf(snapshot.reading);
    Exposition out;
    out.family("txpanel_up", "gauge",
               "1 while the panel is connected and polling the transmitter, else 0.");
    out.sample("txpanel_up", snapshot.state == QLatin1String("polling") ? 1 : 0);
    out.family("txpanel_state", "gauge", "The panel's connection state, as the state label.");
    out.sample("txpanel_state", 1, label("state", snapshot.state));
    out.family("txpanel_info", "gauge", "The panel's name, serial port and transmitter firmware.");
    out.sample("txpanel_info", 1,
               label("name", snapshot.name) + ',' + label("port", snapshot.port) + ',' +
                   label("firmware", snapshot.firmware));
    out.family("txpanel_connected_seconds", "gauge",
               "Time connected to the transmitter, in seconds; no sample while not connected.");
    if (snapshot.connectedSeconds)
        out.sample("txpanel_connected_seconds", double(*snapshot.connectedSeconds));
    out.family("txpanel_status_cycles_total", "counter",
               "Status cycles completed in this connection (back to 0 at each new one).");
    out.sample("txpanel_status_cycles_total", double(snapshot.cycles));
    for (const ReadingMetric &metric : ReadingMetrics) {
        out.family(metric.name, "gauge", metric.help);
        const Reading *reading = find(readings, QLatin1String(metric.key));
        if (reading && reading->number)
            out.sample(metric.name, *reading->number * metric.scale);
    }
    out.family("txpanel_reading_age_seconds", "gauge",
               "Time since each reading was taken from the transmitter, in seconds.");
    for (const Reading &reading : readings)
        out.sample("txpanel_reading_age_seconds", ageSeconds(reading, snapshot.nowMs),
                   label("reading", reading.key));
    if (snapshot.alarms) {
        for (const AlarmMetric &metric : AlarmMetrics) {
            out.family(metric.name, metric.type, metric.help);
            for (const AlarmEntry &alarm : *snapshot.alarms)
                out.sample(metric.name, metric.value(alarm),
                           label("alarm", AlarmKinds::id(alarm.kind)));
        }
    }
    return out.text();
}

} // namespace FeedDocuments
