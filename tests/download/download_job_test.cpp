// Whole jobs with the built program's own tools (the payload's downloader and converter, the
// real yt-dlp and ffmpeg) against the loopback server: what lands in the folder, what is shown,
// and which file is named to play.
#include "app/workspace.h"
#include "download/download_job.h"
#include "download/job_finished_event.h"
#include "download/job_text_event.h"
#include "download/job_thread.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

namespace {

// Keeps what a job posts, as the main window would receive it.
class Receiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == WM_JOB_TEXT) {
            raw << static_cast<JobTextEvent*>(e)->Text();
            texts << QString::fromUtf8(raw.back());
            return true;
        }
        if (e->type() == WM_JOB_FINISHED) {
            finished << static_cast<JobFinishedEvent*>(e)->Path();
            saved << static_cast<JobFinishedEvent*>(e)->Saved();
            return true;
        }
        return QObject::event(e);
    }
    // Delivers posted events until `count` jobs have finished (or a generous limit passes).
    bool WaitFinished(qsizetype count = 1)
    {
        const bool done = testenv::WaitUntil([&] { return finished.size() >= count; }, 240000);
        QCoreApplication::sendPostedEvents(this);
        return done;
    }
    bool Said(const QString& part) const
    {
        for (const QString& t : texts)
            if (t.contains(part))
                return true;
        return false;
    }

    QList<QByteArray> raw; // as the tools wrote them
    QStringList texts;
    QStringList finished;
    QList<QStringList> saved; // per finished job
};

// The real payload, extracted once; tests that need another converter get a workspace of
// their own with the same downloader.
class Jobs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_workspace = CreateWorkspace();
        s_extracted =
            !s_workspace.isEmpty() && ExtractToolPayload(s_workspace, QStringLiteral(VANDREL_EXE));
        // A user configuration that would send every file elsewhere and run a command: the
        // downloader must not read it.
        testenv::WriteFile(testenv::Home() + QStringLiteral("/.config/yt-dlp/config"),
                           "-o evil-%(id)s.%(ext)s\n--exec \"touch executed\"\n");
    }
    static void TearDownTestSuite() { RemoveDirectoryTree(s_workspace); }

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

    DownloadJob Job(const QString& url, JobKind kind, bool play, const QString& folder)
    {
        return {&m_receiver, s_workspace, url, kind, play, folder};
    }

    // Runs one job on its own thread to its end.
    void Run(const DownloadJob& job)
    {
        {
            JobThread thread(job);
            ASSERT_TRUE(m_receiver.WaitFinished()) << "the job did not finish";
            EXPECT_TRUE(thread.Finished());
        }
        QCoreApplication::sendPostedEvents(&m_receiver);
        EXPECT_EQ(m_receiver.finished.size(), 1) << "exactly one end per job";
    }

    QString Result() const
    {
        return m_receiver.finished.isEmpty() ? QStringLiteral("<none>")
                                             : m_receiver.finished.front();
    }

    Receiver m_receiver;
    QTemporaryDir m_folder;
    QString m_cwd;

    static inline QString s_workspace;
    static inline bool s_extracted = false;
};

// --- Each kind, with play on and off -------------------------------------------------------

// Every row leaves exactly one file, the one the job saved, and names it to play when play is
// set.
struct KindCase {
    const char* name;
    const char* url; // on the loopback server
    JobKind kind;
    bool play;
    const char* file;  // the one file in the folder afterwards
    const char* shown; // a line that must be shown, or null
};

// What each kind's file holds, by its extension.
QString CodecsOf(const QString& file)
{
    const QString ext = QFileInfo(file).suffix().toLower();
    return ext == u"mp3"   ? QStringLiteral("mp3")
           : ext == u"avi" ? QStringLiteral("mpeg4 mp3")
                           : QStringLiteral("h264 aac");
}

class JobKinds : public Jobs, public ::testing::WithParamInterface<KindCase> {};

TEST_P(JobKinds, LeaveExactlyTheirFileAndNameItToPlay)
{
    const KindCase& c = GetParam();
    Run(Job(Url(QString::fromLatin1(c.url)), c.kind, c.play, m_folder.path()));
    const QString file = m_folder.filePath(QString::fromLatin1(c.file));
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{QString::fromLatin1(c.file)})
        << m_receiver.texts.join(u'\n').toStdString();
    EXPECT_EQ(Result(), c.play ? file : QString());
    ASSERT_EQ(m_receiver.saved.size(), 1);
    EXPECT_EQ(m_receiver.saved.front(), QStringList{file});
    if (c.play) {
        EXPECT_EQ(testenv::StreamCodecs(file), CodecsOf(file));
    }
    if (c.shown) {
        EXPECT_TRUE(m_receiver.Said(QString::fromLatin1(c.shown)))
            << m_receiver.texts.join(u'\n').toStdString();
    }
    EXPECT_FALSE(m_receiver.Said(QStringLiteral("dropped")));
}

