// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/frmTerminale.h"

#include "link/LinkEngine.h"
#include "link/LinkLine.h"
#include "link/MSComm.h"
#include "panel/Key3D.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {
// An end that has not come this long after the engine's own supervision
// would have given up on the transmitter never will: the process ends.
constexpr int EndGraceMs = 5000;
} // namespace

frmTerminale::frmTerminale(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmTerminale"));
    // The link is the window's, not the layout's: it exists before any control.
    m_engine = new LinkEngine(this);
    MSComm1 = m_engine->port();
    buildFrontPanel();
    connectHandlers();
    connectEngine();
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
    connect(ssRfSwitch, &RibbonSwitch::PressedChanged, this, &frmTerminale::rfSwitchChanged);
    connect(mnuFilePort, &QAction::triggered, this, &frmTerminale::mnuFilePort_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmTerminale::mnuFileExit_Click);

    connect(timer1, &QTimer::timeout, this, &frmTerminale::timer1_Timer);
    connect(tmrTimeOut, &QTimer::timeout, this, &frmTerminale::tmrTimeOut_Timer);
    connect(tmrPausa, &QTimer::timeout, this, &frmTerminale::tmrPausa_Timer);
    connect(tmrPausaLabel, &QTimer::timeout, this, &frmTerminale::tmrPausaLabel_Timer);
    connect(tmrNotProgrammed, &QTimer::timeout, this, &frmTerminale::tmrNotProgrammed_Timer);
}

void frmTerminale::Form_Load()
{
    // The files are looked at before anything is read from them.
    SettingsStore::check();
    Comm = SettingsStore::read(QStringLiteral("Comm"));
    LimitUp = SettingsStore::read(QStringLiteral("LimitUp"));
    LimitDown = SettingsStore::read(QStringLiteral("LimitDown"));
    m_linkDevice = LinkLine::storedDevice();
    if (LimitUp.toString().isEmpty() && LimitDown.toString().isEmpty()) {
        LimitUp = qint32(BandLimits::DefaultUp);
        LimitDown = qint16(BandLimits::DefaultDown);
    }
    // What the keypad checks: absent keys open, anything else the engineer
    // wrote a whole number of kHz or the band closes; no band from a damaged store.
    Band = SettingsStore::usable()
               ? BandLimits::fromStored(
                     SettingsStore::value(SettingsStore::Section, QStringLiteral("LimitUp")),
                     SettingsStore::value(SettingsStore::Section, QStringLiteral("LimitDown")),
                     SettingsStore::misspeltKeys())
               : BandLimits::closed(QStringLiteral("the settings file cannot be used (") +
                                    SettingsStore::problem() + QLatin1Char(')'));
    m_engine->setBand(Band);
    m_engine->setLine(lineFor(Comm));

    setDisplayEnabled(true);
    cmdKey(KeypadKey::Ok)->setEnabled(false);
    DigitPosition = 1;
    Ripristina();
    tmrTimeOut->setEnabled(false);
    cmdSend->setEnabled(false);
    showPort();

    // The window has its final size only once its layout has run.
    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(centredPosition(screen->geometry(), frameGeometry().size()));

    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    sbrStatus->setPanelValue(StatusPanel::Settings, MSComm1->lineSettingsText());

    // Until the transmitter reports a frequency, the digits' own is the one shown now.
    ReportedFrequency.clear();
    for (int i = 1; i <= 5; ++i)
        ReportedFrequency += QString::number(ledDigit(i)->DigitValue());

    // Said once, at start-up: a damaged store (no port, no frequency can be
    // sent, the file left alone), or a key the store holds under a name the
    // panel does not read.
    if (!SettingsStore::usable()) {
        lblCommunications(0)->setText(QStringLiteral("SETTINGS DAMAGED - BAND CLOSED"));
        lblCommunications(0)->setToolTip(SettingsStore::problem());
    } else if (!SettingsStore::misspeltKeys().isEmpty()) {
        lblCommunications(0)->setText(
            QStringLiteral("SETTING %1 NOT USED").arg(SettingsStore::misspeltKeys().constFirst()));
        lblCommunications(0)->setToolTip(
            QStringLiteral("Key names are case-sensitive: Comm, LimitUp, LimitDown"));
    }
}

