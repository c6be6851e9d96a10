#include "app/update_worker.h"

#include "app/update_dlg.h"
#include "app/update_download.h"
#include "app/update_installers.h"
#include "app/update_version_file.h"
#include "app/workspace.h"

#include <QFile>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QProcess>

#include <atomic>

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

bool AskToUpdateWithMessageBox(QWidget* owner)
{
    return QMessageBox::question(owner, QStringLiteral("Update?"),
                                 QStringLiteral("Vandrel needs to update, click OK to approve."),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

bool RunUpdateJob(const QString& updateAddress, const QString& ownVersion,
                  const UpdateJobOptions& options, const std::function<bool()>& ask)
{
    QNetworkAccessManager manager;
    const QString versionFile = MakeTempFileName();
    DownloadLimits versionLimits;
    versionLimits.stallTimeoutMs = options.stallTimeoutMs;
    versionLimits.totalTimeoutMs = options.versionFileTimeoutMs;
    versionLimits.maxBytes = kMaxVersionFileBytes;
    if (!DownloadToFile(manager, QUrl(updateAddress), versionFile, versionLimits))
        return false; // nothing of ours is left behind

    const std::optional<VersionFileInfo> info = ReadVersionFile(versionFile);
    QFile::remove(versionFile);
    if (!info || info->lastVersion == ownVersion || info->lastVersionUrl.isEmpty())
        return false;
    // Not asking for an installer that would not be fetched.
    const QUrl installerUrl(info->lastVersionUrl, QUrl::StrictMode);
    if (!IsTrustedUpdateUrl(installerUrl) || !ask())
        return false;

    const QString installer = MakeTempFileName(QStringLiteral(".exe"));
    DownloadLimits installerLimits;
    installerLimits.stallTimeoutMs = options.stallTimeoutMs;
    installerLimits.totalTimeoutMs = options.installerTimeoutMs;
    installerLimits.maxBytes = options.maxInstallerBytes;
    if (!DownloadToFile(manager, installerUrl, installer, installerLimits))
        return false;
    // Recorded before it starts, so that even a crash right after leaves it to the next start.
    RecordLaunchedInstaller(installer);
    if (StartInstaller(installer))
        return true; // the running installer keeps its file: a script is read by path
    QFile::remove(installer);
    return false;
}

int UpdateWorker(UpdateDlg& dialog)
{
    const auto ask = [&dialog] {
        // Widgets live on the GUI thread: ask there and wait for the answer. The blocking call
        // already orders the write before the read; the atomic says so to race checkers, which
        // cannot see inside Qt's own futex-based wait.
        std::atomic<bool> yes = false;
        QMetaObject::invokeMethod(
            &dialog, [&dialog, &yes] { yes = dialog.AskToUpdate(); }, Qt::BlockingQueuedConnection);
        return yes.load();
    };
    if (RunUpdateJob(dialog.UpdateAddress(), dialog.OwnVersion(), dialog.Options(), ask))
        dialog.SetInstallerLaunched();
    dialog.EndFromWorker();
    return 0;
}