const KindCase kKindCases[] = {
    {"download_plays_the_download", "clip.mp4", JobKind::Download, true, "clip-[clip].mp4", "ETA"},
    {"mp3_replaces_the_download", "clip.mp4", JobKind::Mp3, true, "clip-[clip].mp3", nullptr},
    {"mp3_without_play", "clip.mp4", JobKind::Mp3, false, "clip-[clip].mp3", nullptr},
    {"avi_replaces_the_download", "clip.flv", JobKind::Avi, true, "clip-[clip].avi", nullptr},
    {"mp4_from_flash_video", "clip.flv", JobKind::Mp4, true, "clip-[clip].mp4", nullptr},
    {"mp4_that_is_mp4_already_is_kept", "clip.mp4", JobKind::Mp4, false, "clip-[clip].mp4",
     nullptr},
    {"a_merged_stream_is_converted_once_merged", "dash/stream.mpd", JobKind::Mp3, true,
     "stream-[stream].mp3", nullptr},
    {"a_capital_MP3_is_in_the_target_form", "tone.html", JobKind::Mp3, true, "Tone_1-[tone-1].MP3",
     nullptr},
    {"a_name_holding_ETA_is_still_converted", "BETA.mp4", JobKind::Mp3, true, "BETA-[BETA].mp3",
     nullptr},
    {"words_that_begin_with_a_dash_are_addresses_not_options", "clip.mp4 -o evil.%(ext)s",
     JobKind::Download, true, "clip-[clip].mp4", "'-o' is not a valid URL"},
};

INSTANTIATE_TEST_SUITE_P(Real, JobKinds, ::testing::ValuesIn(kKindCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Jobs, ThreeClipsOfAPageAreConvertedInReportOrderAndTheFirstPlays)
{
    Run(Job(Url(QStringLiteral("three.html")), JobKind::Mp4, true, m_folder.path()));
    const QStringList mp4s = {QStringLiteral("Three_clips_1-[three-1].mp4"),
                              QStringLiteral("Three_clips_2-[three-2].mp4"),
                              QStringLiteral("Three_clips_3-[three-3].mp4")};
    ASSERT_EQ(testenv::FilesIn(m_folder.path()), mp4s)
        << "three conversions, three downloads deleted";
    EXPECT_EQ(Result(), m_folder.filePath(mp4s[0]));
    ASSERT_EQ(m_receiver.saved.size(), 1);
    EXPECT_EQ(m_receiver.saved.front(),
              QStringList({m_folder.filePath(mp4s[0]), m_folder.filePath(mp4s[1]),
                           m_folder.filePath(mp4s[2])}));
    // Conversions run one after the other, so each output was finished after the one before.
    const auto finished = [&](int i) {
        return QFileInfo(m_folder.filePath(mp4s[i])).lastModified();
    };
    EXPECT_LE(finished(0), finished(1));
    EXPECT_LE(finished(1), finished(2));
}

// --- What is in the folder before the job ----------------------------------------------------

TEST_F(Jobs, AFileAlreadyThereIsConvertedButNeverDeleted)
{
    const QString mine = m_folder.filePath(QStringLiteral("clip-[clip].mp4"));
    ASSERT_TRUE(QFile::copy(testenv::MediaDir() + QStringLiteral("/clip.mp4"), mine));
    Run(Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, m_folder.path()));
    EXPECT_TRUE(m_receiver.Said(QStringLiteral("clip-[clip].mp4 has already been downloaded")))
        << m_receiver.texts.join(u'\n').toStdString();
    EXPECT_EQ(testenv::FilesIn(m_folder.path()),
              (QStringList{QStringLiteral("clip-[clip].mp3"), QStringLiteral("clip-[clip].mp4")}));
    EXPECT_EQ(testenv::ReadFile(mine),
              testenv::ReadFile(testenv::MediaDir() + QStringLiteral("/clip.mp4")));
    EXPECT_EQ(Result(), m_folder.filePath(QStringLiteral("clip-[clip].mp3")));
}

