// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sched.h>
#include <sys/types.h>
#include <utility>
#include <vector>

// A program a benchmark starts outside any event loop (a QProcess would put
// its pipes into the benchmark's waits and its handle into the measured
// program's), with some variables of its own over the inherited ones, in a
// folder, on some cores, its output to a file. Asked to end with SIGTERM when
// this goes.
class SpawnedProgram
{
public:
    SpawnedProgram() = default;
    SpawnedProgram(const SpawnedProgram &) = delete;
    SpawnedProgram &operator=(const SpawnedProgram &) = delete;
    ~SpawnedProgram() { stop(); }

    // argv[0] is the program's path, or a name looked up in PATH; a variable
    // "NAME=" with nothing after the sign hides the inherited one's value; no
    // folder, this one's; no cores, this one's. False (reason printed) when it
    // could not be started.
    bool start(const QStringList &argv, const QStringList &variables, const QString &folder,
               const QString &output, const cpu_set_t *cores = nullptr);
    pid_t pid() const { return m_pid; }
    // Whether it has ended (and was reaped); its wait status then in status().
    bool ended();
    int status() const { return m_status; }
    // Waits, blocked, until it has ended, so a benchmark timing it learns of
    // the exit at once rather than at its next look; its wait status then in
    // status().
    void wait();
    // Asked to end as a shutdown asks (the panel writes its record), then
    // made to after 10 s. True when it ended on the request.
    bool stop();

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

// What /proc tells of a running process, as the benchmarks compare them.
namespace ProcFigures {
QByteArray readAll(const QString &path);
// A field of /proc/PID/status ("RssAnon", "VmRSS"), in its unit (kB), or -1.
qint64 statusField(pid_t pid, const QByteArray &name);
// Time the process's threads have run so far, in seconds, from the
// scheduler's own nanosecond count.
double runSeconds(pid_t pid);
// utime and stime of the whole process, every thread's, in seconds.
std::pair<double, double> userAndSystem(pid_t pid);
// Times the process's threads went to sleep and were woken.
qint64 wakeUps(pid_t pid);
double loadAverage();
// A loopback port free now, for a feed; the program takes it a moment later.
quint16 freeLoopbackPort();
// The first line of the answer to one GET on the loopback address, or empty.
QByteArray httpStatusLine(quint16 port, const char *path);
// Qt's serial lock for a device, as it names it in /run/lock.
QString serialLockOf(const QByteArray &device);
// The figure below which this share (0 to 1) of them lie, drawn between the
// two it falls between; none: 0.
double percentile(std::vector<double> figures, double share);
} // namespace ProcFigures
