// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordExport.h"

#include "record/CsvWriter.h"
#include "record/RecordDatabase.h"
#include "settings/FileTarget.h"

#include <QLocale>
#include <QSaveFile>
#include <QTimer>

namespace {
// Seconds of the range handled per turn of the event loop: a few thousand
// rows at most, a few milliseconds.
qint64 sliceSeconds(RecordExport::What what)
{
    switch (what) {
    case RecordExport::What::Readings:
        return 3600;
    case RecordExport::What::Log:
    case RecordExport::What::Minutes:
        return 86400;
    }
    return 3600;
}

QString secondText(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC).toString(Qt::ISODate);
}

template <typename T> QString numberText(const std::optional<T> &value)
{
    if (!value)
        return QString();
    if constexpr (std::is_floating_point_v<T>)
        return QString::number(*value, 'g', QLocale::FloatingPointShortest);
    else
        return QString::number(*value);
}

QString flagText(const std::optional<bool> &value)
{
    return value ? QString::number(int(*value)) : QString();
}
} // namespace

RecordExport::RecordExport(RecordDatabase &database, What what, const QDateTime &from,
                           const QDateTime &to, const QStringList &kinds, const QString &fileName,
                           QObject *parent)
    : QObject(parent), m_db(database), m_what(what), m_from(from.toMSecsSinceEpoch()),
      m_to(to.toMSecsSinceEpoch()), m_next(m_from), m_kinds(kinds), m_fileName(fileName)
{
}

RecordExport::~RecordExport() = default;

QStringList RecordExport::header(What what)
{
    switch (what) {
    case What::Log:
        return {QStringLiteral("time (UTC)"), QStringLiteral("kind"),
                QStringLiteral("user"),       QStringLiteral("subject"),
                QStringLiteral("old value"),  QStringLiteral("new value"),
                QStringLiteral("outcome"),    QStringLiteral("detail")};
    case What::Readings:
        return {QStringLiteral("time (UTC)"),       QStringLiteral("forward (W)"),
                QStringLiteral("reflected (W)"),    QStringLiteral("VSWR (ratio)"),
                QStringLiteral("temperature (°C)"), QStringLiteral("temperature alarm (1 = lit)"),
                QStringLiteral("locked (1 = yes)"), QStringLiteral("on air (1 = yes)"),
                QStringLiteral("frequency (kHz)")};
    case What::Minutes:
        return {QStringLiteral("minute start (UTC)"),    QStringLiteral("samples"),
                QStringLiteral("forward min (W)"),       QStringLiteral("forward mean (W)"),
                QStringLiteral("forward max (W)"),       QStringLiteral("reflected min (W)"),
                QStringLiteral("reflected mean (W)"),    QStringLiteral("reflected max (W)"),
                QStringLiteral("VSWR min (ratio)"),      QStringLiteral("VSWR mean (ratio)"),
                QStringLiteral("VSWR max (ratio)"),      QStringLiteral("temperature min (°C)"),
                QStringLiteral("temperature mean (°C)"), QStringLiteral("temperature max (°C)"),
                QStringLiteral("on air (share 0 to 1)"), QStringLiteral("locked (share 0 to 1)")};
    }
    return {};
}

bool RecordExport::begin()
{
    // QSaveFile would put a plain file where a device or a pipe was (or
    // where a link to one was); an export only ever replaces a file.
    if (const QString why = FileTarget::refusal(m_fileName); !why.isEmpty()) {
        end(false, why);
        return false;
    }
    m_file = std::make_unique<QSaveFile>(m_fileName);
    if (!m_file->open(QIODevice::WriteOnly)) {
        end(false, m_fileName + QStringLiteral(": ") + m_file->errorString());
        return false;
    }
    m_csv = std::make_unique<CsvWriter>(*m_file);
    m_csv->writeRow(header(m_what));
    return true;
}

void RecordExport::start()
{
    if (!begin())
        return;
    auto *ticker = new QTimer(this);
    ticker->setInterval(0);
    connect(ticker, &QTimer::timeout, this, [this, ticker] {
        if (!step())
            ticker->stop();
    });
    ticker->start();
}

bool RecordExport::run()
{
    if (!begin())
        return false;
    while (step()) {
    }
    return m_written;
}

bool RecordExport::step()
{
    if (m_done)
        return false;
    if (!m_db.isOpen()) {
        end(false, QStringLiteral("the record stopped during the export"));
        return false;
    }
    if (m_next >= m_to) {
        end(true);
        return false;
    }
    const qint64 sliceMs = sliceSeconds(m_what) * 1000;
    const qint64 until = qMin(m_to, m_next + sliceMs);
    switch (m_what) {
    case What::Log: {
        const QList<RecordEvent> events =
            m_db.events(QDateTime::fromMSecsSinceEpoch(m_next, Qt::UTC),
                        QDateTime::fromMSecsSinceEpoch(until, Qt::UTC), m_kinds, -1);
        // Stored newest first: the file reads oldest first.
        for (auto it = events.crbegin(); it != events.crend(); ++it) {
            m_csv->writeRow({RecordDatabase::utcText(it->utc), it->kind, it->user, it->subject,
                             it->oldValue, it->newValue, it->outcome, it->detail});
            ++m_rows;
        }
        break;
    }
    case What::Readings: {
        // Whole seconds: a range starting mid-second starts at the next one.
        const qint64 first = (m_next + 999) / 1000;
        const qint64 last = (until + 999) / 1000;
        for (const RecordSample &s : m_db.samples(first, last)) {
            m_csv->writeRow({secondText(s.utcSeconds), numberText(s.forwardW),
                             numberText(s.reflectedW), numberText(s.vswr),
                             numberText(s.temperatureC), flagText(s.temperatureAlarm),
                             flagText(s.locked), flagText(s.onAir), numberText(s.frequencyKHz)});
            ++m_rows;
        }
        break;
    }
    case What::Minutes: {
        const qint64 first = (m_next + 999) / 1000;
        const qint64 last = (until + 999) / 1000;
        for (const MinuteSummary &m : m_db.minutes(first, last)) {
            QStringList fields{secondText(m.utcSeconds), QString::number(m.samples)};
            for (const MinuteSummary::Range &range :
                 {m.forwardW, m.reflectedW, m.vswr, m.temperatureC})
                fields << numberText(range.minimum) << numberText(range.mean)
                       << numberText(range.maximum);
            fields << numberText(m.onAirShare) << numberText(m.lockedShare);
            m_csv->writeRow(fields);
            ++m_rows;
        }
        break;
    }
    }
    if (!m_csv->ok()) {
        end(false, m_fileName + QStringLiteral(": ") + m_file->errorString());
        return false;
    }
    m_next = until;
    return true;
}

void RecordExport::end(bool ok, const QString &why)
{
    m_done = true;
    // Looked at again: the export may have taken a while, and the name is
    // only taken over at the commit.
    QString refused;
    if (ok && m_file) {
        refused = FileTarget::refusal(m_fileName);
        ok = refused.isEmpty();
    }
    if (ok && m_file && m_file->commit()) {
        m_written = true;
        Q_EMIT finished(true, QStringLiteral("%1 rows written to %2").arg(m_rows).arg(m_fileName));
        return;
    }
    if (m_file)
        m_file->cancelWriting();
    if (!refused.isEmpty()) {
        Q_EMIT finished(false, refused);
        return;
    }
    Q_EMIT finished(false, why.isEmpty() ? m_fileName + QStringLiteral(": ") +
                                               (m_file ? m_file->errorString() : QString())
                                         : why);
}
