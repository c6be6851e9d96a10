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
#include "platform/file_name.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <chrono>
#include <memory>
#include <optional>
#include <system_error>

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

// Waits for the tool's end; a stop asked meanwhile ends its process group.
void WaitForTool(CFileRedirector& tool, JobControl& control)
{
    using platform::WaitItem;
    const auto hit = platform::WaitAny(
        {WaitItem::Of(tool.FinishedEvent()), WaitItem::Of(control.StopEvent())}, -1ms);
    if (hit == std::size_t{0})
        return;
    tool.Terminate(false);
    if (tool.FinishedEvent().Wait(kTermGrace))
        return;
    tool.Terminate(true);
    tool.FinishedEvent().Wait();
}

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

QString TargetExtension(JobKind kind)
{
    switch (kind) {
    case JobKind::Mp3:
        return QStringLiteral(".mp3");
    case JobKind::Avi:
        return QStringLiteral(".avi");
    case JobKind::Mp4:
        return QStringLiteral(".mp4");
    default:
        return {};
    }
}

std::optional<QList<QByteArray>> DownloadUrl(const DownloadJob& job, const QString& folder,
                                             JobControl& control)
{
    CFileRedirector downloader(true, job.owner);
    // "--" first: a word that begins with "-" is an address, never an option.
    QStringList argv{Tool(job, "downloader"), QStringLiteral("-ic"),
                     QStringLiteral("--restrict-filenames"), QStringLiteral("--")};
    argv += SplitUrlWords(job.url);
    if (!downloader.Run(argv, folder)) {
        Say(job,
            QStringLiteral("cannot start the downloader: ") + Reason(downloader.LaunchError()));
        return std::nullopt;
    }
    WaitForTool(downloader, control);
    return downloader.Names();
}

QString ConvertFile(const DownloadJob& job, const QString& input, const QString& folder,
                    const QString& ext, JobControl& control)
{
    const JobFolder target(folder);
    const std::optional<JobFolder::File> output = target.NewOutputFile(input, ext);
    if (!output)
        return {};
    CFileRedirector converter(false, job.owner);
    const bool ran = converter.Run(
        {Tool(job, "convert"), QStringLiteral("-y"), QStringLiteral("-i"), input, output->path},
        folder);
    if (ran)
        WaitForTool(converter, control);
    const QFileInfo written(output->path);
    const auto now = platform::RegularFileIdentity(output->path);
    const bool counts =
        ran && converter.ExitCode() == 0 && now && *now == output->identity && written.size() > 0;
    if (counts)
        return output->path;
    // Only the file made for this conversion goes, and only while it is still that file.
    if (now && *now == output->identity)
        QFile::remove(output->path);
    return {};
}

void RunJob(const DownloadJob& job, JobControl& control)
{
    QString result;
    QStringList saved;
    JobFolder folder(ResolveJobFolder(job.folder));
    if (const std::optional<QString> why = folder.Prepare()) {
        Say(job, QStringLiteral("cannot use the folder %1: %2").arg(folder.Path(), *why));
    } else if (!control.StopRequested()) {
        folder.Record();
        const QList<QByteArray> names =
            DownloadUrl(job, folder.Path(), control).value_or(QList<QByteArray>());
        const QString ext = TargetExtension(job.kind);
        for (const QByteArray& name : names) {
            if (control.StopRequested())
                break;
            QString dropped;
            const std::optional<JobFolder::File> file = folder.Find(name, dropped);
            const QString shown = platform::DecodeFileName(name);
            if (!file) {
                Say(job, QStringLiteral("dropped the reported name %1: %2").arg(shown, dropped));
                continue;
            }
            QString made = file->path;
            const QString suffix = QFileInfo(file->path).fileName();
            const bool inTargetForm = ext.isEmpty() || (suffix.size() > ext.size() &&
                                                        suffix.endsWith(ext, Qt::CaseInsensitive));
            if (!inTargetForm) {
                Post(job.owner, std::make_unique<JobPhaseEvent>(JobPhase::Converting));
                const QString out = ConvertFile(job, file->path, folder.Path(), ext, control);
                if (control.StopRequested())
                    break;
                if (out.isEmpty()) {
                    Say(job, QStringLiteral("converting %1 failed").arg(shown));
                } else {
                    made = out;
                    // The download goes only when this job made it and it is still that file.
                    if (folder.MadeSinceRecord(*file))
                        QFile::remove(file->path);
                }
            }
            saved << made;
            if (result.isEmpty() && job.play)
                result = made;
        }
    }
    if (control.StopRequested()) {
        result.clear();
        folder.RemovePartialFiles(); // a conversion cut short was removed by ConvertFile
    }
    control.MarkFinished();
    Post(job.owner, std::make_unique<JobFinishedEvent>(result, saved));
}
