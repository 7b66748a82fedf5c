#pragma once

#include <QDialog>

class QCloseEvent;
class QKeyEvent;
class QPushButton;
class QRadioButton;
class frmTerminale;

// The port dialog: the operator picks the serial port the transmitter is on.
// The choice is stored only on Ok; Cancel and the close box leave everything as it was.
class frmCom : public QDialog
{
    Q_OBJECT
public:
    explicit frmCom(frmTerminale *owner);

    void Form_Load();
    void cmdOkCom_Click();
    void cmdCancelCom_Click();

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
    frmTerminale *m_owner = nullptr;
    // Set while a handler ends the dialog, so the real rejection is not swallowed.
    bool m_closing = false;
};
