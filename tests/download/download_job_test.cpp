// Whole jobs with the built program's own tools (real yt-dlp and ffmpeg) against the loopback
// server, run by a job list as the window runs them: what lands in the folder, what is shown,
// which file is named to play, and what the list counts.
#include "app/workspace.h"
#include "download/download_job.h"
#include "download/job_list.h"
#include "platform/file_system.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

// What the jobs of a list said, as the window hears it.
struct Heard {
    download::JobEvents Events()
    {
        return {.onText = [this](const QByteArray& text) { texts << QString::fromUtf8(text); },
                .onProgress = [this](std::int32_t thousandths) { progress.push_back(thousandths); },
                .onConverting = [this] { ++converting; },
                .onFinished =
                    [this](const QString& path, const QStringList& files) {
                        finished << path;
                        saved << files;
                    }};
    }
    // Runs the event loop until `count` jobs have finished (or a generous limit passes).
    bool WaitFinished(qsizetype count = 1)
    {
        return testenv::WaitUntil([&] { return finished.size() >= count; }, 240000);
    }
    bool Said(const QString& part) const { return texts.join(u'\n').contains(part); }
    std::string Log() const { return texts.join(u'\n').toStdString(); }

    QStringList texts;
    std::vector<std::int32_t> progress;
    int converting = 0;
    QStringList finished;
    QList<QStringList> saved; // per finished job
};

class Jobs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const platform::Expected<app::Workspace> made = app::CreateWorkspace();
        s_workspace = made ? made->path : QString();
        s_extracted = made && app::ExtractToolPayload(s_workspace, QStringLiteral(VANDREL_EXE));
        // A user configuration that would send every file elsewhere and run a command: the
        // downloader must not read it.
        testenv::WriteFile(testenv::Home() + u"/.config/yt-dlp/config"_s,
                           "-o evil-%(id)s.%(ext)s\n--exec \"touch executed\"\n");
    }
    static void TearDownTestSuite() { app::RemoveDirectoryTree(s_workspace); }

    void SetUp() override
    {
        ASSERT_TRUE(s_extracted) << "the built program's payload did not extract";
        m_cwd = QDir::currentPath();
    }
    void TearDown() override
    {
        EXPECT_EQ(QDir::currentPath(), m_cwd) << "a job changed the current directory";
    }

    static QString Url(const QString& path) { return testenv::HttpBase() + u'/' + path; }

    download::DownloadJob Job(const QString& url, download::JobKind kind, bool play,
                              const QString& folder)
    {
        return {s_workspace, url, kind, play, folder};
    }

    void Run(const download::DownloadJob& job)
    {
        m_jobs.Start(job);
        EXPECT_EQ(m_jobs.Running(), 1);
        ASSERT_TRUE(m_heard.WaitFinished()) << "the job did not finish";
        EXPECT_EQ(m_jobs.Running(), 0);
        QCoreApplication::sendPostedEvents(&m_jobs);
        EXPECT_EQ(m_heard.finished.size(), 1) << "exactly one end per job";
    }

    // A workspace of the test's own: the payload's tools, with a script in place of either.
    QString OwnTools(const char* downloader, const char* convert)
    {
        for (const auto& [name, script] :
             {std::pair{"downloader", downloader}, std::pair{"convert", convert},
              std::pair{"qjs", static_cast<const char*>(nullptr)}}) {
            const QString path = m_tools.filePath(QLatin1String(name));
            EXPECT_TRUE(script ? testenv::WriteFile(path, script)
                               : QFile::copy(s_workspace + u'/' + QLatin1String(name), path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        }
        return m_tools.path();
    }

    QString Result() const
    {
        return m_heard.finished.isEmpty() ? u"<none>"_s : m_heard.finished.front();
    }

    Heard m_heard;
    QTemporaryDir m_folder;
    QTemporaryDir m_tools;
    QString m_cwd;
    download::JobList m_jobs{m_heard.Events()}; // last: its jobs end before what they use

    static inline QString s_workspace;
    static inline bool s_extracted = false;
};

// Every row leaves exactly the files that were there and those the job saved, in report order,
// and names the first to play when play is set. (Each kind with play on is also the end-to-end
// test's case.)
struct KindCase {
    const char* name;
    const char* url; // on the loopback server
    download::JobKind kind;
    bool play;
    const char* before; // files already in the folder, split by '|': .mp4 a clip, else its name
    const char* saved;  // the files the job saves, split by '|'
    const char* shown;  // a line that must be shown, or null
    const char* downloader = nullptr; // a script in place of the tool, or null
    const char* convert = nullptr;
    download::JobOptions options = {};
};

const download::JobOptions kUpTo480{.quality = download::Quality::UpTo480};
const download::JobOptions kFirefox{.cookies = download::CookiesFrom::Firefox};

class JobKinds : public Jobs, public ::testing::WithParamInterface<KindCase> {};

TEST_P(JobKinds, LeaveExactlyTheirFilesAndNameTheFirstToPlay)
{
    const KindCase& c = GetParam();
    const QString clip = testenv::MediaDir() + u"/clip.mp4"_s;
    const auto content = [&](const QString& name) {
        return name.endsWith(QLatin1String(".mp4")) ? testenv::ReadFile(clip) : name.toUtf8();
    };
    const QStringList before = QString::fromUtf8(c.before).split(u'|', Qt::SkipEmptyParts);
    for (const QString& name : before)
        ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(name), content(name)));
    download::DownloadJob job =
        Job(Url(QString::fromLatin1(c.url)), c.kind, c.play, m_folder.path());
    job.options = c.options;
    if (c.downloader || c.convert)
        job.workspace = OwnTools(c.downloader, c.convert);
    Run(job);

    const QStringList names = QString::fromUtf8(c.saved).split(u'|', Qt::SkipEmptyParts);
    QStringList files = before + names, saved;
    files.sort();
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), files) << m_heard.Log();
    for (const QString& name : names)
        saved << m_folder.filePath(name);
    EXPECT_EQ(Result(), c.play ? saved.value(0) : QString());
    ASSERT_EQ(m_heard.saved.size(), 1);
    EXPECT_EQ(m_heard.saved.front(), saved);
    for (const QString& file : saved.filter(u".mp3"_s, Qt::CaseInsensitive))
        EXPECT_EQ(testenv::StreamCodecs(file), u"mp3"_s);
    for (const QString& name : before)
        EXPECT_EQ(testenv::ReadFile(m_folder.filePath(name)), content(name)) << "never touched";
    if (c.shown) {
        EXPECT_TRUE(m_heard.Said(QString::fromUtf8(c.shown))) << m_heard.Log();
    }
    EXPECT_FALSE(m_heard.Said(u"dropped"_s));
}

