# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The Qt headers that most of the panel's sources include, precompiled once for
# the core library; the benchmarks reuse its precompiled header, the tests one
# that adds QtTest. A source still includes what it uses: the Windows syntax
# check and clazy read every source without these.
set(TXPANEL_PCH_HEADERS
    <QApplication>
    <QByteArray>
    <QDateTime>
    <QElapsedTimer>
    <QFile>
    <QJsonArray>
    <QJsonDocument>
    <QJsonObject>
    <QMainWindow>
    <QObject>
    <QPainter>
    <QPushButton>
    <QSerialPort>
    <QSettings>
    <QString>
    <QStringList>
    <QTimer>
    <QWidget>
    <memory>
    <vector>)
