// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The [Control] section of the settings store: whether the panel (or the
// service) answers commands on its control socket, where that socket is, who
// may use it and what they may do to the transmitter.
//
// Off by default. A value the engineer wrote that cannot be used is never
// replaced by a default: a socket somewhere else, or a list of users
// silently dropped, would hand the transmitter to people nobody chose. The
// control then stays off and problem names the key.
struct ControlSettings
{
    // Asked for; an Enabled that is neither true nor false counts as asked
    // for, so that its problem is told.
    bool enabled = false;
    // The socket's path; absolute.
    QString socket;
    // Unix user names allowed on the socket; empty: whoever the socket's
    // mode and group let in.
    QStringList users;
    // Putting a transmitter on the air, or moving it, from afar is a choice
    // the station engineer makes; taking it off the air is always allowed.
    bool allowRfOn = false;
    bool allowFrequency = false;
    // The group the socket is given (mode 0660); empty: 0600, the owner only.
    QString group;
    // The socket is the desktop's default, in the user's runtime folder: its
    // folder is made, private, when missing.
    bool desktopFolder = false;
    // Why the stored values cannot be used; empty when they can.
    QString problem;

    // What the store says now; defaultSocket when [Control] Socket is not
    // set (empty: no default could be found, which is a problem then).
    // defaultGroup likewise when [Control] Group is not set (the service's
    // "txpanel"; the desktop's none).
    static ControlSettings fromStore(const QString &defaultSocket,
                                     const QString &defaultGroup = QString());
    // $XDG_RUNTIME_DIR/txpanel/control; empty when XDG_RUNTIME_DIR is unset.
    static QString desktopDefaultSocket();
    // /run/txpanel/<instance>/control
    static QString serviceDefaultSocket(const QString &instance);
};