const KindCase kKindCases[] = {
    {"mp4_that_is_mp4_already_is_kept", "clip.mp4", download::JobKind::Mp4, false, "",
     "clip [clip].mp4", nullptr},
    {"a_merged_stream_is_converted_once_merged", "dash/stream.mpd", download::JobKind::Avi, true,
     "", "stream [stream].avi", nullptr},
    {"a_capital_MP3_is_in_the_target_form", "tone.html", download::JobKind::Mp3, true, "",
     "Tone (1) [tone-1].MP3", nullptr},
    {"a_name_holding_ETA_is_still_converted", "BETA.mp4", download::JobKind::Mp3, true, "",
     "BETA [BETA].mp3", nullptr},
    {"three_clips_of_a_page_are_converted_and_their_downloads_deleted", "three.html",
     download::JobKind::Mp4, true, "",
     "Three clips (1) [three-1].mp4|Three clips (2) [three-2].mp4|Three clips (3) [three-3].mp4",
     nullptr},
    // Another program's files, whatever their names, are neither used, written nor removed.
    {"a_file_of_the_same_name_is_another_programs_and_never_touched", "clip.mp4",
     download::JobKind::Mp3, true,
     "clip [clip].mp4|clip [clip].mp4.part|clip [clip].mp4.ytdl|clip [clip].temp.mp4",
     "clip [clip].mp3", nullptr},
    {"a_kept_file_never_replaces_an_existing_one", "clip.mp4", download::JobKind::Mp3, true,
     "clip [clip].mp3|clip [clip] (2).mp3", "clip [clip] (3).mp3", nullptr},
    {"a_download_never_replaces_an_existing_one", "clip.mp4", download::JobKind::Download, true,
     "clip [clip].mp4", "clip [clip] (2).mp4", nullptr},
    // What a page offers that is not audio or video is neither kept nor played. The carried
    // downloader refuses a launcher's extension itself; the job's own check sees the script.
    {"a_launcher_by_og_video_is_not_kept_even_for_an_mp3", "og.html", download::JobKind::Mp3, true,
     "", "",
     "The extracted extension ('desktop') is unusual and will be skipped for safety reasons"},
    {"a_script_named_as_a_video_is_not_kept", "script.mp4", download::JobKind::Mp4, true, "", "",
     "the page offered script [script].mp4, which is not a video; it was not kept"},
    {"words_that_begin_with_a_dash_are_addresses_not_options", "clip.mp4 -o evil.%(ext)s",
     download::JobKind::Download, true, "", "clip [clip].mp4", "'-o' is not a valid URL"},
    // The clip's height is not known: the limit gives way to the best there is.
    {"a_quality_limit_the_page_cannot_meet_takes_the_best", "clip.mp4", download::JobKind::Avi,
     true, "", "clip [clip].avi", nullptr, nullptr, nullptr, kUpTo480},
    // The test's home has no browser profile.
    {"cookies_of_a_browser_without_a_profile_are_left_out", "clip.mp4", download::JobKind::Download,
     true, "", "clip [clip].mp4", "No cookies of Firefox were found; downloading without them",
     nullptr, nullptr, kFirefox},
    // Versions of the downloader word the error differently; this much they share.
    {"a_missing_page_shows_the_downloaders_error", "no-such-video.mp4", download::JobKind::Download,
     true, "", "", "Unable to download webpage"},
    // A failed conversion keeps the download, removes its own output and plays the download. (A
    // converter without ffmpeg is the end-to-end payload test's case.)
    {"a_converter_that_writes_nothing_and_exits_with_0", "clip.mp4", download::JobKind::Mp3, true,
     "", "clip [clip].mp4", "converting clip [clip].mp4 failed", nullptr, "#!/bin/sh\nexit 0\n"},
    {"a_converter_that_writes_part_of_its_output_and_fails", "clip.mp4", download::JobKind::Mp3,
     true, "", "clip [clip].mp4", "converting clip [clip].mp4 failed", nullptr,
     "#!/bin/sh\nfor last; do :; done\necho partial > \"$last\"\nexit 1\n"},
    {"a_download_failed_on_a_full_disk_leaves_no_unfinished_file", "clip.mp4",
     download::JobKind::Mp3, true, "", "", "No space left on device",
     "#!/bin/sh\nprintf 'half a video' > 'clip [clip].mp4.part'\n"
     "printf 'ERROR: unable to write data: [Errno 28] No space left on device\\r\\n'\nexit 1\n"},
};

