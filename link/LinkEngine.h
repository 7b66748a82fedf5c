// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ConnectionState.h"
#include "link/LinkLine.h"
#include "link/TxReading.h"
#include "settings/BandLimits.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class MSComm;

// The link to one transmitter: it owns the serial port and runs every
// exchange on it, one at a time, from the event loop. Nothing here waits: a
// command byte goes out, the reply comes in through the port's readyRead, and
// the next exchange is sent in the same call in which the last one completed,
// so nothing (a click, a remote command) can ever land between two exchanges
// or put a second byte on the line.
//
// A connection runs as sequences of exchanges: connecting (open, firmware
// question), the status cycle repeated back to back (forward, reflected,
// temperature, lock, the frequency while the display follows it and the
// synthesiser is locked, on-air, then the RF command when the switch was
// pressed in this connection), a programming between two cycles when one was
// asked for (the programming command, six digits, each echo checked), and,
// with resume on, the probe that looks for the lost transmitter every few
// seconds. Each exchange is supervised by one single-shot timer.
//
// A stop (DISCONNECT, a lost reply, the end of the program) is latched and
// honoured after the exchange in flight, or after the last digit of a
// programming under way. Nothing is carried across the end of a connection:
// an RF press and a programming request belong to the one they were made in.
//
// Its signals come at step boundaries only. A slot on them must never open a
// modal box or wait: it runs between two exchanges.
//
// It holds nothing program-wide: it is given its line, its band and its
// timings, so two engines in one process drive two transmitters.
class LinkEngine : public QObject
{
    Q_OBJECT
public:
    explicit LinkEngine(QObject *parent = nullptr);
    ~LinkEngine() override;

    // --- what it is given ---
    // Used from the next open on; a connection running keeps its own.
    void setLine(const LinkLine &line) { m_line = line; }
    const LinkLine &line() const { return m_line; }
    // The band a programming must fall in.
    void setBand(const BandLimits &band) { m_band = band; }
    const BandLimits &band() const { return m_band; }
    // A lost link, or a power-on that finds no transmitter, is tried again
    // every resumeTimer() interval until it answers or is stopped.
    void setResume(bool on) { m_resume = on; }
    bool resumes() const { return m_resume; }
    // How long a reply may take (15 s) and how often a lost link is tried
    // again (2 s): a test shortens the timer objects themselves.
    QTimer &supervisionTimer() { return m_supervision; }
    QTimer &resumeTimer() { return m_resumeTimer; }

    // --- the operator's (or a remote client's) inputs ---
    // Opens the line, asks the firmware, then polls until stopped.
    void powerOn();
    // The line closed, the engine at rest: from any state.
    void powerOff();
    // DISCONNECT: ends the connection after the exchange in flight (or the
    // programming under way); stops the retries of a lost link.
    void stop();
    // Which way a press of the RF switch may take the transmitter: the
    // front panel's switch toggles; a remote "rf off" may only take it off
    // the air, so a transmitter found already off gets no byte at all.
    enum class RfWay
    {
        Toggle,
        OnAir,
        OffAir,
    };
    // The RF switch held down (true) or let go. A press counts only while
    // polling; it is acted on at the end of the cycle running and then let
    // go (rfReleased()).
    void setRfPressed(bool pressed, RfWay way = RfWay::Toggle);
    bool rfPressed() const { return m_rfPressed; }
    // Programs five digits (10 kHz units, "10790" for 107.90 MHz) after the
    // status cycle running. False, and nothing asked, outside the poll or
    // outside the band.
    bool requestProgramming(const QString &digits);
    bool programmingPending() const { return m_programPending; }
    // The frequency question is asked only while this is on (the display
    // follows the transmitter rather than an entry).
    void setFollowFrequency(bool follow) { m_follow = follow; }
    // The end of the program: finishes a programming under way, then closes
    // the line; no byte is written after that. shutDownComplete() follows,
    // at once when nothing had to be finished.
    void shutDown();
    bool isShutDown() const { return m_shutDown && !m_programming; }

    // --- single operations, outside any connection (a test's) ---
    // Opens the line given; false with portFailure() telling why.
    bool openLine();
    // One exchange; exchangeCompleted() tells its reply. False (nothing
    // sent) while another is in flight or a connection runs.
    bool exchange(quint8 command);
    // One status cycle; readingTaken() at its end.
    bool statusCycle();
    // One programming of these digits; frequencyProgrammed() at its end.
    bool program(const QString &digits);

