// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordFiles.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace RecordFiles {

void keepRunningPastFileSizeLimit()
{
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

QString fileSizeLimitNote()
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return QStringLiteral(" (the panel may write files of at most %1 bytes: ulimit -f)")
            .arg(quint64(limit.rlim_cur));
#endif
    return QString();
}

} // namespace RecordFiles
