// The job's steps: folder, downloader, conversions, the file to play. Every tool runs with its
// arguments one by one and the folder as its working directory; the process's own current
// directory is never touched.
#include "download/download_job.h"

#include "download/file_redirector.h"
#include "download/job_control.h"
#include "download/job_finished_event.h"
#include "download/job_folder.h"
#include "download/job_phase_event.h"
#include "download/job_text_event.h"
#include "download/media_file.h"
#include "platform/file_name.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace {

using namespace std::chrono_literals;

// How long a tool may take to end after SIGTERM before its group gets SIGKILL.
constexpr auto kTermGrace = 3000ms;

void Post(QObject* owner, std::unique_ptr<QEvent> event)
{
    if (owner)
        QCoreApplication::postEvent(owner, event.release()); // the queue owns it now
}

void Say(const DownloadJob& job, const QString& text)
{
    Post(job.owner, std::make_unique<JobTextEvent>(text.toUtf8()));
}

// Waits for the tool's end; a stop asked meanwhile ends its process group. onNamed, when
// given, runs whenever the tool reports a name.
void WaitForTool(CFileRedirector& tool, JobControl& control,
                 const std::function<void()>& onNamed = {})
{
    using platform::WaitItem;
    for (;;) {
        std::vector<WaitItem> items{WaitItem::Of(tool.FinishedEvent()),
                                    WaitItem::Of(control.StopEvent())};
        if (onNamed)
            items.push_back(WaitItem::Of(tool.NamedEvent()));
        const auto hit = platform::WaitAny(items, -1ms);
        if (hit == std::size_t{0})
            return;
        if (hit != std::size_t{2})
            break;
        onNamed();
    }
    tool.Terminate(false);
    if (tool.FinishedEvent().Wait(kTermGrace))
        return;
    tool.Terminate(true);
    tool.FinishedEvent().Wait();
}

// The tools are read by their interpreters, not executed: a temporary folder mounted noexec
// holds the workspace on many hardened desktops. The downloader's own first lines choose its
// Python.
const QString kShell = QStringLiteral("/bin/sh");

QString Tool(const DownloadJob& job, const char* name)
{
    return job.workspace + u'/' + QLatin1String(name);
}

QString Reason(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

} // namespace

QString ResolveJobFolder(const QString& folderText)
{
    if (folderText.isEmpty())
        return {};
    QString path = folderText;
    if (path == u"~" || path.startsWith(u"~/"))
        path = QDir::homePath() + path.mid(1);
    else if (QDir::isRelativePath(path))
        path = QDir::homePath() + u'/' + path;
    return QDir::cleanPath(path);
}

QStringList SplitUrlWords(const QString& url)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return url.split(blanks, Qt::SkipEmptyParts);
}

QString TargetExtension(download::JobKind kind)
{
    const download::JobKindRow* row = download::FindJobKind(kind);
    return row ? QString::fromLatin1(row->extension.data(), qsizetype(row->extension.size()))
               : QString();
}

bool DownloadUrl(const DownloadJob& job, const JobFolder& folder, CFileRedirector& tool,
                 JobControl& control, const std::function<void()>& onNamed)
{
    // The title's own letters in every script; at most 150 bytes of it and 30 of the id, so
    // that the name with the downloader's own suffixes (".f137.mp4.part-Frag12.part") fits 255.
    // "--" first: a word that begins with "-" is an address, never an option.
    QStringList argv{kShell, Tool(job, "downloader"), QStringLiteral("-ic"), QStringLiteral("-o"),
                     QStringLiteral("%(title).150B [%(id).30B].%(ext)s")};
    // An MP3 needs only the sound: the best audio-only format, else the best with both. The
    // default would fetch the video too, and picks a silent one where the sound comes apart
    // and the video's codecs are not named (an HLS master with an audio rendition).
    if (job.kind == download::JobKind::Mp3)
        argv << QStringLiteral("-f") << QStringLiteral("ba/b");
    argv << QStringLiteral("--");
    argv += SplitUrlWords(job.url);
    // The shell would start without the file and only then say it cannot read it.
    const QFileInfo file(argv[1]);
    if (!file.isFile() || !file.isReadable()) {
        Say(job, QStringLiteral("cannot start the downloader: ") +
                     Reason(file.exists() ? EACCES : ENOENT));
        return false;
    }
    if (!tool.Run(argv, folder.StagingPath())) {
        Say(job, QStringLiteral("cannot start the downloader: ") + Reason(tool.LaunchError()));
        return false;
    }
    WaitForTool(tool, control, onNamed);
    return true;
}

