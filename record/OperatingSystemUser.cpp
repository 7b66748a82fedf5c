// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/OperatingSystemUser.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>

#include <vector>
#endif

namespace OperatingSystemUser {
QString name()
{
    static const QString cached = [] {
#ifdef Q_OS_UNIX
        passwd entry{};
        passwd *found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_name)
            return QString::fromLocal8Bit(found->pw_name);
        const QString fallback = qEnvironmentVariable("USER");
#else
        const QString fallback = qEnvironmentVariable("USERNAME");
#endif
        return fallback.isEmpty() ? QStringLiteral("unknown") : fallback;
    }();
    return cached;
}
} // namespace OperatingSystemUser
