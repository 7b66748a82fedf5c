// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/PanelDriver.h"

#include "app/frmTerminale.h"
#include "link/LinkEngine.h"
#include "panel/KeypadKeys.h"
#include "panel/LedDigit.h"
#include "settings/SettingsStore.h"
#include "settings/frmCom.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <algorithm>

namespace {
constexpr int ModalWatchMs = 5;
// A box no test answers is failed and closed after this, rather than left to
// hold the test until CTest kills it (and its folders are left behind).
constexpr qint64 UnansweredBoxMs = 10000;

QString sectionKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

// Ends a modal box or dialog as its close box would, even one that ignores Escape.
void dismiss(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->done(QDialog::Rejected);
    else
        modal->close();
}
} // namespace

PanelDriver::PanelDriver(const QString &storeDir)
{
    if (storeDir.isEmpty()) {
        m_ownDir = std::make_unique<QTemporaryDir>();
        m_storeDir = m_ownDir->path();
    } else {
        m_storeDir = storeDir;
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_storeDir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_storeDir);

    m_modalWatch.setInterval(ModalWatchMs);
    connect(&m_modalWatch, &QTimer::timeout, this, &PanelDriver::watchModals);
    m_modalWatch.start();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_deadlineMissed = true;
        endConnectionNow();
    });
}

PanelDriver::~PanelDriver()
{
    m_modalWatch.stop();
    m_deadline.stop();
    m_window.reset();
}

QString PanelDriver::storePath() const
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::Application)
        .fileName();
}

void PanelDriver::store(const QString &key, const QString &value)
{
    store(SettingsStore::Section, key, value);
}

void PanelDriver::store(const QString &section, const QString &key, const QString &value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::Application);
    settings.setValue(sectionKey(section, key), value);
    settings.sync();
}

bool PanelDriver::storeRaw(const QByteArray &bytes)
{
    QFile file(storePath());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void PanelDriver::clearStore()
{
    QFile::remove(storePath());
}

QVariant PanelDriver::stored(const QString &key) const
{
    return stored(SettingsStore::Section, key);
}

QVariant PanelDriver::stored(const QString &section, const QString &key) const
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                             SettingsStore::Application);
    return settings.value(sectionKey(section, key));
}

void PanelDriver::mapPort(int portNumber, const QString &device)
{
    qputenv(QStringLiteral("TXPANEL_COM%1").arg(portNumber).toLatin1().constData(),
            device.toLocal8Bit());
}

frmTerminale &PanelDriver::openWindow()
{
    m_window.reset();
    m_window = std::make_unique<frmTerminale>();
    return *m_window;
}

void PanelDriver::closeWindow()
{
    m_window.reset();
}

bool PanelDriver::waitForState(ConnectionState state, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (m_window && m_window->connectionState() != state && clock.elapsed() < timeoutMs)
        QTest::qWait(2);
    return m_window && m_window->connectionState() == state;
}

bool PanelDriver::waitForTheEnd(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (pollRunning() && clock.elapsed() < timeoutMs)
        QTest::qWait(2);
    if (!pollRunning())
        return true;
    endConnectionNow();
    return false;
}

bool PanelDriver::powerOnAndWaitForTheEnd(int timeoutMs)
{
    window().cmdPower_Click();
    return waitForTheEnd(timeoutMs);
}

bool PanelDriver::startEngineOn(const QString &device)
{
    LinkLine line;
    line.port = QStringLiteral("1");
    line.name = QStringLiteral("COM1");
    line.device = device;
    window().engine().setLine(line);
    window().engine().powerOn();
    return waitForState(ConnectionState::Polling);
}

bool PanelDriver::disconnectAndWait(int timeoutMs)
{
    window().cmdDisconnect_Click();
    return waitForTheEnd(timeoutMs);
}

int PanelDriver::keyFor(QChar digit)
{
    return digit == QLatin1Char('0')
               ? KeypadKey::Zero
               : KeypadKey::First + digit.unicode() - QLatin1Char('1').unicode();
}

void PanelDriver::openKeypad()
{
    window().cmdSetFrequency_Click();
}

void PanelDriver::type(const QString &digits)
{
    for (const QChar digit : digits)
        window().cmdKey_Click(keyFor(digit));
}

void PanelDriver::accept()
{
    window().cmdKey_Click(KeypadKey::Ok);
}

void PanelDriver::send()
{
    window().cmdSend_Click();
}

void PanelDriver::typeAndAccept(const QString &digits)
{
    openKeypad();
    type(digits);
    accept();
}

