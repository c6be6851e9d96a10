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
#include <QProgressBar>
#include <QRegularExpression>
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

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("VANDREL_UPDATE_SERVER", m_server.Base().toUtf8().constData(), 1);
        m_tmp = testenv::Home() + "/tmp";
        QDir(m_tmp).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_tmp));
        setenv("TMPDIR", m_tmp.toUtf8().constData(), 1);
        m_marker = testenv::Home() + "/installer-ran";
        QFile::remove(m_marker);
        ASSERT_TRUE(
            testenv::WriteFile(settings::UserSettingsFile(),
                               "[General]\nAffID=aff1\nLastUpdate=" + kOtherDay.toUtf8() + "\n"));
        qApp->installEventFilter(&m_counter);
        m_counter.shows = m_asked = 0;
        m_askedOverTheWindow = false;
        m_options.job.stallTimeoutMs = 3000;
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
        unsetenv("TMPDIR");
        unsetenv("VANDREL_UPDATE_SERVER");
    }

    static QString LastUpdate()
    {
        const auto key = settings::OpenSettingsKey();
        return key ? settings::ReadStringValue(*key, "LastUpdate").value_or("<absent>")
                   : "<no key>";
    }
    QByteArray Installer() const { return "#!/bin/sh\necho ran > '" + m_marker.toUtf8() + "'\n"; }
    QByteArray Offer(const QByteArray& version = "2.0.0.0") const
    {
        return "[version]\nlast_version=" + version +
               "\nlast_version_url=" + m_server.Base().toUtf8() + "/installer\n";
    }
    // The installer runs detached, so its marker may come a little later; when it is not
    // expected, it was never fetched or failed to start: nothing to wait for.
    bool InstallerRan(bool expected) const
    {
        const auto ran = [this] { return QFile::exists(m_marker); };
        return expected ? testenv::WaitUntil(ran, 10000) : ran();
    }
    QStringList TempFiles() const { return QDir(m_tmp).entryList(QDir::Files | QDir::System); }

    LoopbackHttpServer m_server;
    ShowCounter m_counter;
    UpdateCheckOptions m_options;
    QString m_tmp;
    QString m_marker;
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

