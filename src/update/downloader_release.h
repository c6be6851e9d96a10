// Keeps the downloader current: the newest yt-dlp release, fetched from the release address and
// kept in the user's data folder only when its signature, checksum and version all hold. The
// carried downloader prefers that copy when it is newer than the yt-dlp it holds itself.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>
#include <vector>

namespace update {

inline constexpr int kDownloaderStallTimeoutMs = 15000;
inline constexpr qint64 kMaxDownloaderBytes = qint64(64) * 1024 * 1024;

struct DownloaderUpdateOptions {
    // The folder that holds the files "yt-dlp", "SHA2-256SUMS" and "SHA2-256SUMS.sig"; empty:
    // DownloaderReleasesBase().
    QString releases;
    // Where the kept copy lives; empty: KeptDownloaderFolder().
    QString keepFolder;
    // The armored public key that must have signed the checksums; empty: the carried key.
    QByteArray releaseKey;
    // The version of the yt-dlp the program carries; empty: the one it was built with.
    QString carriedVersion;
    int stallTimeoutMs = kDownloaderStallTimeoutMs;
    qint64 maxBytes = kMaxDownloaderBytes;
    // The check gives up soon after this becomes true (the window closed).
    const std::atomic<bool>* cancel = nullptr;
};

enum class DownloaderUpdateResult {
    Kept,        // a newer copy is in place
    UpToDate,    // the release is verified but not newer than the carried or kept copy
    Refused,     // the release failed a check: untrusted address, signature, checksum, version
    Unreachable, // a file could not be fetched: no answer, an error status, too large
    Abandoned,   // cancelled before the end
};

// The release address: VANDREL_DOWNLOADER_RELEASES from the environment when set, else the
// address the build was configured with; it ends with "/".
QString DownloaderReleasesBase();
// $XDG_DATA_HOME/Vandrel/downloader (~/.local/share when XDG_DATA_HOME is unset or relative).
QString KeptDownloaderFolder();
// The version of the yt-dlp carried in the program's payload.
QString CarriedDownloaderVersion();
// The armored public key of the yt-dlp releases, carried in the program.
QByteArray CarriedDownloaderKey();

// Fetches the newest release and keeps it as "yt-dlp" in the keep folder when all checks hold.
// The copy is written to a private temporary name and renamed into place, so the working copy
// is never replaced by a partial or unverified file. Runs on the calling thread, which needs an
// event dispatcher; it blocks until the end.
DownloaderUpdateResult UpdateDownloader(const DownloaderUpdateOptions& options = {});

// "2025.04.30" or "2025.04.30.123456" as numbers; nothing when the text holds no version.
std::optional<std::vector<int>> ParseDownloaderVersion(const QString& text);
// The lower-case SHA-256 that a "sha256sum"-style list gives for name; nothing when none.
std::optional<QByteArray> ChecksumFor(const QByteArray& list, const QByteArray& name);

} // namespace update