INSTANTIATE_TEST_SUITE_P(Real, JobKinds, ::testing::ValuesIn(kKindCases),
                         [](const auto& row) { return std::string(row.param.name); });

// Subtitles beside the video keep its name, that of the converted file too, and are never
// played; inside an MP4 they are one of its streams and leave no file of their own.
TEST_F(Jobs, SubtitlesAreKeptBesideTheVideoOrGoIntoTheMp4)
{
    const struct {
        download::JobKind kind;
        download::Subtitles subtitles;
        const char* files; // split by '|', the played one first
        const char* codecs;
    } rows[] = {
        {download::JobKind::Download, download::Subtitles::Beside,
         "Subtitled (1) [page-1].mp4|Subtitled (1) [page-1].en.vtt", "h264 aac"},
        {download::JobKind::Mp3, download::Subtitles::Inside,
         "Subtitled (1) [page-1].mp3|Subtitled (1) [page-1].en.vtt", "mp3"},
        {download::JobKind::Mp4, download::Subtitles::Inside, "Subtitled (1) [page-1].mp4",
         "h264 aac mov_text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.kind));
        m_heard = {};
        const QString folder = m_folder.filePath(QString::number(static_cast<int>(row.kind)));
        download::DownloadJob job = Job(Url(u"subs/page.html"_s), row.kind, true, folder);
        job.options.subtitles = row.subtitles;
        Run(job);
        QStringList files = QString::fromUtf8(row.files).split(u'|');
        const QString played = folder + u'/' + files.front();
        EXPECT_EQ(Result(), played) << m_heard.Log();
        EXPECT_EQ(m_heard.saved.value(0), QStringList{played});
        EXPECT_EQ(testenv::StreamCodecs(played), QLatin1StringView(row.codecs));
        if (files.size() > 1) {
            EXPECT_EQ(testenv::ReadFile(folder + u'/' + files[1]),
                      testenv::ReadFile(testenv::MediaDir() + u"/subs/clip.en.vtt"_s));
        }
        files.sort();
        EXPECT_EQ(testenv::FilesIn(folder), files);
    }
}

// Stand-in downloaders: exactly the files left and saved, and every line shown.
struct ScriptCase {
    const char* name;
    download::JobKind kind;
    const char* downloader; // "@" stands for the media folder; null: no tools at all
    const char* files;      // left in the folder, split by '|'
    const char* saved;      // of them, those the job saved (the first is played)
    const char* texts;      // shown, split by '|'
    download::JobOptions options = {};
};

class ScriptedJobs : public Jobs, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptedJobs, LeaveExactlyTheirFilesAndShowExactlyTheirLines)
{
    const ScriptCase& c = GetParam();
    const auto split = [](const char* text) {
        return QString::fromUtf8(text).split(u'|', Qt::SkipEmptyParts);
    };
    download::DownloadJob job = Job(Url(u"clip.mp4"_s), c.kind, true, m_folder.path());
    job.options = c.options;
    const QByteArray script = QByteArray(c.downloader).replace('@', testenv::MediaDir().toUtf8());
    job.workspace = c.downloader ? OwnTools(script.constData(), nullptr)
                                 : m_folder.filePath(u"no-such-workspace"_s);
    Run(job);
    QStringList saved;
    for (const QString& name : split(c.saved))
        saved << m_folder.filePath(name);
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), split(c.files));
    EXPECT_EQ(m_heard.saved.value(0), saved);
    EXPECT_EQ(Result(), saved.value(0));
    EXPECT_EQ(m_heard.texts, split(c.texts)) << m_heard.Log();
}

