// The version file read the way a profile reader reads one: names in any case, first match
// wins, overlong values count as missing.
#include "update/update_version_file.h"

#include "settings/settings_store.h"

#include <QFile>

namespace update {

std::optional<QString> ReadProfileString(const QByteArray& text, QStringView section,
                                         QStringView key, int capacity)
{
    const QString all = QString::fromUtf8(text);
    bool inSection = false;
    bool seenSection = false;
    for (QStringView line : QStringView(all).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'\uFEFF'))
            line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            // Only the first section of that name is read.
            inSection = !seenSection && name.compare(section, Qt::CaseInsensitive) == 0;
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QStringView value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        // A value cut to the capacity would be another address or version: treat it as missing.
        if (value.size() >= capacity)
            return std::nullopt;
        return value.toString();
    }
    return std::nullopt;
}

std::optional<VersionFileInfo> ReadVersionFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxVersionFileBytes)
        return std::nullopt;
    const QByteArray text = file.read(kMaxVersionFileBytes + 1);
    if (text.size() > kMaxVersionFileBytes)
        return std::nullopt;
    const auto section = u"version";
    VersionFileInfo info;
    info.lastVersion = ReadProfileString(text, section, u"last_version", settings::kValueCapacity)
                           .value_or(QStringLiteral("0.0.0.0"));
    info.lastVersionUrl =
        ReadProfileString(text, section, u"last_version_url", settings::kValueCapacity)
            .value_or(QString());
    return info;
}

} // namespace update
