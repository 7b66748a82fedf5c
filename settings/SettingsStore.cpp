// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "settings/FileTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

#include <algorithm>
#include <iterator>
#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// The sections the panel reads; a file with none of them is not the panel's.
constexpr QLatin1String KnownSections[] = {QLatin1String("Startup"), QLatin1String("Link"),
                                           QLatin1String("Feed"),    QLatin1String("Alarms"),
                                           QLatin1String("Record"),  QLatin1String("Control")};
constexpr QLatin1String KnownStartupKeys[] = {QLatin1String("Comm"), QLatin1String("LimitUp"),
                                              QLatin1String("LimitDown")};
// Far more than any settings file the panel or an engineer writes.
constexpr qint64 MaxFileBytes = 1024 * 1024;

struct Health
{
    bool checked = false;
    QString problem;
    QStringList misspelt;
    // useFile()'s; empty for the per-user store.
    QString fixedFile;
};
// What the last check found; built on first use, not at program start.
Health &health()
{
    static Health found;
    return found;
}

QString sectionKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

#ifdef Q_OS_UNIX
// Where QSettings keeps a scope's file, without letting it read ours: a store
// of a name nobody uses tells the folder (tests move it with QSettings::setPath).
QString storeFile(QSettings::Scope scope)
{
    const QString probeName = SettingsStore::Application + QStringLiteral("-path-probe");
    const QSettings probe(QSettings::NativeFormat, scope, probeName);
    const QFileInfo probeFile(probe.fileName());
    return probeFile.dir().filePath(SettingsStore::Application + QStringLiteral(".conf"));
}

// Why the file at this path cannot be the store; empty when it is fine or absent.
QString inspect(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat link
    {
    };
    if (::lstat(name.constData(), &link) != 0)
        return errno == ENOENT ? QString() : path + QStringLiteral(": cannot be looked at");
    struct stat target
    {
    };
    if (::stat(name.constData(), &target) != 0)
        return path + QStringLiteral(" is a link to nothing");
    if (!S_ISREG(target.st_mode))
        return path + QStringLiteral(" is ") + FileTarget::kindOf(target.st_mode);

    // A plain file now; O_NONBLOCK still, in case it was swapped for a FIFO since.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return path + QStringLiteral(" cannot be read");
    struct stat opened
    {
    };
    QByteArray bytes;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_size <= MaxFileBytes) {
        bytes.resize(qsizetype(opened.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
    } else {
        ::close(fd);
        return path + QStringLiteral(" is not a settings file");
    }
    ::close(fd);

    if (bytes.trimmed().isEmpty())
        return path + QStringLiteral(" is empty");
    if (bytes.contains('\0'))
        return path + QStringLiteral(" holds NUL bytes");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return path + QStringLiteral(" is not text");
    for (const QChar character : text) {
        if (character.unicode() < 32 && character != QLatin1Char('\n') &&
            character != QLatin1Char('\r') && character != QLatin1Char('\t'))
            return path + QStringLiteral(" is not text");
    }
    const QSettings parsed(path, QSettings::IniFormat);
    if (parsed.status() != QSettings::NoError)
        return path + QStringLiteral(" has a format error");
    bool ours = false;
    for (const QString &group : parsed.childGroups())
        ours = ours || std::find(std::begin(KnownSections), std::end(KnownSections), group) !=
                           std::end(KnownSections);
    if (!ours)
        return path + QStringLiteral(" has no [Startup] section");
    return QString();
}
#endif

void ensureChecked()
{
    if (!health().checked)
        SettingsStore::check();
}

// The store as QSettings reads it: the fixed file, or the per-user one.
std::unique_ptr<QSettings> openStore()
{
    if (!health().fixedFile.isEmpty())
        return std::make_unique<QSettings>(health().fixedFile, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       SettingsStore::Application);
}
} // namespace