#define SIGN_IN_ERROR "[youtube] abc: Sign in to confirm you\u2019re not a bot"
constexpr char kSignIn[] =
    "#!/bin/sh\nfor i in 1 2; do printf 'ERROR: " SIGN_IN_ERROR "\\r\\n'; done\n"
    "exit 1\n";

const ScriptCase kScripts[] = {
    // What is reported as subtitles leaves with its video only when it has a subtitle's extension
    // and the video's name; the rest goes with the staging folder.
    {"only_the_videos_own_subtitles_leave_with_it", download::JobKind::Download,
     "#!/bin/sh\ncp '@/clip.mp4' a.mp4\nfor s in a.en.vtt a.en.desktop a.b.en.vtt; do\n"
     "  echo WEBVTT > $s; printf '[download] Subtitles: %s\\r\\n' $s\n"
     "done\nprintf '[download] Destination: a.mp4\\r\\n'\n",
     "a.en.vtt|a.mp4", "a.mp4",
     "the page offered a.en.desktop as subtitles, which it is not; it was not kept"},
    // The hint follows the first error that asks for a signed-in user, unless a browser was chosen.
    {"a_sign_in_gets_the_hint_once", download::JobKind::Download, kSignIn, "", "",
     SIGN_IN_ERROR "|The site asks you to sign in: right-click the window and choose your browser "
                   "under Cookies from|" SIGN_IN_ERROR},
    {"a_sign_in_with_a_browser_chosen_gets_no_hint", download::JobKind::Download, kSignIn, "", "",
     "No cookies of Firefox were found; downloading without them|" SIGN_IN_ERROR "|" SIGN_IN_ERROR,
     kFirefox},
    // A file another program puts into the folder while the job runs, reported as "already
    // downloaded" (as the downloader reports a file of the name it would write), is not the
    // job's: it is neither converted nor removed.
    {"a_file_that_appeared_during_the_job_is_not_the_jobs", download::JobKind::Mp3,
     "#!/bin/sh\nprintf partial > '../clip [clip].mp4'\n"
     "printf '[download] clip [clip].mp4 has already been downloaded\\r\\n'\n",
     "clip [clip].mp4", "",
     "clip [clip].mp4 has already been downloaded|"
     "dropped the reported name clip [clip].mp4: no such regular file"},
    {"a_downloader_that_cannot_start_is_reported", download::JobKind::Mp3, nullptr, "", "",
     "cannot start the downloader: No such file or directory"},
};

