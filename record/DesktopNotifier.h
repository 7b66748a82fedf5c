// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

// Tells the operator something the panel's window cannot show without
// changing its layout, as a desktop notification that never blocks and needs
// no answer. On Linux through the desktop's notification service
// (org.freedesktop.Notifications on the session bus), asked without waiting
// for its reply; where there is none (no session bus, no service: the call
// fails later, never in the way), or on another system, as a balloon of a
// tray icon when the desktop has a tray; otherwise not at all, and the
// window title says it alone.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(const QIcon &icon, QObject *parent = nullptr);
    ~DesktopNotifier() override;

    void notify(const QString &summary, const QString &body, bool urgent);

Q_SIGNALS:
    // Handed to the desktop (whatever the desktop then does with it).
    void notified(const QString &summary, const QString &body);

private:
    void showInTray(const QString &summary, const QString &body, bool urgent);
    QIcon m_icon;
    QSystemTrayIcon *m_tray = nullptr;
};
