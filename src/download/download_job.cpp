// The job's steps: folder, downloader, conversions, the file to play. Every tool runs with its
// arguments one by one and the staging folder as its working directory; the process's own
// current directory is never touched.
#include "download/download_job.h"

#include "download/job_control.h"
#include "download/job_folder.h"
#include "download/job_options.h"
#include "download/media_file.h"
#include "download/tool_output.h"
#include "download/tool_run.h"
#include "platform/file_name.h"
#include "platform/post_to.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

namespace download {

namespace {

// The tools are read by their interpreters, not executed: a temporary folder mounted noexec
// holds the workspace on many hardened desktops. The downloader's own first lines choose its
// Python.
const QString kShell = QStringLiteral("/bin/sh");

const QString kSignInHint = QStringLiteral(
    "The site asks you to sign in: right-click the window and choose your browser under Cookies "
    "from");

// The folder the job writes into: a relative folder is taken from the home folder, and "~" or
// "~/..." as well. Empty when the text is empty.
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

// The addresses of a URL text: the words between blanks (spaces, tabs, line ends).
QStringList SplitUrlWords(const QString& url)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return url.split(blanks, Qt::SkipEmptyParts);
}

// The extension a kind converts to (".mp3", ".avi", ".mp4"); empty for a download only.
QByteArray TargetExtension(JobKind kind)
{
    const JobKindRow* row = FindJobKind(kind);
    return row ? QByteArray(row->extension.data(), qsizetype(row->extension.size())) : QByteArray();
}

QString Reason(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

// What a job has kept so far.
struct Kept {
    QString result;
    QStringList saved;
};

// Posts callback(args...) to the owner's thread; the arguments travel as copies.
template <typename F, typename... Args> void Post(QObject* owner, const F& callback, Args... args)
{
    if (owner && callback)
        platform::PostTo(owner, [callback, args...] { callback(args...); });
}

// One job's run: its request, where its news goes, its stop, and its folder.
class Job {
public:
    Job(const DownloadJob& job, QObject* owner, const JobEvents& events, JobControl& control)
        : m_job(job), m_owner(owner), m_events(events), m_control(control),
          m_folder(ResolveJobFolder(job.folder)), m_options(job.options)
    {
    }

    void Run();
    Kept TakeKept() { return std::move(m_kept); }

private:
    void Say(const QString& text) const { Post(m_owner, m_events.onText, text.toUtf8()); }
    QString Tool(const char* name) const { return m_job.workspace + u'/' + QLatin1String(name); }

    // Runs the downloader with the URL's words in the staging folder until it ends or is
    // stopped. The names it reports stay in output: relative to the staging folder, as bytes of
    // the file system's encoding, not yet checked. False when it did not start.
    bool Download(ToolOutput& output);
    // Converts the staged file input into a new staged file named after it with ext ("a.mp3",
    // else "a (2).mp3", ...): its name when the conversion counts (the converter exited with 0
    // and wrote a non-empty file); otherwise what it wrote is removed.
    std::optional<QByteArray> Convert(const QByteArray& input, const QByteArray& ext);
    // One reported file: checked, converted when asked, and moved into the folder.
    // alreadyThere: the downloader found it rather than made it in this run.
    void HandleReported(const QByteArray& name, bool alreadyThere);
    // Moves the subtitles written for the staged download video into the folder, named after
    // the file kept from it at kept: "a.en.vtt" beside "a.mp3", "a (2).en.vtt" beside
    // "a (2).mp3".
    void KeepSubtitles(const QByteArray& video, const QString& kept);
    // An error line of the downloader: a site that wants a signed-in user gets the hint.
    void OnError(const QByteArray& text);
    // Moves a staged file into the folder; says why when it cannot.
    std::optional<QString> KeepFile(const QByteArray& name);

    const DownloadJob& m_job;
    QObject* m_owner;
    const JobEvents& m_events;
    JobControl& m_control;
    JobFolder m_folder;
    Kept m_kept;
    JobOptions m_options;
    QList<QByteArray> m_subtitles; // reported, not yet kept
    bool m_hintedSignIn = false;
};

bool Job::Download(ToolOutput& output)
{
    // The downloader would end the whole run at once on a browser without cookies.
    if (m_options.cookies != CookiesFrom::None && !HasCookieStore(m_options.cookies)) {
        Say(QStringLiteral("No cookies of %1 were found; downloading without them")
                .arg(QLatin1StringView(ChoiceOf(kCookieSources, m_options.cookies).label)));
        m_options.cookies = CookiesFrom::None;
    }
    QStringList argv{kShell, Tool("downloader")};
    argv += DownloaderArguments(m_job.kind, m_options, QLocale::system().uiLanguages().value(0),
                                SplitUrlWords(m_job.url));
    // The shell would start without the file and only then say it cannot read it.
    const QFileInfo file(argv[1]);
    if (!file.isFile() || !file.isReadable()) {
        Say(QStringLiteral("cannot start the downloader: ") +
            Reason(file.exists() ? EACCES : ENOENT));
        return false;
    }
    const platform::Expected<int> ran = ToolRun{argv, m_folder.StagingPath()}.Run(
        [&](std::string_view text) { output.Add(text); }, m_control.StopEvent());
    if (!ran) {
        Say(QStringLiteral("cannot start the downloader: ") + ran.error().text);
        return false;
    }
    output.Finish();
    return true;
}

std::optional<QByteArray> Job::Convert(const QByteArray& input, const QByteArray& ext)
{
    const std::optional<QByteArray> name = m_folder.NewOutputFile(input, ext);
    if (!name)
        return std::nullopt;
    ToolOutput::Callbacks callbacks;
    callbacks.onText = [this](const QByteArray& text) { Post(m_owner, m_events.onText, text); };
    ToolOutput output(ToolGrammar::Converter, std::move(callbacks));
    const platform::Expected<int> ran =
        ToolRun{{kShell, Tool("convert"), QStringLiteral("-y"), QStringLiteral("-i"),
                 m_folder.StagedPath(input), m_folder.StagedPath(*name)},
                m_folder.StagingPath()}
            .Run([&](std::string_view text) { output.Add(text); }, m_control.StopEvent());
    output.Finish();
    if (ran && *ran == 0 && m_folder.Start(*name, 1).size() == 1)
        return name;
    m_folder.Discard(*name);
    return std::nullopt;
}

std::optional<QString> Job::KeepFile(const QByteArray& name)
{
    const platform::Expected<QString> path = m_folder.Keep(name);
    if (!path) {
        Say(QStringLiteral("cannot keep %1: %2").arg(JobFolder::Shown(name), path.error().text));
        return std::nullopt;
    }
    return *path;
}

void Job::HandleReported(const QByteArray& name, bool alreadyThere)
{
    const QString shown = JobFolder::Shown(name);
    if (const platform::Expected<void> reported = m_folder.CheckReported(name); !reported) {
        Say(QStringLiteral("dropped the reported name %1: %2").arg(shown, reported.error().text));
        return;
    }
    if (!IsAudioOrVideo(name, m_folder.Start(name, kMediaSniffBytes))) {
        Say(QStringLiteral("the page offered %1, which is not a video; it was not kept")
                .arg(shown));
        return;
    }
    const QByteArray ext = TargetExtension(m_job.kind);
    const bool inTargetForm =
        ext.isEmpty() || (name.size() > ext.size() && name.toLower().endsWith(ext));
    QByteArray keep = name;
    if (!inTargetForm && !m_control.StopRequested()) {
        Post(m_owner, m_events.onConverting);
        const std::optional<QByteArray> out = Convert(name, ext);
        if (m_control.StopRequested()) {
            // The finished download stays; nothing is saved.
            if (const std::optional<QString> kept = KeepFile(name))
                KeepSubtitles(name, *kept);
            return;
        }
        if (!out) {
            Say(QStringLiteral("converting %1 failed").arg(shown));
        } else {
            keep = *out;
            // The download goes only when the downloader made it in this run.
            if (alreadyThere)
                KeepFile(name);
            else
                m_folder.Discard(name);
        }
    }
    const std::optional<QString> path = KeepFile(keep);
    if (!path)
        return;
    KeepSubtitles(name, *path);
    if (m_control.StopRequested())
        return;
    m_kept.saved << *path;
    if (m_kept.result.isEmpty() && m_job.play)
        m_kept.result = *path;
}

void Job::KeepSubtitles(const QByteArray& video, const QString& kept)
{
    const qsizetype dot = video.lastIndexOf('.');
    if (dot <= 0)
        return;
    const QByteArray stem = video.left(dot + 1);
    const QByteArray keptName = platform::EncodeFileName(QFileInfo(kept).fileName());
    const QByteArray keptStem = keptName.left(keptName.lastIndexOf('.') + 1);
    for (auto it = m_subtitles.begin(); it != m_subtitles.end();) {
        // "stem.LANG.ext": one more dot, so the stem of another video is never taken for it.
        const QByteArray rest = it->mid(stem.size());
        if (!it->startsWith(stem) || rest.count('.') != 1) {
            ++it;
            continue;
        }
        const QString shown = JobFolder::Shown(*it);
        if (!IsSubtitleName(*it)) {
            Say(QStringLiteral("the page offered %1 as subtitles, which it is not; it was not kept")
                    .arg(shown));
        } else if (const platform::Expected<void> reported = m_folder.CheckReported(*it);
                   !reported) {
            Say(QStringLiteral("dropped the reported name %1: %2")
                    .arg(shown, reported.error().text));
        } else if (const platform::Expected<QString> path = m_folder.Keep(*it, keptStem + rest);
                   !path) {
            Say(QStringLiteral("cannot keep %1: %2").arg(shown, path.error().text));
        }
        it = m_subtitles.erase(it);
    }
}

void Job::OnError(const QByteArray& text)
{
    // With a browser chosen, its cookies were offered already, or the log said it has none.
    if (m_hintedSignIn || m_job.options.cookies != CookiesFrom::None || !AsksToSignIn(text))
        return;
    m_hintedSignIn = true;
    Say(kSignInHint);
}

void Job::Run()
{
    if (const platform::Expected<void> prepared = m_folder.Prepare(); !prepared) {
        Say(QStringLiteral("cannot use the folder %1: %2")
                .arg(m_folder.Path(), prepared.error().text));
        return;
    }
    if (m_control.StopRequested())
        return;
    // A finished download leaves the staging folder at once: a run that is killed later does
    // not take it along. Conversions wait for the downloader's end.
    const bool atOnce = m_job.kind == JobKind::Download;
    ToolOutput downloader(
        ToolGrammar::Downloader,
        {.onText = [this](const QByteArray& text) { Post(m_owner, m_events.onText, text); },
         .onProgress =
             [this](std::int32_t thousandths) { Post(m_owner, m_events.onProgress, thousandths); },
         .onNamed =
             atOnce ? ToolOutput::NamedCallback([this](const QByteArray& name, bool alreadyThere) {
                 HandleReported(name, alreadyThere);
             })
                    : ToolOutput::NamedCallback(),
         .onSubtitles = [this](const QByteArray& name) { m_subtitles << name; },
         .onError = [this](const QByteArray& text) { OnError(text); }});
    // After a stop too: what the downloader finished stays, unconverted.
    if (Download(downloader) && !atOnce) {
        for (const QByteArray& name : downloader.Names())
            HandleReported(name, downloader.FoundAlreadyThere(name));
    }
}

} // namespace

void RunJob(const DownloadJob& job, QObject* owner, const JobEvents& events, JobControl& control)
{
    Kept kept;
    {
        Job run(job, owner, events, control);
        run.Run();
        kept = run.TakeKept();
    } // the staging folder goes, with every unfinished file in it
    if (control.StopRequested())
        kept = {};
    control.MarkFinished();
    Post(owner, events.onFinished, kept.result, kept.saved);
}

} // namespace download
