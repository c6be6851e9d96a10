// The downloader kept current: releases made from the carried yt-dlp, signed by a key made in
// the test and served on loopback; what is kept, what then runs, and every release refused.
#include "../update/loopback_http_server.h"
#include "app/workspace.h"
#include "settings/settings_store.h"
#include "test_env.h"
#include "update/downloader_release.h"
#include "update/downloader_updater.h"
#include "update/release_signature.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace update;

struct Release {
    QByteArray zipapp, sums, signature, key;
};

// A release of the given version, signed by the key kept in home.
Release MakeRelease(const QString& version, const QString& home)
{
    QTemporaryDir out;
    const testenv::ProcessResult made = testenv::Run(
        QStringLiteral(VANDREL_SYSTEM_PYTHON),
        {testenv::SourceDir() + QStringLiteral("/tests/e2e/make_downloader_release.py"), out.path(),
         version, home, QStringLiteral(VANDREL_YT_DLP_DIR)});
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    const auto file = [&](const char* name) {
        return testenv::ReadFile(out.filePath(QLatin1String(name)));
    };
    return {file("yt-dlp"), file("SHA2-256SUMS"), file("SHA2-256SUMS.sig"),
            file("release-key.asc")};
}

// Made once for all tests and signed by the test key: a newer release, and one of the version the
// program carries.
Release g_newer, g_carried;

using Answer = LoopbackHttpServer::Answer;

void Serve(LoopbackHttpServer& server, const Release& release)
{
    server.Serve(QStringLiteral("/rel/yt-dlp"), Answer::Body(release.zipapp));
    server.Serve(QStringLiteral("/rel/SHA2-256SUMS"), Answer::Body(release.sums));
    server.Serve(QStringLiteral("/rel/SHA2-256SUMS.sig"), Answer::Body(release.signature));
}

class DownloaderUpdateE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QTemporaryDir home;
        g_newer = MakeRelease(QStringLiteral("2099.01.01"), home.path());
        g_carried = MakeRelease(CarriedDownloaderVersion(), home.path());
    }

    void SetUp() override
    {
        ASSERT_FALSE(g_newer.zipapp.isEmpty());
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
    EXPECT_EQ(testenv::FilesIn(m_keep), QStringList{QStringLiteral("yt-dlp")});

    // The carried downloader, unpacked and run as the program does, this test's data as the user's.
    QTemporaryDir workspace, folder;
    ASSERT_TRUE(app::ExtractToolPayload(workspace.path(), QStringLiteral(VANDREL_EXE)));
    const auto carried = [&](const QStringList& args) {
        return testenv::RunTool(folder.path(), workspace.filePath(QStringLiteral("downloader")),
                                args, {QStringLiteral("XDG_DATA_HOME=") + m_data.path()}, 120000);
    };
    const testenv::ProcessResult version = carried({QStringLiteral("--version")});
    EXPECT_TRUE(version.out.endsWith("2099.01.01\r\n")) << version.out.toStdString();
    // A real job with the kept copy: the clip arrives and is named as the program reads it.
    const testenv::ProcessResult job =
        carried({QStringLiteral("-ic"), testenv::HttpBase() + QStringLiteral("/clip.mp4")});
    const QStringList names = testenv::DestinationNames(job.out);
    ASSERT_EQ(names.size(), 1) << job.out.toStdString();
    EXPECT_TRUE(names[0].endsWith(QStringLiteral(".mp4"))) << names[0].toStdString();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), names);
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
    const QByteArray working = "the working copy\n";
    ASSERT_TRUE(QDir().mkpath(m_keep));
    ASSERT_TRUE(testenv::WriteFile(Kept(), working));
    Serve(m_server, g_newer);
    DownloaderUpdateOptions options = Options();
    GetParam().change(m_server, options);
    EXPECT_EQ(UpdateDownloader(options), GetParam().expected);
    EXPECT_EQ(testenv::ReadFile(Kept()), working);
    EXPECT_EQ(testenv::FilesIn(m_keep), QStringList{QStringLiteral("yt-dlp")});
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
        RefusalRow{"the_carried_version_itself", DownloaderUpdateResult::UpToDate,
                   [](Server& server, Opts&) { Serve(server, g_carried); }},
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

