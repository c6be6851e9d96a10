// QSettings keeps the INI syntax and escaping (so any string comes back as written) and writes
// through QSaveFile: a temporary file renamed over the old one, which makes writes atomic.
#include "settings/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <climits>

namespace {

const QString kRelativeFile = QStringLiteral("Vandrel/Vandrel.conf");

std::optional<QString> ReadFrom(const QString& file, const QString& name)
{
    if (file.isEmpty() || !QFileInfo::exists(file))
        return std::nullopt;
    QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(name);
    // A value holding a list (a hand-written "a, b") is not a string value.
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

} // namespace

QString UserSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/'
           + kRelativeFile;
}

QString DefaultsSettingsFile()
{
    // The first location is the user's own folder; the rest are $XDG_CONFIG_DIRS in order.
    QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    if (!dirs.isEmpty())
        dirs.removeFirst();
    for (const QString& dir : dirs) {
        const QString file = dir + u'/' + kRelativeFile;
        if (QFileInfo(file).isFile())
            return file;
    }
    return {};
}

std::optional<SettingsKey> OpenSettingsKey()
{
    QString user = UserSettingsFile();
    QString defaults = DefaultsSettingsFile();
    if (!QFileInfo(user).isFile() && defaults.isEmpty())
        return std::nullopt;
    return SettingsKey(std::move(user), std::move(defaults));
}

std::optional<SettingsKey> CreateSettingsKey()
{
    QString user = UserSettingsFile();
    QFileInfo info(user);
    if (!info.isFile()) {
        if (!QDir().mkpath(info.absolutePath()))
            return std::nullopt;
        QFile file(user);
        // NewOnly: a file another process made meanwhile is kept as it is.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !info.isFile())
            return std::nullopt;
    }
    return SettingsKey(std::move(user), DefaultsSettingsFile());
}

std::optional<QString> ReadStringValue(const SettingsKey& key, const QString& name, int capacity)
{
    std::optional<QString> value = ReadFrom(key.UserFile(), name);
    if (!value)
        value = ReadFrom(key.DefaultsFile(), name);
    if (!value || value->size() + 1 > capacity)
        return std::nullopt;
    return value;
}

bool WriteStringValue(const SettingsKey& key, const QString& name, const QString& value)
{
    if (!QDir().mkpath(QFileInfo(key.UserFile()).absolutePath()))
        return false;
    QSettings settings(key.UserFile(), QSettings::IniFormat);
    settings.setAtomicSyncRequired(true);
    settings.setValue(name, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString GetDesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QDir().mkpath(desktop))
        return {};
    return desktop;
}

QString GetDownloadFolder(const SettingsKey* key)
{
    if (key) {
        if (std::optional<QString> stored =
                ReadStringValue(*key, settings_names::kDefaultDownloadFolder, INT_MAX))
            return *stored;
    }
    return GetDesktopFolder();
}
