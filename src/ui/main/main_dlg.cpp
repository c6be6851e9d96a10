// The main window's behaviour: its commands under the tree lock, the jobs it starts and their
// events, the progress it shows, the pages it switches, and the ways it refuses to close.
#include "ui/main/main_dlg.h"

#include "download/job_list.h"
#include "pages/tab0_dlg.h"
#include "pages/tab2_dlg.h"
#include "platform/termination_signals.h"
#include "ui/controls/element_command.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/job_done_text.h"
#include "ui/main/job_notifier.h"
#include "ui/main/tool_text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

namespace {

constexpr std::uint16_t kIdleStatusPicture = 174;
constexpr std::uint16_t kBusyStatusPicture = 178;
const QString kTitle = QStringLiteral("Vandrel");
// The turning segment moves at 10 frames per second at the most.
constexpr int kSpinIntervalMs = 100;
constexpr int kSpinStepDegrees = 30;

// The web address that a drop carries: the first http or https link of a link list, or plain
// text that is one such address. Empty for anything else (files among them).
QString DroppedAddress(const QMimeData& data)
{
    const auto isWebAddress = [](const QUrl& url) {
        return url.isValid() && !url.host().isEmpty() &&
               (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    };
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            if (isWebAddress(url))
                return url.toString(QUrl::FullyEncoded);
        }
        return {};
    }
    if (data.hasText()) {
        const QString text = data.text().trimmed();
        const QUrl url(text, QUrl::StrictMode);
        if (!text.contains(QRegularExpression(QStringLiteral("\\s"))) && isWebAddress(url))
            return text;
    }
    return {};
}

} // namespace

MainDlg::MainDlg(QString workspace, QString startUrl, download::JobKind startJobKind, QString playerFile)
    : m_workspace(std::move(workspace)), m_startUrl(std::move(startUrl)),
      m_startJobKind(startJobKind), m_playerFile(std::move(playerFile)),
      m_settingsKey(settings::CreateSettingsKey())
{
    setWindowTitle(QStringLiteral("Vandrel"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vandrel.png")));
    setAcceptDrops(true);
    m_spinner = new QTimer(this);
    m_spinner->setInterval(kSpinIntervalMs);
    connect(m_spinner, &QTimer::timeout, this, [this] { TurnSpinner(); });
    m_jobs = new download::JobList(
        {.onText = [this](const QByteArray& text) { OnJobText(text); },
         .onProgress =
             [this](std::int32_t thousandths) {
                 if (RunningJobs() > 0 && !m_spinner->isActive())
                     ShowProgress(thousandths);
             },
         .onConverting = [this] { OnJobConverting(); },
         .onFinished = [this](const QString& path,
                              const QStringList& saved) { OnJobFinished(path, saved); }},
        this);
}

MainDlg::~MainDlg()
{
    // The render thread calls back into this object; it goes first.
    StopRenderThread();
    // The jobs are the window's: none may outlive it.
    m_jobs->EndAll();
    SetRoot(nullptr);
}

int MainDlg::Exec()
{
    OnInitDialog();
    // From now on a termination signal ends the window like a close that is not refused.
    platform::TerminationSignals::Instance().SetHandler(this, [this] { EndFromOutside(); });
    return exec();
}

void MainDlg::BuildWindow()
{
    if (m_built)
        return;
    m_built = true;

    const settings::SettingsKey* key = m_settingsKey ? &*m_settingsKey : nullptr;
    m_downloadPage = new Tab0Dlg(key, this);
    m_playerPage = new Tab2Dlg(m_workspace, this);

    ui::MainTreeWindows windows;
    windows.urlField = m_downloadPage->GetDlgItem(Tab0Dlg::kUrlFieldId);
    windows.folderField = m_downloadPage->GetDlgItem(Tab0Dlg::kFolderFieldId);
    windows.logBox = m_downloadPage->GetDlgItem(Tab0Dlg::kLogBoxId);
    windows.browser = m_playerPage->GetDlgItem(Tab2Dlg::kBrowserId);
    m_tree = ui::BuildMainTree(this, windows);
    m_downloadPage->SetLogBackground(QImage());
    SetRoot(m_tree.root);
}

void MainDlg::OnInitDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;
    BuildWindow();

    ui::TreeLockGuard tree(ui::TreeLock());
    if (!m_startUrl.isEmpty()) {
        m_downloadPage->UrlField()->setText(m_startUrl);
        SwitchPage(kDownloadPage);
        if (m_startJobKind != download::JobKind::None)
            StartJob(m_startJobKind);
    } else if (m_playerFile.startsWith(u'/') && !QFileInfo(m_playerFile).isFile()) {
        // Nothing to play or to hand to a program (a folder, a fifo or a device is no video
        // either): the download page says so, and the window is of use at once.
        SwitchPage(kDownloadPage);
        m_downloadPage->AddLogText(
            QStringLiteral("There is no file %1 to play.").arg(m_playerFile));
    } else if (!m_playerFile.isEmpty()) {
        // A file that goes to the user's own program leaves no page current: the window shows
        // the skin and its two window buttons.
        if (m_playerPage->Play(m_playerFile))
            SwitchPage(kPlayerPage);
    } else {
        SwitchPage(kDownloadPage);
    }
}

ITab* MainDlg::Page(int index) const
{
    switch (index) {
    case kDownloadPage:
        return m_downloadPage;
    case kPlayerPage:
        return m_playerPage;
    default:
        return nullptr;
    }
}

QWidget* MainDlg::CurrentOverlay()
{
    ITab* page = Page(m_currentPage);
    return page ? page->GetWindowHandle() : nullptr;
}

void MainDlg::OnElementCommand(std::uint32_t elementId)
{
    bool chooseFolder = false;
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        const std::shared_ptr<ui::LayoutElement> element = ui::FindElementById(elementId);
        if (!element)
            return;
        switch (element->CommandId()) {
        case ui::kCmdMinimise:
            showMinimized();
            break;
        case ui::kCmdClose:
            // Handled later, like the window manager's close, so that it runs outside the lock.
            QMetaObject::invokeMethod(
                this, [this] { close(); }, Qt::QueuedConnection);
            break;
        case ui::kCmdBack:
            SwitchPage(kDownloadPage);
            break;
        case ui::kCmdShowPlayer:
            SwitchPage(kPlayerPage);
            break;
        case ui::kCmdChooseFolder:
            chooseFolder = true;
            break;
        case ui::kCmdDownload:
            StartJob(download::JobKind::Download);
            break;
        case ui::kCmdMp3:
            StartJob(download::JobKind::Mp3);
            break;
        case ui::kCmdAvi:
            StartJob(download::JobKind::Avi);
            break;
        case ui::kCmdMp4:
            StartJob(download::JobKind::Mp4);
            break;
        case ui::kCmdStop:
            StopJobsByUser();
            break;
        default:
            break;
        }
    }
    // The chooser changes no element, so the render thread need not wait for it: the skin
    // keeps answering the pointer while the chooser is open.
    if (chooseFolder && m_downloadPage)
        m_downloadPage->ChooseDownloadFolder();
}

