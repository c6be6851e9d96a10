// The update job that runs on the update dialog's worker thread: the version file from the
// server, the question, and the installer.
#pragma once

#include <QString>

#include <functional>

class QWidget;
class UpdateDlg;

inline constexpr int kUpdateStallTimeoutMs = 15000;
inline constexpr int kVersionFileTimeoutMs = 30 * 1000;
inline constexpr int kInstallerTimeoutMs = 10 * 60 * 1000;
inline constexpr qint64 kMaxInstallerBytes = qint64(512) * 1024 * 1024;

// The limits are the ones a real run uses; tests make them short.
struct UpdateJobOptions {
    // Asks the user whether to update; runs on the GUI thread with the update dialog as the
    // owner and returns true for Yes. Empty: the real message box. Tests answer through it.
    std::function<bool(QWidget* owner)> askToUpdate;
    // Each download gives up after this long without progress.
    int stallTimeoutMs = kUpdateStallTimeoutMs;
    // The version file must have arrived this long after its request, the installer this long
    // after its own; past that the download fails as if the server were silent.
    int versionFileTimeoutMs = kVersionFileTimeoutMs;
    int installerTimeoutMs = kInstallerTimeoutMs;
    // A larger installer is not downloaded.
    qint64 maxInstallerBytes = kMaxInstallerBytes;
};

// The message box: "Vandrel needs to update, click OK to approve." with Yes and No.
bool AskToUpdateWithMessageBox(QWidget* owner);

// Runs the update job on the calling thread (which needs an event dispatcher). ask is called
// on this thread and must return the user's answer. True when an installer was started; it is
// recorded, so that the next start removes it (update_installers.h).
bool RunUpdateJob(const QString& updateAddress, const QString& ownVersion,
                  const UpdateJobOptions& options, const std::function<bool()>& ask);

// The body of the dialog's worker thread: runs the job with the dialog's address and version,
// asks through the dialog on the GUI thread, records the outcome in the dialog and ends it.
// It touches the dialog only up to ending it. Returns 0.
int UpdateWorker(UpdateDlg& dialog);
