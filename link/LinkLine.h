// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where an engine's line goes.
struct LinkLine
{
    QString port;    // the port as the settings name it ("1", or the device); published by the feed
    QString name;    // how messages name it ("COM1")
    QString device;  // what opens ("/dev/ttyUSB0", "/dev/serial/by-id/…")
    QString problem; // why no device can be opened (no port chosen…); empty when one can

    // Port number N (1 to 255): TXPANEL_COM<N> when set, else the system's
    // N-th serial port, looked up now.
    static LinkLine forPort(const QString &portText);
    // A device named outright ([Link] Device): a /dev/serial/by-id/ name stays
    // with its adapter across a replug.
    static LinkLine forDevice(const QString &device);
    // What the settings ask for: [Link] Device when set, else the port number
    // stored as [Startup] Comm (given, as the panel may hold a newer choice).
    static LinkLine fromStore(const QString &comm);
    // [Link] Device as stored, trimmed; empty when not set.
    static QString storedDevice();
};