TEST_F(Jobs, AConversionNeverOverwritesAnExistingFile)
{
    const QString mine = m_folder.filePath(QStringLiteral("clip-[clip].mp3"));
    const QString mine2 = m_folder.filePath(QStringLiteral("clip-[clip] (2).mp3"));
    ASSERT_TRUE(testenv::WriteFile(mine, "the user's own file"));
    ASSERT_TRUE(testenv::WriteFile(mine2, "and another"));
    Run(Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, m_folder.path()));
    const QString made = m_folder.filePath(QStringLiteral("clip-[clip] (3).mp3"));
    EXPECT_EQ(Result(), made);
    EXPECT_EQ(testenv::StreamCodecs(made), QStringLiteral("mp3"));
    EXPECT_EQ(testenv::ReadFile(mine), "the user's own file");
    EXPECT_EQ(testenv::ReadFile(mine2), "and another");
    EXPECT_EQ(testenv::FilesIn(m_folder.path()).size(), 3) << "the download is gone";
}

// --- The folder field -----------------------------------------------------------------------

TEST_F(Jobs, AMissingFolderIsMadeWithItsParentsAndARelativeOneIsTakenFromHome)
{
    const QString deep = m_folder.filePath(QString(120, u'a') + u'/' + QString(120, u'b') + u'/' +
                                           QString(120, u'c'));
    ASSERT_GT(deep.size(), 360) << "no length limit";
    Run(Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, deep));
    EXPECT_EQ(testenv::FilesIn(deep), QStringList{QStringLiteral("clip-[clip].mp3")});
    EXPECT_EQ(Result(), deep + QStringLiteral("/clip-[clip].mp3"));

    m_receiver.finished.clear();
    Run(Job(Url(QStringLiteral("clip.mp4")), JobKind::Download, true,
            QStringLiteral("Videos/jobs")));
    const QString folder = testenv::Home() + QStringLiteral("/Videos/jobs");
    EXPECT_EQ(testenv::FilesIn(folder), QStringList{QStringLiteral("clip-[clip].mp4")});
    EXPECT_EQ(Result(), folder + QStringLiteral("/clip-[clip].mp4"));
    QDir(testenv::Home() + QStringLiteral("/Videos")).removeRecursively();
}

TEST_F(Jobs, AFolderThatIsOrIsBelowAFileRunsNoToolSaysWhyAndFinishesEmpty)
{
    ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(QStringLiteral("file")), "x"));
    for (const QString& folder : {m_folder.filePath(QStringLiteral("file")),
                                  m_folder.filePath(QStringLiteral("file/sub"))}) {
        m_receiver.texts.clear();
        m_receiver.finished.clear();
        // A mark in the address shows whether the downloader ever asked the server.
        const QString mark = QStringLiteral("mark-%1").arg(folder.size());
        Run(Job(Url(QStringLiteral("clip.mp4?") + mark), JobKind::Mp3, true, folder));
        EXPECT_EQ(Result(), QString());
        EXPECT_EQ(
            m_receiver.texts,
            QStringList{QStringLiteral("cannot use the folder %1: Not a directory").arg(folder)});
        EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{QStringLiteral("file")});
        EXPECT_FALSE(testenv::ReadFile(testenv::Dir() + QStringLiteral("/http.log"))
                         .contains(mark.toUtf8()));
    }
}

// --- Names the downloader reports ---------------------------------------------------------

// A stand-in downloader that reports each address it is given as a downloaded file.
constexpr char kEchoingDownloader[] = "#!/bin/sh\n"
                                      "after=no\n"
                                      "for a; do\n"
                                      "  [ $after = yes ] && printf '[download] Destination: "
                                      "%s\\r\\n' \"$a\"\n"
                                      "  [ \"$a\" = -- ] && after=yes\n"
                                      "done\n"
                                      "exit 0\n";

struct NameCase {
    const char* name;
    // Makes what the name points at; `outside` is a folder beside the download folder.
    std::function<void(const QString& folder, const QString& outside)> make;
    const char* reported; // "%o" stands for the outside folder, "%n" for its name
    const char* reason;
};

class ReportedNames : public Jobs, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ReportedNames, ThatAreNotFilesInsideTheFolderAreDroppedAndLeftAlone)
{
    const NameCase& c = GetParam();
    QTemporaryDir workspace, outside;
    ASSERT_TRUE(
        testenv::WriteFile(workspace.filePath(QStringLiteral("downloader")), kEchoingDownloader));
    QFile::setPermissions(workspace.filePath(QStringLiteral("downloader")),
                          QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFile::copy(s_workspace + QStringLiteral("/convert"),
                            workspace.filePath(QStringLiteral("convert"))));
    const QString victim = outside.filePath(QStringLiteral("victim.mp4"));
    ASSERT_TRUE(QFile::copy(testenv::MediaDir() + QStringLiteral("/clip.mp4"), victim));
    c.make(m_folder.path(), outside.path());
    const QStringList before = testenv::FilesIn(m_folder.path());
    // Both temporary folders are made in the same place, so "../%n" from one is the other.
    const QString reported =
        QString::fromLatin1(c.reported)
            .replace(QStringLiteral("%o"), outside.path())
            .replace(QStringLiteral("%n"), QFileInfo(outside.path()).fileName());
    ASSERT_EQ(QFileInfo(m_folder.path()).dir(), QFileInfo(outside.path()).dir());

