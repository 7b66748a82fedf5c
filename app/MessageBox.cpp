// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/MessageBox.h"

void showCriticalMessage(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("WarningBox"));
    box.exec();
}

void showCriticalMessageLater(QWidget *owner, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok, owner);
    box->setObjectName(QStringLiteral("WarningBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
