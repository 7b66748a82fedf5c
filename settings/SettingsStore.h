#pragma once

#include <QString>

// The per-user settings store: application "Tx_Orvel", section "Startup".
// On Linux the entries live in $XDG_CONFIG_HOME/Tx_Orvel.conf (usually
// ~/.config/Tx_Orvel.conf), falling back to /etc/xdg/Tx_Orvel.conf; on Windows
// in the registry under HKEY_CURRENT_USER\Software\Tx_Orvel\OrganizationDefaults
// (the name is passed as QSettings' organisation), falling back to HKEY_LOCAL_MACHINE.
namespace SettingsStore {
inline const QString Application = QStringLiteral("Tx_Orvel");
inline const QString Section = QStringLiteral("Startup");

// The stored text, or the empty text when the key is not stored.
QString read(const QString &key);
// Stores the text and flushes it to disk at once: the program may end right after.
void write(const QString &key, const QString &value);
// False when the store exists but could not be read (bad format, no access).
bool readable();
} // namespace SettingsStore