void frmTerminale::noteStartupProblem(const QString &label, const QString &why)
{
    ReadoutLabel *said = lblCommunications(0);
    // A damaged store or a misspelt key is told first: it closes the band.
    if (said->text().isEmpty())
        said->setText(label);
    said->setToolTip(said->toolTip().isEmpty() ? why : said->toolTip() + QLatin1Char('\n') + why);
}

void frmTerminale::noteStartupWarning(const QString &text)
{
    ReadoutLabel *said = lblCommunications(0);
    if (!said->toolTip().contains(text))
        said->setToolTip(said->toolTip().isEmpty() ? text
                                                   : said->toolTip() + QLatin1Char('\n') + text);
}

void frmTerminale::showPort()
{
    // A device named outright ([Link] Device) is the line, whatever Comm says.
    sbrStatus->setPanelValue(StatusPanel::Port,
                             m_linkDevice.isEmpty() ? Comm.toString() : lineFor(Comm).name);
}

QPoint frmTerminale::centredPosition(const QRect &screen, const QSize &window)
{
    const float left = (float(screen.width()) - float(window.width())) / 2.0f;
    const float top = (float(screen.height()) - float(window.height())) / 2.0f;
    return QPoint(screen.left() + int(left), screen.top() + int(top));
}

void frmTerminale::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Before the first show the window system has not told the frame's size,
    // so start-up centred the client area alone; the frame follows shortly
    // after the window is mapped.
    if (m_centringTries == 0) {
        centreWithFrame();
        // Once shown, and from the event loop: the connection then runs as
        // if the operator had pressed ON.
        QTimer::singleShot(0, this, &frmTerminale::connectAtStartIfAsked);
    }
}

void frmTerminale::centreWithFrame()
{
    constexpr int MaxTries = 40;
    constexpr int RetryMs = 50;
    ++m_centringTries;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize frame = frameGeometry().size();
    if (frame != size()) {
        move(centredPosition(screen->geometry(), frame));
        return;
    }
    // No frame yet: a window manager may still be adding one. Without any
    // (a bare display), the window is its own frame and already centred.
    if (m_centringTries < MaxTries)
        QTimer::singleShot(RetryMs, this, &frmTerminale::centreWithFrame);
}

void frmTerminale::closeEvent(QCloseEvent *event)
{
    int Cancel = 0;
    Form_QueryUnload(Cancel, 0);
    if (Cancel)
        event->ignore();
    else
        event->accept();
}

void frmTerminale::Form_QueryUnload(int &Cancel, int UnloadMode)
{
    Q_UNUSED(UnloadMode)
    // The window stays until the line is closed and the station has written
    // what it holds; the event loop then returns and takes the window with it.
    Cancel = 1;
    endProgram(QStringLiteral("close box"));
}

void frmTerminale::mnuFileExit_Click()
{
    endProgram(QStringLiteral("File, Exit"));
}

void frmTerminale::endProgram(const QString &way)
{
    if (ending())
        return;
    m_endingWay = way;
    // The connection does not go on: nothing more is asked of the operator.
    cmdPower->setEnabled(false);
    cmdDisconnect->setEnabled(false);
    m_endWatchdog = new QTimer(this);
    m_endWatchdog->setSingleShot(true);
    connect(m_endWatchdog, &QTimer::timeout, this, [] {
        std::fputs("txpanel: the link did not close in time; ending at once\n", stderr);
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    });
    m_endWatchdog->start(m_engine->supervisionTimer().interval() + EndGraceMs);
    // A programming under way is finished first; then the line closes and
    // finishEnd follows (at once when nothing had to be finished).
    m_engine->shutDown();
}

void frmTerminale::finishEnd()
{
    if (m_endWatchdog)
        m_endWatchdog->stop();
    timer1->setEnabled(false);
    Q_EMIT programEnding(m_endingWay);
    // Leaves every event loop, a modal box's too; main() then returns 0.
    QCoreApplication::exit(0);
}
