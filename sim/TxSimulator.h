// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

class QSocketNotifier;
class LineTimer;

// A transmitter on a pseudo-terminal, answering in the caller's own event loop
// so that a test sees the same order of events on every run.
//
// Every reply is its text followed by a carriage return. While a frequency is
// being programmed (command 14, then six digit characters) each digit is
// answered with itself, the sixth with the empty text.
class TxSimulator : public QObject
{
    Q_OBJECT
public:
    explicit TxSimulator(QObject *parent = nullptr);
    ~TxSimulator() override;

    // Also after unplug(): the line comes back on a new pseudo-terminal (the
    // system may hand out the same number again), the transmitter's state kept.
    bool start();
    // The last pseudo-terminal started, even once unplugged.
    QString devicePath() const { return m_devicePath; }
    QString lastError() const { return m_lastError; }
    bool isPlugged() const { return m_master >= 0; }
    // The line disappears, as when the cable is pulled out.
    void unplug();

    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    int exchanges() const { return m_exchanges; }

    qint32 frequencyKHz() const { return m_frequencyKHz; }
    bool onAir() const { return m_onAir; }
    int temperature() const { return m_temperature; }
    bool temperatureDrifts() const { return m_drift; }
    bool isLocked() const { return m_locked; }
    QString firmware() const { return m_firmware; }
    QString forwardPower() const { return m_forward; }
    QString reflectedPower() const { return m_reflected; }
    // Neither silent nor past the count of setSilentAfter().
    bool isAnswering() const;
    int replyDelayMs() const { return m_replyDelayMs; }
    bool wrongEcho() const { return m_wrongEcho; }
    int noiseBytes() const { return m_noiseBytes; }

    void setFirmware(const QString &text) { m_firmware = text; }
    void setForwardPower(const QString &text) { m_forward = text; }
    void setReflectedPower(const QString &text) { m_reflected = text; }
    // Fixes the reading: the drift stops.
    void setTemperature(int raw);
    void setTemperatureDrift(bool on, int everyExchanges = 5);
    void setLocked(bool locked) { m_locked = locked; }
    void setFrequencyKHz(qint32 kHz) { m_frequencyKHz = kHz; }
    void setOnAir(bool on) { m_onAir = on; }

    // Each byte then takes as long as at 4800 baud, ten bits, both ways.
    void setPacing(bool on) { m_pacing = on; }
    void setReplyDelayMs(int ms) { m_replyDelayMs = ms; }
    // Off, it answers again, whatever setSilentAfter() said.
    void setSilent(bool on);
    // Answers this many exchanges, then nothing more; negative for never.
    void setSilentAfter(int exchanges) { m_silentAfter = exchanges; }
    void setWrongEcho(bool on) { m_wrongEcho = on; }
    void setPieces(int pieces, int pauseMs);
    void setNoiseBytes(int count) { m_noiseBytes = count; }
    void setExtraAfterReply(const QByteArray &bytes) { m_extra = bytes; }
    // Unplugs once this many exchanges are over, once: a line started again
    // after that stays. Negative for never.
    void setUnplugAfter(int exchanges) { m_unplugAfter = exchanges; }
    void setRandomSeed(quint32 seed) { m_random.seed(seed); }

    static constexpr qint64 ByteTimeNs = 10LL * 1000000000LL / 4800;

Q_SIGNALS:
    // The reply to this command has been written to the line entirely.
    void exchanged(quint8 command);
    // Bytes from the panel, as read off the line: answered or not, before any pacing.
    void arrived(const QByteArray &bytes);

private:
    struct Segment
    {
        QByteArray bytes;
        qint64 gapNs = 0;
        bool endOfReply = false;
        quint8 command = 0;
    };

    void onReadable();
    void processInput();
    void handleByte(quint8 byte);
    QByteArray answerFor(quint8 byte, bool *answered);
    void queueReply(quint8 command, const QByteArray &text);
    void pumpOutput();
    void driftTemperature();

    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QString m_lastError;
    QSocketNotifier *m_notifier = nullptr;
    LineTimer *m_inTimer;
    LineTimer *m_outTimer;
    QElapsedTimer m_clock;
    QRandomGenerator m_random{0x5eed};

    QByteArray m_received;
    QByteArray m_inQueue;
    qint64 m_inLastNs = 0;
    QList<Segment> m_outQueue;
    qint64 m_outLastNs = 0;
    int m_exchanges = 0;

    int m_programDigits = -1;
    QByteArray m_programmed;

    QString m_firmware = QStringLiteral("V1.0");
    QString m_forward = QStringLiteral("12.5");
    QString m_reflected = QStringLiteral("0.3");
    int m_temperature = 150;
    bool m_drift = true;
    int m_driftEvery = 5;
    bool m_locked = true;
    qint32 m_frequencyKHz = 107900;
    bool m_onAir = false;

    bool m_pacing = false;
    int m_replyDelayMs = 0;
    bool m_silent = false;
    int m_silentAfter = -1;
    bool m_wrongEcho = false;
    int m_pieces = 1;
    int m_piecePauseMs = 0;
    int m_noiseBytes = 0;
    QByteArray m_extra;
    int m_unplugAfter = -1;
};