INSTANTIATE_TEST_SUITE_P(Stand_in, ScriptedJobs, ::testing::ValuesIn(kScripts),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Jobs, AMissingFolderIsMadeWithItsParentsAndARelativeOneIsTakenFromHome)
{
    const QString deep = m_folder.filePath(QString(120, u'a') + u'/' + QString(120, u'b') + u'/' +
                                           QString(120, u'c'));
    Run(Job(Url(u"clip.mp4"_s), download::JobKind::Mp3, true, deep));
    EXPECT_EQ(testenv::FilesIn(deep), QStringList{u"clip [clip].mp3"_s});
    EXPECT_EQ(Result(), deep + u"/clip [clip].mp3"_s);

    m_heard.finished.clear();
    Run(Job(Url(u"clip.mp4"_s), download::JobKind::Download, true, u"Videos/jobs"_s));
    const QString folder = testenv::Home() + u"/Videos/jobs"_s;
    EXPECT_EQ(testenv::FilesIn(folder), QStringList{u"clip [clip].mp4"_s});
    EXPECT_EQ(Result(), folder + u"/clip [clip].mp4"_s);
    QDir(testenv::Home() + u"/Videos"_s).removeRecursively();
}

TEST_F(Jobs, AFolderThatIsOrIsBelowAFileRunsNoToolSaysWhyAndFinishesEmpty)
{
    ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(u"file"_s), "x"));
    for (const QString& folder : {m_folder.filePath(u"file"_s), m_folder.filePath(u"file/sub"_s)}) {
        m_heard.texts.clear();
        m_heard.finished.clear();
        // A mark in the address shows whether the downloader ever asked the server.
        const QString mark = u"mark-%1"_s.arg(folder.size());
        Run(Job(Url(u"clip.mp4?"_s + mark), download::JobKind::Mp3, true, folder));
        EXPECT_EQ(Result(), QString());
        EXPECT_EQ(m_heard.texts,
                  QStringList{u"cannot use the folder %1: Not a directory"_s.arg(folder)});
        EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{u"file"_s});
        EXPECT_FALSE(testenv::ReadFile(testenv::Dir() + u"/http.log"_s).contains(mark.toUtf8()));
    }
}

// A stand-in downloader that reports each address it is given as a downloaded file.
constexpr char kEchoingDownloader[] = "#!/bin/sh\n"
                                      "after=no\n"
                                      "for a; do\n"
                                      "  [ $after = yes ] && printf '[download] Destination: "
                                      "%s\\r\\n' \"$a\"\n"
                                      "  [ \"$a\" = -- ] && after=yes\n"
                                      "done\n"
                                      "exit 0\n";

// What the folder holds under the first part of the reported name.
enum class Plant { Nothing, LinkToTheOutside, Folder };

struct NameCase {
    const char* name;
    Plant plant;
    const char* reported; // "%o" stands for a folder beside the download folder, "%n" for its name
    const char* reason;
};

class ReportedNames : public Jobs, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ReportedNames, ThatAreNotFilesInsideTheFolderAreDroppedAndLeftAlone)
{
    const NameCase& c = GetParam();
    QTemporaryDir outside;
    const QString victim = outside.filePath(u"victim.mp4"_s);
    ASSERT_TRUE(QFile::copy(testenv::MediaDir() + u"/clip.mp4"_s, victim));
    const QString planted = m_folder.filePath(QString::fromLatin1(c.reported).section(u'/', 0, 0));
    if (c.plant != Plant::Nothing) {
        ASSERT_TRUE(c.plant == Plant::Folder ? QDir().mkpath(planted)
                                             : QFile::link(outside.path(), planted));
    }
    const QStringList before = testenv::FilesIn(m_folder.path());
    // Both temporary folders are made in the same place, so "../%n" from one is the other.
    const QString reported = QString::fromLatin1(c.reported)
                                 .replace(u"%o"_s, outside.path())
                                 .replace(u"%n"_s, QFileInfo(outside.path()).fileName());
    ASSERT_EQ(QFileInfo(m_folder.path()).dir(), QFileInfo(outside.path()).dir());