    DownloadJob job = Job(reported, JobKind::Mp3, true, m_folder.path());
    job.workspace = workspace.path();
    Run(job);
    EXPECT_EQ(Result(), QString());
    EXPECT_EQ(m_receiver.texts, QStringList{QStringLiteral("dropped the reported name %1: %2")
                                                .arg(reported, QLatin1String(c.reason))});
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), before) << "nothing converted";
    EXPECT_EQ(testenv::FilesIn(outside.path()), QStringList{QStringLiteral("victim.mp4")});
}

const NameCase kNames[] = {
    {"into_the_parent", [](const QString&, const QString&) {}, "../%n/victim.mp4",
     "not a file inside the folder"},
    {"absolute", [](const QString&, const QString&) {}, "%o/victim.mp4",
     "not a file inside the folder"},
    {"a_link_to_a_file_outside",
     [](const QString& folder, const QString& outside) {
         QFile::link(outside + QStringLiteral("/victim.mp4"), folder + QStringLiteral("/l.mp4"));
     },
     "l.mp4", "no such regular file"},
    {"through_a_linked_folder",
     [](const QString& folder, const QString& outside) {
         QFile::link(outside, folder + QStringLiteral("/dir"));
     },
     "dir/victim.mp4", "not a file inside the folder"},
    {"a_folder",
     [](const QString& folder, const QString&) {
         QDir().mkpath(folder + QStringLiteral("/d.mp4"));
     },
     "d.mp4", "no such regular file"},
    {"missing", [](const QString&, const QString&) {}, "missing.mp4", "no such regular file"},
};

INSTANTIATE_TEST_SUITE_P(Names, ReportedNames, ::testing::ValuesIn(kNames),
                         [](const auto& row) { return std::string(row.param.name); });

// --- Converters that fail -------------------------------------------------------------------

struct ConverterCase {
    const char* name;
    const char* convert; // the converter script; null: the payload's own, with no ffmpeg on PATH
    const char* shown;   // bytes of a line that must be shown besides "converting ... failed"
};

class FailedConversions : public Jobs, public ::testing::WithParamInterface<ConverterCase> {};

TEST_P(FailedConversions, KeepTheDownloadRemoveTheirOutputAndPlayTheDownload)
{
    const ConverterCase& c = GetParam();
    QTemporaryDir workspace;
    const QString ws = workspace.path();
    ASSERT_TRUE(QFile::copy(s_workspace + QStringLiteral("/downloader"), ws + "/downloader"));
    ASSERT_TRUE(QFile::copy(s_workspace + QStringLiteral("/convert"), ws + "/convert"));
    const QByteArray savedPath = qgetenv("PATH");
    QTemporaryDir emptyBin;
    if (c.convert) {
        QFile::remove(ws + "/convert");
        ASSERT_TRUE(testenv::WriteFile(ws + "/convert", c.convert));
        QFile::setPermissions(ws + "/convert", QFile::ReadOwner | QFile::ExeOwner);
    } else {
        // Set before the job's thread starts and put back after it has been joined.
        qputenv("PATH", emptyBin.path().toUtf8());
    }
    DownloadJob job = Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, m_folder.path());
    job.workspace = ws;
    Run(job);
    qputenv("PATH", savedPath);

    const QString download = m_folder.filePath(QStringLiteral("clip-[clip].mp4"));
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{QStringLiteral("clip-[clip].mp4")});
    EXPECT_EQ(Result(), download);
    EXPECT_EQ(m_receiver.saved.value(0), QStringList{download}) << "the kept download is saved";
    EXPECT_TRUE(m_receiver.Said(QStringLiteral("converting clip-[clip].mp4 failed")))
        << m_receiver.texts.join(u'\n').toStdString();
    if (c.shown) {
        EXPECT_TRUE(std::any_of(m_receiver.raw.begin(), m_receiver.raw.end(),
                                [&](const QByteArray& t) { return t.contains(c.shown); }))
            << m_receiver.texts.join(u'\n').toStdString();
    }
}