void MainDlg::SwitchPage(int index)
{
    // One lock for the whole switch: no frame shows one panel hidden and the next not yet shown.
    ui::TreeLockGuard tree(ui::TreeLock());
    if (index == m_currentPage)
        return;
    const auto panel = [this](int i) -> ui::LayoutElement* {
        if (i == kDownloadPage)
            return m_tree.downloadPanel.get();
        if (i == kPlayerPage)
            return m_tree.playerPanel.get();
        return nullptr;
    };
    if (m_currentPage != kNoPage) {
        if (ui::LayoutElement* old = panel(m_currentPage))
            old->SetIsVisible(false);
        if (ITab* page = Page(m_currentPage); page && page->GetWindowHandle()) {
            page->OnHide();
            page->GetWindowHandle()->hide();
        }
    }
    m_currentPage = index;
    if (index == kNoPage)
        return;
    if (ui::LayoutElement* next = panel(index))
        next->SetIsVisible(true);
    if (ITab* page = Page(index); page && page->GetWindowHandle()) {
        page->OnShow();
        PlaceOverlay(page->GetWindowHandle());
        page->GetWindowHandle()->show();
        // A page shown during a job is disabled like the one it replaced.
        page->GetWindowHandle()->setEnabled(RunningJobs() == 0);
    }
}

void MainDlg::OnDropFiles(const QStringList& paths)
{
    ITab* page = Page(m_currentPage);
    if (page && page->GetWindowHandle() && !paths.isEmpty() && !paths.front().isEmpty())
        page->OnFileDropped(paths.front());
}

void MainDlg::SetJobButtonsEnabled(bool enabled)
{
    for (const auto& button : {m_tree.downloadOnly, m_tree.mp3, m_tree.avi, m_tree.mp4})
        button->SetIsEnabled(enabled);
}

