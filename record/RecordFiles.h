// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the panel's process owes the files it writes.
namespace RecordFiles {
// A file-size limit (ulimit -f) reached by a write ends the process with
// SIGXFSZ unless the signal is ignored; ignored, the write fails and the
// record stops with RECORD STOPPED while the panel goes on monitoring.
// Called by main() before anything is written, and by the recorder's start.
void keepRunningPastFileSizeLimit();
// " (the panel may write files of at most N bytes: ulimit -f)" when such a
// limit is set, else empty: said after a write that failed.
QString fileSizeLimitNote();
} // namespace RecordFiles
