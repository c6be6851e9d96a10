// The program's persistent settings: a few string values in a per-user INI file
// ($XDG_CONFIG_HOME/Vandrel/Vandrel.conf, section [General]). Values the user's file lacks are
// read from the first system defaults file, Vandrel/Vandrel.conf in $XDG_CONFIG_DIRS (when it is
// unset: /etc/xdg, then the installation's PREFIX/etc/xdg), which the install step writes with
// "AffID". The program writes only the user's file, and never "AffID".
#pragma once

#include "platform/expected.h"

#include <QString>

#include <optional>

namespace settings {

// The room a value read from the settings or from the update's version file has, its terminator
// included: a longer value counts as absent.
inline constexpr int kValueCapacity = 260;

// An open settings key: the user's file and, when there is one, the defaults file.
class SettingsKey {
public:
    const QString& UserFile() const { return m_userFile; }
    const QString& DefaultsFile() const { return m_defaultsFile; }

private:
    friend std::optional<SettingsKey> OpenSettingsKey();
    friend std::optional<SettingsKey> CreateSettingsKey();
    SettingsKey(QString userFile, QString defaultsFile)
        : m_userFile(std::move(userFile)), m_defaultsFile(std::move(defaultsFile))
    {
    }
    QString m_userFile;
    QString m_defaultsFile; // empty when no defaults file exists
};

// Where the user's settings file lives, and the defaults file in use (empty when none).
QString UserSettingsFile();
QString DefaultsSettingsFile();

// Succeeds when the user's file or a defaults file exists.
std::optional<SettingsKey> OpenSettingsKey();
// Creates the user's file (and its folder) when it is missing; fails when that cannot be done.
std::optional<SettingsKey> CreateSettingsKey();

// The value of name, or nullopt when it is absent or does not fit in capacity characters with
// a terminator (so a capacity of 260 accepts at most 259 characters). A hand-written value is
// read as its text: commas are part of it, and bytes that are not UTF-8 are kept the way
// platform::DecodeFileName keeps them, so writing the value back writes the same bytes.
std::optional<QString> ReadStringValue(const SettingsKey& key, const QString& name,
                                       int capacity = kValueCapacity);
// Whether the files of key can be read, which a read that missed a value may be owed to. The
// failure is "<file>: <reason>" for the first of its files that exists but cannot be read (the
// system's reason, or "larger than 1 MiB").
platform::Expected<void> CheckReadable(const SettingsKey& key);
// Stores value under name in the user's file: the line of that name is replaced (or one is
// added to [General]) and every other byte stays. Atomic: a crash leaves the old file or the new
// one. Storing the value already there leaves the file untouched. False when the file cannot be
// read or written, is larger than 1 MiB, or another process holds its lock for 5 s.
bool WriteStringValue(const SettingsKey& key, const QString& name, const QString& value);

// The user's desktop folder, created when missing; empty when it cannot be had.
QString GetDesktopFolder();
// "DefaultDownloadFolder" as stored (empty stays empty), or the desktop folder when the key is
// missing or the value absent.
QString GetDownloadFolder(const SettingsKey* key);

namespace names {
inline const QString kAffId = QStringLiteral("AffID");
inline const QString kLastUpdate = QStringLiteral("LastUpdate");
inline const QString kDefaultDownloadFolder = QStringLiteral("DefaultDownloadFolder");
// The job options, each stored as the word of its choice.
inline const QString kQuality = QStringLiteral("Quality");
inline const QString kSubtitles = QStringLiteral("Subtitles");
inline const QString kCookiesFrom = QStringLiteral("CookiesFrom");
// The job button pressed last, by its command-line word ("download-mp3"): Return in the URL
// field presses it again.
inline const QString kLastJobButton = QStringLiteral("LastJobButton");
} // namespace names

} // namespace settings
