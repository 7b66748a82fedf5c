// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class frmCom;
class frmTerminale;
enum class ConnectionState;

// What every test does to the panel, done one way: its own settings store,
// the window on it, the power button and the keypad, the modal boxes, and
// the end of a connection that a failing test would otherwise poll for ever.
//
// Each test makes its own driver (in init(), or on the stack) and drops it at
// its end: the store's folder goes with it, the window first.
class PanelDriver : public QObject
{
    Q_OBJECT
public:
    // How the port dialog is left.
    enum class Answer
    {
        Ok,
        Cancel,
        CloseBox,
    };

    // What a modal box showed when it was answered.
    struct Box
    {
        bool portDialog = false; // the port dialog, otherwise a message box
        QString title;
        QString text; // a message box's text
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0; // a message box's buttons
        int result = -1; // the port dialog's result once it has ended
    };

    // The store in a temporary folder of its own, removed with the driver;
    // or in storeDir, a folder someone else owns and removes (a child
    // process that ends without unwinding gets its parent's).
    explicit PanelDriver(const QString &storeDir = QString());
    ~PanelDriver() override;
    PanelDriver(const PanelDriver &) = delete;
    PanelDriver &operator=(const PanelDriver &) = delete;

    // --- the settings store ---
    QString storeDir() const { return m_storeDir; }
    // The settings file the panel reads.
    QString storePath() const;
    // A key of [Startup], or of another section ("Link"), written to disk at once.
    void store(const QString &key, const QString &value);
    void store(const QString &section, const QString &key, const QString &value);
    // The whole settings file, as an engineer or a damaged disk leaves it.
    bool storeRaw(const QByteArray &bytes);
    // No settings file at all, as on the first run.
    void clearStore();
    // What reached the disk, read afresh; invalid when the key is absent.
    QVariant stored(const QString &key) const;
    QVariant stored(const QString &section, const QString &key) const;
    // Points port number N at a device, as an installer would with TXPANEL_COM<N>.
    static void mapPort(int portNumber, const QString &device);

    // --- the window ---
    // A new window, started from the store as it is now; any other one goes first.
    frmTerminale &openWindow();
    frmTerminale &window() const { return *m_window; }
    void closeWindow();

    // --- the power button: the engine runs the connection, the test waits ---
    // ON, then the connection running until it has ended (ended, off, port
    // not available): what the operator sees once it is over. False when
    // it was still running after timeoutMs (and was ended then).
    bool powerOnAndWaitForTheEnd(int timeoutMs = 60000);
    // Waits, serving the event loop, until the engine is in that state.
    bool waitForState(ConnectionState state, int timeoutMs = 20000);
    // Waits until the engine connects, polls or resumes no more.
    bool waitForTheEnd(int timeoutMs = 60000);
    // DISCONNECT, then the wait for the connection's end.
    bool disconnectAndWait(int timeoutMs = 20000);
    // The engine polls that device as port 1 without the power button, so
    // the front panel keeps the looks a test gave it; true once polling.
    bool startEngineOn(const QString &device);

    // --- the keypad, through the window's handlers ---
    // The key that carries the digit (KeypadKey::First carries "1", KeypadKey::Zero "0").
    static int keyFor(QChar digit);
    void openKeypad(); // SET FREQUENCY
    void type(const QString &digits);
    void accept(); // OK
    void send();   // SEND
    // SET FREQUENCY, the digits, OK.
    void typeAndAccept(const QString &digits);
    // SET FREQUENCY, the digits, OK, SEND.
    void typeAcceptAndSend(const QString &digits);
    // The digits the LED display shows, from the left: the five of a
    // frequency in tens of kHz unless told otherwise.
    QString digitsShown(int count = 5) const;

    // --- modal boxes, answered from inside their own event loops ---
    // Answers wait their turn, in the order given. A box that comes when no
    // answer waits for it fails the test after ten seconds and is closed, so
    // the test goes on to report instead of hanging.
    //
    // The next message box: answered with that button once it has been on
    // screen for holdMs.
    void answerNextBox(QMessageBox::StandardButton button = QMessageBox::Ok, int holdMs = 0);
    // The next port dialog: before runs with it on screen, then it is left as told.
    void answerNextPortDialog(Answer how, std::function<void(frmCom &)> before = {});
    // What the last box answered showed (an empty Box before any).
    const Box &lastBox() const;
    int portDialogsAnswered() const;
    int messageBoxesAnswered() const;

    // --- ending a connection ---
    // Closes any box left open and asks the poll (or the retries of a lost
    // link) to stop.
    void endConnectionNow();
    // No connection may run past ms: it is ended then, and deadlineMissed() tells.
    void endConnectionAfter(int ms);
    bool deadlineMissed() const { return m_deadlineMissed; }

private:
    struct Pending
    {
        bool portDialog = false;
        QMessageBox::StandardButton button = QMessageBox::Ok;
        int holdMs = 0;
        Answer how = Answer::Ok;
        std::function<void(frmCom &)> before;
    };
    void watchModals();
    void failUnanswered(QWidget *modal);
    void answer(QWidget *modal, const Pending &pending);
    bool pollRunning() const;

    std::unique_ptr<QTemporaryDir> m_ownDir;
    QString m_storeDir;
    std::unique_ptr<frmTerminale> m_window;

    std::deque<Pending> m_pending;
    QTimer m_modalWatch;
    QPointer<QWidget> m_answering;
    QPointer<QWidget> m_unanswered;
    QElapsedTimer m_unansweredSince;
    std::vector<Box> m_answered;

    QTimer m_deadline;
    bool m_deadlineMissed = false;
};
