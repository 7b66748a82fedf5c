// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/AlarmKind.h"
#include "record/RecordExport.h"

#include <QDateTime>
#include <QWidget>

class AlarmBook;
class QComboBox;
class QDateEdit;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;
class ReadingsChart;
class Recorder;

// The Station window, opened from the main window's Station menu and never
// modal: the alarms that need attention, with Acknowledge; the transmitter
// log as a table filtered by kind and time range; a chart of the readings
// over the last 24 hours or any earlier day; and export of the log and the
// readings to CSV. It reads the record and the alarm book; it never touches
// the front panel or the transmitter.
class StationWindow : public QWidget
{
    Q_OBJECT
public:
    // Either may be null: alarms off, or recording off (or stopped).
    StationWindow(AlarmBook *alarms, Recorder *recorder, QWidget *parent = nullptr);
    ~StationWindow() override;

    // The line at the top: where the record goes, or why it does not.
    void setRecordStatus(const QString &text, bool problem);
    QString recordStatus() const;

    void refreshAlarms();
    void refreshLog();
    void showLast24Hours();
    void showDay(const QDate &localDay);
    // The log's filter as the operator set it: kinds (empty for every kind)
    // and the range.
    QStringList logKinds() const;
    QDateTime logFrom() const;
    QDateTime logTo() const;
    // Starts writing a CSV file; the returned export tells when it is done
    // (finished), and belongs to this window.
    RecordExport *exportTo(RecordExport::What what, const QDateTime &from, const QDateTime &to,
                           const QStringList &kinds, const QString &fileName);

    // The parts a test or a screen reader looks at.
    QTabWidget *tabs() const { return m_tabs; }
    QTableWidget *alarmTable() const { return m_alarmTable; }
    QTableWidget *logTable() const { return m_logTable; }
    ReadingsChart *chart() const { return m_chart; }
    QPushButton *acknowledgeButton() const { return m_acknowledge; }
    QComboBox *kindFilter() const { return m_kind; }
    QLabel *exportNote() const { return m_exportNote; }

Q_SIGNALS:
    void acknowledgeRequested(AlarmKind kind);

private:
    QWidget *buildAlarmsTab();
    QWidget *buildLogTab();
    QWidget *buildReadingsTab();
    void recordWritten(int events, int seconds);
    void acknowledgeSelected();
    void acknowledgeAll();
    void chooseFileAndExport(RecordExport::What what);
    void rangeChosen();

    AlarmBook *m_alarms;
    Recorder *m_recorder;
    QLabel *m_status = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLabel *m_alarmNote = nullptr;
    QTableWidget *m_alarmTable = nullptr;
    QPushButton *m_acknowledge = nullptr;
    QPushButton *m_acknowledgeAll = nullptr;
    QComboBox *m_kind = nullptr;
    QComboBox *m_range = nullptr;
    QDateTimeEdit *m_from = nullptr;
    QDateTimeEdit *m_to = nullptr;
    QTableWidget *m_logTable = nullptr;
    QLabel *m_logNote = nullptr;
    QDateEdit *m_day = nullptr;
    ReadingsChart *m_chart = nullptr;
    QDateTimeEdit *m_exportFrom = nullptr;
    QDateTimeEdit *m_exportTo = nullptr;
    QLabel *m_exportNote = nullptr;
    // The chart shows the last 24 hours and follows new seconds.
    bool m_chartLive = false;
    bool m_chartLoaded = false;
    int m_writesSinceChart = 0;
};
