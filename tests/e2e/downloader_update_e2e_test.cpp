// The downloader kept current: releases made in the test from the installed yt-dlp with another
// version, signed by a key made in the test and served on loopback; what is kept, what the
// carried downloader then runs, and every release that must be refused.
#include "../update/loopback_http_server.h"
#include "app/workspace.h"
#include "settings/settings_store.h"
#include "test_env.h"
#include "update/downloader_release.h"
#include "update/downloader_updater.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

const QByteArray kWorkingCopy = "the working copy\n";

struct Release {
    QByteArray zipapp, sums, signature, key;
};

// A release of the given version in a folder of its own; every release of one test run shares
// the key in home.
Release MakeRelease(const QString& version, const QString& home)
{
    QTemporaryDir out;
    const testenv::ProcessResult made = testenv::Run(
        QStringLiteral(VANDREL_SYSTEM_PYTHON),
        {testenv::SourceDir() + QStringLiteral("/tests/e2e/make_downloader_release.py"),
         QStringLiteral("--out"), out.path(), QStringLiteral("--version"), version,
         QStringLiteral("--home"), home});
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    return {testenv::ReadFile(out.filePath(QStringLiteral("yt-dlp"))),
            testenv::ReadFile(out.filePath(QStringLiteral("SHA2-256SUMS"))),
            testenv::ReadFile(out.filePath(QStringLiteral("SHA2-256SUMS.sig"))),
            testenv::ReadFile(out.filePath(QStringLiteral("release-key.asc")))};
}

// Made once for all tests: a newer and an older release signed by the test key, and a newer one
// signed by another key.
Release g_newer, g_older, g_foreign;

using Answer = LoopbackHttpServer::Answer;

void Serve(LoopbackHttpServer& server, const Release& release)
{
    server.Serve(QStringLiteral("/rel/yt-dlp"), Answer::Body(release.zipapp));
    server.Serve(QStringLiteral("/rel/SHA2-256SUMS"), Answer::Body(release.sums));
    server.Serve(QStringLiteral("/rel/SHA2-256SUMS.sig"), Answer::Body(release.signature));
}

// What a folder holds, hidden entries and folders too.
QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class DownloaderUpdateE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_home.emplace();
        s_otherHome.emplace();
        g_newer = MakeRelease(QStringLiteral("2099.01.01"), s_home->path());
        g_older = MakeRelease(QStringLiteral("2001.01.01"), s_home->path());
        g_foreign = MakeRelease(QStringLiteral("2099.01.01"), s_otherHome->path());
    }
    static void TearDownTestSuite()
    {
        s_home.reset();
        s_otherHome.reset();
    }

    void SetUp() override
    {
        ASSERT_FALSE(g_newer.zipapp.isEmpty());
        ASSERT_NE(g_newer.key, g_foreign.key);
        m_keep = m_data.filePath(QStringLiteral("Vandrel/downloader"));
    }

    DownloaderUpdateOptions Options() const
    {
        DownloaderUpdateOptions options;
        options.releases = m_server.Base() + QStringLiteral("/rel/");
        options.keepFolder = m_keep;
        options.releaseKey = g_newer.key;
        return options;
    }

    QString Kept() const { return m_keep + QStringLiteral("/yt-dlp"); }

    static inline std::optional<QTemporaryDir> s_home, s_otherHome;

    LoopbackHttpServer m_server;
    QTemporaryDir m_data;
    QString m_keep;
};

TEST_F(DownloaderUpdateE2E, AGoodReleaseIsKeptAndTheNextJobRunsIt)
{
    Serve(m_server, g_newer);
    EXPECT_EQ(UpdateDownloader(Options()), DownloaderUpdateResult::Kept);
    EXPECT_EQ(testenv::ReadFile(Kept()), g_newer.zipapp);
    EXPECT_EQ(QFile::permissions(Kept()) & (QFileDevice::ReadOther | QFileDevice::WriteOther |
                                            QFileDevice::ReadGroup | QFileDevice::WriteGroup),
              QFileDevice::Permissions());
    // Only the kept file: no temporary folder or key is left behind.
    EXPECT_EQ(Entries(m_keep), QStringList{QStringLiteral("yt-dlp")});

    // The carried downloader, unpacked from the built program as a start does, run as a job
    // runs it, with this test's data folder as the user's.
    QTemporaryDir workspace, folder;
    ASSERT_TRUE(ExtractToolPayload(workspace.path(), QStringLiteral(VANDREL_EXE)));
    const auto carried = [&](const QStringList& args) {
        return testenv::RunTool(folder.path(), workspace.filePath(QStringLiteral("downloader")),
                                args, {QStringLiteral("XDG_DATA_HOME=") + m_data.path()}, 120000);
    };
    const testenv::ProcessResult version = carried({QStringLiteral("--version")});
    EXPECT_TRUE(version.out.startsWith("2099.01.01")) << version.out.toStdString();
    // A real job with the kept copy: the clip arrives and is named as the program reads it.
    const testenv::ProcessResult job =
        carried({QStringLiteral("-ic"), QStringLiteral("--restrict-filenames"),
                 testenv::HttpBase() + QStringLiteral("/clip.mp4")});
    const QStringList names = testenv::DestinationNames(job.out);
    ASSERT_EQ(names.size(), 1) << job.out.toStdString();
    const QString& name = names[0];
    EXPECT_TRUE(name.endsWith(QStringLiteral(".mp4"))) << name.toStdString();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{name});
}

