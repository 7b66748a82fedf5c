// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/PanelProgram.h"
#include "app/frmTerminale.h"
#include "record/RecordFiles.h"

#include <QApplication>

int main(int argc, char *argv[])
{
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
