// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/DesktopNotifier.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QSystemTrayIcon>

#ifdef Q_OS_LINUX
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#endif

namespace {
#ifdef Q_OS_LINUX
// Only a bus that is there: with none, libdbus would try to start one
// (dbus-launch), which leaves a process and files behind.
bool sessionBusAround()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}
#endif
} // namespace

DesktopNotifier::DesktopNotifier(const QIcon &icon, QObject *parent) : QObject(parent), m_icon(icon)
{
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::notify(const QString &summary, const QString &body, bool urgent)
{
    Q_EMIT notified(summary, body);
#ifdef Q_OS_LINUX
    if (sessionBusAround()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.Notifications"),
                QStringLiteral("/org/freedesktop/Notifications"),
                QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
            QVariantMap hints;
            hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(urgent ? 2 : 1)));
            const QString entry = QGuiApplication::desktopFileName();
            if (!entry.isEmpty())
                hints.insert(QStringLiteral("desktop-entry"), entry);
            call << QStringLiteral("txpanel") << uint(0)
                 << (entry.isEmpty() ? QStringLiteral("dialog-warning") : entry) << summary << body
                 << QStringList() << hints << int(-1);
            auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
            connect(watcher, &QDBusPendingCallWatcher::finished, this,
                    [this, watcher, summary, body, urgent] {
                        if (watcher->isError())
                            showInTray(summary, body, urgent);
                        watcher->deleteLater();
                    });
            return;
        }
    }
#endif
    showInTray(summary, body, urgent);
}

void DesktopNotifier::showInTray(const QString &summary, const QString &body, bool urgent)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(m_icon, this);
        m_tray->setToolTip(QStringLiteral("txpanel"));
        m_tray->show();
    }
    m_tray->showMessage(summary, body,
                        urgent ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information, 15000);
}
