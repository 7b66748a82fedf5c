// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// txpaneld: one transmitter watched as a station service, with no display.
#include "record/RecordFiles.h"
#include "service/ServiceLog.h"
#include "service/ServiceSettings.h"
#include "service/StationService.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {
// The exit status of a service whose settings cannot work; the unit does not
// restart it for that (RestartPreventExitStatus=), as a restart would not mend them.
constexpr int ExitBadSettings = 78;
constexpr int ExitUsage = 2;

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}
} // namespace

int main(int argc, char *argv[])
{
    // Before anything is written: a file-size limit stops the record, not the service.
    RecordFiles::keepRunningPastFileSizeLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("txpaneld"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TXPANEL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Watches one FM broadcast transmitter on a serial line as a station\n"
                       "service: status feed, alarms and record, with no display.\n"
                       "See txpaneld(8)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption config({QStringLiteral("c"), QStringLiteral("config")},
                                    QStringLiteral("The settings file (read, never written)."),
                                    QStringLiteral("file"));
    const QCommandLineOption instance(
        {QStringLiteral("i"), QStringLiteral("instance")},
        QStringLiteral("The service's name (txpaneld@<name>); default: the settings file's "
                       "name without its extension."),
        QStringLiteral("name"));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Read the settings, say what the service would do, and exit: 0 when "
                       "it can run as asked, 1 with each problem named."));
    parser.addOptions({config, instance, check});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty() || !parser.isSet(config)) {
        print(stderr, parser.isSet(config) ? QStringLiteral("txpaneld: unexpected argument: ") +
                                                 parser.positionalArguments().constFirst()
                                           : QStringLiteral("txpaneld: --config FILE is needed"));
        print(stderr, QStringLiteral("Try txpaneld --help."));
        return ExitUsage;
    }

    const ServiceSettings settings =
        ServiceSettings::read(parser.value(config), parser.value(instance));
    if (parser.isSet(check)) {
        for (const QString &line : settings.describe())
            print(stdout, line);
        for (const QString &problem : settings.allProblems())
            print(stderr, QStringLiteral("problem: ") + problem);
        return settings.allProblems().isEmpty() ? 0 : 1;
    }
    if (!settings.fatal.isEmpty()) {
        for (const QString &problem : settings.fatal)
            ServiceLog::error(QStringLiteral("cannot start: ") + problem);
        return ExitBadSettings;
    }

    StationService service(settings);
    QObject::connect(&service, &StationService::finished, &app, &QCoreApplication::exit);
    service.start();
    return app.exec();
}
