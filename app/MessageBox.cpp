#include "app/MessageBox.h"

void showCriticalMessage(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("WarningBox"));
    box.exec();
}
