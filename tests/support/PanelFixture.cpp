// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/PanelFixture.h"

#include "settings/SettingsStore.h"

#include <QSettings>

SettingsSandbox::SettingsSandbox()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

SettingsSandbox::~SettingsSandbox() = default;

void SettingsSandbox::store(const QString &key, const QString &value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::Application);
    settings.setValue(SettingsStore::Section + QLatin1Char('/') + key, value);
    settings.sync();
}

void mapPort(int portNumber, const QString &device)
{
    qputenv(QStringLiteral("TXPANEL_COM%1").arg(portNumber).toLatin1().constData(),
            device.toLocal8Bit());
}
