#include "settings/SettingsStore.h"

#include <QFileInfo>
#include <QSettings>

namespace {

QString sectionKey(const QString &key)
{
    return SettingsStore::Section + QLatin1Char('/') + key;
}
} // namespace

namespace SettingsStore {
QString read(const QString &key)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, Application);
    return store.value(sectionKey(key)).toString();
}

void write(const QString &key, const QString &value)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, Application);
    store.setValue(sectionKey(key), value);
    store.sync();
}

bool readable()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, Application);
    // Permission bits do not stop root, and something other than a plain file at the
    // store's path (a directory, a device) is unusable whatever QSettings reports.
    const QFileInfo file(store.fileName());
    if (file.exists() && (!file.isFile() || !file.isReadable()))
        return false;
    return store.status() == QSettings::NoError;
}
} // namespace SettingsStore
