// The main window's glue: the pages and the tree it builds, the jobs it starts and what they
// tell it, and the ways it refuses to close. The buttons' commands, the page switch, the start
// values and the reading of drops live in files of their own.
#include "ui/main/main_window.h"

#include "download/job_list.h"
#include "platform/termination_signals.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/dropped.h"
#include "ui/main/job_done_text.h"
#include "ui/main/job_indicator.h"
#include "ui/main/job_notifier.h"
#include "ui/main/keyboard_focus.h"
#include "ui/main/main_commands.h"
#include "ui/main/options_menu.h"
#include "ui/main/page_accessible.h"
#include "ui/main/player_page_setup.h"
#include "ui/main/start_values.h"
#include "ui/main/tool_text.h"
#include "ui/pages/download_page.h"
#include "ui/pages/player_page.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLineEdit>
#include <QMimeData>

namespace ui {

MainWindow::MainWindow(QString workspace, QString startUrl, download::JobKind startJobKind,
                       QString playerFile)
    : m_workspace(std::move(workspace)), m_start{std::move(startUrl), startJobKind,
                                                 std::move(playerFile)},
      m_settingsKey(settings::CreateSettingsKey())
{
    setWindowTitle(JobIndicator::kTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/vandrel.png")));
    setAcceptDrops(true);
    m_indicator = new JobIndicator(m_tree, this);
    m_options = new OptionsMenu(m_settingsKey, this);
    m_jobs = new download::JobList(
        {.onText = [this](const QByteArray& text) { OnJobText(text); },
         .onProgress = [this](std::int32_t thousandths) { m_indicator->Progress(thousandths); },
         .onConverting = [this] { m_indicator->Converting(); },
         .onFinished = [this](const QString& path,
                              const QStringList& saved) { OnJobFinished(path, saved); }},
        this);
}

MainWindow::~MainWindow()
{
    // The jobs are the window's: none may outlive it.
    m_jobs->EndAll();
}

int MainWindow::Exec()
{
    ApplyStartValues();
    // From now on a termination signal ends the window like a close that is not refused.
    platform::TerminationSignals::Instance().SetHandler(this, [this] { EndFromOutside(); });
    return exec();
}

void MainWindow::BuildWindow()
{
    if (m_built)
        return;
    m_built = true;

    const settings::SettingsKey* key = m_settingsKey ? &*m_settingsKey : nullptr;
    m_downloadPage = new pages::DownloadPage(key, this);
    m_playerPage = MakePlayerPage(*this, m_workspace);

    m_tree = BuildMainTree({m_downloadPage->UrlField(), m_downloadPage->FolderField(),
                            m_downloadPage->LogBox(), m_playerPage->BrowserHost()});
    m_keyboard = std::make_unique<KeyboardFocus>(*this, m_tree, *m_downloadPage, key);
    WireCommands(*this, m_tree, [this](download::JobKind kind) { m_keyboard->RememberJob(kind); });
    DescribeForScreenReaders(*m_downloadPage);
    m_pages.Add(kDownloadPage, m_tree.downloadPanel.get(), m_downloadPage);
    m_pages.Add(kPlayerPage, m_tree.playerPanel.get(), m_playerPage);
    m_downloadPage->SetLogBackground(QImage());
    SetRoot(m_tree.root);
}

void MainWindow::ApplyStartValues()
{
    if (m_initialised)
        return;
    m_initialised = true;
    BuildWindow();

    ui::ApplyStartValues(*this, m_start);
}

QWidget* MainWindow::CurrentOverlay()
{
    return Page(CurrentPage());
}

void MainWindow::SwitchPage(int index)
{
    m_pages.SwitchTo(index, *this, RunningJobs() == 0);
}

void MainWindow::OnDropFiles(const QStringList& paths)
{
    pages::Page* page = Page(CurrentPage());
    if (page && !paths.isEmpty() && !paths.front().isEmpty())
        page->OnFileDropped(paths.front());
}

void MainWindow::StartJob(download::JobKind kind)
{
    if (!m_downloadPage)
        return;
    const QString url = m_downloadPage->UrlField()->text();
    const QString folder = m_downloadPage->FolderField()->text();
    // A press that starts nothing says why, in the box where a job would have spoken.
    if (url.trimmed().isEmpty()) {
        m_downloadPage->AddLogText(QStringLiteral("Paste the address of a video page"));
        return;
    }
    if (folder.isEmpty()) {
        m_downloadPage->AddLogText(QStringLiteral("Choose a folder to save to"));
        return;
    }

    const SharedImage busy = m_indicator->Started();
    m_downloadPage->SetLogBackground(busy ? *busy : QImage());
    if (pages::Page* page = Page(CurrentPage()))
        page->setEnabled(false);

    download::DownloadJob job;
    job.workspace = m_workspace;
    job.url = url;
    job.kind = kind;
    job.play = m_tree.playAfterDownload->IsChecked();
    job.folder = folder;
    job.options = m_options->Current();
    m_jobs->Start(std::move(job));
}

void MainWindow::OnJobFinished(const QString& path, const QStringList& saved)
{
    // Told on the desktop only when the user is looking elsewhere, and not after a stop the
    // user asked for in this window.
    if (!isActiveWindow() && !m_stoppedByUser) {
        const JobDoneText text = DescribeJobDone(saved);
        // Made on first use: an idle window keeps no bus connection and no thread for it.
        if (!m_notifier)
            m_notifier = new JobNotifier(this);
        m_notifier->Notify(text.summary, text.body);
    }
    const bool wasLast = RunningJobs() == 0;
    m_indicator->Ended(wasLast);
    if (m_downloadPage)
        m_downloadPage->SetLogBackground(QImage());
    if (wasLast) {
        if (m_stoppedByUser && m_downloadPage)
            m_downloadPage->AddLogText(QStringLiteral("Stopped"));
        m_stoppedByUser = false;
    }
    if (pages::Page* page = Page(CurrentPage()))
        page->setEnabled(true);
    if (!path.isEmpty() && m_playerPage && m_playerPage->Play(path))
        SwitchPage(kPlayerPage);
}

void MainWindow::OnJobText(const QByteArray& text)
{
    if (CurrentPage() == kDownloadPage && m_downloadPage)
        m_downloadPage->AddLogText(DecodeToolText(text));
}

void MainWindow::StopJobsByUser()
{
    if (RunningJobs() == 0)
        return;
    m_stoppedByUser = true;
    m_indicator->Stopping();
    m_jobs->StopAll();
}

int MainWindow::RunningJobs() const
{
    return m_jobs->Running();
}

void MainWindow::EndFromOutside()
{
    m_endingFromOutside = true;
    m_jobs->EndAll();
    // A folder chooser open over the window goes first, so its own loop does not hold the run.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this)
        modal->close();
    done(QDialog::Rejected);
}

void MainWindow::showEvent(QShowEvent* e)
{
    SkinWindow::showEvent(e);
    // Frames made before the window was shown moved no control (the controls were not visible
    // yet): one more pass puts them over the skin.
    QMetaObject::invokeMethod(
        this, [this] { HostInvalidate(this, prop::kIsVisible, 1); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    // A job never outlives its window, so the window stays while one runs.
    if (RunningJobs() > 0 && !m_endingFromOutside) {
        e->ignore();
        return;
    }
    SkinWindow::closeEvent(e);
}

void MainWindow::reject()
{
    if (RunningJobs() > 0 && !m_endingFromOutside)
        return;
    SkinWindow::reject();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e)
{
    const QMimeData* mime = e->mimeData();
    if (mime->hasUrls() || !DroppedAddress(*mime).isEmpty())
        e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e)
{
    const QMimeData* mime = e->mimeData();
    e->acceptProposedAction();
    // A link from a browser becomes the address to download; files go to the current page.
    const QString address = DroppedAddress(*mime);
    if (address.isEmpty()) {
        OnDropFiles(DroppedFiles(*mime));
    } else if (m_downloadPage) {
        m_downloadPage->UrlField()->setText(address);
        SwitchPage(kDownloadPage);
    }
}

} // namespace ui