    download::DownloadJob job = Job(reported, download::JobKind::Mp3, true, m_folder.path());
    job.workspace = OwnTools(kEchoingDownloader, nullptr);
    Run(job);
    EXPECT_EQ(Result(), QString());
    EXPECT_EQ(m_heard.texts, QStringList{u"dropped the reported name %1: %2"_s.arg(
                                 reported, QLatin1String(c.reason))});
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), before) << "nothing converted";
    EXPECT_EQ(testenv::FilesIn(outside.path()), QStringList{u"victim.mp4"_s});
}

const NameCase kNames[] = {
    {"into_the_parent", Plant::Nothing, "../%n/victim.mp4", "not a file the job made"},
    {"absolute", Plant::Nothing, "%o/victim.mp4", "not a file the job made"},
    {"through_a_linked_folder", Plant::LinkToTheOutside, "dir/victim.mp4",
     "not a file the job made"},
    {"a_folder", Plant::Folder, "d.mp4", "no such regular file"},
};

INSTANTIATE_TEST_SUITE_P(Names, ReportedNames, ::testing::ValuesIn(kNames),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Jobs, APlantedLinkIsNeverWrittenThrough)
{
    QTemporaryDir outside;
    const QString victim = outside.filePath(u"victim"_s);
    ASSERT_TRUE(testenv::WriteFile(victim, "9 bytes.\n"));
    for (const char* name : {"clip [clip].mp4.part", "clip [clip].mp4"})
        ASSERT_TRUE(QFile::link(victim, m_folder.filePath(QLatin1String(name))));
    Run(Job(Url(u"clip.mp4"_s), download::JobKind::Download, true, m_folder.path()));
    EXPECT_EQ(testenv::ReadFile(victim), "9 bytes.\n");
    const QString saved = m_folder.filePath(u"clip [clip] (2).mp4"_s);
    EXPECT_EQ(Result(), saved) << m_heard.Log();
    EXPECT_EQ(testenv::ReadFile(saved), testenv::ReadFile(testenv::MediaDir() + u"/clip.mp4"_s));
    EXPECT_EQ(QFileInfo(m_folder.filePath(u"clip [clip].mp4.part"_s)).symLinkTarget(), victim);
}

// Titles keep their letters in every script; a name is never hidden, fits 255 bytes with its
// extension, and two videos never share one.
TEST_F(Jobs, NamesKeepTheTitlesLettersAndFit)
{
    const QStringList pages{u"ja"_s,    u"ru"_s,       u"el"_s,     u"emoji"_s,     u"dot"_s,
                            u"slash"_s, u"ascii250"_s, u"cjk100"_s, u"one/index"_s, u"two/index"_s};
    QStringList urls;
    for (const QString& page : pages)
        urls << Url(u"titles/"_s + page + u".html"_s);
    Run(Job(urls.join(u' '), download::JobKind::Download, false, m_folder.path()));
    QStringList expected{u"日本語の動画 (1) [ja-1].mp4"_s,
                         u"Русское видео (1) [ru-1].mp4"_s,
                         u"Ελληνικό βίντεο (1) [el-1].mp4"_s,
                         u"🎬 clip 🎉 (1) [emoji-1].mp4"_s,
                         u"_.hidden clip (1) [dot-1].mp4"_s,
                         u"AC⧸DC live (1) [slash-1].mp4"_s,
                         QString(150, u'A') + u" [ascii250-1].mp4"_s,
                         QString(50, u'漢') + u" [cjk100-1].mp4"_s,
                         u"最初の動画 (1) [index-1].mp4"_s,
                         u"二番目の動画 (1) [index-1].mp4"_s};
    QStringList saved;
    for (const QString& name : expected)
        saved << m_folder.filePath(name);
    EXPECT_EQ(m_heard.saved.value(0), saved) << m_heard.Log();
    expected.sort();
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), expected);
}

