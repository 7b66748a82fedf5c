// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/MSComm.h"

#include <QStringList>
#include <QtGlobal>

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <QFile>

#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

MSComm::MSComm(QObject *parent)
    : QObject(parent), m_port(new QSerialPort(this)), m_gathering(*m_port)
{
    connect(m_port, &QSerialPort::errorOccurred, this, &MSComm::onError);
    connect(m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
}

MSComm::~MSComm()
{
    if (m_port->isOpen())
        m_port->close();
}

bool MSComm::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        return false;
    m_line = *parsed;
    if (m_port->isOpen())
        applyLineSettings();
    return true;
}

bool MSComm::PortOpen() const
{
    return m_port->isOpen();
}

bool MSComm::setPortOpen(bool open)
{
    m_gathering.closed();
    m_expectingReply = false;
    if (m_port->isOpen())
        m_port->close();
    if (!open)
        return true;

    m_permissionError = false;
    if (m_commPort < 1 || m_commPort > 255) {
        m_lastError = tr("Port number %1 is outside 1..255").arg(m_commPort);
        return false;
    }
    const QString device = deviceName();
    // The device itself, not the name it goes by: Qt locks the port by the
    // name it opens, and two names for one device (a by-id link and its
    // ttyUSB node) must lock each other out.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    m_port->setPortName(canonical.isEmpty() ? device : canonical);
    m_openDevice = device;
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_lastError = device + QStringLiteral(": ") + m_port->errorString();
        if (m_port->error() == QSerialPort::PermissionError)
            explainRefusal(device);
        m_port->clearError();
        return false;
    }
    applyLineSettings();
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    keepReading(false);
    // Qt 6.4 leaves bytes that were already waiting in the device; a stale
    // reply from before the open would be taken for the answer to a new command.
    m_port->clear(QSerialPort::AllDirections);
    m_closingAfterError = false;
    m_gathering.opened();
    return true;
}

void MSComm::Output(const QByteArray &bytes)
{
    if (!m_port->isOpen())
        return;
    m_expectingReply = true;
    keepReading(true);
    m_gathering.send(bytes.constData(), bytes.size());
}

void MSComm::sendCommand(quint8 command)
{
    if (!m_port->isOpen())
        return;
    m_expectingReply = true;
    keepReading(true);
    const char byte = char(command);
    m_gathering.send(&byte, 1);
}

void MSComm::keepReading(bool on)
{
    // Qt stops reading the device once its buffer holds this much, until it
    // is read: one byte left unread between two exchanges parks the port, and
    // a line that keeps sending then fills the system's buffer and waits there
    // instead of waking the panel for every byte.
    m_port->setReadBufferSize(on ? 0 : 1);
}

QString MSComm::Input()
{
    QString text;
    appendInputTo(text);
    return text;
}

void MSComm::appendInputTo(QString &text)
{
    if (!m_port->isOpen())
        return;
    // A reply is a few bytes: read through a small buffer of our own rather
    // than a new array for each.
    char buffer[256];
    for (;;) {
        const qint64 got = m_port->read(buffer, qint64(sizeof buffer));
        if (got <= 0)
            return;
        text.append(QLatin1StringView(buffer, qsizetype(got)));
        if (got < qint64(sizeof buffer))
            return;
    }
}

void MSComm::endOfReply()
{
    m_expectingReply = false;
    keepReading(false);
}

bool MSComm::replyWaiting() const
{
    return m_port->isOpen() && m_port->peek(m_port->bytesAvailable()).contains('\r');
}

void MSComm::onReadyRead()
{
    if (!m_port->isOpen())
        return;
    // Bytes nobody waits for stay where they are (see keepReading): the next
    // exchange drops them before its command.
    if (m_expectingReply)
        Q_EMIT replyData();
}

void MSComm::explainRefusal(const QString &device)
{
#ifdef Q_OS_UNIX
    // Qt locks the device with a file named after it in the system's lock
    // folder, holding the locker's process id: a live one means busy, a dead
    // one a lock left behind by a program that ended without removing it.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    QStringList names;
    for (const QString &path : {device, canonical}) {
        QString name = path;
        if (name.startsWith(QLatin1String("/dev/")))
            name = name.mid(5);
        names << QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    }
    for (const QString &folder : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock")}) {
        for (const QString &name : std::as_const(names)) {
            QFile lock(folder + QLatin1Char('/') + name);
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            bool isNumber = false;
            const qint64 pid = lock.readLine().trimmed().toLongLong(&isNumber);
            lock.close();
            if (!isNumber || pid <= 0)
                continue;
            if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
                if (removeStaleLock(device, lock.fileName(), pid))
                    return;
                continue;
            }
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString holder = comm.open(QIODevice::ReadOnly)
                                       ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                       : QStringLiteral("a program");
            m_permissionError = false;
            const QString instance = serviceInstance(pid, holder);
            m_lastError =
                instance.isNull()
                    ? device +
                          QStringLiteral(": busy: %1 (process %2) has it open").arg(holder).arg(pid)
                    : device + QStringLiteral(": busy: the station service holds the line "
                                              "(txpaneld@%1, process %2); stop it first "
                                              "(systemctl stop txpaneld@%1) to use the line "
                                              "from the panel")
                                   .arg(instance)
                                   .arg(pid);
            return;
        }
    }
    // No lock names a holder: the device itself refused. If the user may
    // open it, it is busy (opened exclusively elsewhere); otherwise it is a
    // matter of permission.
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0) {
        m_permissionError = false;
        m_lastError = device + QStringLiteral(": busy: another program has it open");
        return;
    }
