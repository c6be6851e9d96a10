// The update check: the address it forms, the start rules that need no server, and the whole
// check against a loopback server with its window on the test display.
#include "loopback_http_server.h"
#include "settings/settings_store.h"
#include "test_env.h"
#include "update/update_check.h"
#include "update/update_installers.h"
#include "update/update_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <QTimer>

#include <cstdlib>
#include <optional>

namespace {

using namespace update;

using Answer = LoopbackHttpServer::Answer;

const QDateTime kNow(QDate(2026, 3, 7), QTime(9, 30, 15));
const QString kToday = QStringLiteral("20260307");
const QString kOtherDay = QStringLiteral("20260306");

TEST(UpdateAddress, FieldsAndStampAsTheServerExpectsThem)
{
    // Fields as they stand, no zone conversion: one moment seen in two zones gives two stamps.
    // (The stamp's value is checked in the requests of the decision table.)
    const QDateTime noon(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(UpdateTimeStamp(noon.toTimeZone(QTimeZone(3600 * 9))),
              UpdateTimeStamp(noon) + qint64(3600) * 9 * 10000000);
    EXPECT_EQ(MakeUpdateAddress("https://u", "a b/c?d#e%", "1.0.0.1", 1),
              "https://u/version/a%20b%2Fc%3Fd%23e%25/1.0.0.1?rnd=1")
        << "the id stays one path segment";
}

struct ShowCounter : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        shows += event->type() == QEvent::Show && qobject_cast<UpdateWindow*>(watched);
        return false;
    }
    int shows = 0;
};

UpdateWindow* VisibleUpdateWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<UpdateWindow*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Made once by make_test_package.sh, signed by a test key made there.
struct TestPackages {
    QByteArray package, packageSignature, notAPackage, notAPackageSignature, key;
};
TestPackages g_signed;
QByteArray g_path; // PATH as the test started

const QString kUnverified = "The update could not be verified; nothing was installed.";
const QString kNotAuthorised =
    "The update was not installed: the authorisation was cancelled or refused.";

class UpdateCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_path = qgetenv("PATH");
        QTemporaryDir out;
        const testenv::ProcessResult made = testenv::Run(
            "/bin/sh", {testenv::SourceDir() + "/tests/update/make_test_package.sh", out.path()});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
        const auto file = [&](const char* name) { return testenv::ReadFile(out.filePath(name)); };
        g_signed = {file("update.deb"), file("update.deb.sig"), file("not-a-package"),
                    file("not-a-package.sig"), file("test-key.asc")};
    }

    void SetUp() override
    {
        ASSERT_FALSE(g_signed.key.isEmpty());
        // The tools the update finds on PATH: the real gpgv, and stubs for pkexec and xdg-open.
        m_bin = testenv::Home() + "/bin";
        QDir(m_bin).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_bin));
        ASSERT_TRUE(
            QFile::link(QStandardPaths::findExecutable("gpgv", {"/usr/bin"}), m_bin + "/gpgv"));
        Stub("pkexec", 0);
        Stub("xdg-open", 0);
        setenv("PATH", m_bin.toUtf8().constData(), 1);
        setenv("VANDREL_UPDATE_SERVER", m_server.Base().toUtf8().constData(), 1);
        m_tmp = testenv::Home() + "/tmp";
        QDir(m_tmp).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_tmp));
        setenv("TMPDIR", m_tmp.toUtf8().constData(), 1);
        ASSERT_TRUE(
            testenv::WriteFile(settings::UserSettingsFile(),
                               "[General]\nAffID=aff1\nLastUpdate=" + kOtherDay.toUtf8() + "\n"));
        qApp->installEventFilter(&m_counter);
        m_counter.shows = m_asked = 0;
        m_askedOverTheWindow = false;
        m_options.job.stallTimeoutMs = 3000;
        m_options.job.releaseKey = g_signed.key;
        // What the update tells the user: read and closed as soon as it shows.
        m_told.clear();
        m_boxCloser.disconnect();
        QObject::connect(&m_boxCloser, &QTimer::timeout, &m_boxCloser, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    m_told << box->text();
                    box->accept();
                }
            }
        });
        m_boxCloser.start(50);
        m_options.askToUpdate = [this](QWidget* owner) {
            ++m_asked;
            auto* dialog = qobject_cast<UpdateWindow*>(owner);
            m_askedOverTheWindow =
                QThread::currentThread() == qApp->thread() && dialog && dialog->isVisible();
            return m_answerYes;
        };
    }
    void TearDown() override
    {
        qApp->removeEventFilter(&m_counter);
        m_boxCloser.stop();
        m_boxCloser.disconnect();
        setenv("PATH", g_path.constData(), 1);
        unsetenv("TMPDIR");
        unsetenv("VANDREL_UPDATE_SERVER");
    }

    static QString LastUpdate()
    {
        const auto key = settings::OpenSettingsKey();
        return key ? settings::ReadStringValue(*key, "LastUpdate").value_or("<absent>")
                   : "<no key>";
    }
    // A stub on PATH that records its words, one a line, and a copy of the file its last word
    // names, then ends with exitCode.
    void Stub(const QString& name, int exitCode) const
    {
        const QByteArray record = (m_bin + "/" + name).toUtf8();
        const QString stub = m_bin + "/" + name;
        ASSERT_TRUE(
            testenv::WriteFile(stub, "#!/bin/sh\nfor last; do :; done\n/bin/cat \"$last\" > '" +
                                         record + ".file'\nprintf '%s\\n' \"$@\" > '" + record +
                                         ".words'\nexit " + QByteArray::number(exitCode) + "\n"));
        ASSERT_TRUE(QFile::setPermissions(stub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    // The words a stub was called with, "" when it was not; xdg-open runs detached, so its
    // record may come a little later.
    QString Called(const QString& name, bool expected = false) const
    {
        const auto words = [&] { return testenv::ReadFile(m_bin + "/" + name + ".words"); };
        if (expected)
            testenv::WaitUntil([&] { return words().endsWith('\n'); }, 10000);
        return QString::fromUtf8(words());
    }
    QByteArray FileGiven(const QString& name) const
    {
        return testenv::ReadFile(m_bin + "/" + name + ".file");
    }
    QByteArray Offer(const QByteArray& version = "2.0.0.0") const
    {
        return "[version]\nlast_version=" + version +
               "\nlast_version_url=" + m_server.Base().toUtf8() + "/pkg/vandrel.deb\n";
    }
    void ServePackage(std::optional<Answer> package = {}, std::optional<Answer> signature = {})
    {
        m_server.Serve("/pkg/vandrel.deb", package.value_or(Answer::Body(g_signed.package)));
        m_server.Serve("/pkg/vandrel.deb.sig",
                       signature.value_or(Answer::Body(g_signed.packageSignature)));
    }

    LoopbackHttpServer m_server;
    ShowCounter m_counter;
    UpdateCheckOptions m_options;
    QString m_tmp;
    QString m_bin;
    QTimer m_boxCloser;
    QStringList m_told;
    bool m_answerYes = false;
    int m_asked = 0;
    bool m_askedOverTheWindow = false; // on the GUI thread, the visible update window the owner
};

// The settings decide before any server: a missing key or id ends the start; the first start and
// the recorded day go on without a request or a window.
TEST_F(UpdateCheck, StartRulesBeforeTheServer)
{
    const QByteArray handWritten = "# written by hand\n[General]\nAffID=abc,def\n"
                                   "DefaultDownloadFolder=/home/u/Vid\xe9os\nMystery = 42\n\n"
                                   "[Other]\nx=1\n";
    struct Row {
        const char* name;
        std::optional<QByteArray> file; // nullopt: no settings file
        UpdateCheckResult result;
        std::optional<QByteArray> after; // the file afterwards; nullopt: as it was
    } const rows[] = {
        {"no settings file refuses and creates none", std::nullopt, UpdateCheckResult::Failed,
         std::nullopt},
        {"no AffID refuses", "[General]\nLastUpdate=20260307\n", UpdateCheckResult::Failed,
         std::nullopt},
        {"an AffID of 260 characters refuses", "[General]\nAffID=" + QByteArray(260, 'a') + "\n",
         UpdateCheckResult::Failed, std::nullopt},
        {"an AffID of 259 characters is the first start",
         "[General]\nAffID=" + QByteArray(259, 'a') + "\n", UpdateCheckResult::Continue,
         "[General]\nAffID=" + QByteArray(259, 'a') + "\nLastUpdate=20260307\n"},
        {"the first start adds one line to a hand-written file and changes nothing else",
         handWritten, UpdateCheckResult::Continue,
         QByteArray(handWritten).replace("42\n", "42\nLastUpdate=20260307\n")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(settings::UserSettingsFile());
        ASSERT_TRUE(!row.file || testenv::WriteFile(settings::UserSettingsFile(), *row.file));
        EXPECT_EQ(CheckForUpdate(kNow, m_options), row.result);
        EXPECT_EQ(QFile::exists(settings::UserSettingsFile()), row.file.has_value());
        EXPECT_EQ(testenv::ReadFile(settings::UserSettingsFile()),
                  row.after.value_or(row.file.value_or("")));
    }
    EXPECT_TRUE(m_server.Requests().isEmpty());
    EXPECT_EQ(m_counter.shows, 0);
}

// The decision table, servers that are silent, slow, huge or not trusted, and packages that are
// not signed by the release key: only a package handed over ends the start and records the day;
// otherwise the start goes on, the next start asks again, and nothing is left behind. A refused
// package is named to the user and reaches no installer. The window shows once and is gone
// afterwards.
TEST_F(UpdateCheck, DecisionTable)
{
    const QString unversioned = testenv::Home() + "/unversioned";
    ASSERT_TRUE(testenv::WriteFile(unversioned, QByteArray(10000, '\x7f')));
    LoopbackHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
    other.Serve("/version", Answer::Body("[version]\nlast_version=2.0.0.0\nlast_version_url=" +
                                         other.Base().toUtf8() + "/pkg/vandrel.deb\n"));
    other.Serve("/pkg/vandrel.deb", Answer::Body(g_signed.package));
    const QString base = m_server.Base();
    const Answer offer = Answer::Body(Offer());
    const auto file = [](const QString& text) { return Answer::Body(text.toUtf8()); };
    enum Outcome { NotAsked, AnsweredNo, NothingInstalled, Installed, HandedToDesktop };
    enum Setting { AsUsual, Unversioned, PkexecCancelled, NoPkexec, CarriedKeyOnly };
    struct Row {
        const char* name;
        Answer version;
        Outcome outcome;
        QString told = {};                    // what the user reads; empty: nothing
        std::optional<Answer> package = {};   // nullopt: the signed package
        std::optional<Answer> signature = {}; // nullopt: its signature
        Setting setting = AsUsual;
    } const rows[] = {
        {"version file cannot be downloaded", Answer::Body("", 404), NotAsked},
        {"last_version equals the own version", Answer::Body(Offer("1.0.0.1")), NotAsked},
        {"versions differ, no installer address", file("[version]\nlast_version=2.0.0.0\n"),
         NotAsked},
        {"the user answers No", offer, AnsweredNo},
        {"a lower server version leads to the question", Answer::Body(Offer("0.9.0.0")),
         AnsweredNo},
        {"a program without a version record always differs",
         Answer::Body(Offer("1.0.0.1")),
         AnsweredNo,
         {},
         {},
         {},
         Unversioned},
        {"Yes, and the package download fails",
         file("[version]\nlast_version=2.0.0.0\nlast_version_url=" + base + "/none.deb\n"),
         NothingInstalled},
        {"Yes, and the signed package is installed with apt-get through pkexec", offer, Installed},
        {"Yes, without pkexec the package goes to the desktop's installer",
         offer,
         HandedToDesktop,
         {},
         {},
         {},
         NoPkexec},
        {"Yes, but the authorisation is cancelled",
         offer,
         NothingInstalled,
         kNotAuthorised,
         {},
         {},
         PkexecCancelled},
        {"a bad signature",
         offer,
         NothingInstalled,
         kUnverified,
         {},
         Answer::Body(g_signed.notAPackageSignature)},
        {"no signature", offer, NothingInstalled, kUnverified, {}, Answer::Body("", 404)},
        {"signed, but not a package", offer, NothingInstalled, kUnverified,
         Answer::Body(g_signed.notAPackage), Answer::Body(g_signed.notAPackageSignature)},
        {"signed by a key the program does not carry",
         offer,
         NothingInstalled,
         kUnverified,
         {},
         {},
         CarriedKeyOnly},
        {"plain-http package from a name is not offered",
         file(QStringLiteral("[version]\nlast_version=2.0.0.0\nlast_version_url="
                             "http://localhost:%1/pkg/vandrel.deb\n")
                  .arg(m_server.Port())),
         NotAsked},
        {"a version file over 64 KiB is unreadable",
         Answer::Body(Offer() + QByteArray(64 * 1024, ';')), NotAsked},
        {"a silent server", Answer::Never(), NotAsked},
        {"a redirect to another host", Answer::Redirect(other.Base().toUtf8() + "/version"),
         NotAsked},
        // A byte every 50 ms: never silent for the stall limit, but 3000 bytes take 150 s.
        {"a version file past its overall limit", Answer::Slow(Offer() + QByteArray(3000, ';'), 50),
         NotAsked},
        {"a package past its overall limit",
         offer,
         NothingInstalled,
         {},
         Answer::Slow(g_signed.package + QByteArray(3000, '#'), 50)},
        {"a package over the size cap",
         offer,
         NothingInstalled,
         {},
         Answer::Body(g_signed.package + QByteArray(5000, '#'))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        m_options.job.stallTimeoutMs = 1000;
        m_options.job.versionFileTimeoutMs = 1000;
        m_options.job.installerTimeoutMs = 1000;
        m_options.job.maxInstallerBytes = 4000;
        m_options.programFile = row.setting == Unversioned ? unversioned : QString();
        if (row.setting == CarriedKeyOnly)
            m_options.job.releaseKey.clear();
        if (row.setting == PkexecCancelled)
            Stub("pkexec", 126);
        if (row.setting == NoPkexec) {
            ASSERT_TRUE(QFile::remove(m_bin + "/pkexec"));
        }
        const QString version = row.setting == Unversioned ? "" : "1.0.0.1";
        m_server.Serve("/version/aff1/" + version, row.version);
        ServePackage(row.package, row.signature);
        m_answerYes = row.outcome != AnsweredNo;
        const bool asked = row.outcome != NotAsked;
        const bool handedOver = row.outcome == Installed || row.outcome == HandedToDesktop;
        const qsizetype requestsBefore = m_server.Requests().size();
        // While the worker waits on the silent server the window is busy and cannot be closed.
        QStringList seen;
        QObject probe; // ends the timer's call with the row
        if (row.version.never) {
            QTimer::singleShot(300, &probe, [&] {
                UpdateWindow* dialog = VisibleUpdateWindow();
                if (!dialog)
                    return;
                const auto* bar = dialog->findChild<QProgressBar*>();
                seen << dialog->windowTitle()
                     << (bar && bar->minimum() == 0 && bar->maximum() == 0 ? "busy" : "not busy");
                if (dialog->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint))
                    seen << "a close button";
                dialog->close();
                for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
                    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                    QCoreApplication::sendEvent(dialog, &press);
                }
                seen << (dialog->isVisible() ? "still up" : "closed");
            });
        }

        EXPECT_EQ(CheckForUpdate(kNow, m_options),
                  handedOver ? UpdateCheckResult::EndRun : UpdateCheckResult::Continue);
        if (row.version.never) {
            EXPECT_EQ(seen,
                      (QStringList{"Vandrel is checking for updates...", "busy", "still up"}));
        }
        EXPECT_EQ(m_asked, asked ? 1 : 0);
        EXPECT_EQ(LastUpdate(), handedOver ? kToday : kOtherDay);
        EXPECT_EQ(m_told, row.told.isEmpty() ? QStringList() : QStringList{row.told});
        EXPECT_EQ(m_counter.shows, 1) << "the window is shown once";
        EXPECT_EQ(VisibleUpdateWindow(), nullptr) << "and gone afterwards";
        const QStringList requests = m_server.Requests().mid(requestsBefore);
        // kNow in 100 ns ticks since the start of 1601.
        EXPECT_EQ(requests.value(0), "/version/aff1/" + version + "?rnd=134173494150000000");
        if (asked)
            EXPECT_TRUE(m_askedOverTheWindow);
        else
            EXPECT_LE(requests.size(), 1) << "no package is fetched without a Yes";

        // apt-get is given the verified package by its absolute path, in a private folder that
        // goes afterwards; the desktop's installer gets it under an installer's name, and it
        // stays for the next start to remove. Nothing else is left.
        const bool pkexecRuns = row.outcome == Installed || row.setting == PkexecCancelled;
        const QString pkexecWords = Called("pkexec");
        if (pkexecRuns) {
            EXPECT_TRUE(QRegularExpression("^/usr/bin/apt-get\ninstall\n--yes\n" +
                                           QRegularExpression::escape(m_tmp) +
                                           "/vandrel-update-[0-9a-f]{8}/update\\.deb\n$")
                            .match(pkexecWords)
                            .hasMatch())
                << pkexecWords.toStdString();
            EXPECT_EQ(FileGiven("pkexec"), g_signed.package);
        } else {
            EXPECT_EQ(pkexecWords, "") << "pkexec is not run";
        }
        const QString opened = Called("xdg-open", row.outcome == HandedToDesktop).trimmed();
        const QStringList left = testenv::FilesIn(m_tmp);
        if (row.outcome == HandedToDesktop) {
            // Every row runs, so a failure here ends none of the others.
            EXPECT_EQ(left.size(), 1) << left.join(' ').toStdString();
            const QString name = left.value(0);
            EXPECT_TRUE(
                QRegularExpression("^vnd[0-9a-f]{8}-[0-9a-f]{8}\\.deb$").match(name).hasMatch())
                << name.toStdString();
            EXPECT_EQ(opened, m_tmp + "/" + name);
            EXPECT_EQ(FileGiven("xdg-open"), g_signed.package);
        } else {
            EXPECT_EQ(opened, "") << "xdg-open is not run";
            EXPECT_EQ(left, QStringList()) << left.join(' ').toStdString();
        }
        TearDown();
    }
    EXPECT_TRUE(other.Requests().isEmpty()) << "the other host was never asked";
    SetUp();
}

// A package handed to the desktop's installer stays while that reads it and goes at the next
// start; files the program did not make stay, whatever their records say.
TEST_F(UpdateCheck, HandedOverPackageIsRemovedAtTheNextStart)
{
    ASSERT_TRUE(QFile::remove(m_bin + "/pkexec"));
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Body(Offer()));
    ServePackage();
    m_answerYes = true;
    EXPECT_EQ(CheckForUpdate(kNow, m_options), UpdateCheckResult::EndRun);
    ASSERT_NE(Called("xdg-open", true), "");
    const QStringList packages = testenv::FilesIn(m_tmp);
    ASSERT_EQ(packages.size(), 1);

    const QString victim = testenv::Home() + "/victim.deb";
    ASSERT_TRUE(testenv::WriteFile(victim, "keep"));
    struct Planted {
        const char* name;
        QString path;
    } const planted[] = {
        {"a link with an installer's name", m_tmp + "/vnd00000000-00000001.deb"},
        {"a file with another name", m_tmp + "/notes.deb"},
        {"an installer's name in another folder", testenv::Home() + "/vnd00000000-00000002.deb"},
    };
    ASSERT_TRUE(QFile::link(victim, planted[0].path));
    ASSERT_TRUE(testenv::WriteFile(planted[1].path, "mine"));
    ASSERT_TRUE(testenv::WriteFile(planted[2].path, "mine"));
    for (const Planted& p : planted)
        ASSERT_TRUE(RecordLaunchedInstaller(p.path)) << p.name;

    // The next start: the same day, so no server and no window.
    const qsizetype asked = m_server.Requests().size();
    EXPECT_EQ(CheckForUpdate(kNow, m_options), UpdateCheckResult::Continue);
    EXPECT_EQ(m_server.Requests().size(), asked);
    EXPECT_FALSE(QFile::exists(m_tmp + "/" + packages[0])) << "the package is gone";
    for (const Planted& p : planted)
        EXPECT_TRUE(QFileInfo(p.path).exists() || QFileInfo(p.path).isSymLink()) << p.name;
    EXPECT_EQ(testenv::ReadFile(victim), "keep");
}

TEST_F(UpdateCheck, TheProgramAsksTheConfiguredServerAndGoesOn)
{
    ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(),
                                   "[General]\nAffID=test\nLastUpdate=19990101\n"));
    m_server.Serve("/version/test/1.0.0.1", Answer::Body("[version]\nlast_version=1.0.0.1\n"));
    const QString server = "VANDREL_UPDATE_SERVER=" + m_server.Base();
    const auto run = testenv::Run(QStringLiteral(VANDREL_EXE), {"--update"}, 60000, {server});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(m_server.Requests().size(), 1);
    EXPECT_TRUE(m_server.Requests()[0].startsWith("/version/test/1.0.0.1?rnd="))
        << m_server.Requests()[0].toStdString();
    EXPECT_EQ(LastUpdate(), "19990101");
}

} // namespace
