// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The per-user settings store: application "Tx_Orvel", section "Startup" and
// the sections of the optional capabilities.
//
// On Linux the entries live in $XDG_CONFIG_HOME/Tx_Orvel.conf (usually
// ~/.config/Tx_Orvel.conf), falling back to /etc/xdg/Tx_Orvel.conf; on Windows
// in the registry under HKEY_CURRENT_USER\Software\Tx_Orvel\OrganizationDefaults
// (the name is passed as QSettings' organisation), falling back to HKEY_LOCAL_MACHINE.
//
// The files are looked at before anything reads them. One that is damaged
// (not text, NUL bytes, a format error, empty, none of the panel's sections)
// or is not a plain file (a directory, a FIFO, a device, a link to nothing)
// makes the store unusable for the run: nothing is read from it, so the band
// closes and no port is chosen, and nothing is ever written to it. A FIFO or
// a device is never opened at all, so start-up cannot hang on one.
namespace SettingsStore {
inline const QString Application = QStringLiteral("Tx_Orvel");
inline const QString Section = QStringLiteral("Startup");

// From now on the store is this one file alone, read and never written: the
// station service's --config. An absent file is a problem like a damaged one.
// An empty path goes back to the per-user store.
void useFile(const QString &path);
// The file useFile() named; empty for the per-user store.
QString fixedFile();

// Looks at the store's files again; start-up calls it before reading.
void check();
// The store can be read and written (as of the last check).
bool usable();
// Why it cannot, in the operator's words; empty when it can.
QString problem();
// Keys of [Startup] that match a known key except in letter case; not used.
QStringList misspeltKeys();

// The stored text of a [Startup] key; empty when absent, not text, or the
// store is unusable.
QString read(const QString &key);
// A stored value as the store holds it (text, list, typed or invalid);
// std::nullopt when the key is absent or the store is unusable.
std::optional<QVariant> value(const QString &section, const QString &key);
// A yes/no setting: true, yes, on or 1; false, no, off or 0 (any letter
// case). Absent, unusable store or any other text: the fallback.
bool flag(const QString &section, const QString &key, bool fallback);
// A stored value read as yes or no, as flag() reads it; std::nullopt for
// anything else.
std::optional<bool> yesOrNo(const QVariant &stored);
// A whole-number setting within [minimum, maximum]; anything else: the fallback.
int number(const QString &section, const QString &key, int fallback, int minimum, int maximum);

// Stores the text under [Startup] and flushes it to disk at once (the program
// may end right after). False, with the reason in *why, when it did not reach
// the disk: an unusable store, a read-only file or folder, a full disk.
bool write(const QString &key, const QString &text, QString *why = nullptr);

// check(), then usable(): kept for callers that only ask.
bool readable();
} // namespace SettingsStore
