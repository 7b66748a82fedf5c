// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How replies are gathered and commands written, on a port open on the
// simulated transmitter's pseudo-terminal.
#include "link/Commands.h"
#include "link/LineGathering.h"
#include "sim/TxSimulator.h"
#include "support/LineBytes.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace TxCommand;
using LineBytes::commands;

class LinkGatheringTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void terminalSettings();
    void replyComesWhole_data();
    void replyComesWhole();
    void slowReplyComesAsItGrows();

private:
    // Sends the command; true once a carriage return has come in.
    bool ask(const QByteArray &command);
    QByteArray receivedSoFar() const { return m_reads.join(); }

    std::unique_ptr<TxSimulator> m_sim;
    std::unique_ptr<QSerialPort> m_port;
    std::unique_ptr<LineGathering> m_gathering;
    // What each wake-up of the port handed over.
    QByteArrayList m_reads;
};

void LinkGatheringTest::init()
{
    m_sim = std::make_unique<TxSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->lastError()));
    m_port = std::make_unique<QSerialPort>(m_sim->devicePath());
    QVERIFY2(m_port->open(QIODevice::ReadWrite), qPrintable(m_port->errorString()));
    connect(m_port.get(), &QSerialPort::readyRead, this,
            [this] { m_reads.append(m_port->readAll()); });
    // As a terminal is left in its usual ways by other programs: echoing,
    // translating line ends, stripping the eighth bit, acting on signal and
    // flow-control characters, with a second line end and a wait for input.
    // The port's own opening undoes most of that; the gathering must not rely
    // on it.
    termios tio{};
    QCOMPARE(::tcgetattr(int(m_port->handle()), &tio), 0);
    tio.c_lflag |= ECHO | ECHONL | ISIG | IEXTEN;
    tio.c_iflag |= ICRNL | INLCR | IGNCR | ISTRIP | IXON;
    tio.c_cc[VEOL2] = '.';
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 1;
    QCOMPARE(::tcsetattr(int(m_port->handle()), TCSANOW, &tio), 0);
    m_gathering = std::make_unique<LineGathering>(*m_port);
    m_gathering->opened();
    m_reads.clear();
}

void LinkGatheringTest::cleanup()
{
    m_gathering.reset();
    m_port.reset();
    m_sim.reset();
    m_reads.clear();
}

bool LinkGatheringTest::ask(const QByteArray &command)
{
    m_gathering->send(command);
    return QTest::qWaitFor([this] { return receivedSoFar().contains('\r'); }, 5000);
}

void LinkGatheringTest::terminalSettings()
{
    const auto current = [this] {
        termios tio{};
        [[maybe_unused]] const int got = ::tcgetattr(int(m_port->handle()), &tio);
        return tio;
    };
    termios tio = current();
    QVERIFY(tio.c_lflag & ICANON);
    QCOMPARE(tio.c_lflag & (ECHO | ECHONL | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON), tcflag_t(0));
    for (const int special : {VERASE, VKILL, VEOF, VEOL2, VWERASE, VLNEXT, VREPRINT})
        QCOMPARE(int(tio.c_cc[special]), int(_POSIX_VDISABLE));
    QCOMPARE(int(tio.c_cc[VEOL]), int('\r'));

    // A quarter second after a command: byte by byte, nothing waited for.
    m_sim->setSilent(true);
    m_gathering->send(commands({CMD_READ_FIRMWARE}));
    QTRY_VERIFY(!(current().c_lflag & ICANON));
    tio = current();
    QCOMPARE(int(tio.c_cc[VMIN]), 0);
    QCOMPARE(int(tio.c_cc[VTIME]), 0);

    m_gathering->send(commands({CMD_READ_FIRMWARE}));
    QVERIFY(current().c_lflag & ICANON);
}

void LinkGatheringTest::replyComesWhole_data()
{
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<bool>("pacing");
    QTest::addColumn<QByteArrayList>("reads");
    const auto row = [](const char *name, const QByteArray &firmware, int pieces, bool pacing,
                        const QByteArrayList &reads) {
        QTest::newRow(name) << firmware << pieces << pacing << reads;
    };
    row("at once", "V1.0", 1, false, {"V1.0\r"});
    row("in pieces", "V2.15 build 7", 3, false, {"V2.15 build 7\r"});
    row("byte by byte at the line rate", "V2.15 build 7", 1, true, {"V2.15 build 7\r"});
    row("empty", "", 1, false, {"\r"});
    // Each would edit the line, end it, stop the output or raise a signal, if
    // the terminal were left to its usual ways; the high bytes lose nothing.
    const QByteArray control("\x00\x03\x04\x08\x11\x12\x13\x15\x16\x17\x1a\x1c\x7f\x80\xff!", 16);
    row("line-editing and control bytes", control, 2, false, {control + '\r'});
    // The one line end that cannot be disabled: it ends a read of its own.
    row("line feed inside", "V2\n15", 1, false, {"V2\n", "15\r"});
}

void LinkGatheringTest::replyComesWhole()
{
    QFETCH(QByteArray, firmware);
    QFETCH(int, pieces);
    QFETCH(bool, pacing);
    QFETCH(QByteArrayList, reads);
    m_sim->setFirmware(QString::fromLatin1(firmware));
    m_sim->setPieces(pieces, 30);
    m_sim->setPacing(pacing);
    QVERIFY(ask(commands({CMD_READ_FIRMWARE})));
    QTest::qWait(50);
    // One wake-up for each whole line, every byte as it was sent.
    QCOMPARE(m_reads, reads);
    // Nothing was echoed back onto the line.
    QCOMPARE(m_sim->received(), commands({CMD_READ_FIRMWARE}));
}

void LinkGatheringTest::slowReplyComesAsItGrows()
{
    m_sim->setFirmware(QStringLiteral("V2.15 build 7"));
    m_sim->setPieces(2, 1500);
    QElapsedTimer clock;
    clock.start();
    m_gathering->send(commands({CMD_READ_FIRMWARE}));
    // The first half is held back a while, then handed over well before the rest.
    QTRY_VERIFY_WITH_TIMEOUT(!m_reads.isEmpty(), 1200);
    QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_reads.first(), QByteArray("V2.15 b"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedSoFar(), QByteArray("V2.15 build 7\r"), 5000);
}

QTEST_MAIN(LinkGatheringTest)
#include "tst_linkgathering.moc"
