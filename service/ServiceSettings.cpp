// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/ServiceSettings.h"

#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

namespace {
// Where systemd keeps the service's state (StateDirectory=): the first of
// the folders it lists.
QString stateDirectory()
{
    const QString listed = qEnvironmentVariable("STATE_DIRECTORY");
    return listed.section(QLatin1Char(':'), 0, 0);
}
} // namespace

ServiceSettings ServiceSettings::read(const QString &file, const QString &instance)
{
    ServiceSettings settings;
    settings.file = QFileInfo(file).absoluteFilePath();
    settings.instance = instance.isEmpty() ? QFileInfo(file).completeBaseName() : instance;

    SettingsStore::useFile(settings.file);
    SettingsStore::check();
    if (!SettingsStore::usable()) {
        settings.fatal << SettingsStore::problem();
        settings.band = BandLimits::closed(QStringLiteral("the settings file cannot be used (") +
                                           SettingsStore::problem() + QLatin1Char(')'));
        settings.line.problem = SettingsStore::problem();
        // Nothing else is read from a file that cannot be trusted.
        settings.feed.enabled = false;
        return settings;
    }

    settings.line = LinkLine::fromStore(SettingsStore::read(QStringLiteral("Comm")));
    if (!settings.line.problem.isEmpty())
        settings.fatal << (LinkLine::storedDevice().isEmpty()
                               ? QStringLiteral("no line: neither [Link] Device nor [Startup] "
                                                "Comm names one (") +
                                     settings.line.problem + QLatin1Char(')')
                               : settings.line.problem);

    settings.band = BandLimits::fromStored(
        SettingsStore::value(SettingsStore::Section, QStringLiteral("LimitUp")),
        SettingsStore::value(SettingsStore::Section, QStringLiteral("LimitDown")),
        SettingsStore::misspeltKeys());
    if (!settings.band.usable())
        settings.problems << QStringLiteral("the band is closed: ") + settings.band.whyUnusable();

    settings.resume = SettingsStore::flag(QStringLiteral("Link"), QStringLiteral("Resume"), true);

    settings.feed = FeedSettings::fromStore();
    // One station, several transmitters: each feed is told apart by its instance.
    const std::optional<QVariant> name =
        SettingsStore::value(QStringLiteral("Feed"), QStringLiteral("Name"));
    if (!name || name->toString().trimmed().isEmpty())
        settings.feed.name = settings.instance;
    if (settings.feed.enabled && !settings.feed.problem.isEmpty())
        settings.problems << settings.feed.problem + QStringLiteral(": the feed stays off");

    settings.alarms = AlarmSettings::fromStore();
    settings.record = RecordSettings::fromStore();
    const std::optional<QVariant> path =
        SettingsStore::value(QStringLiteral("Record"), QStringLiteral("Path"));
    if (settings.record.enabled && (!path || path->toString().isEmpty()) &&
        !stateDirectory().isEmpty())
        settings.record.path = QDir(stateDirectory()).filePath(QStringLiteral("record.sqlite"));

    // The service's socket is open to the station's engineers (group txpanel).
    settings.control = ControlSettings::fromStore(
        ControlSettings::serviceDefaultSocket(settings.instance), QStringLiteral("txpanel"));
    if (settings.control.enabled && !settings.control.problem.isEmpty())
        settings.problems << settings.control.problem +
                                 QStringLiteral(": remote control stays off");
    else if (settings.control.enabled && !settings.record.enabled)
        settings.problems << QStringLiteral("[Control] Enabled needs [Record] Enabled: no command "
                                            "is taken that the log could not answer for; remote "
                                            "control stays off");
    return settings;
}

QStringList ServiceSettings::describe() const
{
    QStringList lines;
    lines << QStringLiteral("settings: %1").arg(file);
    lines << QStringLiteral("instance: %1").arg(instance);
    if (line.problem.isEmpty())
        lines << QStringLiteral("line: %1, device %2 (4800,N,8,1)").arg(line.name, line.device);
    else
        lines << QStringLiteral("line: none");
    lines << QStringLiteral("resume after a lost link: %1")
                 .arg(resume ? QStringLiteral("yes") : QStringLiteral("no"));
    if (band.usable())
        lines << QStringLiteral("band: %1 to %2 kHz").arg(band.downText(), band.upText());
    else
        lines << QStringLiteral("band: closed, no frequency can be programmed");
    if (feed.enabled && feed.problem.isEmpty())
        lines << QStringLiteral("feed: http://%1/ as \"%2\"").arg(feed.endpoint(), feed.name);
    else
        lines << QStringLiteral("feed: off");
    lines << QStringLiteral("alarms: %1")
                 .arg(alarms.enabled ? QStringLiteral("on") : QStringLiteral("off"));
    if (record.enabled)
        lines << QStringLiteral("record: %1 (folder %2)")
                     .arg(record.path, QFileInfo(record.path).absolutePath());
    else
        lines << QStringLiteral("record: off");
    if (control.enabled && control.problem.isEmpty() && record.enabled)
        lines << QStringLiteral("control: %1 (group %2; rf on %3, frequency %4)")
                     .arg(control.socket,
                          control.group.isEmpty() ? QStringLiteral("none") : control.group,
                          control.allowRfOn ? QStringLiteral("allowed")
                                            : QStringLiteral("not allowed"),
                          control.allowFrequency ? QStringLiteral("allowed")
                                                 : QStringLiteral("not allowed"));
    else
        lines << QStringLiteral("control: off");
    return lines;
}