    // --- what it knows ---
    ConnectionState state() const { return m_state; }
    // An exchange is in flight.
    bool busy() const { return m_step != Step::None; }
    // The digits are going out now.
    bool programming() const { return m_programming; }
    // A stop waits to be honoured, or the last exchange got no reply.
    bool stopPending() const { return m_stop || m_lastLost; }
    // DISCONNECT was pressed in this power-on.
    bool disconnectAsked() const { return m_disconnect; }
    MSComm *port() const { return m_port; }
    const TxReading &reading() const { return m_reading; }
    quint64 statusCycles() const { return m_cycles; }
    // The firmware text of the connection running, printable; empty when none.
    QString firmware() const { return m_firmware; }
    QDateTime connectedSince() const { return m_connectedSince; }
    // Why the line could not be opened at the last try; empty when it opened.
    QString portFailure() const { return m_portFailure; }
    // The on-air reply of the last status cycle that got that far.
    QString rfStatus() const { return m_rfStatus; }
    // Why the device now on the line is refused as another transmitter;
    // empty unless resuming found one.
    QString otherDevice() const { return m_otherDevice; }

Q_SIGNALS:
    void stateChanged(ConnectionState state);
    // One exchange done: its reply without the carriage return, or lost (no
    // reply in time, the line gone) with an empty reply.
    void exchangeCompleted(quint8 command, const QString &reply, bool lost);
    // The reply in flight will not come: the supervision ran out or the line
    // went. The exchange completes as lost right after.
    void replyLost(const QString &why);
    // The firmware question was answered: a connection starts (polling next).
    void connected(const QString &firmware);
    // The firmware question of a power-on got no answer.
    void noReply();
    // The line could not be opened (portFailure() tells why).
    void portFailed(const QString &reason);
    // After every status cycle, whole or cut short.
    void readingTaken(const TxReading &reading);
    // The RF command went out: on the air (true) or off; confirmed when the
    // transmitter answered as asked.
    void rfCommandSent(bool onAir, bool confirmed);
    // The RF switch is let go: acted on, refused, or the state changed.
    void rfReleased();
    // A programming takes its digits and starts.
    void programmingStarted(const QString &digits);
    // A programming ended: the frequency the transmitter last reported
    // before it (kHz, -1 when none), the one sent, whether every echo
    // matched, and whether a reply was lost on the way.
    void frequencyProgrammed(qint32 fromKHz, qint32 toKHz, bool programmed, bool lost);
    // A connection ended, and why, in words; the state moves on next.
    void connectionEnded(const QString &why);
    // With resume: one try at the lost link, answered or not.
    void resumeAttempted(bool answered);
    // With resume: what answers on the line is not the transmitter that was
    // lost (another adapter, another firmware); it is not taken by itself,
    // and why, in words. Only a power-on (OFF, ON) takes it.
    void otherDeviceFound(const QString &why);
    // Something the operator should know about the line, told once (resume
    // on a kernel name that a replug may give to another adapter).
    void lineNotice(const QString &text);
    // shutDown() has done all it had to: the line is closed for good.
    void shutDownComplete();

public:
    // What the exchange in flight is for; the cycle's questions in their order.
    enum class Step
    {
        None,
        Single,
        Firmware,
        Probe,
        Forward,
        Reflected,
        Temperature,
        Lock,
        Frequency,
        RfStatus,
        RfCommand,
        SetFrequency,
        Digit,
    };

private:
    // Whether the exchange is part of a connection or a single operation.
    enum class Run
    {
        Connection,
        Single,
    };

    // Connecting, polling or resuming: the engine drives the line itself.
    bool running() const;
    void setState(ConnectionState state);
    void send(quint8 command, Step step);
    void onReplyData();
    void onSupervision();
    void onLineLost();
    void complete(const QString &reply, bool lost);
    void advance(Step step, quint8 command, const QString &reply, bool lost);
    void sendCycleStep(Step step);
    void afterCycleStep(Step step, quint8 command, const QString &reply);
    void endCycle();
    void startProgramming(const QString &digits);
    void afterProgrammingStep(Step step, const QString &reply, bool lost);
    void endProgramming(bool programmed, bool lost);
    void startConnection(const QString &firmware);
    void endConnection();
    void startResuming();
    void tryResume();
    // What can be known of the device open now: its adapter (USB vendor,
    // product, serial number) where the system gives one.
    QString adapterIdentity() const;
    // Why what answered is not the lost transmitter; empty when it is.
    QString mismatch(const QString &adapter, const QString &firmware) const;
    void refuseOther(const QString &why);
    void abandonExchange();
    // The supervision as set (15 s, or a test's), and the timer run for ms
    // or stopped, the setting kept.
    int supervisionMs() const;
    void armSupervision(int ms);
    void idleSupervision();
    void finishShutDown();
    void releaseRf();

    MSComm *m_port;
    QTimer m_supervision;
    QTimer m_resumeTimer;
    LinkLine m_line;
    BandLimits m_band;
    bool m_resume = false;

    ConnectionState m_state = ConnectionState::Off;
    Step m_step = Step::None;
    Run m_run = Run::Single;
    quint8 m_command = 0;
    QString m_received;
    // When the reply to the command out now is due.
    QDeadlineTimer m_replyDue;
    // Counts exchanges sent, and abandonments: a call that signalled can
    // tell whether whoever heard it has moved the engine on meanwhile.
    quint64 m_exchange = 0;
    quint64 m_epoch = 0;
    // The supervision as set, while the timer runs for less (a probe, or
    // what is left of a deadline).
    int m_supervisionMs = 0;

    bool m_stop = false;
    bool m_lastLost = false;
    bool m_disconnect = false;
    bool m_shutDown = false;
    QString m_lostBecause;

    bool m_follow = true;
    bool m_locked = false;
    bool m_rfPressed = false;
    RfWay m_rfWay = RfWay::Toggle;
    QString m_rfStatus;

    bool m_programPending = false;
    QString m_pendingDigits;
    bool m_programming = false;
    QString m_programDigits;
    int m_digit = 0;

    TxReading m_reading;
    quint64 m_cycles = 0;
    QString m_firmware;
    QDateTime m_connectedSince;
    QString m_portFailure;
    // The adapter of the connection running, where the system tells one.
    QString m_adapter;
    // The transmitter a lost connection had, which only it may resume.
    QString m_lostAdapter;
    QString m_lostFirmware;
    QString m_otherDevice;
    bool m_toldKernelName = false;
};
