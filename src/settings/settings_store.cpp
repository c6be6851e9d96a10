// The files are read and changed by the program's own INI code (settings_ini.h), which keeps
// QSettings' syntax: a write replaces the one line it writes and keeps every other byte, through a
// temporary file in the same folder that is flushed to disk and renamed over the old one. The lock
// file is the one QSettings takes, so older builds and this one do not write over each other.
#include "settings/settings_store.h"

#include "platform/file_sync.h"
#include "settings/settings_ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <climits>

namespace settings {

namespace {

const QString kRelativeFile = QStringLiteral("Vandrel/Vandrel.conf");
// A settings file holds a few short lines; a larger one is not read (nor written) whole.
constexpr qint64 kMaxFileBytes = 1024 * 1024;
// How long a write waits for another process's write to end.
constexpr int kLockWaitMs = 5000;

// The file's bytes: empty when it does not exist; fails when it cannot be read or is larger than
// kMaxFileBytes.
platform::Expected<QByteArray> ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return platform::Fail(file.errorString());
    if (data.size() > kMaxFileBytes)
        return platform::Fail(QStringLiteral("larger than 1 MiB"));
    return data;
}

std::optional<QString> ReadFrom(const QString& file, const QString& name)
{
    if (file.isEmpty() || !QFileInfo::exists(file))
        return std::nullopt;
    const platform::Expected<QByteArray> data = ReadWholeFile(file);
    if (!data)
        return std::nullopt;
    return ini::ReadGeneralValue(*data, name);
}

} // namespace

QString UserSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           kRelativeFile;
}

QString DefaultsSettingsFile()
{
    // The first location is the user's own folder; the rest are $XDG_CONFIG_DIRS in order.
    QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    if (!dirs.isEmpty())
        dirs.removeFirst();
    // Unless the user names the folders, the installation's own (PREFIX/etc/xdg) comes last.
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_DIRS")) {
        const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        if (!program.isEmpty())
            dirs << QDir::cleanPath(QFileInfo(program).path() + u'/' +
                                    QStringLiteral(VANDREL_XDG_CONFIG_FROM_BIN));
    }
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

platform::Expected<void> CheckReadable(const SettingsKey& key)
{
    for (const QString& file : {key.UserFile(), key.DefaultsFile()}) {
        if (file.isEmpty())
            continue;
        if (const platform::Expected<QByteArray> data = ReadWholeFile(file); !data)
            return platform::Fail(file + QStringLiteral(": ") + data.error().text);
    }
    return {};
}

bool WriteStringValue(const SettingsKey& key, const QString& name, const QString& value)
{
    const QString& path = key.UserFile();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    const platform::Expected<QByteArray> current = ReadWholeFile(path);
    if (!current)
        return false;
    // Writing back what is there already leaves the file as it is, to the byte.
    if (ini::ReadGeneralValue(*current, name) == value)
        return true;
    const QByteArray changed = ini::SetGeneralValue(*current, name, value);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(changed) != changed.size() ||
        !file.flush() || !platform::SyncFile(file.handle())) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    // The new file is in place either way; this makes the rename itself survive a crash.
    platform::SyncDirectory(QFileInfo(path).absolutePath());
    return true;
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
                ReadStringValue(*key, names::kDefaultDownloadFolder, INT_MAX))
            return *stored;
    }
    return GetDesktopFolder();
}

} // namespace settings
