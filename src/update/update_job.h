// The update job: the version file from the server, the question, and the installer. It knows
// no window: it asks through a callback and says only whether an installer was started.
#pragma once

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
    // The version file must have arrived this long after its request, the installer this long
    // after its own; past that the download fails as if the server were silent.
    int versionFileTimeoutMs = kVersionFileTimeoutMs;
    int installerTimeoutMs = kInstallerTimeoutMs;
    // A larger installer is not downloaded.
    qint64 maxInstallerBytes = kMaxInstallerBytes;
};

// Runs the job on the calling thread (which needs an event dispatcher). ask is called on this
// thread when the server offers another version, and returns the user's answer. True when an
// installer was started; it is recorded, so that the next start removes it
// (update_installers.h).
bool RunUpdateJob(const QString& updateAddress, const QString& ownVersion,
                  const UpdateJobOptions& options, const std::function<bool()>& ask);

} // namespace update
