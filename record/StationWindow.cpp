// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StationWindow.h"

#include "record/AlarmBook.h"
#include "record/ReadingsChart.h"
#include "record/Recorder.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// The log table lists the newest rows of the filter; the export takes all.
constexpr int LogRowsShown = 500;
// The chart takes the new seconds every this many writes of the record.
constexpr int ChartFollowWrites = 10;
constexpr qint64 Day = 86400;

QString localText(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QString();
}

QTableWidget *makeTable(const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    // One line a row: the log is read as a list, not as cards.
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    return table;
}

void setRow(QTableWidget *table, int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
}

QLabel *note(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
} // namespace

StationWindow::StationWindow(AlarmBook *alarms, Recorder *recorder, QWidget *parent)
    : QWidget(parent, Qt::Window), m_alarms(alarms), m_recorder(recorder)
{
    setObjectName(QStringLiteral("StationWindow"));
    setWindowTitle(QStringLiteral("Station"));
    auto *layout = new QVBoxLayout(this);
    m_status = note(this);
    m_status->setObjectName(QStringLiteral("recordStatus"));
    layout->addWidget(m_status);
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(buildAlarmsTab(), QStringLiteral("&Alarms"));
    m_tabs->addTab(buildLogTab(), QStringLiteral("&Log"));
    m_tabs->addTab(buildReadingsTab(), QStringLiteral("&Readings"));
    layout->addWidget(m_tabs);
    m_exportNote = note(this);
    m_exportNote->setObjectName(QStringLiteral("exportNote"));
    layout->addWidget(m_exportNote);
    resize(980, 640);

    if (m_alarms)
        connect(m_alarms, &AlarmBook::changed, this, &StationWindow::refreshAlarms);
    if (m_recorder)
        connect(m_recorder, &Recorder::written, this, &StationWindow::recordWritten);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1)
            refreshLog();
        else if (index == 2 && !m_chartLoaded)
            showLast24Hours();
    });
    refreshAlarms();
}

StationWindow::~StationWindow() = default;

QWidget *StationWindow::buildAlarmsTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    m_alarmNote = note(tab);
    layout->addWidget(m_alarmNote);
    m_alarmTable = makeTable({QStringLiteral("Alarm"), QStringLiteral("State"),
                              QStringLiteral("Raised"), QStringLiteral("Value"),
                              QStringLiteral("Cleared"), QStringLiteral("Acknowledged")},
                             tab);
    m_alarmTable->setObjectName(QStringLiteral("alarmTable"));
    layout->addWidget(m_alarmTable);
    auto *buttons = new QHBoxLayout;
    m_acknowledge = new QPushButton(QStringLiteral("A&cknowledge"), tab);
    m_acknowledgeAll = new QPushButton(QStringLiteral("Acknowledge a&ll"), tab);
    buttons->addWidget(m_acknowledge);
    buttons->addWidget(m_acknowledgeAll);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_acknowledge, &QPushButton::clicked, this, &StationWindow::acknowledgeSelected);
    connect(m_acknowledgeAll, &QPushButton::clicked, this, &StationWindow::acknowledgeAll);
    return tab;
}