// Whatever bytes the folder's path holds, the job's files are found, converted and named. Two
// jobs of one address in one folder at once keep both results.
TEST_F(Jobs, FoldersOfAnyNameGetTheirConvertedFile)
{
    const QStringList names{u"caf"_s + QChar(0xDC00 + 0xE9) + u" latin-1"_s, u"two\nlines"_s,
                            u"  blanks  "_s, u"-leading dash"_s};
    for (const QString& name : names)
        m_jobs.Start(
            Job(Url(u"clip.flv"_s), download::JobKind::Mp3, true, m_folder.filePath(name)));
    m_jobs.Start(
        Job(Url(u"clip.flv"_s), download::JobKind::Download, true, m_folder.filePath(names[1])));
    EXPECT_EQ(m_jobs.Running(), names.size() + 1);
    ASSERT_TRUE(m_heard.WaitFinished(names.size() + 1));
    EXPECT_EQ(m_jobs.Running(), 0);
    const QString flv = m_folder.filePath(names[1]) + u"/clip [clip].flv"_s;
    EXPECT_EQ(testenv::ReadFile(flv), testenv::ReadFile(testenv::MediaDir() + u"/clip.flv"_s));
    EXPECT_EQ(testenv::FilesIn(m_folder.filePath(names[1])),
              QStringList({u"clip [clip].flv"_s, u"clip [clip].mp3"_s}));
    QStringList expected{flv};
    for (const QString& name : names) {
        // Qt's own file classes cannot name a folder that is not UTF-8: the platform's can.
        const QString mp3 = m_folder.filePath(name) + u"/clip [clip].mp3"_s;
        EXPECT_TRUE(platform::RegularFileIdentity(mp3)) << name.toStdString();
        expected << mp3;
    }
    expected.sort();
    m_heard.finished.sort();
    EXPECT_EQ(m_heard.finished, expected) << m_heard.Log();
}

// The workspace may sit on a file system mounted noexec: the tools are read by their
// interpreters, never executed, and the carried qjs runs from a copy in memory. The first job
// of a run names the JavaScript runtime, the next one does not.
TEST_F(Jobs, ToolsRunWithoutTheirExecuteBitsAndTheFirstJobNamesTheJavaScriptRuntime)
{
    download::DownloadJob job =
        Job(Url(u"clip.flv"_s), download::JobKind::Mp4, true, m_folder.path());
    job.workspace = OwnTools(nullptr, nullptr);
    for (const char* tool : {"downloader", "convert", "qjs"})
        QFile::setPermissions(m_tools.filePath(QLatin1String(tool)), QFile::ReadOwner);
    // No runtime of the machine's: only the converter's tools are on PATH.
    QTemporaryDir bin;
    for (const char* tool : {"ffmpeg", "ffprobe"})
        QFile::link(QStandardPaths::findExecutable(QLatin1String(tool)),
                    bin.filePath(QLatin1String(tool)));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    for (qsizetype jobs = 1; jobs <= 2; ++jobs) {
        m_jobs.Start(job);
        ASSERT_TRUE(m_heard.WaitFinished(jobs));
    }
    qputenv("PATH", path);
    EXPECT_EQ(m_heard.finished, QStringList({m_folder.filePath(u"clip [clip].mp4"_s),
                                             m_folder.filePath(u"clip [clip] (2).mp4"_s)}))
        << m_heard.Log();
    EXPECT_EQ(m_heard.texts.filter(u"JavaScript runtime: "_s),
              QStringList{u"JavaScript runtime: quickjs " VANDREL_QUICKJS_VERSION ""_s})
        << m_heard.Log();
}

