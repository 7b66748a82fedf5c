// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTest>

// The built txsim as its own process, as an instructor runs it: commands
// written to its standard input as it runs, its answers read line by line.
// It is stopped when this goes.
class SimProcess
{
public:
    SimProcess() { m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    static QString program()
    {
        const QString dir = qEnvironmentVariable("TXPANEL_BUILD_DIR");
        return (dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/..")
                              : dir) +
               QStringLiteral("/txsim");
    }
    // Starts it and reads its first DEVICE line.
    bool start(const QStringList &arguments = {}, bool nullInput = false)
    {
        if (nullInput)
            m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(program(), arguments);
        return m_process.waitForStarted() && nextLine().startsWith(QLatin1String("DEVICE "));
    }
    QProcess &process() { return m_process; }
    // From the last DEVICE line read.
    QString device() const { return m_device; }
    int linesPrinted() const { return m_taken + int(m_lines.size()); }
    // The next line it prints; empty when none comes in time.
    QString nextLine()
    {
        if (!QTest::qWaitFor([this] { return readLines(); }, 10000))
            return QString();
        ++m_taken;
        const QString line = m_lines.takeFirst();
        if (line.startsWith(QLatin1String("DEVICE ")))
            m_device = line.mid(7);
        return line;
    }
    QString command(const QString &line)
    {
        m_process.write(line.toUtf8() + '\n');
        return nextLine();
    }
    // Terminates it as Ctrl+C would; true when it then exits cleanly.
    bool stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000)) {
                m_process.kill();
                m_process.waitForFinished();
                return false;
            }
        }
        readLines();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    bool readLines()
    {
        m_partial += m_process.readAllStandardOutput();
        for (qsizetype end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n')) {
            m_lines.append(QString::fromUtf8(m_partial.left(end)));
            m_partial.remove(0, end + 1);
        }
        return !m_lines.isEmpty();
    }

    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    int m_taken = 0;
    QString m_device;
};
