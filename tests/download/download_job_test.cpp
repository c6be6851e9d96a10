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

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace {

// Keeps what a job posts, as the main window would receive it.
class Receiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == WM_JOB_TEXT) {
            texts << QString::fromUtf8(static_cast<JobTextEvent*>(e)->Text());
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

    QStringList texts;
    QStringList finished;
    QList<QStringList> saved; // per finished job
};

// The real payload, extracted once.
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

    // A workspace of the test's own: the payload's tools, with a script in place of either.
    QString OwnTools(const char* downloader, const char* convert)
    {
        for (const auto& [name, script] :
             {std::pair{"downloader", downloader}, std::pair{"convert", convert}}) {
            const QString path = m_tools.filePath(QLatin1String(name));
            EXPECT_TRUE(script ? testenv::WriteFile(path, script)
                               : QFile::copy(s_workspace + u'/' + QLatin1String(name), path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        }
        return m_tools.path();
    }

    QString Result() const
    {
        return m_receiver.finished.isEmpty() ? QStringLiteral("<none>")
                                             : m_receiver.finished.front();
    }

    Receiver m_receiver;
    QTemporaryDir m_folder;
    QTemporaryDir m_tools;
    QString m_cwd;

    static inline QString s_workspace;
    static inline bool s_extracted = false;
};

// Every row leaves at most one file, the one the job saved, and names it to play when play is
// set. (Each kind with play on is also the end-to-end test's case.)
struct KindCase {
    const char* name;
    const char* url; // on the loopback server
    JobKind kind;
    bool play;
    const char* file;  // the one file in the folder afterwards, or null: none
    const char* shown; // a line that must be shown, or null
};

class JobKinds : public Jobs, public ::testing::WithParamInterface<KindCase> {};

TEST_P(JobKinds, LeaveExactlyTheirFileAndNameItToPlay)
{
    const KindCase& c = GetParam();
    Run(Job(Url(QString::fromLatin1(c.url)), c.kind, c.play, m_folder.path()));
    const QStringList files = c.file ? QStringList{QString::fromLatin1(c.file)} : QStringList();
    const QString file = c.file ? m_folder.filePath(files.front()) : QString();
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), files)
        << m_receiver.texts.join(u'\n').toStdString();
    EXPECT_EQ(Result(), c.play ? file : QString());
    ASSERT_EQ(m_receiver.saved.size(), 1);
    EXPECT_EQ(m_receiver.saved.front(), c.file ? QStringList{file} : QStringList());
    if (c.file && c.kind == JobKind::Mp3) {
        EXPECT_EQ(testenv::StreamCodecs(file), QStringLiteral("mp3"));
    }
    if (c.shown) {
        EXPECT_TRUE(m_receiver.Said(QString::fromLatin1(c.shown)))
            << m_receiver.texts.join(u'\n').toStdString();
    }
    EXPECT_FALSE(m_receiver.Said(QStringLiteral("dropped")));
}

const KindCase kKindCases[] = {
    {"mp3_without_play", "clip.mp4", JobKind::Mp3, false, "clip-[clip].mp3", nullptr},
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
    // Versions of the downloader word the error differently; this much they share.
    {"a_missing_page_shows_the_downloaders_error", "no-such-video.mp4", JobKind::Download, true,
     nullptr, "Unable to download webpage"},
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
}

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
    QTemporaryDir outside;
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
    job.workspace = OwnTools(kEchoingDownloader, nullptr);
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

// A converter without ffmpeg is the end-to-end payload test's case; its line is the grammar's.
struct ConverterCase {
    const char* name;
    const char* convert; // the converter script
};

class FailedConversions : public Jobs, public ::testing::WithParamInterface<ConverterCase> {};

TEST_P(FailedConversions, KeepTheDownloadRemoveTheirOutputAndPlayTheDownload)
{
    DownloadJob job = Job(Url(QStringLiteral("clip.mp4")), JobKind::Mp3, true, m_folder.path());
    job.workspace = OwnTools(nullptr, GetParam().convert);
    Run(job);

    const QString download = m_folder.filePath(QStringLiteral("clip-[clip].mp4"));
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), QStringList{QStringLiteral("clip-[clip].mp4")});
    EXPECT_EQ(Result(), download);
    EXPECT_EQ(m_receiver.saved.value(0), QStringList{download}) << "the kept download is saved";
    EXPECT_TRUE(m_receiver.Said(QStringLiteral("converting clip-[clip].mp4 failed")))
        << m_receiver.texts.join(u'\n').toStdString();
}

const ConverterCase kConverters[] = {
    {"writes_nothing_and_exits_with_0", "#!/bin/sh\nexit 0\n"},
    {"writes_part_of_its_output_and_fails",
     "#!/bin/sh\nfor last; do :; done\necho partial > \"$last\"\nexit 1\n"},
};

INSTANTIATE_TEST_SUITE_P(Converter, FailedConversions, ::testing::ValuesIn(kConverters),
                         [](const auto& row) { return std::string(row.param.name); });

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
    bool duringConversion;
    bool byDestructor;
    QStringList left; // the folder afterwards: only complete files
};

class StoppedJobs : public Jobs, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StoppedJobs, EndTheToolStartNothingElseAndLeaveOnlyCompleteFiles)
{
    const StopCase& c = GetParam();
    DownloadJob job = Job(Url(QString::fromLatin1(c.path)), c.kind, true, m_folder.path());
    if (c.duringConversion) {
        // A converter that writes part of its output and never finishes.
        job.workspace = OwnTools(
            nullptr, "#!/bin/sh\nfor out; do :; done\nprintf partial > \"$out\"\nexec sleep 600\n");
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