// The decision table, and servers that are silent, slow, huge or not trusted: only a started
// installer ends the start and records the day; otherwise the start goes on, the next start asks
// again, and nothing is left behind. The window shows once and is gone afterwards.
TEST_F(UpdateCheck, DecisionTable)
{
    const QString unversioned = testenv::Home() + "/unversioned";
    ASSERT_TRUE(testenv::WriteFile(unversioned, QByteArray(10000, '\x7f')));
    LoopbackHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
    other.Serve("/version", Answer::Body("[version]\nlast_version=2.0.0.0\nlast_version_url=" +
                                         other.Base().toUtf8() + "/installer\n"));
    other.Serve("/installer", Answer::Body(Installer()));
    const QString base = m_server.Base();
    const Answer offer = Answer::Body(Offer());
    const auto file = [](const QString& text) { return Answer::Body(text.toUtf8()); };
    enum Outcome { NotAsked, AnsweredNo, YesButNoInstallerRuns, InstallerRuns };
    struct Row {
        const char* name;
        Answer version;
        Outcome outcome;
        std::optional<Answer> installer = {}; // nullopt: a good one
        bool unversioned = false;             // the program file has no version record
    } const rows[] = {
        {"version file cannot be downloaded", Answer::Body("", 404), NotAsked},
        {"last_version equals the own version", Answer::Body(Offer("1.0.0.1")), NotAsked},
        {"versions differ, no installer address", file("[version]\nlast_version=2.0.0.0\n"),
         NotAsked},
        {"the user answers No", offer, AnsweredNo},
        {"a lower server version leads to the question", Answer::Body(Offer("0.9.0.0")),
         AnsweredNo},
        {"a program without a version record always differs", Answer::Body(Offer("1.0.0.1")),
         AnsweredNo, std::nullopt, true},
        {"Yes, and the installer download fails",
         file("[version]\nlast_version=2.0.0.0\nlast_version_url=" + base + "/none\n"),
         YesButNoInstallerRuns},
        {"Yes, and the installer is downloaded and started", offer, InstallerRuns},
        {"Yes, but the installer cannot be started", offer, YesButNoInstallerRuns,
         Answer::Body("#!/no/such/interpreter\n")},
        {"plain-http installer from a name is not offered",
         file(QStringLiteral("[version]\nlast_version=2.0.0.0\nlast_version_url="
                             "http://localhost:%1/installer\n")
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
        {"an installer past its overall limit", offer, YesButNoInstallerRuns,
         Answer::Slow(Installer() + QByteArray(3000, '#'), 50)},
        {"an installer over the size cap", offer, YesButNoInstallerRuns,
         Answer::Body(Installer() + QByteArray(5000, '#'))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        m_options.job.stallTimeoutMs = 1000;
        m_options.job.versionFileTimeoutMs = 1000;
        m_options.job.installerTimeoutMs = 1000;
        m_options.job.maxInstallerBytes = 4000;
        m_options.programFile = row.unversioned ? unversioned : QString();
        const QString version = row.unversioned ? "" : "1.0.0.1";
        m_server.Serve("/version/aff1/" + version, row.version);
        m_server.Serve("/installer", row.installer.value_or(Answer::Body(Installer())));
        m_answerYes = row.outcome != AnsweredNo;
        const bool asked = row.outcome != NotAsked, installerRuns = row.outcome == InstallerRuns;
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
                  installerRuns ? UpdateCheckResult::EndRun : UpdateCheckResult::Continue);
        if (row.version.never) {
            EXPECT_EQ(seen,
                      (QStringList{"Vandrel is checking for updates...", "busy", "still up"}));
        }
        EXPECT_EQ(m_asked, asked ? 1 : 0);
        EXPECT_EQ(LastUpdate(), installerRuns ? kToday : kOtherDay);
        EXPECT_EQ(InstallerRan(installerRuns), installerRuns);
        EXPECT_EQ(m_counter.shows, 1) << "the window is shown once";
        EXPECT_EQ(VisibleUpdateWindow(), nullptr) << "and gone afterwards";
        const QStringList requests = m_server.Requests().mid(requestsBefore);
        // kNow in 100 ns ticks since the start of 1601.
        EXPECT_EQ(requests.value(0), "/version/aff1/" + version + "?rnd=134173494150000000");
        if (asked)
            EXPECT_TRUE(m_askedOverTheWindow);
        else
            EXPECT_LE(requests.size(), 1) << "no installer is fetched without a Yes";

        // The version file never stays; a started installer keeps its file, owner-only.
        const QStringList left = TempFiles();
        ASSERT_EQ(left.size(), installerRuns ? 1 : 0) << left.join(' ').toStdString();
        if (installerRuns) {
            EXPECT_TRUE(
                QRegularExpression("^vnd[0-9a-f]{8}-[0-9a-f]{8}\\.exe$").match(left[0]).hasMatch())
                << left[0].toStdString();
            EXPECT_EQ(QFileInfo(m_tmp + "/" + left[0]).permissions() & 0xF0FF,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        TearDown();
    }
    EXPECT_TRUE(other.Requests().isEmpty()) << "the other host was never asked";
    SetUp();
}

// A started installer stays while it runs and goes at the next start; files the program did not
// make stay, whatever their records say.
TEST_F(UpdateCheck, LaunchedInstallerIsRemovedAtTheNextStart)
{
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Body(Offer()));
    m_server.Serve("/installer", Answer::Body(Installer()));
    m_answerYes = true;
    EXPECT_EQ(CheckForUpdate(kNow, m_options), UpdateCheckResult::EndRun);
    ASSERT_TRUE(InstallerRan(true));
    const QStringList installers = TempFiles();
    ASSERT_EQ(installers.size(), 1);

    const QString victim = testenv::Home() + "/victim.exe";
    ASSERT_TRUE(testenv::WriteFile(victim, "keep"));
    struct Planted {
        const char* name;
        QString path;
    } const planted[] = {
        {"a link with an installer's name", m_tmp + "/vnd00000000-00000001.exe"},
        {"a file with another name", m_tmp + "/notes.exe"},
        {"an installer's name in another folder", testenv::Home() + "/vnd00000000-00000002.exe"},
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
    EXPECT_FALSE(QFile::exists(m_tmp + "/" + installers[0])) << "the installer is gone";
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
