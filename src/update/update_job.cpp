// The update job's steps in order. The package, its signature and the check's keyring live in a
// private folder of the job's, which goes with everything in it.
#include "update/update_job.h"

#include "platform/private_folder.h"
#include "platform/temp_file_name.h"
#include "update/package_install.h"
#include "update/release_signature.h"
#include "update/update_download.h"
#include "update/update_version_file.h"

#include <QFile>

namespace update {

namespace {

// How every Debian package begins: an ar archive whose first member is "debian-binary".
constexpr QByteArrayView kDebianPackageStart = "!<arch>\ndebian-binary";
const QByteArray kPackageName = QByteArrayLiteral("update.deb");
const QByteArray kSignatureName = QByteArrayLiteral("update.deb.sig");

// The detached signature is served beside the package: its path with ".sig" added.
QUrl SignatureUrl(const QUrl& package)
{
    QUrl signature = package;
    signature.setPath(package.path(QUrl::FullyEncoded) + QStringLiteral(".sig"), QUrl::StrictMode);
    return signature;
}

} // namespace

UpdateJobResult RunUpdateJob(const QString& updateAddress, const QString& ownVersion,
                             const UpdateJobOptions& options, const std::function<bool()>& ask)
{
    const QString versionFile = platform::MakeTempFileName();
    DownloadLimits versionLimits;
    versionLimits.stallTimeoutMs = options.stallTimeoutMs;
    versionLimits.totalTimeoutMs = options.versionFileTimeoutMs;
    versionLimits.maxBytes = kMaxVersionFileBytes;
    if (!DownloadToFile(QUrl(updateAddress), versionFile, versionLimits))
        return UpdateJobResult::NoUpdate; // nothing of ours is left behind

    const std::optional<VersionFileInfo> info = ReadVersionFile(versionFile);
    QFile::remove(versionFile);
    if (!info || info->lastVersion == ownVersion || info->lastVersionUrl.isEmpty())
        return UpdateJobResult::NoUpdate;
    // Not asking for a package that would not be fetched.
    const QUrl packageUrl(info->lastVersionUrl, QUrl::StrictMode);
    if (!IsTrustedUpdateUrl(packageUrl) || !ask())
        return UpdateJobResult::NoUpdate;

    platform::Expected<platform::PrivateFolder> folder =
        platform::PrivateFolder::Make(platform::TemporaryDirectory(), "vandrel-update-");
    if (!folder)
        return UpdateJobResult::NoUpdate;
    const QString package = folder->Path() + u'/' + QString::fromLatin1(kPackageName);
    const QString signature = folder->Path() + u'/' + QString::fromLatin1(kSignatureName);
    DownloadLimits limits;
    limits.stallTimeoutMs = options.stallTimeoutMs;
    limits.totalTimeoutMs = options.installerTimeoutMs;
    limits.maxBytes = options.maxInstallerBytes;
    if (!DownloadToFile(packageUrl, package, limits))
        return UpdateJobResult::NoUpdate;
    if (folder->ReadStart(kPackageName, kDebianPackageStart.size()) != kDebianPackageStart)
        return UpdateJobResult::Unverified;
    limits.maxBytes = kMaxSignatureBytes;
    const QByteArray key = options.releaseKey.isEmpty() ? CarriedReleaseKey() : options.releaseKey;
    if (!DownloadToFile(SignatureUrl(packageUrl), signature, limits) ||
        !VerifyDetachedSignature(package, signature, key, folder->Path()))
        return UpdateJobResult::Unverified;
    return InstallPackage(*folder, kPackageName);
}

} // namespace update
