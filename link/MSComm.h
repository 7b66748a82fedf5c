// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "link/LineGathering.h"
#include "link/LineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The window's serial port control: a thin layer over QSerialPort with the
// properties the transmitter link sets and the text input it polls. How a
// reply is gathered and a command written is LineGathering's.
//
// Port number N opens the device named by the environment variable
// TXPANEL_COM<N> when it is set; otherwise COM<N> on Windows and
// /dev/ttyS<N-1> elsewhere.
//
// On the first error of an open port (an adapter pulled out, the line closed,
// a read or write failure) the port is closed, with lastError() telling why;
// Qt would otherwise report the same error over and over with the port still
// looking open.
class MSComm : public QObject
{
    Q_OBJECT
public:
    enum InputModeKind
    {
        comInputModeText = 0,
        comInputModeBinary = 1
    };
    enum HandshakeKind
    {
        comNone = 0,
        comXOnXoff = 1,
        comRTS = 2,
        comRTSXOnXOff = 3
    };

    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    qint16 CommPort() const { return m_commPort; }
    void setCommPort(qint16 port) { m_commPort = port; }
    // Takes "baud,parity,data,stop", e.g. "4800,N,8,1" (see LineSettings);
    // false, the settings kept, for a text it cannot read.
    bool setSettings(const QString &settings);

    // Recorded, and read back as set, but with no effect: InitializeComPort
    // sets them in the order the operator's manual describes. Input() always
    // hands over everything received as text, Qt sizes its own buffers
    // (limiting the receive buffer would drop bytes of a reply not read yet),
    // no threshold raises any event, and the port always opens without
    // handshaking.
    int InputLen() const { return m_inputLen; }
    void setInputLen(int length) { m_inputLen = length; }
    int InBufferSize() const { return m_inBufferSize; }
    void setInBufferSize(int size) { m_inBufferSize = size; }
    int RThreshold() const { return m_rThreshold; }
    void setRThreshold(int threshold) { m_rThreshold = threshold; }
    int InputMode() const { return m_inputMode; }
    void setInputMode(int mode) { m_inputMode = mode; }
    int OutBufferSize() const { return m_outBufferSize; }
    void setOutBufferSize(int size) { m_outBufferSize = size; }
    int SThreshold() const { return m_sThreshold; }
    void setSThreshold(int threshold) { m_sThreshold = threshold; }
    int Handshaking() const { return m_handshaking; }
    void setHandshaking(int handshaking) { m_handshaking = handshaking; }

    bool PortOpen() const;
    // Opening an open port closes it first. Returns false, with lastError()
    // telling why, when the device cannot be opened.
    bool setPortOpen(bool open);

    // Writes the text's bytes (Latin-1) to the line.
    void Output(const QByteArray &bytes);
    // One command byte, without a text around it: the link's every exchange.
    void sendCommand(quint8 command);
    // Everything received so far, emptying the receive buffer; on Unix, within
    // a quarter second of a command, only up to its last line end.
    QString Input();
    // The same, appended to a text: no text of its own is made for a reply.
    void appendInputTo(QString &text);
    // Drops whatever is waiting to be read, in Qt and in the device.
    void discardInput();
    // The exchange in flight has its reply or has given up on it: from now
    // until the next command the port is not read, so a line that babbles
    // between exchanges or after a time-out grows neither the panel's memory
    // nor its work; the next command drops what came meanwhile.
    void endOfReply();
    // A whole reply line has come in and waits to be read.
    bool replyWaiting() const;

    // The device that opens: the one set with setDevice, else the one
    // CommPort names now.
    QString deviceName() const;
    // The device node the open port is, links followed ("/dev/ttyUSB0" for a
    // by-id link); empty while closed.
    QString openedDevice() const;
    // Names the device outright (a path under /dev/serial/by-id survives a
    // replug); empty goes back to the one CommPort names.
    void setDevice(const QString &device) { m_device = device; }
    static QString deviceNameFor(int portNumber);
    // The line-settings text as the status bar shows it, e.g. "4800,N,8,1".
    QString lineSettingsText() const { return m_line.text(); }

    // Why the last open failed or the open port failed, in the system's words.
    QString lastError() const { return m_lastError; }
    // The last open was refused for want of permission (not because another
    // program holds the device).
    bool lastErrorWasPermission() const { return m_permissionError; }

Q_SIGNALS:
    // Bytes of an awaited reply have come in (nothing is signalled for bytes
    // that no exchange waits for: they are dropped as they come).
    void replyData();
    // The open port failed (an adapter pulled out, the line closed) and was
    // closed; lastError() tells why.
    void lineLost();

private:
    void onError(QSerialPort::SerialPortError error);
    void onReadyRead();
    // Why an open was refused: another program holds the device (named when
    // its lock file tells), or a real permission problem.
    void explainRefusal(const QString &device);
#ifdef Q_OS_UNIX
    // The station service's instance when the lock's holder is txpaneld
    // ("main" for txpaneld@main); a null text for any other program.
    static QString serviceInstance(qint64 pid, const QString &holder);
    // A lock file naming a process that has ended: removed when this user
    // may; true when m_lastError now says what happened.
    bool removeStaleLock(const QString &device, const QString &lockFile, qint64 pid);
#endif
    bool applyLineSettings();
    void keepReading(bool on);

    QSerialPort *m_port;
    LineGathering m_gathering;
    bool m_expectingReply = false;
    qint16 m_commPort = 1;
    LineSettings m_line;
    // The properties with no effect.
    int m_inputLen = 0;
    int m_inBufferSize = 1024;
    int m_rThreshold = 0;
    int m_inputMode = comInputModeText;
    int m_outBufferSize = 512;
    int m_sThreshold = 0;
    int m_handshaking = comNone;

    QString m_lastError;
    bool m_permissionError = false;
    bool m_closingAfterError = false;
    bool m_applyingSettings = false;
    QString m_openDevice;
    QString m_device;
};
