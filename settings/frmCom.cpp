// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings/frmCom.h"

#include "panel/PanelColors.h"
#include "panel/Twips.h"
#include "settings/ProgramValues.h"

#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

namespace {

QPixmap connectorPicture(int side)
{
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, side / 16.0));
    painter.setBrush(PanelColor::toQColor(PanelColor::LightGrey));
    const qreal margin = side / 8.0;
    painter.drawRoundedRect(QRectF(margin, side / 4.0, side - 2 * margin, side / 2.0), side / 8.0,
                            side / 8.0);
    painter.setBrush(Qt::yellow);
    const qreal pin = side / 10.0;
    for (int i = 0; i < 3; ++i)
        painter.drawEllipse(QPointF(side * (0.3 + 0.2 * i), side / 2.0), pin, pin);
    return picture;
}
} // namespace

frmCom::frmCom(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCom"));
    setWindowTitle(QStringLiteral("Menu Com Port"));
    setFixedSize(362, 162);
    setAutoFillBackground(true);
    QPalette navy = palette();
    navy.setColor(QPalette::Window, PanelColor::toQColor(PanelColor::DialogNavy));
    setPalette(navy);
    QIcon icon;
    icon.addPixmap(connectorPicture(32));
    icon.addPixmap(connectorPicture(16));
    setWindowIcon(icon);

    cmdCancelCom = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancelCom->setObjectName(QStringLiteral("cmdCancelCom"));
    cmdCancelCom->setGeometry(Twips::toPixels(360, 1320, 1665, 675));
    cmdOkCom = new QPushButton(QStringLiteral("Ok"), this);
    cmdOkCom->setObjectName(QStringLiteral("cmdOkCom"));
    cmdOkCom->setGeometry(Twips::toPixels(330, 330, 1665, 675));
    optCom1 = new QRadioButton(QStringLiteral("Comm1"), this);
    optCom1->setObjectName(QStringLiteral("optCom1"));
    optCom1->setGeometry(Twips::toPixels(3465, 660, 1170, 345));
    optCom2 = new QRadioButton(QStringLiteral("Comm2"), this);
    optCom2->setObjectName(QStringLiteral("optCom2"));
    optCom2->setGeometry(Twips::toPixels(3465, 1320, 1170, 345));

    // The buttons inherit the navy window colour; the option captions would vanish in it.
    for (QRadioButton *option : {optCom1, optCom2}) {
        QPalette white = option->palette();
        white.setColor(QPalette::WindowText, Qt::white);
        option->setPalette(white);
    }
    // Enter must not pick a button for the operator: each choice takes a deliberate click.
    for (QPushButton *button : {cmdCancelCom, cmdOkCom}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    setTabOrder(cmdCancelCom, cmdOkCom);
    setTabOrder(cmdOkCom, optCom1);
    setTabOrder(optCom1, optCom2);

    connect(cmdOkCom, &QPushButton::clicked, this, &frmCom::cmdOkCom_Click);
    connect(cmdCancelCom, &QPushButton::clicked, this, &frmCom::cmdCancelCom_Click);

    Form_Load();
    cmdCancelCom->setFocus();
}

void frmCom::Form_Load()
{
    m_choice = Comm.toString();
    // Anything but port 1 (nothing stored, a stale or garbled value) offers port 2.
    if (Comm.toString() == QLatin1String("1"))
        optCom1->setChecked(true);
    else
        optCom2->setChecked(true);
}

void frmCom::cmdOkCom_Click()
{
    if (optCom1->isChecked())
        m_choice = QStringLiteral("1");
    else if (optCom2->isChecked())
        m_choice = QStringLiteral("2");
    m_closing = true;
    accept();
    m_closing = false;
}

void frmCom::cmdCancelCom_Click()
{
    m_closing = true;
    QDialog::reject();
    m_closing = false;
}

void frmCom::reject()
{
    if (m_closing)
        QDialog::reject();
}

void frmCom::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmCom::closeEvent(QCloseEvent *event)
{
    // Once a handler has ended the dialog, closing is only the window going away.
    if (!isVisible() || m_closing) {
        event->accept();
        return;
    }
    event->ignore();
    cmdCancelCom_Click();
}