QWidget *StationWindow::buildLogTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    auto *filters = new QHBoxLayout;
    m_kind = new QComboBox(tab);
    m_kind->addItem(QStringLiteral("All kinds"), QStringList());
    m_kind->addItem(QStringLiteral("Alarms"),
                    QStringList{QStringLiteral("alarm-raised"), QStringLiteral("alarm-cleared"),
                                QStringLiteral("alarm-acknowledged")});
    m_kind->addItem(QStringLiteral("Connections"),
                    QStringList{QStringLiteral("power"), QStringLiteral("connection"),
                                QStringLiteral("resume")});
    m_kind->addItem(QStringLiteral("RF commands"), QStringList{QStringLiteral("rf-command")});
    m_kind->addItem(QStringLiteral("Frequencies"), QStringList{QStringLiteral("frequency")});
    m_kind->addItem(QStringLiteral("Remote commands"),
                    QStringList{QStringLiteral("remote-command")});
    m_kind->addItem(QStringLiteral("Port"), QStringList{QStringLiteral("port")});
    m_kind->addItem(QStringLiteral("Record"), QStringList{QStringLiteral("record")});
    m_range = new QComboBox(tab);
    m_range->addItem(QStringLiteral("Last 24 hours"), Day);
    m_range->addItem(QStringLiteral("Last 7 days"), 7 * Day);
    m_range->addItem(QStringLiteral("Everything"), qint64(-1));
    m_range->addItem(QStringLiteral("From … to …"), qint64(0));
    m_from = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-1), tab);
    m_to = new QDateTimeEdit(QDateTime::currentDateTime(), tab);
    for (QDateTimeEdit *edit : {m_from, m_to}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
    }
    auto *refresh = new QPushButton(QStringLiteral("&Show"), tab);
    auto *exportLog = new QPushButton(QStringLiteral("&Export log…"), tab);
    filters->addWidget(new QLabel(QStringLiteral("Kind:"), tab));
    filters->addWidget(m_kind);
    filters->addWidget(new QLabel(QStringLiteral("Time:"), tab));
    filters->addWidget(m_range);
    filters->addWidget(m_from);
    filters->addWidget(new QLabel(QStringLiteral("to"), tab));
    filters->addWidget(m_to);
    filters->addWidget(refresh);
    filters->addStretch();
    filters->addWidget(exportLog);
    layout->addLayout(filters);
    m_logTable =
        makeTable({QStringLiteral("Time (local)"), QStringLiteral("Kind"), QStringLiteral("User"),
                   QStringLiteral("Subject"), QStringLiteral("Old"), QStringLiteral("New"),
                   QStringLiteral("Outcome"), QStringLiteral("Detail")},
                  tab);
    m_logTable->setObjectName(QStringLiteral("logTable"));
    layout->addWidget(m_logTable);
    m_logNote = note(tab);
    layout->addWidget(m_logNote);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &StationWindow::refreshLog);
    connect(m_range, &QComboBox::currentIndexChanged, this, &StationWindow::rangeChosen);
    connect(refresh, &QPushButton::clicked, this, &StationWindow::refreshLog);
    connect(exportLog, &QPushButton::clicked, this,
            [this] { chooseFileAndExport(RecordExport::What::Log); });
    return tab;
}

QWidget *StationWindow::buildReadingsTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    auto *controls = new QHBoxLayout;
    auto *last = new QPushButton(QStringLiteral("Last &24 hours"), tab);
    m_day = new QDateEdit(QDate::currentDate().addDays(-1), tab);
    m_day->setCalendarPopup(true);
    m_day->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    auto *day = new QPushButton(QStringLiteral("Show &day"), tab);
    auto *whole = new QPushButton(QStringLiteral("&Unzoom"), tab);
    auto *seconds = new QPushButton(QStringLiteral("Export s&econds…"), tab);
    auto *minutes = new QPushButton(QStringLiteral("Export &minutes…"), tab);
    controls->addWidget(last);
    controls->addWidget(m_day);
    controls->addWidget(day);
    controls->addWidget(whole);
    controls->addStretch();
    layout->addLayout(controls);
    // Any range, days apart if need be; it follows what the chart shows
    // until the operator sets it.
    auto *exports = new QHBoxLayout;
    m_exportFrom = new QDateTimeEdit(tab);
    m_exportTo = new QDateTimeEdit(tab);
    for (QDateTimeEdit *edit : {m_exportFrom, m_exportTo}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
    }
    exports->addWidget(new QLabel(QStringLiteral("Export from"), tab));
    exports->addWidget(m_exportFrom);
    exports->addWidget(new QLabel(QStringLiteral("to"), tab));
    exports->addWidget(m_exportTo);
    exports->addWidget(seconds);
    exports->addWidget(minutes);
    exports->addStretch();
    m_chart = new ReadingsChart(tab);
    m_chart->setObjectName(QStringLiteral("readingsChart"));
    m_chart->setToolTip(QStringLiteral("Zoom: drag with the left button, the wheel, + and -. "
                                       "Pan: drag with the right button, the arrow keys. "
                                       "Home: unzoom."));
    layout->addWidget(m_chart);
    layout->addLayout(exports);
    connect(m_chart, &ReadingsChart::visibleRangeChanged, this, [this] {
        m_exportFrom->setDateTime(m_chart->visibleFrom());
        m_exportTo->setDateTime(m_chart->visibleTo());
    });
    connect(last, &QPushButton::clicked, this, &StationWindow::showLast24Hours);
    connect(day, &QPushButton::clicked, this, [this] { showDay(m_day->date()); });
    connect(whole, &QPushButton::clicked, m_chart, &ReadingsChart::resetZoom);
    connect(seconds, &QPushButton::clicked, this,
            [this] { chooseFileAndExport(RecordExport::What::Readings); });
    connect(minutes, &QPushButton::clicked, this,
            [this] { chooseFileAndExport(RecordExport::What::Minutes); });
    return tab;
}

void StationWindow::setRecordStatus(const QString &text, bool problem)
{
    m_status->setText(text);
    m_status->setStyleSheet(problem ? QStringLiteral("color: #b00000; font-weight: bold")
                                    : QString());
}

QString StationWindow::recordStatus() const
{
    return m_status->text();
}

