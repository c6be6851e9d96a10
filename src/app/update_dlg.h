// The small modal window shown while the update check asks the server: a caption, a busy
// progress bar, no way for the user to close it. Its worker thread ends it.
#pragma once

#include "app/update_worker.h"

#include <QDialog>
#include <QString>

#include <memory>

class QThread;

class UpdateDlg : public QDialog {
    Q_OBJECT
public:
    UpdateDlg(QString updateAddress, QString ownVersion, UpdateJobOptions options = {});
    ~UpdateDlg() override;

    // Shows the window modally and runs UpdateWorker on a thread of its own; returns the
    // dialog's result (2) once the worker has ended it and its thread has finished.
    int Exec();

    const QString& UpdateAddress() const { return m_updateAddress; }
    const QString& OwnVersion() const { return m_ownVersion; }
    const UpdateJobOptions& Options() const { return m_options; }
    // What the check returns, and whether today is to be recorded as "LastUpdate". Read them
    // after Exec.
    bool ContinueStartup() const { return m_flags.continueStartup; }
    bool RecordDate() const { return m_flags.recordDate; }

    // For the worker: an installer was started (both flags change in one write).
    void SetInstallerLaunched() { m_flags = {false, true}; }
    // For the worker: ends the modal loop from the GUI thread.
    void EndFromWorker();
    // On the GUI thread: asks the user, with this window as the owner; true for Yes.
    bool AskToUpdate();

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
    Flags m_flags;
    std::unique_ptr<QThread> m_worker;
};
