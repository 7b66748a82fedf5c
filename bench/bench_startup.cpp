// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up cost: from process start to the first painted frame of the panel,
// and the peak memory. Run under Xvfb or with QT_QPA_PLATFORM=offscreen.
#include "app/frmTerminale.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Seconds this process has existed, read from the kernel's own start time.
double processAgeSeconds()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    const double systemUp = uptime.readAll().split(' ').value(0).toDouble();
    return systemUp - startTicks / double(sysconf(_SC_CLK_TCK));
}

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                std::printf("first painted frame after %.0f ms of process life\n",
                            processAgeSeconds() * 1000.0);
                std::printf("peak memory %.1f MiB\n", double(usage.ru_maxrss) / 1024.0);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    frmTerminale panel;
    FirstPaint watcher;
    panel.installEventFilter(&watcher);
    panel.show();
    return app.exec();
}
