// The main window's glue: the pages and the tree it builds, the jobs it starts and their events,
// and the ways it refuses to close. The buttons' commands, the page switch, the start values and
// the reading of drops live in files of their own.
#include "ui/main/main_window.h"

#include "download/job_finished_event.h"
#include "download/job_phase_event.h"
#include "download/job_text_event.h"
#include "download/job_thread.h"
#include "platform/termination_signals.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/dropped.h"
#include "ui/main/job_done_text.h"
#include "ui/main/job_notifier.h"
#include "ui/main/main_commands.h"
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
#include <QTimer>

namespace ui {
namespace {

constexpr std::uint16_t kIdleStatusPicture = 174;
constexpr std::uint16_t kBusyStatusPicture = 178;
const QString kTitle = QStringLiteral("Vandrel");
// The turning segment moves at 10 frames per second at the most.
constexpr int kSpinIntervalMs = 100;
constexpr int kSpinStepDegrees = 30;

} // namespace

MainWindow::MainWindow(QString workspace, QString startUrl, download::JobKind startJobKind,
                       QString playerFile)
    : m_workspace(std::move(workspace)), m_start{std::move(startUrl), startJobKind,
                                                 std::move(playerFile)},
      m_settingsKey(CreateSettingsKey())
{
    setWindowTitle(kTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/vandrel.png")));
    setAcceptDrops(true);
    m_spinner = new QTimer(this);
    m_spinner->setInterval(kSpinIntervalMs);
    connect(m_spinner, &QTimer::timeout, this, [this] { TurnSpinner(); });
}

MainWindow::~MainWindow()
{
    // The jobs post to this window: none may outlive it.
    StopJobs();
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

    const SettingsKey* key = m_settingsKey ? &*m_settingsKey : nullptr;
    m_downloadPage = new pages::DownloadPage(key, this);
    m_playerPage = new pages::PlayerPage(m_workspace, this);

    m_tree = BuildMainTree({m_downloadPage->UrlField(), m_downloadPage->FolderField(),
                            m_downloadPage->LogBox(), m_playerPage->BrowserHost()});
    WireCommands(*this, m_tree);
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
    m_pages.SwitchTo(index, *this, m_runningJobs == 0);
}

void MainWindow::OnDropFiles(const QStringList& paths)
{
    pages::Page* page = Page(CurrentPage());
    if (page && !paths.isEmpty() && !paths.front().isEmpty())
        page->OnFileDropped(paths.front());
}

void MainWindow::SetJobButtonsEnabled(bool enabled)
{
    for (const JobButton& job : m_tree.jobButtons)
        job.button->SetIsEnabled(enabled);
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

    TreeLockGuard tree(TreeLock());
    SetJobButtonsEnabled(false);
    const SharedImage busy = LoadPngResource(kBusyStatusPicture);
    m_tree.statusImage->SetImage(busy);
    m_downloadPage->SetLogBackground(busy ? *busy : QImage());
    m_tree.close->SetIsVisible(false);
    m_tree.stop->SetIsVisible(true);
    m_tree.progressRing->SetProgress(0);
    m_tree.progressRing->SetIsVisible(true);
    ++m_runningJobs;
    if (pages::Page* page = Page(CurrentPage()))
        page->setEnabled(false);

    DownloadJob job;
    job.owner = this;
    job.workspace = m_workspace;
    job.url = url;
    job.kind = kind;
    job.play = m_tree.playAfterDownload->IsChecked();
    job.folder = folder;
    m_jobs.push_back(std::make_unique<JobThread>(std::move(job)));
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
    CollectFinishedJobs();
    TreeLockGuard tree(TreeLock());
    SetJobButtonsEnabled(true);
    m_tree.statusImage->SetImage(LoadPngResource(kIdleStatusPicture));
    if (m_downloadPage)
        m_downloadPage->SetLogBackground(QImage());
    const bool wasLast = m_runningJobs == 1;
    m_runningJobs = std::max(0, m_runningJobs - 1);
    m_tree.close->SetIsVisible(wasLast);
    if (wasLast) {
        m_tree.stop->SetIsVisible(false);
        m_tree.progressRing->SetIsVisible(false);
        m_spinner->stop();
        setWindowTitle(kTitle);
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
    if (m_runningJobs > 0 && !m_spinner->isActive()) {
        if (const std::optional<std::int32_t> progress = ProgressOf(text))
            ShowProgress(*progress);
    }
    if (CurrentPage() == kDownloadPage && m_downloadPage)
        m_downloadPage->AddLogText(DecodeToolText(text));
}

void MainWindow::ShowProgress(std::int32_t thousandths)
{
    {
        TreeLockGuard tree(TreeLock());
        m_tree.progressRing->SetProgress(thousandths); // no frame when the value is the same
    }
    setWindowTitle(QStringLiteral("%1% \u00b7 %2").arg(thousandths / 10).arg(kTitle));
}

void MainWindow::OnJobConverting()
{
    if (m_runningJobs == 0 || m_spinner->isActive())
        return;
    {
        TreeLockGuard tree(TreeLock());
        m_tree.progressRing->SetProgress(ProgressRing::kIndeterminate);
    }
    setWindowTitle(QStringLiteral("Converting \u00b7 %1").arg(kTitle));
    m_spinner->start();
}

void MainWindow::TurnSpinner()
{
    TreeLockGuard tree(TreeLock());
    m_tree.progressRing->SetSpinAngle(m_tree.progressRing->SpinAngle() + kSpinStepDegrees);
}

void MainWindow::StopJobsByUser()
{
    if (m_runningJobs == 0)
        return;
    m_stoppedByUser = true;
    {
        TreeLockGuard tree(TreeLock());
        m_tree.stop->SetIsVisible(false); // once is enough; the job ends on its own thread
    }
    for (const auto& job : m_jobs)
        job->Stop();
}

void MainWindow::CollectFinishedJobs()
{
    // A job marks itself finished before it posts its end, so its thread is on its way out.
    std::erase_if(m_jobs, [](const std::unique_ptr<JobThread>& job) { return job->Finished(); });
}

void MainWindow::StopJobs()
{
    for (const auto& job : m_jobs)
        job->Stop();
    m_jobs.clear(); // each waits for its thread
}

void MainWindow::EndFromOutside()
{
    m_endingFromOutside = true;
    StopJobs();
    // A folder chooser open over the window goes first, so its own loop does not hold the run.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this)
        modal->close();
    done(QDialog::Rejected);
}

bool MainWindow::event(QEvent* e)
{
    if (e->type() == WM_JOB_FINISHED) {
        const auto* finished = static_cast<JobFinishedEvent*>(e);
        OnJobFinished(finished->Path(), finished->Saved());
        return true;
    }
    if (e->type() == WM_JOB_PHASE) {
        if (static_cast<JobPhaseEvent*>(e)->Phase() == JobPhase::Converting)
            OnJobConverting();
        return true;
    }
    if (e->type() == WM_JOB_TEXT) {
        OnJobText(static_cast<JobTextEvent*>(e)->Text());
        return true;
    }
    return SkinWindow::event(e);
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
    if (m_runningJobs > 0 && !m_endingFromOutside) {
        e->ignore();
        return;
    }
    SkinWindow::closeEvent(e);
}

void MainWindow::reject()
{
    if (m_runningJobs > 0 && !m_endingFromOutside)
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
