// The program's main window: a skinned, per-pixel-transparent dialog whose face is the element
// tree, with the download page and the player page laid over it. It turns button presses into
// page switches, the folder chooser and jobs, shows the jobs' output, and plays their results.
#pragma once

#include "download/job_kind.h"
#include "settings/settings_store.h"
#include "ui/host/visual_dlg.h"
#include "ui/main/main_tree.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace download {
class JobList;
}
class ITab;
class JobNotifier;
class QTimer;
class Tab0Dlg;
class Tab2Dlg;

class MainDlg : public ui::VisualDlg<MainDlg, 50> {
public:
    static constexpr int kDownloadPage = 0;
    static constexpr int kPlayerPage = 2;
    static constexpr int kNoPage = -1;

    // The strings come from start-up: the folder of the tools, the address to put into the URL
    // field, the job to start with it (download::JobKind::None: none), the file to play.
    MainDlg(QString workspace, QString startUrl, download::JobKind startJobKind, QString playerFile);
    // Stops running jobs (their tools with them) and waits for them.
    ~MainDlg() override;

    // Builds the pages and the tree, shows the window, and returns when it has been closed.
    int Exec();

    // Builds the pages and the tree, whose first frame then renders; nothing of the tools is
    // used yet, so start-up calls it while they are still unpacking. Done once.
    void BuildWindow();
    // BuildWindow, then makes the first page current from the start values (which may start a
    // job or play a file). Exec calls it; tests that drive the window themselves call it before
    // showing it.
    void OnInitDialog();

    // Acts on the command of the element with this Id; an unknown Id or command does nothing.
    void OnElementCommand(std::uint32_t elementId);
    // Makes page index (kDownloadPage, kPlayerPage or kNoPage) the current one.
    void SwitchPage(int index);
    // The first dropped file goes to the current page.
    void OnDropFiles(const QStringList& paths);

    // Starts a job of this kind from the download page's fields; nothing happens when either
    // field is empty.
    void StartJob(download::JobKind kind);
    // path: the file to play, or empty; saved: every file the job kept, in order.
    void OnJobFinished(const QString& path, const QStringList& saved = {});
    // A line for the log, shown while the download page is the current one.
    void OnJobText(const QByteArray& text);
    // The running jobs began converting: the progress ring turns instead of filling.
    void OnJobConverting();
    // Ends the running jobs (their tools with their process groups); each still finishes as
    // usual, after it has removed its unfinished files.
    void StopJobsByUser();

    // Ends the window from outside (a termination signal): running jobs are stopped with their
    // tools, then the window closes even though jobs were running.
    void EndFromOutside();

    int CurrentPage() const { return m_currentPage; }
    int RunningJobs() const;
    Tab0Dlg* DownloadPage() const { return m_downloadPage; }
    Tab2Dlg* PlayerPage() const { return m_playerPage; }
    // The tree; valid after OnInitDialog. Read its elements under the tree lock.
    const ui::MainTree& Tree() const { return m_tree; }

    QWidget* CurrentOverlay() override;
    void OnFrameReady() override { PostFrameReady(); }
    void OnFrameResized() override { PostFrameReady(); }

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Escape and the window manager's close end the dialog through here.
    void reject() override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    ITab* Page(int index) const;
    void SetJobButtonsEnabled(bool enabled);
    void ShowProgress(std::int32_t thousandths);
    void TurnSpinner();

    QString m_workspace;
    QString m_startUrl;
    download::JobKind m_startJobKind;
    QString m_playerFile;

    std::optional<settings::SettingsKey> m_settingsKey;
    Tab0Dlg* m_downloadPage = nullptr; // children of this window
    Tab2Dlg* m_playerPage = nullptr;
    int m_currentPage = kNoPage;
    ui::MainTree m_tree;
    bool m_built = false;
    bool m_initialised = false;

    download::JobList* m_jobs = nullptr; // a child of this window
    bool m_endingFromOutside = false;
    bool m_stoppedByUser = false;
    QTimer* m_spinner = nullptr;       // turns the ring while converting
    JobNotifier* m_notifier = nullptr; // a word on the desktop when a job ends unseen
};
