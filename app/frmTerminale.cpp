#include "app/frmTerminale.h"

#include "app/ProgramEnd.h"
#include "link/MSComm.h"
#include "panel/Key3D.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

frmTerminale::frmTerminale(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmTerminale"));
    buildFrontPanel();
    connectHandlers();
    Form_Load();
}

frmTerminale::~frmTerminale() = default;

void frmTerminale::connectHandlers()
{
    for (int index = cmdKey.lowerBound(); index <= cmdKey.upperBound(); ++index)
        connect(cmdKey(index), &Key3D::keyClicked, this, &frmTerminale::cmdKey_Click);
    connect(cmdPower, &QPushButton::clicked, this, &frmTerminale::cmdPower_Click);
    connect(cmdDisconnect, &QPushButton::clicked, this, &frmTerminale::cmdDisconnect_Click);
    connect(cmdSend, &QPushButton::clicked, this, &frmTerminale::cmdSend_Click);
    connect(cmdSetFrequency, &QPushButton::clicked, this, &frmTerminale::cmdSetFrequency_Click);
    connect(mnuFilePort, &QAction::triggered, this, &frmTerminale::mnuFilePort_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmTerminale::mnuFileExit_Click);

    connect(timer1, &QTimer::timeout, this, &frmTerminale::timer1_Timer);
    connect(tmrTimeOutComm, &QTimer::timeout, this, &frmTerminale::tmrTimeOutComm_Timer);
    connect(tmrTimeOut, &QTimer::timeout, this, &frmTerminale::tmrTimeOut_Timer);
    connect(tmrPausa, &QTimer::timeout, this, &frmTerminale::tmrPausa_Timer);
    connect(tmrPausaLabel, &QTimer::timeout, this, &frmTerminale::tmrPausaLabel_Timer);
}

void frmTerminale::Form_Load()
{
    Comm = SettingsStore::read(QStringLiteral("Comm"));
    LimitUp = SettingsStore::read(QStringLiteral("LimitUp"));
    LimitDown = SettingsStore::read(QStringLiteral("LimitDown"));
    if (LimitUp.toString().isEmpty() && LimitDown.toString().isEmpty()) {
        LimitUp = qint32(1000000);
        LimitDown = qint16(0);
    }

    DisplayEnabled = true;
    cmdKey(11)->setEnabled(false);
    DigitPosition = 1;
    Ripristina();
    tmrTimeOut->setEnabled(false);
    cmdSend->setEnabled(false);
    sbrStatus->setPanelText(3, QStringLiteral("Com: ") + Comm.toString());

    // The window has its final size only once its layout has run.
    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(centredPosition(screen->geometry(), frameGeometry().size()));

    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    sbrStatus->setPanelText(QStringLiteral("Settings"),
                            QStringLiteral("Settings: ") + MSComm1->lineSettingsText());

    // A damaged or inaccessible settings file: the panel runs on the defaults,
    // says so once, and leaves the file alone until the operator stores a port.
    if (!SettingsStore::readable())
        lblCommunications(0)->setText(QStringLiteral("SETTINGS NOT READABLE - DEFAULTS IN USE"));
}

QPoint frmTerminale::centredPosition(const QRect &screen, const QSize &window)
{
    const float left = (float(screen.width()) - float(window.width())) / 2.0f;
    const float top = (float(screen.height()) - float(window.height())) / 2.0f;
    return QPoint(screen.left() + int(left), screen.top() + int(top));
}

void frmTerminale::closeEvent(QCloseEvent *event)
{
    int Cancel = 0;
    Form_QueryUnload(Cancel, 0);
    event->accept();
}

void frmTerminale::Form_QueryUnload(int &Cancel, int UnloadMode)
{
    Q_UNUSED(Cancel)
    Q_UNUSED(UnloadMode)
    // Ending the process releases the port; nothing is saved on this path.
    endProgramNow();
}

void frmTerminale::mnuFileExit_Click()
{
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    endProgramNow();
}
