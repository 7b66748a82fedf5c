// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "link/ConnectionState.h"
#include "link/TxReading.h"
#include "panel/ControlArray.h"
#include "settings/ProgramValues.h"

#include <QDateTime>
#include <QMainWindow>
#include <QString>

#include <array>

class QAction;
class QLabel;
class QTimer;
class QMenu;
class QPushButton;
class QWidget;
class Key3D;
class LedBar;
class LedDigit;
class LedLamp;
class LineWidget;
class LinkEngine;
class MSComm;
class Panel3D;
class PanelStatusBar;
class PanelTimer;
class ReadoutLabel;
class RibbonSwitch;
class ShapeWidget;
struct LinkLine;

// The transmitter's front panel: the program's main window.
//
// Its handlers and methods carry the names the operator's manual and the
// transmitter's protocol notes use; each lives in the folder of its subsystem:
// start-up, shutdown, power sequence and clock in app/, the looks in panel/,
// keypad, display, programming and entry timers in tuning/, the port dialog
// in settings/.
//
// The window is a view of its link engine (LinkEngine), which owns the line
// and runs every exchange from the event loop: the handlers hand the
// operator's clicks to the engine and return at once, and the engine's
// signals paint the read-outs, lamps and digits as each exchange completes.
// Nothing here waits for the transmitter.
class frmTerminale : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmTerminale(QWidget *parent = nullptr);
    ~frmTerminale() override;

    // The link to the transmitter this window shows and drives.
    LinkEngine &engine() const { return *m_engine; }

    // --- start-up and shutdown (app/frmTerminale.cpp) ---
    void Form_Load();
    // The close box, a logout or a shutdown: the program ends as File, Exit ends it.
    void Form_QueryUnload(int &Cancel, int UnloadMode);
    void mnuFileExit_Click();
    // Ends the program, whichever way it was asked ("File, Exit", "close
    // box", "SIGTERM"...): the engine finishes a programming under way and
    // closes the line, then programEnding() lets the station write what it
    // holds, and the event loop returns 0.
    void endProgram(const QString &way);
    bool ending() const { return !m_endingWay.isEmpty(); }
    // Top-left corner that centres a window of that size on that screen; not
    // clamped, so a window larger than the screen gets a negative corner.
    static QPoint centredPosition(const QRect &screen, const QSize &window);
    // A capability that cannot start says so once, where the settings'
    // start-up messages go: the label's text when nothing else is said there,
    // and the reason in its tool tip, which stays once a connection has
    // taken the text over.
    void noteStartupProblem(const QString &label, const QString &why);
    // Something to know, not a fault: the label's tool tip only.
    void noteStartupWarning(const QString &text);

    // --- power and connection sequence (app/power.cpp) ---
    // Hands ON or OFF to the engine and returns at once; the button stays
    // disabled while the engine connects, polls or resumes.
    void cmdPower_Click();
    void cmdDisconnect_Click();
    // The engine's state, as this window has shown it.
    ConnectionState connectionState() const { return m_connectionState; }
    // DISCONNECT was pressed in this power-on: an end of connection (or of
    // resuming) now is the operator's, not a lost link.
    bool disconnectAsked() const;

    // --- unattended operation (app/unattended.cpp) ---
    // With [Link] ConnectAtStart, presses ON once the window is shown.
    void connectAtStartIfAsked();
    // [Link] Resume: a lost link is tried again until it answers.
    bool resumeAsked() const;
    // The label while the panel tries to connect again.
    static constexpr QLatin1String LinkDownRetrying{" LINK DOWN - RETRYING "};
    // The label while what answers on the port is not the transmitter lost.
    static constexpr QLatin1String OtherDeviceOnPort{" OTHER DEVICE ON PORT "};

    // --- connection clock (app/clock.cpp) ---
    void StartConnectionClock();
    void timer1_Timer();
    void StopConnectionClock();
    // "hh:mm:ss" of the elapsed time, hours counting on past a day; 00:00:00 when negative.
    static QString formatElapsed(qint64 elapsedSeconds);

    // Shows " DISCONNECTED " once "FREQUENCY NOT PROGRAMMED" has been read.
    void tmrNotProgrammed_Timer();

    // --- panel looks (panel/looks.cpp) ---
    void Turn_On();  // the lit look of a connection in progress
    void Turn_Off(); // the unlit look of no connection
    void tmrPausaLabel_Timer();

    // --- serial port and command exchange (app/linkview.cpp) ---
    // Sets the line up and opens it: true once open; false with
    // PortFailureReason telling why.
    bool InitializeComPort(const QVariant &PortNumber);
    // Starts one exchange outside a connection (false: the line is busy);
    // its reply comes with the engine's exchangeCompleted().
    bool fncCommandMicro(quint8 bytCommand);
    // The reply in flight will not come: "No reply from TX".
    void tmrTimeOutComm_Timer();

    // --- status poll (app/linkview.cpp) ---
    // Starts one status cycle outside a connection; the engine's
    // readingTaken() tells its end.
    bool ReadDataSerial();
    qint16 Atoi(const QString &Value); // a reply's leading number, 0 when empty
    // A frequency reply onto the digits, remembered as the transmitter's.
    void showReportedFrequency(const QString &report);
    // The transmitter's last reading, as the status cycles decoded it, and
    // the status cycles completed in this connection.
    const TxReading &reading() const;
    quint64 statusCycles() const;
    // The firmware text of the connection in progress (empty when none).
    QString firmware() const;
    // The RF switch, pressed or let go, told to the engine; a press made
    // while no poll runs springs back at once.
    void rfSwitchChanged(bool pressed);

    // --- frequency display and restore (tuning/display.cpp) ---
    // The digits follow the transmitter's reports (true) or belong to the
    // keypad; the engine asks the frequency only in the first case.
    void setDisplayEnabled(bool enabled);
    void DisplayFrequency(const QString &sFrequency);
    void cmdSetFrequency_Click();
    void Ripristina(); // back to the transmitter's frequency: keys and SEND off

    // --- keypad (tuning/keypad.cpp) ---
    void cmdKey_Click(int Index);
    // Keys first to last (KeypadKey indices) enabled or disabled, in index order.
    void setKeysEnabled(int first, int last, bool enabled);

    // --- frequency programming (tuning/programming.cpp) ---
    void cmdSend_Click();
    // Programs the digits SEND took into the transmitter, outside a
    // connection; the engine's frequencyProgrammed() tells its end. In a
    // connection SEND hands them to the engine, which programs them between
    // two status cycles.
    bool ImpostaFrequenza();

    // --- entry blink and pause timers (tuning/entrytimers.cpp) ---
    void tmrTimeOut_Timer();
    void tmrPausa_Timer();
    void PausaFreq(); // the SEND window is over: Ripristina

    // --- port dialog (settings/portmenu.cpp) ---
    void mnuFilePort_Click();
    // Before a power-on with no port stored, the operator must pick one.
    // True when a port is stored already or the operator chose one with Ok;
    // false when the dialog was cancelled and the power-on must not go ahead.
    bool askForPortIfNone();
    // The chosen port in use, on the status bar, and stored (or the operator
    // told why it could not be).
    void applyPortChoice(const QString &port);
    // The port in use, on the status bar's port panel.
    void showPort();

    // --- form-level state ---
    // Kept by the view as the engine's steps complete; the engine holds the
    // truth (its state, its latched stop, its pending programming).
    bool PowerOn = false;
    bool AbortComm = false;     // a stop waits, or the last exchange got no reply
    bool ReplyTimedOut = false; // from "No reply from TX" to the end of that exchange
    bool SendRequest = false;   // SEND clicked: waiting for the engine to take the digits
    // The digits show the transmitter's reports, not an entry (set through
    // setDisplayEnabled, which tells the engine).
    bool DisplayEnabled = false;
    QString ReplyText;
    qint16 DigitPosition = 0;             // the entry's cursor digit, 1 to 5
    std::array<QString, 8> EnteredDigits; // the digits typed, at [1] to [5]
    qint16 TickCount = 0;                 // half-second ticks since the entry opened
    QDateTime ConnectionStart;
    // The on-air reply of the latest status cycle that got that far.
    QString RfStatus;
    // The five digits accepted by "OK" as they stood when SEND was clicked:
    // programming sends these, whatever is typed meanwhile.
    std::array<QString, 6> SendDigits;
    // Why the port could not be opened at the last power-on (empty when it opened).
    QString PortFailureReason;
    // The five frequency digits as the transmitter last reported them (as
    // shown at start-up until it reports one). The digits go back to these
    // when a connection ends while they hold a frequency only typed.
    QString ReportedFrequency;
    // The LED digits hold typed digits that the transmitter has not reported.
    bool DisplayHoldsTyped = false;

    // --- controls, by their names; containers as the layout tables give them ---
    QWidget *window = nullptr;       // the client area (central widget)
    Panel3D *SSPanel4 = nullptr;     // frame of the banner
    QLabel *Image1 = nullptr;        // the banner's logo
    QLabel *Image2 = nullptr;        // striped picture, mostly behind the tuning panel
    ShapeWidget *Shape1 = nullptr;   // grey field behind the lamps
    Panel3D *SSPanel1 = nullptr;     // frame of the temperature read-out
    ReadoutLabel *lblTemp = nullptr; // temperature read-out
    ReadoutLabel *Label7 = nullptr;  // caption "°C  TEMPERATURE"
    LedLamp *ledTemp = nullptr;      // ALARM TEMP lamp
    ReadoutLabel *Label1 = nullptr;  // caption "ALARM TEMP"
    LedLamp *ledLock = nullptr;      // LOCK lamp
    ReadoutLabel *Label8 = nullptr;  // caption "LOCK"
    LedLamp *ledRfInhibit = nullptr; // ON THE AIR lamp
    ReadoutLabel *Label9 = nullptr;  // caption "ON THE AIR"
    Panel3D *SSPanel2 = nullptr;     // frame of the communications read-out
    ControlArray<ReadoutLabel> lblCommunications{0}; // the panel's messages
    Panel3D *SSPanel3 = nullptr;                     // the tuning panel
    Panel3D *SSPanel7 = nullptr;                     // frame of the LED frequency display
    ShapeWidget *Shape9 = nullptr;                   // black field behind the digits
    ControlArray<LedDigit> ledDigit{1};              // the frequency digits, left to right
    ShapeWidget *shpPunto = nullptr;                 // the decimal point
    ReadoutLabel *Label5 = nullptr;                  // caption "MHz"
    Panel3D *SSPanel5 = nullptr;                     // frame of the forward power read-out
    ControlArray<ReadoutLabel> lblDirDigital{0};     // forward power read-out
    ReadoutLabel *Label11 = nullptr;                 // caption "W" of the forward power
    ReadoutLabel *Label4 = nullptr;                  // caption "RF - FORWARD"
    Panel3D *SSPanel6 = nullptr;                     // frame of the reflected power read-out
    ControlArray<ReadoutLabel> lblRefDigital{0};     // reflected power read-out
    ReadoutLabel *Label12 = nullptr;                 // caption "W" of the reflected power
    ReadoutLabel *Label6 = nullptr;                  // caption "RF - REFLECTED"
    ControlArray<Key3D> cmdKey{0};                   // the keypad, by KeypadKey index
    ReadoutLabel *Label3 = nullptr;                  // caption "SETTING FREQUENCY"
    LedBar *ledDeviation = nullptr;                  // deviation bar graph
    LineWidget *Line3 = nullptr;                     // Line3 to Line6: the keypad's guide lines
    LineWidget *Line4 = nullptr;
    LineWidget *Line6 = nullptr;
    LineWidget *Line5 = nullptr;
    LineWidget *Line2 = nullptr;   // rule under the power read-outs
    ShapeWidget *Shape2 = nullptr; // grey column from ON THE AIR down to RF INHIBIT
    ShapeWidget *Shape6 = nullptr; // grey field joining that column to the tuning panel
    QPushButton *cmdSend = nullptr;
    QPushButton *cmdSetFrequency = nullptr;
    QPushButton *cmdDisconnect = nullptr;
    RibbonSwitch *ssRfSwitch = nullptr; // RF INHIBIT
    ShapeWidget *Shape3 = nullptr;      // field behind the power button
    QPushButton *cmdPower = nullptr;    // ON / OFF
    ReadoutLabel *Label2 = nullptr;     // caption "POWER"
    PanelStatusBar *sbrStatus = nullptr;

    PanelTimer *timer1 = nullptr; // ticks the connection clock each second
    // How long a reply may take: the engine's own supervision.
    QTimer *tmrTimeOutComm = nullptr;
    PanelTimer *tmrTimeOut = nullptr;    // blinks the entry's cursor digit
    PanelTimer *tmrPausa = nullptr;      // the ten-second window in which SEND is offered
    PanelTimer *tmrPausaLabel = nullptr; // puts "COMMUNICATIONS IN PROGRESS" back after a message
    // After a programming cut short by a lost reply: how long "FREQUENCY NOT
    // PROGRAMMED" stays before the ended connection says " DISCONNECTED ".
    PanelTimer *tmrNotProgrammed = nullptr;
    // How often a lost link is tried again, with [Link] Resume: the engine's.
    QTimer *tmrResume = nullptr;

    MSComm *MSComm1 = nullptr; // the serial line to the transmitter, the engine's

    QMenu *mnuFile = nullptr;
    QAction *mnuFilePort = nullptr;
    QAction *mnuFileExit = nullptr;