// A verdict records its day, and the next check waits for another day. (A check cut short records
// nothing: the program's run below.)
TEST_F(DownloaderUpdateE2E, TheCheckIsMadeOnceADay)
{
    const QDate today(2026, 12, 7);
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

// The real program: the check starts once the window runs, and SIGTERM (the window closes)
// while a transfer is under way ends the run without waiting for the transfer.
TEST_F(DownloaderUpdateE2E, TheProgramKeepsANewerCopyWhileItsWindowRuns)
{
    // Asked about the program's own update today already, so only the downloader's check runs.
    const QByteArray today = QDate::currentDate().toString("yyyyMMdd").toUtf8();
    ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(),
                                   "[General]\nAffID=test\nLastUpdate=" + today + "\n"));
    const QString record = DownloaderUpdater::RecordFile(m_keep);
    // Runs the program until done() holds, then ends it with SIGTERM: false unless it was still
    // running then and ended with 0, nothing left in its temporary folder.
    const auto runUntil = [&](const std::function<bool()>& done) {
        QTemporaryDir tmp, runtime; // QTemporaryDir makes its folder 0700, as a runtime folder is
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : {std::pair{"TMPDIR", tmp.path()},
                                          {"XDG_RUNTIME_DIR", runtime.path()},
                                          {"XDG_DATA_HOME", m_data.path()},
                                          {"QT_QPA_PLATFORM", QStringLiteral("offscreen")},
                                          {"VANDREL_DOWNLOADER_RELEASES", Options().releases}})
            env.insert(QLatin1String(name), value);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VANDREL_EXE), {});
        program.waitForStarted();
        testenv::WaitUntil([&] { return done() || program.state() != QProcess::Running; }, 120000);
        if (!done() || program.state() != QProcess::Running)
            return false;
        program.terminate();
        return program.waitForFinished(60000) && program.exitStatus() == QProcess::NormalExit &&
               program.exitCode() == 0 &&
               QDir(tmp.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    // The program checks with the carried key, which did not sign the test's releases: it must
    // refuse this one, and record the day of the verdict.
    Serve(m_server, g_newer);
    EXPECT_TRUE(runUntil([&] { return QFile::exists(record); }));
    EXPECT_EQ(testenv::ReadFile(record), today + "\n");
    EXPECT_FALSE(QFile::exists(Kept()));

    // A list that trickles in (a byte every 200 ms: never silent long enough to give up) while
    // the window closes: the run ends without waiting for it, and nothing is kept or recorded.
    ASSERT_TRUE(QFile::remove(record));
    m_server.Serve(QStringLiteral("/rel/SHA2-256SUMS"), Answer::Slow(QByteArray(10000, 'x'), 200));
    const qsizetype before = m_server.Requests().size();
    EXPECT_TRUE(runUntil([&] { return m_server.Requests().size() > before; }));
    EXPECT_FALSE(QFile::exists(record));
    EXPECT_EQ(testenv::FilesIn(m_keep), QStringList{});
}

TEST(DownloaderReleaseKey, TheCarriedKeyIsTheReleaseKeyInAFormGpgvReads)
{
    QTemporaryDir home;
    const QString keyring = home.filePath(QStringLiteral("key.gpg"));
    ASSERT_TRUE(
        testenv::WriteFile(keyring, DearmorKey(CarriedDownloaderKey()).value_or(QByteArray())));
    const testenv::ProcessResult shown =
        testenv::Run(QStringLiteral("gpg"),
                     {QStringLiteral("--homedir"), home.path(), QStringLiteral("--batch"),
                      QStringLiteral("--with-colons"), QStringLiteral("--show-keys"), keyring});
    EXPECT_TRUE(shown.out.contains("fpr:::::::::AC0CBBE6848D6A873464AF4E57CF65933B5A7581:"))
        << shown.out.toStdString() << shown.err.toStdString();
}

} // namespace