void StationWindow::refreshAlarms()
{
    m_alarmTable->setRowCount(0);
    if (!m_alarms) {
        m_alarmNote->setText(
            QStringLiteral("Alarms are off: [Alarms] Enabled=true turns them on."));
        m_acknowledge->setEnabled(false);
        m_acknowledgeAll->setEnabled(false);
        return;
    }
    const QList<AlarmEntry> alarms = m_alarms->attention();
    m_alarmNote->setText(alarms.isEmpty()
                             ? QStringLiteral("No alarm needs attention.")
                             : QStringLiteral("%1 alarm(s) need attention.").arg(alarms.size()));
    m_alarmTable->setRowCount(int(alarms.size()));
    bool unacknowledged = false;
    for (int row = 0; row < alarms.size(); ++row) {
        const AlarmEntry &alarm = alarms.at(row);
        unacknowledged = unacknowledged || !alarm.acknowledged();
        setRow(m_alarmTable, row,
               {AlarmKinds::title(alarm.kind), AlarmEntry::stateText(alarm.state),
                localText(alarm.raisedUtc), alarm.raisedValue,
                alarm.clearedUtc.isValid() ? localText(alarm.clearedUtc) + QStringLiteral(" (") +
                                                 alarm.clearedValue + QLatin1Char(')')
                                           : QString(),
                alarm.acknowledgedUtc.isValid()
                    ? alarm.acknowledgedBy + QStringLiteral(", ") + localText(alarm.acknowledgedUtc)
                    : QString()});
        m_alarmTable->item(row, 0)->setData(Qt::UserRole, int(alarm.kind));
        if (!alarm.acknowledged()) {
            for (int column = 0; column < m_alarmTable->columnCount(); ++column) {
                QFont bold = m_alarmTable->item(row, column)->font();
                bold.setBold(true);
                m_alarmTable->item(row, column)->setFont(bold);
            }
        }
    }
    m_alarmTable->resizeColumnsToContents();
    m_acknowledge->setEnabled(unacknowledged);
    m_acknowledgeAll->setEnabled(unacknowledged);
}

void StationWindow::acknowledgeSelected()
{
    QList<AlarmKind> kinds;
    const QList<QTableWidgetItem *> selected = m_alarmTable->selectedItems();
    for (const QTableWidgetItem *item : selected) {
        const QTableWidgetItem *first = m_alarmTable->item(item->row(), 0);
        const auto kind = AlarmKind(first->data(Qt::UserRole).toInt());
        if (!kinds.contains(kind))
            kinds << kind;
    }
    // Nothing chosen and one alarm listed: that one is meant.
    if (kinds.isEmpty() && m_alarmTable->rowCount() == 1)
        kinds << AlarmKind(m_alarmTable->item(0, 0)->data(Qt::UserRole).toInt());
    for (const AlarmKind kind : kinds)
        Q_EMIT acknowledgeRequested(kind);
}

void StationWindow::acknowledgeAll()
{
    if (!m_alarms)
        return;
    const QList<AlarmEntry> alarms = m_alarms->attention();
    for (const AlarmEntry &alarm : alarms) {
        if (!alarm.acknowledged())
            Q_EMIT acknowledgeRequested(alarm.kind);
    }
}

void StationWindow::rangeChosen()
{
    const bool custom = m_range->currentData().toLongLong() == 0;
    m_from->setEnabled(custom);
    m_to->setEnabled(custom);
    refreshLog();
}

QStringList StationWindow::logKinds() const
{
    return m_kind->currentData().toStringList();
}

QDateTime StationWindow::logFrom() const
{
    const qint64 span = m_range->currentData().toLongLong();
    if (span == 0)
        return m_from->dateTime();
    if (span < 0)
        return QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    return QDateTime::currentDateTimeUtc().addSecs(-span);
}

QDateTime StationWindow::logTo() const
{
    if (m_range->currentData().toLongLong() == 0)
        return m_to->dateTime();
    // Live: whatever has been logged up to now, and a little beyond for a clock a bit ahead.
    return QDateTime::currentDateTimeUtc().addSecs(60);
}

