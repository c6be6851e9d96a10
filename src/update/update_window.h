// The small modal window shown while the update check asks the server (a caption, a busy
// progress bar, no way for the user to close it) and its worker thread, which runs the update
// job and ends the window.
#pragma once

#include "update/update_job.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace update {

// Asks the user whether to update; runs on the GUI thread with the update window as the owner
// and returns true for Yes.
using AskToUpdateFunction = std::function<bool(QWidget* owner)>;

// The message box: "Vandrel needs to update, click OK to approve." with Yes and No.
bool AskToUpdateWithMessageBox(QWidget* owner);

// What the user is told when an update offered was not installed; empty when there is nothing
// to say (nothing was offered, the user said No, the package could not be fetched).
QString DescribeUpdateJobResult(UpdateJobResult result);

class UpdateWindow : public QDialog {
    Q_OBJECT
public:
    // askToUpdate empty: the real message box (tests answer through it).
    UpdateWindow(QString updateAddress, QString ownVersion, UpdateJobOptions options = {},
                 AskToUpdateFunction askToUpdate = {});
    ~UpdateWindow() override;

    // Shows the window modally and runs RunUpdateWorker on a thread of its own; returns the
    // dialog's result (2) once the worker has ended it and its thread has finished.
    int Exec();

    const QString& UpdateAddress() const { return m_updateAddress; }
    const QString& OwnVersion() const { return m_ownVersion; }
    const UpdateJobOptions& Options() const { return m_options; }
    // What the check returns, and whether today is to be recorded as "LastUpdate". Read them
    // after Exec.
    bool ContinueStartup() const { return m_flags.continueStartup; }
    bool RecordDate() const { return m_flags.recordDate; }

    // For the worker: the package was installed or handed to the desktop's installer (both flags
    // change in one write).
    void SetInstallerLaunched() { m_flags = {false, true}; }
    // On the GUI thread: asks the user, with this window as the owner; true for Yes.
    bool AskToUpdate();
    // On the GUI thread: tells the user why the update was not installed, in a message box
    // owned by this window, and returns when it is closed.
    void Tell(const QString& text);

    // The user cannot end the window: Escape, closing and Enter do nothing.
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Flags {
        bool continueStartup = true;
        bool recordDate = false;
    };

    const QString m_updateAddress;
    const QString m_ownVersion;
    const UpdateJobOptions m_options;
    const AskToUpdateFunction m_askToUpdate;
    Flags m_flags;
    std::unique_ptr<QThread> m_worker;
};

// The body of the window's worker thread: runs the job with the window's address and version,
// asks and tells through the window on the GUI thread, records the outcome in the window and
// ends it.
// It touches the window only up to ending it.
void RunUpdateWorker(UpdateWindow& window);

} // namespace update
