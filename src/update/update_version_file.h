// The version file that the update server answers with: a profile (INI) text whose section
// "version" names the current version and the installer's address.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace update {

// A larger answer is not a version file.
inline constexpr qint64 kMaxVersionFileBytes = 64 * 1024;

struct VersionFileInfo {
    QString lastVersion;    // "last_version", "0.0.0.0" when missing
    QString lastVersionUrl; // "last_version_url", empty when missing
};

// The value of key in section, read the way profile files are read: section and key names in
// any letter case, the first matching section and key win, blanks around names and values and
// one pair of enclosing quotes are dropped, lines starting with ';' are comments. nullopt when
// the key is missing or its value does not fit capacity characters with a terminator.
std::optional<QString> ReadProfileString(const QByteArray& text, QStringView section,
                                         QStringView key, int capacity);

// Section "version" of the file at path; nullopt when the file cannot be read or is larger
// than kMaxVersionFileBytes.
std::optional<VersionFileInfo> ReadVersionFile(const QString& path);

} // namespace update