Q_SIGNALS:
    // The engine's state, once the window shows it.
    void connectionStateChanged(ConnectionState state);
    // A port chosen with the port dialog's Ok, and whether it was stored.
    void portChosen(const QString &port, bool stored);
    // The line is closed for good and the event loop is about to return:
    // whatever holds data writes it now. The way the end was asked for.
    void programEnding(const QString &way);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Builds every control in its design state (panel/frontpanel.cpp).
    void buildFrontPanel();
    // Wires clicks and timer ticks to their handlers (app/frmTerminale.cpp).
    void connectHandlers();
    // Wires the engine's signals to what they paint (app/linkview.cpp).
    void connectEngine();
    // The line the stored port names, for the engine.
    LinkLine lineFor(const QVariant &PortNumber) const;
    // [Link] Device as read at start-up: the store is not read again while
    // the panel runs (a file swapped for a pipe since would hold it up).
    QString m_linkDevice;

    // What the engine's signals paint (app/power.cpp, app/linkview.cpp).
    void showState(ConnectionState state);
    void showConnected(const QString &firmware);
    void showNoReply();
    void showPortFailure(const QString &reason);
    void showResumeAttempt(bool answered);
    void showOtherDevice(const QString &why);
    void showLineNotice(const QString &text);
    void showExchange(quint8 command, const QString &reply, bool lost);
    void showProgrammingStarted();
    void showProgrammed(qint32 fromKHz, qint32 toKHz, bool programmed, bool lost);
    void finishEnd();
    // End of a connection: read-outs zeroed, clock stopped, lamps dark.
    void endConnection();
    // The view of a power-off; a power-on that got no reply enters without Turn_Off.
    void powerOff(bool callTurnOff);
    // Shows the operator why the port could not be opened (app/power.cpp).
    void reportPortFailure();
    // Panel 1's picture from an icon file of the working directory, or the
    // built-in picture of the same meaning when the file is missing.
    void showConnectionIcon(bool connected);
    // Closes a frequency entry left open when its connection ends, and puts
    // the transmitter's last reported frequency back on the digits (tuning/display.cpp).
    void closeEntryAtEnd();
    // Centres the window with its frame once the window system has told the
    // frame's size; retried briefly after the first show (app/frmTerminale.cpp).
    void centreWithFrame();

    LinkEngine *m_engine = nullptr;
    ConnectionState m_connectionState = ConnectionState::Off;
    // A programming that lost its reply: the end of the connection keeps
    // "FREQUENCY NOT PROGRAMMED" up for a while instead of replacing it at once.
    bool m_programmingLost = false;
    // How the end of the program was asked for; empty while it runs on.
    QString m_endingWay;
    // Ends the process should the orderly end never come.
    QTimer *m_endWatchdog = nullptr;
    int m_centringTries = 0;
};
