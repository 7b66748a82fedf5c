// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QTimer>

// A window timer with the operator panel's Enabled semantics: enabling a
// stopped timer starts a full interval, enabling a running one leaves its
// period as it is, disabling stops it. isActive() is Enabled.
class PanelTimer : public QTimer
{
    Q_OBJECT
public:
    PanelTimer(const QString &name, int intervalMs, QObject *parent);

    void setEnabled(bool enabled);
    bool isEnabled() const { return isActive(); }
};
