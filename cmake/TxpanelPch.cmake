# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The Qt headers that most of the panel's sources include, precompiled once for
# the core library; the benchmarks reuse its precompiled header, the tests one
# that adds QtTest. A source still includes what it uses: the Windows syntax
# check and clazy read every source without these.
# The widget-free library takes only Qt Core's and Serial Port's: a widget
# header there would hide one that a source must not include.
set(TXPANEL_PCH_CORE_HEADERS
    <QByteArray>
    <QDateTime>
    <QElapsedTimer>
    <QFile>
    <QJsonArray>
    <QJsonDocument>
    <QJsonObject>
    <QObject>
    <QSerialPort>
    <QSettings>
    <QString>
    <QStringList>
    <QTimer>
    <memory>
    <vector>)
set(TXPANEL_PCH_HEADERS ${TXPANEL_PCH_CORE_HEADERS} <QApplication> <QMainWindow> <QPainter>
                        <QPushButton> <QWidget>)
