// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/ControlSettings.h"

#include "settings/BandLimits.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <grp.h>
#endif

namespace {
// The kernel keeps a socket's path in 108 bytes, its end included.
constexpr int MaxSocketPathBytes = 107;

QString section()
{
    return QStringLiteral("Control");
}

// A yes/no key: absent gives the default, anything but a clear yes or no is
// a problem (an "AllowRfOn=ture" must not quietly mean no, nor yes).
bool readFlag(const QString &key, bool fallback, QString *problem)
{
    const std::optional<QVariant> stored = SettingsStore::value(section(), key);
    if (!stored)
        return fallback;
    if (const std::optional<bool> flag = SettingsStore::yesOrNo(*stored))
        return *flag;
    if (problem->isEmpty())
        *problem = QStringLiteral("[Control] %1 \"%2\" is neither true nor false")
                       .arg(key, BandLimits::storedText(*stored));
    return fallback;
}

bool isUserName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]{0,31}\\$?$"));
    return pattern.match(name).hasMatch();
}
} // namespace

QString ControlSettings::desktopDefaultSocket()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return QString();
    return QDir::cleanPath(runtime + QStringLiteral("/txpanel/control"));
}

QString ControlSettings::serviceDefaultSocket(const QString &instance)
{
    return QStringLiteral("/run/txpanel/%1/control").arg(instance);
}

ControlSettings ControlSettings::fromStore(const QString &defaultSocket,
                                           const QString &defaultGroup)
{
    ControlSettings s;
    s.group = defaultGroup;
    QString problem;
    s.enabled = readFlag(QStringLiteral("Enabled"), false, &problem);
    // An Enabled that reads neither way was meant to say something: the
    // control stays off and says why rather than keep quiet.
    if (!problem.isEmpty())
        s.enabled = true;
    s.allowRfOn = readFlag(QStringLiteral("AllowRfOn"), false, &problem);
    s.allowFrequency = readFlag(QStringLiteral("AllowFrequency"), false, &problem);

    s.socket = defaultSocket;
    s.desktopFolder = !defaultSocket.isEmpty() && defaultSocket == desktopDefaultSocket();
    if (const std::optional<QVariant> socket =
            SettingsStore::value(section(), QStringLiteral("Socket"))) {
        const QString text =
            socket->typeId() == QMetaType::QString ? socket->toString().trimmed() : QString();
        s.socket = text;
        s.desktopFolder = false;
        if ((!QDir::isAbsolutePath(text) || text.toUtf8().size() > MaxSocketPathBytes) &&
            problem.isEmpty())
            problem = QStringLiteral("[Control] Socket \"%1\" is not an absolute path of at "
                                     "most %2 bytes")
                          .arg(BandLimits::storedText(*socket))
                          .arg(MaxSocketPathBytes);
    } else if (defaultSocket.isEmpty() && problem.isEmpty()) {
        problem = QStringLiteral("[Control] Socket is not set and XDG_RUNTIME_DIR is not set, so "
                                 "there is no private folder for the socket");
    }

    if (const std::optional<QVariant> users =
            SettingsStore::value(section(), QStringLiteral("Users"))) {
        // The store reads "a, b" as a list; a single name as text.
        const QStringList names = users->typeId() == QMetaType::QStringList
                                      ? users->toStringList()
                                      : users->toString().split(QLatin1Char(','));
        for (const QString &name : names) {
            const QString trimmed = name.trimmed();
            if (trimmed.isEmpty())
                continue;
            if (!isUserName(trimmed)) {
                if (problem.isEmpty())
                    problem = QStringLiteral("[Control] Users \"%1\" is not a list of user names")
                                  .arg(BandLimits::storedText(*users));
                break;
            }
            s.users << trimmed;
        }
        // A list written but empty would otherwise let everybody in.
        if (s.users.isEmpty() && problem.isEmpty())
            problem = QStringLiteral("[Control] Users is set but names nobody");
    }

    if (const std::optional<QVariant> group =
            SettingsStore::value(section(), QStringLiteral("Group"))) {
        const QString text =
            group->typeId() == QMetaType::QString ? group->toString().trimmed() : QString();
#ifdef Q_OS_UNIX
        const bool known = getgrnam(text.toLocal8Bit().constData()) != nullptr;
#else
        const bool known = false;
#endif
        if (!text.isEmpty() && !known) {
            if (problem.isEmpty())
                problem = QStringLiteral("[Control] Group \"%1\" is not a group on this computer")
                              .arg(BandLimits::storedText(*group));
        } else if (text.isEmpty() && problem.isEmpty()) {
            problem = QStringLiteral("[Control] Group is set but empty");
        }
        s.group = text;
    }
    s.problem = problem;
    return s;
}
