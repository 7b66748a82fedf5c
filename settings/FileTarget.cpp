// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/FileTarget.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#endif

namespace FileTarget {

QString kindOf(unsigned mode)
{
#ifdef Q_OS_UNIX
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe (FIFO)");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
#else
    Q_UNUSED(mode)
#endif
    return QStringLiteral("not a plain file");
}

QString refusal(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat link
    {
    };
    if (::lstat(name.constData(), &link) != 0)
        return errno == ENOENT ? QString() : path + QStringLiteral(": cannot be looked at");
    if (S_ISREG(link.st_mode))
        return QString();
    if (!S_ISLNK(link.st_mode))
        return path + QStringLiteral(" is ") + kindOf(link.st_mode);
    struct stat target
    {
    };
    if (::stat(name.constData(), &target) != 0)
        return path + QStringLiteral(" is a link to nothing");
    if (!S_ISREG(target.st_mode))
        return path + QStringLiteral(" links to ") + kindOf(target.st_mode) + QStringLiteral(" (") +
               QFileInfo(path).canonicalFilePath() + QStringLiteral(")");
    return QString();
#else
    const QFileInfo file(path);
    if (file.isSymLink() && !file.exists())
        return path + QStringLiteral(" is a link to nothing");
    if (file.exists() && !file.isFile())
        return path + QStringLiteral(" is not a plain file");
    return QString();
#endif
}

} // namespace FileTarget