#else
    Q_UNUSED(device)
#endif
    m_permissionError = true;
}

#ifdef Q_OS_UNIX
QString MSComm::serviceInstance(qint64 pid, const QString &holder)
{
    if (holder != QLatin1String("txpaneld"))
        return QString();
    // The service names its instance on its command line (the unit's
    // --instance %i); else the settings file's name stands for it.
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    const QList<QByteArray> arguments =
        file.open(QIODevice::ReadOnly) ? file.read(64 * 1024).split('\0') : QList<QByteArray>();
    QString config;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        const QByteArray &option = arguments.at(i);
        if (option == "--instance" || option == "-i")
            return QString::fromLocal8Bit(arguments.at(i + 1));
        if (option == "--config" || option == "-c")
            config = QFileInfo(QString::fromLocal8Bit(arguments.at(i + 1))).completeBaseName();
    }
    return config.isEmpty() ? QStringLiteral("?") : config;
}

bool MSComm::removeStaleLock(const QString &device, const QString &lockFile, qint64 pid)
{
    // Removed where this user may, so that the next try (ON, or the next
    // resume) opens the port; where not (the lock folder lets only a file's
    // owner remove it), the operator is told exactly what to ask for.
    if (::unlink(QFile::encodeName(lockFile).constData()) == 0) {
        m_permissionError = false;
        m_lastError = device + QStringLiteral(": a stale lock file %1 (process %2, no longer "
                                              "running) was removed: the next try opens the "
                                              "port (press ON again)")
                                   .arg(lockFile)
                                   .arg(pid);
        return true;
    }
    m_permissionError = false;
    m_lastError = device + QStringLiteral(": locked by a stale lock file: %1 names process %2, "
                                          "which no longer runs, and this user may not remove "
                                          "it: ask the administrator to remove %1")
                               .arg(lockFile)
                               .arg(pid);
    return true;
}
#endif

void MSComm::discardInput()
{
    if (!m_port->isOpen())
        return;
    // Only a full buffer keeps Qt from reading the device (keepReading);
    // emptying it lets Qt read again.
    if (m_port->bytesAvailable() > 0)
        m_port->readAll();
    m_port->clear(QSerialPort::Input);
}

QString MSComm::openedDevice() const
{
    return m_port->isOpen() ? m_port->portName() : QString();
}

QString MSComm::deviceName() const
{
    return m_device.isEmpty() ? deviceNameFor(m_commPort) : m_device;
}

QString MSComm::deviceNameFor(int portNumber)
{
    const QByteArray variable = "TXPANEL_COM" + QByteArray::number(portNumber);
    // Set but empty counts as not set: an empty device name opens nothing.
    if (!qEnvironmentVariableIsEmpty(variable.constData()))
        return qEnvironmentVariable(variable.constData());
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void MSComm::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // Qt 6.4 keeps a dead pseudo-terminal "open" and repeats the error at a
    // furious rate; closing on the first one is what stops the storm.
    if (m_closingAfterError || !m_port->isOpen())
        return;
    // A baud rate or parity the device refuses leaves the line usable; only
    // faults of the line itself close it.
    if (m_applyingSettings) {
        m_lastError = m_openDevice + QStringLiteral(": ") + m_port->errorString();
        return;
    }
    m_closingAfterError = true;
    m_permissionError = false;
    m_lastError = m_openDevice + QStringLiteral(": ") + m_port->errorString();
    m_gathering.closed();
    m_port->close();
    m_port->clearError();
    m_expectingReply = false;
    Q_EMIT lineLost();
}

bool MSComm::applyLineSettings()
{
    m_applyingSettings = true;
    bool ok = m_port->setBaudRate(m_line.baud);
    ok = m_port->setParity(m_line.parity) && ok;
    ok = m_port->setDataBits(m_line.dataBits) && ok;
    ok = m_port->setStopBits(m_line.stopBits) && ok;
    m_applyingSettings = false;
    if (!ok)
        m_port->clearError();
    return ok;
}