// A finished download leaves the staging folder while the downloader goes on with the next, so
// a run that is killed later does not take it along; a stop keeps it. The progress is heard as
// a figure.
TEST_F(Jobs, AFinishedDownloadIsInTheFolderWhileTheDownloaderGoesOn)
{
    download::DownloadJob job =
        Job(Url(u"clip.mp4"_s), download::JobKind::Download, true, m_folder.path());
    const QByteArray script = "#!/bin/sh\ncp '" + testenv::MediaDir().toUtf8() +
                              "/clip.mp4' first.mp4\n"
                              "printf '[download] Destination: first.mp4\\r\\n'\n"
                              "printf '[download]  42.5%% of 1.00MiB at 1.00KiB/s ETA 09:59\\r'\n"
                              "exec sleep 600\n";
    job.workspace = OwnTools(script.constData(), nullptr);
    m_jobs.Start(job);
    EXPECT_TRUE(testenv::WaitUntil(
        [&] { return testenv::FilesIn(m_folder.path()).contains(u"first.mp4"_s); }, 20000));
    ASSERT_TRUE(testenv::WaitUntil([&] { return !m_heard.progress.empty(); }, 20000));
    EXPECT_EQ(m_heard.progress, std::vector<std::int32_t>{425});
    EXPECT_EQ(m_jobs.Running(), 1);
    m_jobs.StopAll();
    ASSERT_TRUE(m_heard.WaitFinished());
    EXPECT_EQ(m_jobs.Running(), 0);
    EXPECT_EQ(m_heard.saved.value(0), QStringList()) << "a stopped job saved nothing";
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{u"first.mp4"_s});
}

// A killed run's staging folder goes with the next job in that folder; a live run's, and a
// folder of that name without a lock file, stay.
TEST_F(Jobs, AKilledRunsStagingFolderGoesWithTheNextJob)
{
    const QStringList folders{u".vandrel-job-0000dead"_s, u".vandrel-job-0000beef"_s,
                              u".vandrel-job-0000f00d"_s};
    for (const QString& name : folders)
        ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(name + u"/clip.mp4.part"_s), "half"));
    ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(folders[0] + u"/.lock"_s), ""));
    const platform::UniqueFd live =
        platform::HoldNewLockFile(m_folder.filePath(folders[1]), ".lock");
    ASSERT_TRUE(live);
    Run(Job(Url(u"clip.mp4"_s), download::JobKind::Download, false, m_folder.path()));
    EXPECT_EQ(testenv::FilesIn(m_folder.path()),
              QStringList(
                  {u".vandrel-job-0000beef"_s, u".vandrel-job-0000f00d"_s, u"clip [clip].mp4"_s}));
}

// A stop during the download is the end-to-end stop test's case.
TEST_F(Jobs, AStoppedConversionEndsWithItsHelpersStartsNothingElseAndKeepsOnlyTheDownload)
{
    download::DownloadJob job =
        Job(Url(u"clip.mp4"_s), download::JobKind::Avi, true, m_folder.path());
    // A converter that writes part of its output and never finishes, waiting on a helper of its
    // own as the payload's converter waits on ffmpeg: the stop ends the helper too.
    job.workspace = OwnTools(nullptr, "#!/bin/sh\nfor out; do :; done\n"
                                      "sh -c 'echo $$ > \"$0.helper\"; exec sleep 600' \"$0\" &\n"
                                      "while [ ! -s \"$0.helper\" ]; do sleep 0.05; done\n"
                                      "printf partial > \"$out\"\nwait\n");
    m_jobs.Start(job);
    ASSERT_TRUE(testenv::WaitUntil(
        [&] { return QFileInfo(m_tools.filePath(u"convert.helper"_s)).size() > 0; }, 60000))
        << "the converter never got going";
    m_jobs.StopAll();
    m_jobs.StopAll(); // idempotent
    ASSERT_TRUE(m_heard.WaitFinished());
    EXPECT_EQ(m_heard.converting, 1);
    EXPECT_EQ(m_heard.saved.value(0), QStringList()) << "a stopped job saved nothing";
    EXPECT_EQ(Result(), QString());
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{u"clip [clip].mp4"_s});
    const QByteArray pid = testenv::ReadFile(m_tools.filePath(u"convert.helper"_s)).trimmed();
    ASSERT_FALSE(pid.isEmpty());
    EXPECT_TRUE(testenv::ProcessEnds(pid))
        << "the converter's helper " << pid.toStdString() << " still runs";
}

} // namespace