void StationWindow::refreshLog()
{
    RecordDatabase *db = m_recorder ? m_recorder->database() : nullptr;
    m_logTable->setRowCount(0);
    if (!db) {
        m_logNote->setText(m_recorder ? QStringLiteral("The record has stopped.")
                                      : QStringLiteral("Recording is off: [Record] Enabled=true "
                                                       "turns it on."));
        return;
    }
    const QDateTime from = logFrom();
    const QDateTime to = logTo();
    const QList<RecordEvent> events = db->events(from, to, logKinds(), LogRowsShown);
    m_logTable->setRowCount(int(events.size()));
    for (int row = 0; row < events.size(); ++row) {
        const RecordEvent &e = events.at(row);
        setRow(m_logTable, row,
               {localText(e.utc), e.kind, e.user, e.subject, e.oldValue, e.newValue, e.outcome,
                e.detail});
    }
    m_logTable->resizeColumnsToContents();
    const qint64 total =
        events.size() < LogRowsShown ? events.size() : db->eventCount(from, to, logKinds());
    m_logNote->setText(
        total > events.size()
            ? QStringLiteral("The newest %1 of %2 entries; Export log writes them all.")
                  .arg(events.size())
                  .arg(total)
            : QStringLiteral("%1 entries.").arg(total));
}

void StationWindow::showLast24Hours()
{
    RecordDatabase *db = m_recorder ? m_recorder->database() : nullptr;
    m_chartLoaded = true;
    m_chartLive = true;
    m_writesSinceChart = 0;
    const qint64 to = QDateTime::currentSecsSinceEpoch() + 1;
    const qint64 from = to - Day;
    m_chart->setSeconds(db ? db->chartColumns(from, to) : RecordDatabase::ChartColumns(), from, to);
}

void StationWindow::showDay(const QDate &localDay)
{
    RecordDatabase *db = m_recorder ? m_recorder->database() : nullptr;
    m_chartLoaded = true;
    m_chartLive = false;
    const qint64 from = localDay.startOfDay().toSecsSinceEpoch();
    const qint64 to = localDay.addDays(1).startOfDay().toSecsSinceEpoch();
    if (!db) {
        m_chart->setSeconds({}, from, to);
        return;
    }
    // Seconds while they are kept, the minutes' means once they are gone.
    const qint64 oldest = db->oldestSample();
    if (oldest >= 0 && oldest <= from)
        m_chart->setSeconds(db->chartColumns(from, to), from, to);
    else
        m_chart->setMinutes(db->minutes(from, to), from, to);
}

void StationWindow::recordWritten(int events, int seconds)
{
    if (!isVisible())
        return;
    // A live range of the log shows new entries as they come.
    if (events > 0 && m_tabs->currentIndex() == 1 && m_range->currentData().toLongLong() != 0)
        refreshLog();
    if (seconds > 0 && m_tabs->currentIndex() == 2 && m_chartLive &&
        ++m_writesSinceChart >= ChartFollowWrites) {
        m_writesSinceChart = 0;
        if (RecordDatabase *db = m_recorder ? m_recorder->database() : nullptr) {
            const qint64 to = QDateTime::currentSecsSinceEpoch() + 1;
            m_chart->appendSeconds(db->chartColumns(m_chart->loadedUntil(), to), to);
        }
    }
}

RecordExport *StationWindow::exportTo(RecordExport::What what, const QDateTime &from,
                                      const QDateTime &to, const QStringList &kinds,
                                      const QString &fileName)
{
    RecordDatabase *db = m_recorder ? m_recorder->database() : nullptr;
    if (!db) {
        m_exportNote->setText(QStringLiteral("Nothing to export: the record is not open."));
        return nullptr;
    }
    auto *job = new RecordExport(*db, what, from, to, kinds, fileName, this);
    m_exportNote->setText(QStringLiteral("Exporting to %1…").arg(fileName));
    connect(job, &RecordExport::finished, this, [this, job](bool ok, const QString &message) {
        m_exportNote->setText(ok ? QStringLiteral("Export done: ") + message
                                 : QStringLiteral("EXPORT FAILED: ") + message);
        job->deleteLater();
    });
    job->start();
    return job;
}

void StationWindow::chooseFileAndExport(RecordExport::What what)
{
    const QString stem = what == RecordExport::What::Log        ? QStringLiteral("txpanel-log")
                         : what == RecordExport::What::Readings ? QStringLiteral("txpanel-seconds")
                                                                : QStringLiteral("txpanel-minutes");
    QDateTime from, to;
    QStringList kinds;
    if (what == RecordExport::What::Log) {
        from = logFrom();
        to = logTo();
        kinds = logKinds();
    } else {
        from = m_exportFrom->dateTime();
        to = m_exportTo->dateTime();
    }
    const QString name = stem + from.toUTC().toString(QStringLiteral("-yyyyMMdd'T'HHmm'Z'")) +
                         QStringLiteral(".csv");
    // Not exec(): a dialog's own loop would hold the transmitter's poll
    // where it waits, for as long as the dialog stays open.
    auto *dialog = new QFileDialog(
        this, QStringLiteral("Export to CSV"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(name),
        QStringLiteral("CSV files (*.csv)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [=](const QString &file) {
        if (!file.isEmpty())
            exportTo(what, from, to, kinds, file);
    });
    dialog->open();
}
