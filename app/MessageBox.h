#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The modal warning the panel shows: critical-stop icon, one OK button. It runs
// its own event loop, so the window's timers keep firing while it is open.
void showCriticalMessage(QWidget *owner, const QString &title, const QString &text);
