// The daily background check for a newer downloader: started once the window shows, on the
// first start of a day, on a thread of its own so it never delays the window.
#pragma once

#include "update/downloader_release.h"

#include <QDate>

#include <atomic>
#include <memory>
#include <optional>

class QThread;

namespace update {

class DownloaderUpdater {
public:
    explicit DownloaderUpdater(DownloaderUpdateOptions options = {});
    // Cancels a running check and waits for it; a transfer or a tool in progress is stopped
    // within a fraction of a second, and nothing half-written replaces the kept copy.
    ~DownloaderUpdater();
    DownloaderUpdater(const DownloaderUpdater&) = delete;
    DownloaderUpdater& operator=(const DownloaderUpdater&) = delete;

    // Starts the check unless one has been made on that (local) day; true when it started.
    // The day is recorded when the check reached a verdict on the release (kept, up to date or
    // refused); a release address that could not be reached, or a check cut short, leaves the
    // record as it was, so the next start tries again.
    bool StartIfDue(const QDate& today);
    // Waits for a started check to end; its result (nothing when none was started).
    std::optional<DownloaderUpdateResult> Wait();

    // The file in the keep folder that holds the day of the last check, as "%d%02d%02d".
    static QString RecordFile(const QString& keepFolder);

private:
    DownloaderUpdateOptions m_options;
    std::atomic<bool> m_cancel = false;
    std::unique_ptr<QThread> m_thread;
    // Written by the thread before it ends, read only after waiting for it.
    std::optional<DownloaderUpdateResult> m_result;
};

} // namespace update