struct RefusalRow {
    const char* name;
    DownloaderUpdateResult expected;
    // Changes what the server lays out, or the options, from a good newer release.
    std::function<void(LoopbackHttpServer&, DownloaderUpdateOptions&)> change;
};

class DownloaderRefusal : public DownloaderUpdateE2E,
                          public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(DownloaderRefusal, LeavesTheWorkingCopyUntouched)
{
    ASSERT_TRUE(QDir().mkpath(m_keep));
    ASSERT_TRUE(testenv::WriteFile(Kept(), kWorkingCopy));
    Serve(m_server, g_newer);
    DownloaderUpdateOptions options = Options();
    GetParam().change(m_server, options);
    EXPECT_EQ(UpdateDownloader(options), GetParam().expected);
    EXPECT_EQ(testenv::ReadFile(Kept()), kWorkingCopy);
    EXPECT_EQ(Entries(m_keep), QStringList{QStringLiteral("yt-dlp")});
}

using Server = LoopbackHttpServer;
using Opts = DownloaderUpdateOptions;

INSTANTIATE_TEST_SUITE_P(
    DownloaderUpdateE2E, DownloaderRefusal,
    ::testing::Values(
        RefusalRow{"a_checksum_that_does_not_match", DownloaderUpdateResult::Refused,
                   [](Server& server, Opts&) {
                       // Signed as it is, but the zipapp is another one.
                       QByteArray other = g_newer.zipapp;
                       other[other.size() / 2] = char(other[other.size() / 2] ^ 1);
                       server.Serve(QStringLiteral("/rel/yt-dlp"), Answer::Body(other));
                   }},
        RefusalRow{"a_signature_by_another_key", DownloaderUpdateResult::Refused,
                   [](Server& server, Opts&) {
                       server.Serve(QStringLiteral("/rel/SHA2-256SUMS.sig"),
                                    Answer::Body(g_foreign.signature));
                   }},
        RefusalRow{"checksums_changed_after_signing", DownloaderUpdateResult::Refused,
                   [](Server& server, Opts&) {
                       // The zipapp's own line still matches: only the signature can refuse
                       // it. (Another release of the same version may have the same bytes.)
                       server.Serve(
                           QStringLiteral("/rel/SHA2-256SUMS"),
                           Answer::Body(g_newer.sums + QByteArray(64, '0') + "  yt-dlp.tar.gz\n"));
                   }},
        RefusalRow{"no_signature", DownloaderUpdateResult::Unreachable,
                   [](Server& server, Opts&) {
                       server.Serve(QStringLiteral("/rel/SHA2-256SUMS.sig"),
                                    Answer::Body("not found\n", 404));
                   }},
        RefusalRow{"a_truncated_zipapp", DownloaderUpdateResult::Refused,
                   [](Server& server, Opts&) {
                       Answer cut = Answer::Body(g_newer.zipapp.left(100000));
                       cut.noLength = true; // ends where the connection does
                       server.Serve(QStringLiteral("/rel/yt-dlp"), cut);
                   }},
        RefusalRow{"an_older_version", DownloaderUpdateResult::UpToDate,
                   [](Server& server, Opts&) { Serve(server, g_older); }},
        RefusalRow{
            "the_carried_version_itself", DownloaderUpdateResult::UpToDate,
            [](Server&, Opts& options) { options.carriedVersion = QStringLiteral("2099.01.01"); }},
        RefusalRow{"larger_than_the_limit", DownloaderUpdateResult::Unreachable,
                   [](Server&, Opts& options) { options.maxBytes = 1024 * 1024; }},
        RefusalRow{"http_to_an_address_that_is_not_loopback", DownloaderUpdateResult::Refused,
                   [](Server&, Opts& options) {
                       // Refused before any connection: nothing is sent there.
                       options.releases = QStringLiteral("http://192.0.2.1/rel/");
                   }},
        RefusalRow{"a_server_that_never_answers", DownloaderUpdateResult::Unreachable,
                   [](Server& server, Opts& options) {
                       server.Serve(QStringLiteral("/rel/SHA2-256SUMS"), Answer::Never());
                       options.stallTimeoutMs = 1000;
                   }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DownloaderUpdateE2E, TheCheckIsMadeOnceADayAndClosingTheWindowCutsItShort)
{
    const QDate today(2026, 12, 7);
    // A server that never answers: no verdict, so the day is not recorded and the next start
    // asks again. Destroying the updater (the window closes) ends the silent transfer.
    m_server.Serve(QStringLiteral("/rel/SHA2-256SUMS"), Answer::Never());
    {
        DownloaderUpdater updater(Options());
        EXPECT_TRUE(updater.StartIfDue(today));
    }
    EXPECT_FALSE(QFile::exists(DownloaderUpdater::RecordFile(m_keep)));
    EXPECT_FALSE(QFile::exists(Kept()));

    Serve(m_server, g_newer);
    {
        DownloaderUpdater updater(Options());
        ASSERT_TRUE(updater.StartIfDue(today));
        EXPECT_EQ(updater.Wait(), DownloaderUpdateResult::Kept);
    }
    EXPECT_EQ(testenv::ReadFile(DownloaderUpdater::RecordFile(m_keep)), "20261207\n");
    const qsizetype asked = m_server.Requests().size();
    {
        DownloaderUpdater updater(Options());
        EXPECT_FALSE(updater.StartIfDue(today));
        EXPECT_TRUE(updater.StartIfDue(today.addDays(1)));
        EXPECT_EQ(updater.Wait(), DownloaderUpdateResult::UpToDate);
    }
    EXPECT_EQ(m_server.Requests().size(), asked + 3);
    EXPECT_EQ(testenv::ReadFile(DownloaderUpdater::RecordFile(m_keep)), "20261208\n");
}

// The real program: the check starts once the window runs, and closing the window (here by
// SIGTERM) while a transfer is still under way ends the run without waiting for the transfer.
class ProgramRun {
public:
    ProgramRun(const QString& releases, const QString& dataHome)
    {
        QFile::setPermissions(m_runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), m_tmp.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VANDREL_DOWNLOADER_RELEASES"), releases);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(VANDREL_EXE), {});
        m_process.waitForStarted();
    }
    // Waits while the program runs until done() holds; false when the program ended first.
    bool RunsUntil(const std::function<bool()>& done)
    {
        testenv::WaitUntil([&] { return done() || m_process.state() != QProcess::Running; },
                           120000);
        return done() && m_process.state() == QProcess::Running;
    }
    // SIGTERM; true when the program then ended cleanly with nothing left in its temporary folder.
    bool EndsCleanly()
    {
        m_process.terminate();
        return m_process.waitForFinished(60000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0 &&
               QDir(m_tmp.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

private:
    QTemporaryDir m_tmp, m_runtime;
    QProcess m_process;
};

TEST_F(DownloaderUpdateE2E, TheProgramKeepsANewerCopyWhileItsWindowRuns)
{
    // Asked about the program's own update today already, so only the downloader's check runs.
    ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(),
                                   "[General]\nAffID=test\nLastUpdate=" +
                                       QDate::currentDate().toString("yyyyMMdd").toUtf8() + "\n"));
    const QString keep = m_data.filePath(QStringLiteral("Vandrel/downloader"));
    // The program checks with the carried key, which did not sign the test's releases: it must
    // refuse this one, and record the day of the verdict.
    Serve(m_server, g_newer);
    {
        ProgramRun run(m_server.Base() + QStringLiteral("/rel/"), m_data.path());
        const QString record = DownloaderUpdater::RecordFile(keep);
        ASSERT_TRUE(run.RunsUntil([&] { return QFile::exists(record); }));
        EXPECT_TRUE(run.EndsCleanly());
        EXPECT_EQ(testenv::ReadFile(record),
                  QDate::currentDate().toString("yyyyMMdd").toUtf8() + "\n");
        EXPECT_FALSE(QFile::exists(keep + QStringLiteral("/yt-dlp")));
    }
    // A list that trickles in (a byte every 200 ms: never silent long enough to give up) while
    // the window closes: the run ends without waiting for it, and nothing is kept or recorded.
    ASSERT_TRUE(QFile::remove(DownloaderUpdater::RecordFile(keep)));
    m_server.Serve(QStringLiteral("/rel/SHA2-256SUMS"),
                   LoopbackHttpServer::Answer::Slow(QByteArray(10000, 'x'), 200));
    const qsizetype before = m_server.Requests().size();
    {
        ProgramRun run(m_server.Base() + QStringLiteral("/rel/"), m_data.path());
        ASSERT_TRUE(run.RunsUntil([&] { return m_server.Requests().size() > before; }));
        EXPECT_TRUE(run.EndsCleanly());
    }
    EXPECT_FALSE(QFile::exists(DownloaderUpdater::RecordFile(keep)));
    EXPECT_EQ(Entries(keep), QStringList{});
}

TEST(DownloaderReleaseKey, TheCarriedKeyIsTheReleaseKeyInAFormGpgvReads)
{
    QTemporaryDir home;
    const QString keyring = home.filePath(QStringLiteral("key.gpg"));
    ASSERT_TRUE(testenv::WriteFile(keyring, DearmorKey(CarriedDownloaderKey())));
    const testenv::ProcessResult shown =
        testenv::Run(QStringLiteral("gpg"),
                     {QStringLiteral("--homedir"), home.path(), QStringLiteral("--batch"),
                      QStringLiteral("--with-colons"), QStringLiteral("--show-keys"), keyring});
    EXPECT_TRUE(shown.out.contains("fpr:::::::::AC0CBBE6848D6A873464AF4E57CF65933B5A7581:"))
        << shown.out.toStdString() << shown.err.toStdString();
}

} // namespace
