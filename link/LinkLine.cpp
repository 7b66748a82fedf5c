// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkLine.h"

#include "link/MSComm.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>

LinkLine LinkLine::forPort(const QString &portText)
{
    LinkLine line;
    bool isNumber = false;
    const QString trimmed = portText.trimmed();
    const int port = trimmed.toInt(&isNumber);
    line.port = portText;
    if (trimmed.isEmpty()) {
        line.problem = QCoreApplication::translate(
            "frmTerminale", "No serial port has been chosen yet (File, Setting Port).");
    } else if (!isNumber || port < 1 || port > 255) {
        line.problem = QCoreApplication::translate("frmTerminale",
                                                   "\"%1\" is not a serial port number (1 to 255).")
                           .arg(trimmed);
    } else {
        line.name = QStringLiteral("COM%1").arg(port);
        // Looked up at each power-on: TXPANEL_COM<N> may name another device now.
        line.device = MSComm::deviceNameFor(port);
    }
    return line;
}

LinkLine LinkLine::forDevice(const QString &device)
{
    LinkLine line;
    line.port = device;
    line.device = device;
    // "ttyUSB0", "serial/by-id/usb-…": the device without the folder all share.
    line.name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    if (!device.startsWith(QLatin1Char('/')))
        line.problem = QStringLiteral("[Link] Device \"%1\" is not a device's full path "
                                      "(such as /dev/serial/by-id/…)")
                           .arg(device);
    return line;
}

LinkLine LinkLine::fromStore(const QString &comm)
{
    const QString device = storedDevice();
    return device.isEmpty() ? forPort(comm) : forDevice(device);
}

QString LinkLine::storedDevice()
{
    const std::optional<QVariant> stored =
        SettingsStore::value(QStringLiteral("Link"), QStringLiteral("Device"));
    if (!stored || stored->typeId() != QMetaType::QString)
        return QString();
    return stored->toString().trimmed();
}
