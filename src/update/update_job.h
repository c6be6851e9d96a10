// The update job: the version file from the server, the question, and the package. It knows no
// window: it asks through a callback and says only how the update ended.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace update {

inline constexpr int kUpdateStallTimeoutMs = 15000;
inline constexpr int kVersionFileTimeoutMs = 30 * 1000;
inline constexpr int kInstallerTimeoutMs = 10 * 60 * 1000;
inline constexpr qint64 kMaxInstallerBytes = qint64(512) * 1024 * 1024;

// The limits are the ones a real run uses; tests make them short.
struct UpdateJobOptions {
    // Each download gives up after this long without progress.
    int stallTimeoutMs = kUpdateStallTimeoutMs;
    // The version file must have arrived this long after its request, the package this long
    // after its own; past that the download fails as if the server were silent.
    int versionFileTimeoutMs = kVersionFileTimeoutMs;
    int installerTimeoutMs = kInstallerTimeoutMs;
    // A larger package is not downloaded.
    qint64 maxInstallerBytes = kMaxInstallerBytes;
    // The armored public key that must have signed the package; empty: the carried key. Only
    // tests set it.
    QByteArray releaseKey;
};

enum class UpdateJobResult {
    NoUpdate,      // none offered, the user said No, or the package could not be fetched
    HandedOver,    // installed, or handed to the desktop's package installer: the run ends
    Unverified,    // not a Debian package, or not signed by the release key: nothing installed
    NotAuthorised, // the user cancelled the authorisation, or it was refused
    InstallFailed, // the installation itself failed, or no installer could be started
};

// The armored public key that signs Vandrel's packages, carried in the program; empty when the
// build was configured without one, and then no package is ever accepted.
QByteArray CarriedReleaseKey();

// Runs the job on the calling thread (which needs an event dispatcher); it blocks while the
// package installs. ask is called on this thread when the server offers another version, and
// returns the user's answer.
UpdateJobResult RunUpdateJob(const QString& updateAddress, const QString& ownVersion,
                             const UpdateJobOptions& options, const std::function<bool()>& ask);

} // namespace update