namespace SettingsStore {
void useFile(const QString &path)
{
    health() = Health();
    health().fixedFile = path;
}

QString fixedFile()
{
    return health().fixedFile;
}

void check()
{
    const QString fixed = health().fixedFile;
    health() = Health();
    health().checked = true;
    health().fixedFile = fixed;
#ifdef Q_OS_UNIX
    if (!fixed.isEmpty()) {
        health().problem = QFileInfo::exists(fixed) || QFileInfo(fixed).isSymLink()
                               ? inspect(fixed)
                               : fixed + QStringLiteral(" does not exist");
        if (!health().problem.isEmpty())
            return;
    } else {
        // The system-wide file first: its limits stand when the user's has none.
        for (const QSettings::Scope scope : {QSettings::SystemScope, QSettings::UserScope}) {
            const QString why = inspect(storeFile(scope));
            if (!why.isEmpty()) {
                health().problem = why;
                return;
            }
        }
    }
#endif
    const std::unique_ptr<QSettings> opened = openStore();
    QSettings &store = *opened;
    if (store.status() != QSettings::NoError) {
        health().problem = store.fileName() + QStringLiteral(" cannot be read");
        return;
    }
    store.beginGroup(Section);
    for (const QString &key : store.childKeys()) {
        for (const QLatin1String known : KnownStartupKeys) {
            if (key != known && key.compare(known, Qt::CaseInsensitive) == 0)
                health().misspelt << key;
        }
    }
}

bool usable()
{
    ensureChecked();
    return health().problem.isEmpty();
}

QString problem()
{
    ensureChecked();
    return health().problem;
}

QStringList misspeltKeys()
{
    ensureChecked();
    return health().misspelt;
}

std::optional<QVariant> value(const QString &section, const QString &key)
{
    if (!usable())
        return std::nullopt;
    const std::unique_ptr<QSettings> store = openStore();
    const QString path = sectionKey(section, key);
    if (!store->contains(path))
        return std::nullopt;
    return store->value(path);
}

QString read(const QString &key)
{
    const std::optional<QVariant> stored = value(Section, key);
    if (!stored || stored->typeId() != QMetaType::QString)
        return QString();
    return stored->toString();
}

bool flag(const QString &section, const QString &key, bool fallback)
{
    const std::optional<QVariant> stored = value(section, key);
    return stored ? yesOrNo(*stored).value_or(fallback) : fallback;
}

std::optional<bool> yesOrNo(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes") ||
        text == QLatin1String("on") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("no") ||
        text == QLatin1String("off") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

int number(const QString &section, const QString &key, int fallback, int minimum, int maximum)
{
    const std::optional<QVariant> stored = value(section, key);
    if (!stored || stored->typeId() != QMetaType::QString)
        return fallback;
    bool ok = false;
    const int parsed = stored->toString().trimmed().toInt(&ok);
    return ok && parsed >= minimum && parsed <= maximum ? parsed : fallback;
}

bool write(const QString &key, const QString &text, QString *why)
{
    // A service's settings belong to the station engineer: never written.
    if (!health().fixedFile.isEmpty()) {
        if (why)
            *why = health().fixedFile + QStringLiteral(" is only read; it is left as it is");
        return false;
    }
    if (!usable()) {
        if (why)
            *why = health().problem + QStringLiteral("; it is left as it is");
        return false;
    }
#ifdef Q_OS_UNIX
    // Swapped since the start for a link to a device or a pipe: the store
    // would read it (a pipe holds it up for good), then write through it or
    // put a file in its place. Looked at before QSettings opens it.
    if (const QString refused = FileTarget::refusal(storeFile(QSettings::UserScope));
        !refused.isEmpty()) {
        if (why)
            *why = refused + QStringLiteral("; it is left as it is");
        return false;
    }
#endif
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, Application);
    store.setValue(sectionKey(Section, key), text);
    store.sync();
    if (store.status() == QSettings::NoError)
        return true;
    if (why) {
        const QFileInfo file(store.fileName());
        *why =
            file.exists() && !file.isWritable()
                ? store.fileName() + QStringLiteral(" is read-only")
                : store.fileName() +
                      QStringLiteral(" could not be written (a read-only folder or a full disk)");
    }
    return false;
}

bool readable()
{
    check();
    return usable();
}
} // namespace SettingsStore