void MainDlg::StartJob(download::JobKind kind)
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

    ui::TreeLockGuard tree(ui::TreeLock());
    SetJobButtonsEnabled(false);
    const ui::SharedImage busy = ui::LoadPngResource(kBusyStatusPicture);
    m_tree.statusImage->SetImage(busy);
    m_downloadPage->SetLogBackground(busy ? *busy : QImage());
    m_tree.close->SetIsVisible(false);
    m_tree.stop->SetIsVisible(true);
    m_tree.progressRing->SetProgress(0);
    m_tree.progressRing->SetIsVisible(true);
    if (ITab* page = Page(m_currentPage); page && page->GetWindowHandle())
        page->GetWindowHandle()->setEnabled(false);

    download::DownloadJob job;
    job.workspace = m_workspace;
    job.url = url;
    job.kind = kind;
    job.play = m_tree.playAfterDownload->IsChecked();
    job.folder = folder;
    m_jobs->Start(std::move(job));
}

void MainDlg::OnJobFinished(const QString& path, const QStringList& saved)
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
    ui::TreeLockGuard tree(ui::TreeLock());
    SetJobButtonsEnabled(true);
    m_tree.statusImage->SetImage(ui::LoadPngResource(kIdleStatusPicture));
    if (m_downloadPage)
        m_downloadPage->SetLogBackground(QImage());
    const bool wasLast = RunningJobs() == 0;
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
    if (ITab* page = Page(m_currentPage); page && page->GetWindowHandle())
        page->GetWindowHandle()->setEnabled(true);
    if (!path.isEmpty() && m_playerPage && m_playerPage->Play(path))
        SwitchPage(kPlayerPage);
}

int MainDlg::RunningJobs() const
{
    return m_jobs->Running();
}

void MainDlg::OnJobText(const QByteArray& text)
{
    if (m_currentPage == kDownloadPage && m_downloadPage)
        m_downloadPage->AddLogText(DecodeToolText(text));
}

void MainDlg::ShowProgress(std::int32_t thousandths)
{
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        m_tree.progressRing->SetProgress(thousandths); // no frame when the value is the same
    }
    setWindowTitle(QStringLiteral("%1% \u00b7 %2").arg(thousandths / 10).arg(kTitle));
}

void MainDlg::OnJobConverting()
{
    if (RunningJobs() == 0 || m_spinner->isActive())
        return;
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        m_tree.progressRing->SetProgress(ui::ProgressRing::kIndeterminate);
    }
    setWindowTitle(QStringLiteral("Converting \u00b7 %1").arg(kTitle));
    m_spinner->start();
}

void MainDlg::TurnSpinner()
{
    ui::TreeLockGuard tree(ui::TreeLock());
    m_tree.progressRing->SetSpinAngle(m_tree.progressRing->SpinAngle() + kSpinStepDegrees);
}

void MainDlg::StopJobsByUser()
{
    if (RunningJobs() == 0)
        return;
    m_stoppedByUser = true;
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        m_tree.stop->SetIsVisible(false); // once is enough; the job ends on its own thread
    }
    m_jobs->StopAll();
}

void MainDlg::EndFromOutside()
{
    m_endingFromOutside = true;
    m_jobs->EndAll();
    // A folder chooser open over the window goes first, so its own loop does not hold the run.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this)
        modal->close();
    done(QDialog::Rejected);
}

bool MainDlg::event(QEvent* e)
{
    if (e->type() == WM_ELEMENT_COMMAND) {
        OnElementCommand(static_cast<ui::ElementCommandEvent*>(e)->ElementId());
        return true;
    }
    return VisualDlg::event(e);
}

void MainDlg::showEvent(QShowEvent* e)
{
    VisualDlg::showEvent(e);
    // Frames made before the window was shown moved no control (the controls were not visible
    // yet): one more pass puts them over the skin.
    QMetaObject::invokeMethod(
        this, [this] { HostInvalidate(this, ui::prop::kIsVisible, 1); }, Qt::QueuedConnection);
}

void MainDlg::closeEvent(QCloseEvent* e)
{
    // A job never outlives its window, so the window stays while one runs.
    if (RunningJobs() > 0 && !m_endingFromOutside) {
        e->ignore();
        return;
    }
    VisualDlg::closeEvent(e);
}

void MainDlg::reject()
{
    if (RunningJobs() > 0 && !m_endingFromOutside)
        return;
    VisualDlg::reject();
}

void MainDlg::dragEnterEvent(QDragEnterEvent* e)
{
    const QMimeData* mime = e->mimeData();
    if (mime->hasUrls() || !DroppedAddress(*mime).isEmpty())
        e->acceptProposedAction();
}

void MainDlg::dropEvent(QDropEvent* e)
{
    const QMimeData* mime = e->mimeData();
    e->acceptProposedAction();
    // A link from a browser becomes the address to download; files go to the current page.
    const QString address = DroppedAddress(*mime);
    if (!address.isEmpty()) {
        if (m_downloadPage) {
            m_downloadPage->UrlField()->setText(address);
            SwitchPage(kDownloadPage);
        }
        return;
    }
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    OnDropFiles(paths);
}