void PanelDriver::typeAcceptAndSend(const QString &digits)
{
    typeAndAccept(digits);
    send();
}

QString PanelDriver::digitsShown(int count) const
{
    QString shown;
    for (int i = 1; i <= count; ++i)
        shown += QString::number(window().ledDigit(i)->DigitValue());
    return shown;
}

void PanelDriver::answerNextBox(QMessageBox::StandardButton button, int holdMs)
{
    Pending pending;
    pending.button = button;
    pending.holdMs = holdMs;
    m_pending.push_back(std::move(pending));
}

void PanelDriver::answerNextPortDialog(Answer how, std::function<void(frmCom &)> before)
{
    Pending pending;
    pending.portDialog = true;
    pending.how = how;
    pending.before = std::move(before);
    m_pending.push_back(std::move(pending));
}

const PanelDriver::Box &PanelDriver::lastBox() const
{
    static const Box none;
    return m_answered.empty() ? none : m_answered.back();
}

int PanelDriver::portDialogsAnswered() const
{
    return int(std::count_if(m_answered.begin(), m_answered.end(),
                             [](const Box &box) { return box.portDialog; }));
}

int PanelDriver::messageBoxesAnswered() const
{
    return int(m_answered.size()) - portDialogsAnswered();
}

void PanelDriver::watchModals()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == m_answering)
        return;
    const bool isDialog = qobject_cast<frmCom *>(modal) != nullptr;
    const bool isBox = qobject_cast<QMessageBox *>(modal) != nullptr;
    if (m_pending.empty() || (m_pending.front().portDialog ? !isDialog : !isBox)) {
        failUnanswered(modal);
        return;
    }
    const Pending pending = m_pending.front();
    m_pending.pop_front();
    m_answering = modal;
    // Answered as an event of its own rather than inside this tick: a box
    // that the answer opens (the port dialog's Ok may) then gets the ticks
    // that answer it in turn.
    QTimer::singleShot(pending.holdMs, this, [this, shown = QPointer<QWidget>(modal), pending] {
        if (!shown) {
            QTest::qFail("the box closed before it was answered", __FILE__, __LINE__);
            return;
        }
        answer(shown, pending);
    });
}

void PanelDriver::failUnanswered(QWidget *modal)
{
    if (modal != m_unanswered) {
        m_unanswered = modal;
        m_unansweredSince.start();
        return;
    }
    if (m_unansweredSince.elapsed() < UnansweredBoxMs)
        return;
    QString what = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        what += QStringLiteral(": ") + box->text();
    const QByteArray message = (QStringLiteral("a box no test answered: ") + what).toUtf8();
    m_unanswered = nullptr;
    QTest::qFail(message.constData(), __FILE__, __LINE__);
    dismiss(modal);
}

void PanelDriver::answer(QWidget *modal, const Pending &pending)
{
    Box seen;
    seen.portDialog = pending.portDialog;
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = int(box->buttons().size());
        m_answered.push_back(seen);
        m_answering = nullptr;
        if (QAbstractButton *button = box->button(pending.button)) {
            button->click();
        } else {
            QTest::qFail("the box has no such button", __FILE__, __LINE__);
            dismiss(box);
        }
        return;
    }
    auto *dialog = qobject_cast<frmCom *>(modal);
    m_answered.push_back(seen);
    const size_t index = m_answered.size() - 1;
    connect(dialog, &QDialog::finished, this,
            [this, index](int result) { m_answered[index].result = result; });
    m_answering = nullptr;
    if (pending.before)
        pending.before(*dialog);
    switch (pending.how) {
    case Answer::Ok:
        QTest::mouseClick(dialog->cmdOkCom, Qt::LeftButton);
        break;
    case Answer::Cancel:
        QTest::mouseClick(dialog->cmdCancelCom, Qt::LeftButton);
        break;
    case Answer::CloseBox:
        dialog->close();
        break;
    }
}

void PanelDriver::endConnectionNow()
{
    if (!m_window)
        return;
    if (QWidget *modal = QApplication::activeModalWidget())
        dismiss(modal);
    m_window->cmdDisconnect_Click();
}

void PanelDriver::endConnectionAfter(int ms)
{
    m_deadlineMissed = false;
    m_deadline.start(ms);
}

bool PanelDriver::pollRunning() const
{
    if (!m_window)
        return false;
    const ConnectionState state = m_window->connectionState();
    return state == ConnectionState::Connecting || state == ConnectionState::Polling ||
           state == ConnectionState::Resuming;
}