std::optional<QByteArray> ConvertFile(const DownloadJob& job, const JobFolder& folder,
                                      const QByteArray& input, const QByteArray& ext,
                                      JobControl& control)
{
    const std::optional<QByteArray> output = folder.NewOutputFile(input, ext);
    if (!output)
        return std::nullopt;
    CFileRedirector converter(false, job.owner);
    const bool ran =
        converter.Run({kShell, Tool(job, "convert"), QStringLiteral("-y"), QStringLiteral("-i"),
                       folder.StagedPath(input), folder.StagedPath(*output)},
                      folder.StagingPath());
    if (ran)
        WaitForTool(converter, control);
    if (ran && converter.ExitCode() == 0 && folder.Start(*output, 1).size() == 1)
        return output;
    folder.Discard(*output);
    return std::nullopt;
}

namespace {

// What a job has kept so far.
struct Kept {
    QString result;
    QStringList saved;
};

// Moves a staged file into the folder; says why when it cannot.
std::optional<QString> KeepFile(const DownloadJob& job, const JobFolder& folder,
                                const QByteArray& name)
{
    QString why;
    const std::optional<QString> path = folder.Keep(name, why);
    if (!path)
        Say(job, QStringLiteral("cannot keep %1: %2").arg(JobFolder::Shown(name), why));
    return path;
}

// One reported file: checked, converted when asked, and moved into the folder.
void HandleReported(const DownloadJob& job, const JobFolder& folder, const CFileRedirector& tool,
                    const QByteArray& name, JobControl& control, Kept& kept)
{
    const QString shown = JobFolder::Shown(name);
    if (const std::optional<QString> why = folder.CheckReported(name)) {
        Say(job, QStringLiteral("dropped the reported name %1: %2").arg(shown, *why));
        return;
    }
    if (!IsAudioOrVideo(name, folder.Start(name, kMediaSniffBytes))) {
        Say(job, QStringLiteral("the page offered %1, which is not a video; it was not kept")
                     .arg(shown));
        return;
    }
    const QByteArray ext = platform::EncodeFileName(TargetExtension(job.kind));
    const bool inTargetForm =
        ext.isEmpty() || (name.size() > ext.size() && name.toLower().endsWith(ext));
    QByteArray keep = name;
    if (!inTargetForm && !control.StopRequested()) {
        Post(job.owner, std::make_unique<JobPhaseEvent>(JobPhase::Converting));
        const std::optional<QByteArray> out = ConvertFile(job, folder, name, ext, control);
        if (control.StopRequested()) {
            KeepFile(job, folder, name); // the finished download stays; nothing is saved
            return;
        }
        if (!out) {
            Say(job, QStringLiteral("converting %1 failed").arg(shown));
        } else {
            keep = *out;
            // The download goes only when the downloader made it in this run.
            if (tool.FoundAlreadyThere(name))
                KeepFile(job, folder, name);
            else
                folder.Discard(name);
        }
    }
    const std::optional<QString> path = KeepFile(job, folder, keep);
    if (!path || control.StopRequested())
        return;
    kept.saved << *path;
    if (kept.result.isEmpty() && job.play)
        kept.result = *path;
}

} // namespace

void RunJob(const DownloadJob& job, JobControl& control)
{
    Kept kept;
    {
        JobFolder folder(ResolveJobFolder(job.folder));
        if (const std::optional<QString> why = folder.Prepare()) {
            Say(job, QStringLiteral("cannot use the folder %1: %2").arg(folder.Path(), *why));
        } else if (!control.StopRequested()) {
            CFileRedirector downloader(true, job.owner);
            qsizetype handled = 0;
            const auto handleNew = [&] {
                const QList<QByteArray> names = downloader.Names();
                for (; handled < names.size(); ++handled)
                    HandleReported(job, folder, downloader, names[handled], control, kept);
            };
            // A finished download leaves the staging folder at once: a run that is killed
            // later does not take it along. Conversions wait for the downloader's end.
            const bool started = DownloadUrl(job, folder, downloader, control,
                                             job.kind == download::JobKind::Download
                                                 ? std::function<void()>(handleNew)
                                                 : std::function<void()>());
            // After a stop too: what the downloader finished stays, unconverted.
            if (started)
                handleNew();
        }
    } // the staging folder goes, with every unfinished file in it
    if (control.StopRequested()) {
        kept.result.clear();
        kept.saved.clear();
    }
    control.MarkFinished();
    Post(job.owner, std::make_unique<JobFinishedEvent>(kept.result, kept.saved));
}