const ConverterCase kConverters[] = {
    {"ffmpeg_missing_from_path", nullptr,
     "no\xA0such\xA0"
     "file\xA0or\xA0"
     "directory"},
    {"writes_nothing_and_exits_with_0", "#!/bin/sh\nexit 0\n", nullptr},
    {"writes_part_of_its_output_and_fails",
     "#!/bin/sh\nfor last; do :; done\necho partial > \"$last\"\nexit 1\n", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Converter, FailedConversions, ::testing::ValuesIn(kConverters),
                         [](const auto& row) { return std::string(row.param.name); });

// --- Jobs on threads ------------------------------------------------------------------------

TEST_F(Jobs, TwoJobsAtOnceWriteIntoTheirOwnFolders)
{
    QTemporaryDir other;
    {
        JobThread first(Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, m_folder.path()));
        JobThread second(
            Job(Url(QStringLiteral("clip.flv")), JobKind::Download, true, other.path()));
        ASSERT_TRUE(m_receiver.WaitFinished(2));
    }
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{QStringLiteral("clip-[clip].mp3")});
    EXPECT_EQ(testenv::FilesIn(other.path()), QStringList{QStringLiteral("clip-[clip].flv")});
    QStringList expected{m_folder.filePath(QStringLiteral("clip-[clip].mp3")),
                         other.filePath(QStringLiteral("clip-[clip].flv"))};
    expected.sort();
    m_receiver.finished.sort();
    EXPECT_EQ(m_receiver.finished, expected);
}

struct StopCase {
    const char* name;
    const char* path; // on the loopback server
    JobKind kind;
    bool duringConversion; // a converter that writes part of its output and then waits
    bool byDestructor;
    QStringList left; // the folder afterwards: only complete files
};

class StoppedJobs : public Jobs, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StoppedJobs, EndTheToolStartNothingElseAndLeaveOnlyCompleteFiles)
{
    const StopCase& c = GetParam();
    DownloadJob job = Job(Url(QString::fromLatin1(c.path)), c.kind, true, m_folder.path());
    QTemporaryDir tools;
    if (c.duringConversion) {
        // The payload's downloader beside a converter that never finishes.
        job.workspace = tools.path();
        ASSERT_TRUE(QFile::copy(s_workspace + QStringLiteral("/downloader"),
                                tools.filePath(QStringLiteral("downloader"))));
        const QString convert = tools.filePath(QStringLiteral("convert"));
        ASSERT_TRUE(testenv::WriteFile(
            convert,
            "#!/bin/sh\nfor out; do :; done\nprintf partial > \"$out\"\nexec sleep 600\n"));
        QFile::setPermissions(convert, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    auto thread = std::make_unique<JobThread>(job);
    const auto started = [&] {
        if (!c.duringConversion)
            return m_receiver.Said(QStringLiteral("ETA"));
        const QStringList partial = QDir(m_folder.path()).entryList({"*.avi"}, QDir::Files);
        return !partial.isEmpty() && QFileInfo(m_folder.filePath(partial.front())).size() > 0;
    };
    ASSERT_TRUE(testenv::WaitUntil(started, 60000)) << "the tool never got going";
    if (c.byDestructor) {
        thread.reset();
    } else {
        thread->Stop();
        thread->Stop(); // idempotent
    }
    ASSERT_TRUE(m_receiver.WaitFinished());
    EXPECT_TRUE(thread == nullptr || thread->Finished());
    thread.reset();
    EXPECT_EQ(m_receiver.saved.value(0), QStringList()) << "a stopped download saved nothing";
    EXPECT_EQ(Result(), QString());
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), c.left);
}

const StopCase kStops[] = {
    {"download_by_stop", "slow/long.mp4", JobKind::Mp3, false, false, {}},
    {"download_by_destroying_its_thread", "slow/long.mp4", JobKind::Mp3, false, true, {}},
    {"conversion_by_stop", "clip.mp4", JobKind::Avi, true, false, {"clip-[clip].mp4"}},
};

INSTANTIATE_TEST_SUITE_P(Stop, StoppedJobs, ::testing::ValuesIn(kStops),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Jobs, ADownloaderThatCannotStartIsReported)
{
    DownloadJob job = Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, m_folder.path());
    job.workspace = m_folder.filePath(QStringLiteral("no-such-workspace"));
    Run(job);
    EXPECT_EQ(Result(), QString());
    EXPECT_EQ(m_receiver.texts, QStringList{QStringLiteral(
                                    "cannot start the downloader: No such file or directory")});
}

} // namespace
