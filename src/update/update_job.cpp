// The update job's steps in order; every file it makes is removed again unless an installer
// runs from it.
#include "update/update_job.h"

#include "platform/temp_file_name.h"
#include "update/update_download.h"
#include "update/update_installers.h"
#include "update/update_version_file.h"

#include <QFile>
#include <QProcess>

namespace update {

namespace {

// Starts the downloaded installer. Without elevation by verb it is made executable (for the
// owner only) and started normally, detached, with no arguments.
bool StartInstaller(const QString& path)
{
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QProcess::startDetached(path, {});
}

} // namespace

bool RunUpdateJob(const QString& updateAddress, const QString& ownVersion,
                  const UpdateJobOptions& options, const std::function<bool()>& ask)
{
    const QString versionFile = platform::MakeTempFileName();
    DownloadLimits versionLimits;
    versionLimits.stallTimeoutMs = options.stallTimeoutMs;
    versionLimits.totalTimeoutMs = options.versionFileTimeoutMs;
    versionLimits.maxBytes = kMaxVersionFileBytes;
    if (!DownloadToFile(QUrl(updateAddress), versionFile, versionLimits))
        return false; // nothing of ours is left behind

    const std::optional<VersionFileInfo> info = ReadVersionFile(versionFile);
    QFile::remove(versionFile);
    if (!info || info->lastVersion == ownVersion || info->lastVersionUrl.isEmpty())
        return false;
    // Not asking for an installer that would not be fetched.
    const QUrl installerUrl(info->lastVersionUrl, QUrl::StrictMode);
    if (!IsTrustedUpdateUrl(installerUrl) || !ask())
        return false;

    const QString installer = platform::MakeTempFileName(QStringLiteral(".exe"));
    DownloadLimits installerLimits;
    installerLimits.stallTimeoutMs = options.stallTimeoutMs;
    installerLimits.totalTimeoutMs = options.installerTimeoutMs;
    installerLimits.maxBytes = options.maxInstallerBytes;
    if (!DownloadToFile(installerUrl, installer, installerLimits))
        return false;
    // Recorded before it starts, so that even a crash right after leaves it to the next start.
    RecordLaunchedInstaller(installer);
    if (StartInstaller(installer))
        return true; // the running installer keeps its file: a script is read by path
    QFile::remove(installer);
    return false;
}

} // namespace update
