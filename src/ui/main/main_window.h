// The program's main window: a skinned, per-pixel-transparent dialog whose face is the element
// tree, with the download page and the player page laid over it. It runs the buttons' commands
// (page switches, the folder chooser, jobs), shows the jobs' output, and plays their results.
#pragma once

#include "download/job_kind.h"
#include "settings/settings_store.h"
#include "ui/host/skin_window.h"
#include "ui/main/main_tree.h"
#include "ui/main/page_switch.h"
#include "ui/main/start_values.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace download {
class JobList;
}

namespace ui {

class JobIndicator;
class JobNotifier;
class OptionsMenu;
class KeyboardFocus;
namespace pages {
class DownloadPage;
class Page;
class PlayerPage;
} // namespace pages

class MainWindow : public SkinWindow {
public:
    static constexpr int kDownloadPage = 0;
    static constexpr int kPlayerPage = 1;
    static constexpr int kNoPage = PageSwitch::kNoPage;

    // The strings come from start-up: the folder of the tools, the address to put into the URL
    // field, the job to start with it (download::JobKind::None: none), the file to play.
    MainWindow(QString workspace, QString startUrl, download::JobKind startJobKind,
               QString playerFile);
    // Stops running jobs (their tools with them) and waits for them.
    ~MainWindow() override;

    // Builds the pages and the tree, shows the window, and returns when it has been closed.
    int Exec();

    // Builds the pages and the tree, whose first frame then renders; nothing of the tools is
    // used yet, so start-up calls it while they are still unpacking. Done once.
    void BuildWindow();
    // BuildWindow, then makes the first page current from the start values (which may start a
    // job or play a file). Done once; Exec calls it, and tests that drive the window themselves
    // call it before showing it.
    void ApplyStartValues();

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
    // Ends the running jobs (their tools with their process groups); each still finishes as
    // usual, after it has removed its unfinished files.
    void StopJobsByUser();

    // Ends the window from outside (a termination signal): running jobs are stopped with their
    // tools, then the window closes even though jobs were running.
    void EndFromOutside();

    int CurrentPage() const { return m_pages.Current(); }
    int RunningJobs() const;
    pages::DownloadPage* DownloadPage() const { return m_downloadPage; }
    pages::PlayerPage* PlayerPage() const { return m_playerPage; }
    // The tree; valid after BuildWindow. Read its elements under the tree lock.
    const MainTree& Tree() const { return m_tree; }

    QWidget* CurrentOverlay() override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Escape and the window manager's close end the dialog through here.
    void reject() override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    pages::Page* Page(int index) const { return m_pages.At(index); }

    QString m_workspace;
    StartValues m_start;

    std::optional<settings::SettingsKey> m_settingsKey;
    pages::DownloadPage* m_downloadPage = nullptr; // children of this window
    pages::PlayerPage* m_playerPage = nullptr;
    PageSwitch m_pages;
    MainTree m_tree;
    std::unique_ptr<KeyboardFocus> m_keyboard; // goes while the window is whole
    bool m_built = false;
    bool m_initialised = false;

    download::JobList* m_jobs = nullptr; // a child of this window
    bool m_endingFromOutside = false;
    bool m_stoppedByUser = false;
    JobIndicator* m_indicator = nullptr; // children of this window
    JobNotifier* m_notifier = nullptr;   // a word on the desktop when a job ends unseen
    OptionsMenu* m_options = nullptr;    // the context menu: the next job's options
};

} // namespace ui
