// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// Gives each test its own empty settings store, so no test sees another's
// stored port or limits, and none touches the user's real settings.
class SettingsSandbox
{
public:
    SettingsSandbox();
    ~SettingsSandbox();
    void store(const QString &key, const QString &value);
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Points port number N at a device, as an installer would with TXPANEL_COM<N>.
void mapPort(int portNumber, const QString &device);
