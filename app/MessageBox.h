// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The modal warning the panel shows: critical-stop icon, one OK button. It runs
// its own event loop, so the window's timers keep firing while it is open.
void showCriticalMessage(QWidget *owner, const QString &title, const QString &text);
