// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/PanelProgram.h"
#include "app/frmTerminale.h"
#include "record/RecordFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstring>

namespace {
// The panel has no options of its own beside Qt's (-platform, -style...).
// --help and --version answer at a terminal with no display too, so they are
// looked for before the window system is started; nothing else changes.
void answerHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-h") != 0 && std::strcmp(arg, "--help") != 0 &&
            std::strcmp(arg, "--help-all") != 0 && std::strcmp(arg, "-v") != 0 &&
            std::strcmp(arg, "--version") != 0)
            continue;
        const QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("txpanel"));
        QCoreApplication::setApplicationVersion(QStringLiteral(TXPANEL_VERSION));
        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Control panel for an FM broadcast transmitter on a serial line.\n"
                           "The port is chosen with File, Setting Port; TXPANEL_COM<N> names\n"
                           "the device of port N. See txpanel(1)."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.process(QCoreApplication::arguments()); // prints, then exits
    }
}
} // namespace

int main(int argc, char *argv[])
{
    answerHelpOrVersion(argc, argv);
    // Before anything is written: a file-size limit stops the record, not the panel.
    RecordFiles::keepRunningPastFileSizeLimit();
    QApplication app(argc, argv);
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TXPANEL_APP_ID));
    PanelProgram program;
    program.panel().show();
    // Returns once the panel has ended in order (File, Exit, the close box,
    // SIGTERM, SIGINT, SIGHUP): the line closed, the record written.
    return app.exec();
}
