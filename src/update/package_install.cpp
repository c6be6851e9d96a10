// The package's hand-over: pkexec and apt-get waited for on the update worker, or xdg-open
// started detached with the package moved where the next start removes it.
#include "update/package_install.h"

#include "platform/file_name.h"
#include "platform/own_file.h"
#include "platform/temp_file_name.h"
#include "update/update_installers.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>

namespace update {

namespace {

// pkexec's own exit codes: the user dismissed the authorisation dialog, or authorisation could
// not be obtained.
constexpr int kAuthorisationDismissed = 126;
constexpr int kNotAuthorised = 127;
constexpr int kNameAttempts = 10;

UpdateJobResult InstallWithApt(const QString& pkexec, const QString& package)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    // apt-get's lines go where the program's own go: nothing is kept in memory.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // apt-get takes a file only as a path with a slash; the absolute one names nothing else.
    process.start(pkexec, {QStringLiteral("/usr/bin/apt-get"), QStringLiteral("install"),
                           QStringLiteral("--yes"), package});
    // No time limit: the user may take a while to authorise, apt-get to fetch dependencies.
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1) ||
        process.exitStatus() != QProcess::NormalExit)
        return UpdateJobResult::InstallFailed;
    switch (process.exitCode()) {
    case 0:
        return UpdateJobResult::HandedOver;
    case kAuthorisationDismissed:
    case kNotAuthorised:
        return UpdateJobResult::NotAuthorised;
    default:
        return UpdateJobResult::InstallFailed;
    }
}

UpdateJobResult HandToDesktop(const QString& xdgOpen, const platform::PrivateFolder& folder,
                              const QByteArray& name)
{
    const QString outer = QFileInfo(folder.Path()).absolutePath();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString target = platform::NewTempName() + QStringLiteral(".deb");
        const int moved = folder.MoveOut(name, platform::EncodeFileName(target));
        if (moved == -EEXIST)
            continue;
        if (moved != 0)
            return UpdateJobResult::InstallFailed;
        const QString path = outer + u'/' + target;
        // Recorded before it is opened, so that even a crash right after leaves it to the next
        // start.
        RecordLaunchedInstaller(path);
        if (QProcess::startDetached(xdgOpen, {path}))
            return UpdateJobResult::HandedOver;
        platform::RemoveOwnRegularFile(platform::EncodeFileName(path).constData());
        return UpdateJobResult::InstallFailed;
    }
    return UpdateJobResult::InstallFailed;
}

} // namespace

UpdateJobResult InstallPackage(const platform::PrivateFolder& folder, const QByteArray& name)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (!pkexec.isEmpty())
        return InstallWithApt(
            pkexec,
            QFileInfo(folder.Path() + u'/' + platform::DecodeFileName(name)).absoluteFilePath());
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty())
        return UpdateJobResult::InstallFailed;
    return HandToDesktop(xdgOpen, folder, name);
}

} // namespace update
