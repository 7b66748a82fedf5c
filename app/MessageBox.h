// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The modal warning the panel shows: critical-stop icon, one OK button. It runs
// its own event loop while open: the link engine, the feed and every timer go
// on meanwhile.
void showCriticalMessage(QWidget *owner, const QString &title, const QString &text);
// The same warning, shown without waiting for it to be closed: for what the
// link engine's signals bring, which must never hold the engine.
void showCriticalMessageLater(QWidget *owner, const QString &title, const QString &text);
