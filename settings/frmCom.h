// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

class QCloseEvent;
class QKeyEvent;
class QPushButton;
class QRadioButton;

// The port dialog: the operator picks the serial port the transmitter is on.
// Ok accepts with the choice ("1" or "2"); Cancel and the close box reject.
// Storing and showing the choice is its caller's.
class frmCom : public QDialog
{
    Q_OBJECT
public:
    explicit frmCom(QWidget *parent = nullptr);

    void Form_Load();
    void cmdOkCom_Click();
    void cmdCancelCom_Click();
    // The port chosen with Ok; the stored one until then.
    QString choice() const { return m_choice; }

    QPushButton *cmdCancelCom = nullptr;
    QPushButton *cmdOkCom = nullptr;
    QRadioButton *optCom1 = nullptr;
    QRadioButton *optCom2 = nullptr;

public Q_SLOTS:
    // Escape must not dismiss the dialog; only the buttons and the close box end it.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_choice;
    // Set while a handler ends the dialog, so the real rejection is not swallowed.
    bool m_closing = false;
};
