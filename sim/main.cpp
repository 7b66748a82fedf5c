// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/LineReader.h"
#include "sim/LiveCommands.h"
#include "sim/TxSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    // Only a write is safe here; the event loop does the quitting.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

int intOption(const QCommandLineParser &parser, const QString &name, int fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    return ok ? value : fallback;
}

// Started with one of them closed (<&-), the pseudo-terminal would get its
// number: the commands would be read off the panel's line, or the DEVICE line
// written onto it.
void keepStandardDescriptorsTaken()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR); // takes the lowest free number: fd
    }
}
} // namespace

int main(int argc, char *argv[])
{
    keepStandardDescriptorsTaken();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("txsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers like the transmitter on a pseudo-terminal, whose name it prints\n"
                       "first: DEVICE /dev/pts/N.\n\n"
                       "While it runs it takes these commands on standard input, one a line,\n"
                       "and answers each on standard output with one line, OK and the command\n"
                       "or ERROR and why (an ERROR changes nothing):\n") +
        LiveCommands::help() +
        QStringLiteral("\n\nClosing standard input ends the commands, not the simulator."));
    parser.addHelpOption();
    const QList<QCommandLineOption> options = {
        {QStringLiteral("pace"), QStringLiteral("Each byte takes as long as at 4800 baud.")},
        {QStringLiteral("delay"), QStringLiteral("Wait before each reply."), QStringLiteral("MS")},
        {QStringLiteral("silent"), QStringLiteral("Never answer.")},
        {QStringLiteral("silent-after"), QStringLiteral("Stop answering after N exchanges."),
         QStringLiteral("N")},
        {QStringLiteral("wrong-echo"), QStringLiteral("Echo a programmed digit wrong.")},
        {QStringLiteral("pieces"), QStringLiteral("Split each reply into N pieces."),
         QStringLiteral("N")},
        {QStringLiteral("piece-pause"), QStringLiteral("Pause between pieces."),
         QStringLiteral("MS")},
        {QStringLiteral("noise"), QStringLiteral("Random bytes before each reply."),
         QStringLiteral("N")},
        {QStringLiteral("extra"), QStringLiteral("Bytes after each reply's carriage return."),
         QStringLiteral("TEXT")},
        {QStringLiteral("unplug-after"), QStringLiteral("Pull the line after N exchanges."),
         QStringLiteral("N")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware text."), QStringLiteral("TEXT")},
        {QStringLiteral("forward"), QStringLiteral("Forward power text."), QStringLiteral("TEXT")},
        {QStringLiteral("reflected"), QStringLiteral("Reflected power text."),
         QStringLiteral("TEXT")},
        {QStringLiteral("frequency"), QStringLiteral("Frequency in kHz."), QStringLiteral("KHZ")},
        {QStringLiteral("temperature"), QStringLiteral("Fixed raw temperature."),
         QStringLiteral("N")},
        {QStringLiteral("unlocked"), QStringLiteral("Report the synthesiser unlocked.")},
        {QStringLiteral("on-air"), QStringLiteral("Start with RF on.")},
        {QStringLiteral("record"),
         QStringLiteral("Append each byte from the panel to FILE, in decimal, one a line."),
         QStringLiteral("FILE")},
    };
    parser.addOptions(options);
    parser.process(app);

    TxSimulator sim;
    sim.setPacing(parser.isSet(QStringLiteral("pace")));
    sim.setReplyDelayMs(intOption(parser, QStringLiteral("delay"), 0));
    sim.setSilent(parser.isSet(QStringLiteral("silent")));
    sim.setSilentAfter(intOption(parser, QStringLiteral("silent-after"), -1));
    sim.setWrongEcho(parser.isSet(QStringLiteral("wrong-echo")));
    sim.setPieces(intOption(parser, QStringLiteral("pieces"), 1),
                  intOption(parser, QStringLiteral("piece-pause"), 0));
    sim.setNoiseBytes(intOption(parser, QStringLiteral("noise"), 0));
    sim.setExtraAfterReply(parser.value(QStringLiteral("extra")).toLatin1());
    sim.setUnplugAfter(intOption(parser, QStringLiteral("unplug-after"), -1));
    if (parser.isSet(QStringLiteral("firmware")))
        sim.setFirmware(parser.value(QStringLiteral("firmware")));
    if (parser.isSet(QStringLiteral("forward")))
        sim.setForwardPower(parser.value(QStringLiteral("forward")));
    if (parser.isSet(QStringLiteral("reflected")))
        sim.setReflectedPower(parser.value(QStringLiteral("reflected")));
    sim.setFrequencyKHz(intOption(parser, QStringLiteral("frequency"), 107900));
    if (parser.isSet(QStringLiteral("temperature")))
        sim.setTemperature(intOption(parser, QStringLiteral("temperature"), 150));
    sim.setLocked(!parser.isSet(QStringLiteral("unlocked")));
    sim.setOnAir(parser.isSet(QStringLiteral("on-air")));

    QTextStream out(stdout);
    QTextStream err(stderr);
    QFile record;
    if (parser.isSet(QStringLiteral("record"))) {
        record.setFileName(parser.value(QStringLiteral("record")));
        if (!record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            err << "txsim: " << record.fileName() << ": " << record.errorString() << Qt::endl;
            return 1;
        }
        // Flushed at once, so whoever watches the file sees the line as it is now.
        QObject::connect(&sim, &TxSimulator::arrived, &record, [&record](const QByteArray &bytes) {
            QByteArray lines;
            for (const char byte : bytes)
                lines += QByteArray::number(static_cast<quint8>(byte)) + '\n';
            record.write(lines);
            record.flush();
        });
    }
    if (!sim.start()) {
        err << "txsim: " << sim.lastError() << Qt::endl;
        return 1;
    }

    if (::pipe(signalPipe) != 0) {
        err << "txsim: cannot create the signal pipe" << Qt::endl;
        return 1;
    }
    QSocketNotifier quitNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    // Whoever stopped reading our answers must not take the line down with them.
    std::signal(SIGPIPE, SIG_IGN);
    // Left in the background of a terminal, reading it would stop the whole
    // simulator; ignored, the read fails instead and the reader waits.
    std::signal(SIGTTIN, SIG_IGN);

    out << "DEVICE " << sim.devicePath() << Qt::endl;

    // Created after the DEVICE line, so that line comes first whatever the input holds.
    LineReader commands(STDIN_FILENO);
    QObject::connect(&commands, &LineReader::lineRead, &sim, [&](const QByteArray &line) {
        const LiveCommands::Reply reply = LiveCommands::apply(QString::fromUtf8(line), sim);
        if (!reply.text.isEmpty())
            out << reply.text << Qt::endl;
        if (reply.quit)
            app.quit();
    });
    QObject::connect(&commands, &LineReader::lineTooLong, &sim, [&out] {
        out << "ERROR a line longer than " << LineReader::MaxLineLength << " bytes, ignored"
            << Qt::endl;
    });

    const int rc = app.exec();
    sim.unplug();
    return rc;
}
