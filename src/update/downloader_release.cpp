// The release check: fetch into a private work folder, verify signature, checksum and version,
// then rename into place.
#include "update/downloader_release.h"

#include "platform/file_sync.h"
#include "platform/file_system.h"
#include "update/release_signature.h"
#include "update/update_download.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

namespace update {

namespace {

constexpr qint64 kMaxChecksumListBytes = 1024 * 1024;
// However steadily the data comes, a transfer ends after this long.
constexpr int kTransferTimeoutMs = 10 * 60 * 1000;

bool Cancelled(const DownloaderUpdateOptions& options)
{
    return options.cancel && options.cancel->load();
}

// The interpreter the carried downloader prefers, so a copy is judged by the one that runs it.
QString Python()
{
    const QString system = QStringLiteral("/usr/bin/python3");
    if (QFileInfo(system).isExecutable())
        return system;
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

std::optional<std::vector<int>> AskVersion(const QString& zipapp,
                                           const DownloaderUpdateOptions& options)
{
    const std::optional<QByteArray> output = RunCheckTool(
        Python(), {zipapp, QStringLiteral("--ignore-config"), QStringLiteral("--version")},
        options.cancel);
    if (!output)
        return std::nullopt;
    return ParseDownloaderVersion(QString::fromUtf8(*output));
}

QByteArray Sha256Of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// Renames the verified copy over the kept one, durably: its data first, then the folder entry.
bool KeepFile(const QString& from, const QString& to, const QString& folder)
{
    QFile file(from);
    if (!file.open(QIODevice::ReadOnly) || !platform::SyncFile(file.handle()))
        return false;
    file.close();
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return false;
    platform::SyncDirectory(folder);
    return true;
}

// Work folders of checks that never ended (the program was killed); a folder this old belongs to
// no check that still runs.
void RemoveAbandonedWork(const QString& keep)
{
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-24 * 3600);
    const QFileInfoList found = QDir(keep).entryInfoList(
        {QStringLiteral(".update-*")}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& work : found) {
        if (!work.isSymLink() && work.lastModified().toUTC() < cutoff)
            platform::RemoveTree(work.filePath());
    }
}

} // namespace

QString DownloaderReleasesBase()
{
    QString base = qEnvironmentVariable("VANDREL_DOWNLOADER_RELEASES");
    if (base.isEmpty())
        base = QStringLiteral(VANDREL_DOWNLOADER_RELEASES_DEFAULT);
    if (!base.endsWith(u'/'))
        base += u'/';
    return base;
}

QString KeptDownloaderFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (!data.startsWith(u'/'))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Vandrel/downloader");
}

std::optional<std::vector<int>> ParseDownloaderVersion(const QString& text)
{
    static const QRegularExpression kVersion(
        QStringLiteral("(\\d{1,9})\\.(\\d{1,9})\\.(\\d{1,9})(?:\\.(\\d{1,9}))?"));
    const QRegularExpressionMatch match = kVersion.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    std::vector<int> parts;
    for (int i = 1; i <= 4; ++i)
        parts.push_back(match.captured(i).isEmpty() ? 0 : match.captured(i).toInt());
    return parts;
}

std::optional<QByteArray> ChecksumFor(const QByteArray& list, const QByteArray& name)
{
    static const QRegularExpression kLine(QStringLiteral("^([0-9A-Fa-f]{64}) [ *](.+)$"));
    for (const QByteArray& raw : list.split('\n')) {
        QByteArray line = raw;
        if (line.endsWith('\r'))
            line.chop(1);
        const QRegularExpressionMatch match = kLine.match(QString::fromUtf8(line));
        if (match.hasMatch() && match.captured(2).toUtf8() == name)
            return match.captured(1).toLower().toLatin1();
    }
    return std::nullopt;
}

DownloaderUpdateResult UpdateDownloader(const DownloaderUpdateOptions& options)
{
    using Result = DownloaderUpdateResult;
    QString base = options.releases.isEmpty() ? DownloaderReleasesBase() : options.releases;
    if (!base.endsWith(u'/'))
        base += u'/';
    const QUrl baseUrl(base, QUrl::StrictMode);
    if (!IsTrustedUpdateUrl(baseUrl))
        return Result::Refused;
    const QString keep = options.keepFolder.isEmpty() ? KeptDownloaderFolder() : options.keepFolder;
    if (!QDir().mkpath(keep))
        return Result::Unreachable;
    RemoveAbandonedWork(keep);
    // Private (0700) and in the keep folder, so the verified copy is renamed, never copied.
    QTemporaryDir work(keep + QStringLiteral("/.update-XXXXXX"));
    if (!work.isValid())
        return Result::Unreachable;

    const auto fetch = [&](const char* name, qint64 maxBytes) {
        DownloadLimits limits;
        limits.stallTimeoutMs = options.stallTimeoutMs;
        limits.totalTimeoutMs = kTransferTimeoutMs;
        limits.maxBytes = maxBytes;
        limits.redirectsToOtherHttpsHosts = true; // what is fetched is verified afterwards
        limits.cancel = options.cancel;
        const QString file = work.filePath(QString::fromLatin1(name));
        return DownloadToFile(baseUrl.resolved(QUrl(QString::fromLatin1(name))), file, limits)
                   ? file
                   : QString();
    };
    const auto failed = [&] {
        return Cancelled(options) ? Result::Abandoned : Result::Unreachable;
    };

    const QString sums = fetch("SHA2-256SUMS", kMaxChecksumListBytes);
    if (sums.isEmpty())
        return failed();
    const QString signature = fetch("SHA2-256SUMS.sig", kMaxSignatureBytes);
    if (signature.isEmpty())
        return failed();
    const QByteArray key =
        options.releaseKey.isEmpty() ? CarriedDownloaderKey() : options.releaseKey;
    if (!VerifyDetachedSignature(sums, signature, key, work.path(), options.cancel))
        return Cancelled(options) ? Result::Abandoned : Result::Refused;
    QFile list(sums);
    if (!list.open(QIODevice::ReadOnly))
        return Result::Unreachable;
    const std::optional<QByteArray> expected =
        ChecksumFor(list.read(kMaxChecksumListBytes), "yt-dlp");
    list.close();
    if (!expected)
        return Result::Refused;

    const QString copy = fetch("yt-dlp", options.maxBytes);
    if (copy.isEmpty())
        return failed();
    if (Sha256Of(copy) != *expected)
        return Result::Refused;
    const std::optional<std::vector<int>> version = AskVersion(copy, options);
    if (!version)
        return Cancelled(options) ? Result::Abandoned : Result::Refused;

    const QString carriedText =
        options.carriedVersion.isEmpty() ? CarriedDownloaderVersion() : options.carriedVersion;
    const std::optional<std::vector<int>> carried = ParseDownloaderVersion(carriedText);
    if (carried && *version <= *carried)
        return Result::UpToDate;
    const QString kept = keep + QStringLiteral("/yt-dlp");
    if (QFileInfo::exists(kept)) {
        const std::optional<std::vector<int>> keptVersion = AskVersion(kept, options);
        if (keptVersion && *version <= *keptVersion)
            return Result::UpToDate;
    }
    if (Cancelled(options))
        return Result::Abandoned;
    return KeepFile(copy, kept, keep) ? Result::Kept : Result::Unreachable;
}

} // namespace update
