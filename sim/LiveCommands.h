// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class TxSimulator;

// Commands given to a running simulator, one a line (txsim reads them on its
// standard input), so an instructor or a test can change the transmitter
// under a connected panel: "lock off", "temperature 180", "unplug"...
//
// The command word is matched whatever its case and blanks around words do
// not count; a TEXT argument is the rest of the line as typed. Every command
// is answered with one line, "OK <command as understood>" or "ERROR <why>";
// a command in error changes nothing. A blank line is no command and gets no
// answer.
namespace LiveCommands {

struct Reply
{
    // The lines to print, without the last newline: any the command prints
    // first (plug's new DEVICE line, help's list), then the OK or ERROR line.
    QString text;
    bool quit = false;
};

Reply apply(const QString &line, TxSimulator &sim);

// One line per command, "  form  effect", for --help and the help command.
QString help();

} // namespace LiveCommands
