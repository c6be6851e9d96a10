// The whole update check against a loopback server: the decision table, the request the
// server sees, the date rules, the question, the installer, and the window while it runs.
#include "app/update_check.h"
#include "app/update_dlg.h"
#include "app/update_installers.h"
#include "loopback_http_server.h"
#include "settings/settings_store.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>
#include <QTimeZone>
#include <QTimer>

#include <cstdlib>
#include <optional>

namespace {

using Answer = LoopbackHttpServer::Answer;

const QDateTime kNow(QDate(2026, 3, 7), QTime(9, 30, 15));
const QString kToday = QStringLiteral("20260307");
const QString kOtherDay = QStringLiteral("20260306");

// Counts the update windows shown, wherever they come from.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<UpdateDlg*>(watched))
            ++shows;
        return false;
    }
};

UpdateDlg* VisibleUpdateDlg()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<UpdateDlg*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

class UpdateCheckServer : public ::testing::Test {
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
        WriteSettings("AffID=aff1\nLastUpdate=" + kOtherDay.toUtf8() + "\n");
        qApp->installEventFilter(&m_counter);

        m_options.job.stallTimeoutMs = 3000;
        m_options.job.askToUpdate = [this](QWidget* owner) {
            ++m_asked;
            m_askedOnGuiThread = QThread::currentThread() == qApp->thread();
            auto* dialog = qobject_cast<UpdateDlg*>(owner);
            m_ownerWasVisibleDialog = dialog && dialog->isVisible();
            return m_answerYes;
        };
    }
    void TearDown() override
    {
        qApp->removeEventFilter(&m_counter);
        unsetenv("TMPDIR");
        unsetenv("VANDREL_UPDATE_SERVER");
    }

    static void WriteSettings(const QByteArray& body)
    {
        ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(), "[General]\n" + body));
    }
    static QString LastUpdate()
    {
        const auto key = OpenSettingsKey();
        return key ? ReadStringValue(*key, "LastUpdate").value_or("<absent>") : "<no key>";
    }
    QByteArray Installer() const { return "#!/bin/sh\necho ran > '" + m_marker.toUtf8() + "'\n"; }
    // The installer runs detached, so its marker may come a little later. When it is not
    // expected there is nothing to wait for: it was either never fetched or failed to start.
    bool InstallerRan(bool expected) const
    {
        for (int i = 0; expected && i < 200 && !QFile::exists(m_marker); ++i)
            QThread::msleep(50);
        return QFile::exists(m_marker);
    }
    QStringList TempFiles() const { return QDir(m_tmp).entryList(QDir::Files | QDir::System); }

    LoopbackHttpServer m_server;
    ShowCounter m_counter;
    UpdateCheckOptions m_options;
    QString m_tmp;
    QString m_marker;
    bool m_answerYes = false;
    int m_asked = 0;
    bool m_askedOnGuiThread = false;
    bool m_ownerWasVisibleDialog = false;
};

struct Row {
    const char* name;
    std::optional<QByteArray> versionFile; // "%1" is the server's base; nullopt: 404
    QByteArray installer;                  // served at /installer; "-": the test's script
    bool answerYes;
    bool asked;
    bool continues;
    bool recorded;
    bool installerRuns;
};

TEST_F(UpdateCheckServer, DecisionTable)
{
    const QByteArray keys = "[version]\nlast_version=2.0.0.0\nlast_version_url=%1/installer\n";
    const Row rows[] = {
        {"version file cannot be downloaded", std::nullopt, "-", true, false, true, false, false},
        {"last_version equals the own version",
         "[version]\nlast_version=1.0.0.1\nlast_version_url=%1/installer\n", "-", true, false, true,
         false, false},
        {"versions differ, no installer address", "[version]\nlast_version=2.0.0.0\n", "-", true,
         false, true, false, false},
        {"the user answers No", keys, "-", false, true, true, false, false},
        {"missing last_version leads to the question", "[version]\nlast_version_url=%1/installer\n",
         "-", false, true, true, false, false},
        {"a lower server version leads to the question",
         "[version]\nlast_version=0.9.0.0\nlast_version_url=%1/installer\n", "-", false, true, true,
         false, false},
        {"Yes, and the installer download fails",
         "[version]\nlast_version=2.0.0.0\nlast_version_url=%1/no-installer\n", "-", true, true,
         true, false, false},
        {"Yes, and the installer is downloaded and started", keys, "-", true, true, false, true,
         true},
        {"Yes, but the installer cannot be started", keys, "#!/no/such/interpreter\n", true, true,
         true, false, false},
        {"plain-http installer from a name is not offered",
         "[version]\nlast_version=2.0.0.0\nlast_version_url=http://localhost:%2/installer\n", "-",
         true, false, true, false, false},
        {"a version file over 64 KiB is unreadable", keys + QByteArray(64 * 1024, ';'), "-", true,
         false, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.versionFile) {
            const QString text =
                QString::fromUtf8(*row.versionFile).arg(m_server.Base()).arg(m_server.Port());
            m_server.Serve("/version/aff1/1.0.0.1", Answer::Body(text.toUtf8()));
        } else {
            m_server.Serve("/version/aff1/1.0.0.1", Answer::Body("", 404));
        }
        m_server.Serve("/installer",
                       Answer::Body(row.installer == "-" ? Installer() : row.installer));
        m_answerYes = row.answerYes;
        const int shownBefore = m_counter.shows;
        const qsizetype requestsBefore = m_server.Requests().size();

        EXPECT_EQ(CheckForUpdate(kNow, m_options), row.continues);
        EXPECT_EQ(m_asked, row.asked ? 1 : 0);
        EXPECT_EQ(LastUpdate(), row.recorded ? kToday : kOtherDay);
        EXPECT_EQ(InstallerRan(row.installerRuns), row.installerRuns);
        EXPECT_EQ(m_counter.shows - shownBefore, 1) << "the window is shown once";
        EXPECT_EQ(VisibleUpdateDlg(), nullptr) << "and gone afterwards";
        const QStringList requests = m_server.Requests().mid(requestsBefore);
        ASSERT_FALSE(requests.isEmpty());
        EXPECT_TRUE(requests[0].startsWith("/version/aff1/1.0.0.1?rnd="))
            << requests[0].toStdString();
        if (!row.asked) {
            EXPECT_EQ(requests.size(), 1) << "no installer is fetched without a Yes";
        } else {
            EXPECT_TRUE(m_askedOnGuiThread);
            EXPECT_TRUE(m_ownerWasVisibleDialog) << "asked over the visible update window";
        }

        // The version file never stays; a started installer keeps its file, owner-only.
        const QStringList left = TempFiles();
        if (row.installerRuns) {
            ASSERT_EQ(left.size(), 1) << left.join(' ').toStdString();
            EXPECT_TRUE(
                QRegularExpression("^vnd[0-9a-f]{8}-[0-9a-f]{8}\\.exe$").match(left[0]).hasMatch())
                << left[0].toStdString();
            const QFileDevice::Permissions mode = QFileInfo(m_tmp + "/" + left[0]).permissions();
            EXPECT_EQ(mode & 0xF000,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            EXPECT_EQ(mode & 0x00FF, 0);
        } else {
            EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
        }
        m_asked = 0;
        m_askedOnGuiThread = m_ownerWasVisibleDialog = false;
        TearDown();
    }
    SetUp();
}

TEST_F(UpdateCheckServer, ServerSeesTheIdTheVersionAndTheLocalTime)
{
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Body("[version]\nlast_version=1.0.0.1\n"));
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    // The clock's fields counted from 1601 as if they were UTC, computed here through Qt.
    const qint64 expected =
        116444736000000000 +
        QDateTime(kNow.date(), kNow.time(), Qt::UTC).toMSecsSinceEpoch() * 10000;
    EXPECT_EQ(m_server.Requests(),
              QStringList{"/version/aff1/1.0.0.1?rnd=" + QString::number(expected)});
}

TEST_F(UpdateCheckServer, ProgramWithoutVersionRecordAlwaysDiffers)
{
    const QString program = testenv::Home() + "/unversioned";
    ASSERT_TRUE(testenv::WriteFile(program, QByteArray(10000, '\x7f')));
    m_options.programFile = program;
    m_server.Serve("/version/aff1/", Answer::Body("[version]\nlast_version=1.0.0.1\n"
                                                  "last_version_url=" +
                                                  m_server.Base().toUtf8() + "/installer\n"));
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    ASSERT_EQ(m_server.Requests().size(), 1);
    EXPECT_TRUE(m_server.Requests()[0].startsWith("/version/aff1/?rnd="));
    EXPECT_EQ(m_asked, 1) << "an empty own version differs from any server version";
}

TEST_F(UpdateCheckServer, DateRulesDecideWhetherTheServerIsAsked)
{
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Body("[version]\nlast_version=1.0.0.1\n"));

    WriteSettings("AffID=aff1\nLastUpdate=" + kToday.toUtf8() + "\n");
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_EQ(LastUpdate(), kToday);

    WriteSettings("AffID=aff1\n");
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_EQ(LastUpdate(), kToday) << "the first start records the day";

    EXPECT_TRUE(m_server.Requests().isEmpty());
    EXPECT_EQ(m_counter.shows, 0) << "no window on the recorded day or the first start";

    // The next day asks, and, with nothing installed, leaves the date alone.
    EXPECT_TRUE(CheckForUpdate(kNow.addDays(1), m_options));
    EXPECT_EQ(m_server.Requests().size(), 1);
    EXPECT_EQ(m_counter.shows, 1);
    EXPECT_EQ(LastUpdate(), kToday);
}

TEST_F(UpdateCheckServer, DeadServersDoNotHoldUpTheStart)
{
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Never());
    m_options.job.stallTimeoutMs = 500;
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_EQ(m_server.Requests().size(), 1);
    EXPECT_EQ(LastUpdate(), kOtherDay) << "the next start checks again";
    EXPECT_TRUE(TempFiles().isEmpty());

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    setenv("VANDREL_UPDATE_SERVER", QStringLiteral("http://127.0.0.1:%1").arg(closedPort).toUtf8(),
           1);
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_EQ(LastUpdate(), kOtherDay);
    EXPECT_EQ(m_counter.shows, 2);
    EXPECT_EQ(m_asked, 0);
}

// Answers that would take minutes, or fill the disk, end in the same way as a silent server: the
// start goes on, nothing is recorded, nothing is left behind.
TEST_F(UpdateCheckServer, SlowOrHugeAnswersDoNotHoldUpTheStart)
{
    const QByteArray keys =
        "[version]\nlast_version=2.0.0.0\nlast_version_url=" + m_server.Base().toUtf8() +
        "/installer\n";
    // A byte every 50 ms, never silent for the stall limit: 3000 bytes would take 150 s.
    const Answer drippingVersion = Answer::Slow(keys + QByteArray(3000, ';'), 50);
    const Answer drippingInstaller = Answer::Slow(Installer() + QByteArray(3000, '#'), 50);
    const Answer bigInstaller = Answer::Body(Installer() + QByteArray(5000, '#'));
    struct SlowRow {
        const char* name;
        Answer version;
        Answer installer;
        bool asked;
    } const rows[] = {
        {"a version file past its overall limit", drippingVersion, Answer::Body(Installer()),
         false},
        {"an installer past its overall limit", Answer::Body(keys), drippingInstaller, true},
        {"an installer over the size cap", Answer::Body(keys), bigInstaller, true},
    };
    for (const SlowRow& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        m_options.job.stallTimeoutMs = 3000;
        m_options.job.versionFileTimeoutMs = 1000;
        m_options.job.installerTimeoutMs = 1000;
        m_options.job.maxInstallerBytes = 4000;
        m_answerYes = true;
        m_server.Serve("/version/aff1/1.0.0.1", row.version);
        m_server.Serve("/installer", row.installer);

        EXPECT_TRUE(CheckForUpdate(kNow, m_options));
        EXPECT_EQ(m_asked, row.asked ? 1 : 0);
        EXPECT_EQ(LastUpdate(), kOtherDay) << "the next start checks again";
        EXPECT_FALSE(InstallerRan(false));
        EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
        m_asked = 0;
        TearDown();
    }
    SetUp();
}

// The version file comes by the installer's rule: https or a literal loopback address, and no
// redirect to another host.
TEST_F(UpdateCheckServer, VersionFileComesOnlyFromTheTrustedHost)
{
    LoopbackHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
    other.Serve("/version", Answer::Body("[version]\nlast_version=2.0.0.0\nlast_version_url=" +
                                         other.Base().toUtf8() + "/installer\n"));
    other.Serve("/installer", Answer::Body(Installer()));
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Redirect(other.Base().toUtf8() + "/version"));
    m_answerYes = true;
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    const qsizetype asked = m_server.Requests().size();
    EXPECT_GE(asked, 1);

    // A server named by a name (not a literal loopback address) over plain http is not asked.
    setenv("VANDREL_UPDATE_SERVER",
           QStringLiteral("http://localhost:%1").arg(m_server.Port()).toUtf8().constData(), 1);
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));

    EXPECT_EQ(m_server.Requests().size(), asked) << "the server is not asked by name";
    EXPECT_TRUE(other.Requests().isEmpty());
    EXPECT_EQ(m_asked, 0);
    EXPECT_FALSE(InstallerRan(false));
    EXPECT_EQ(LastUpdate(), kOtherDay);
}

// A started installer stays while it runs and goes at the next start; files the program did not
// make stay, whatever their records say.
TEST_F(UpdateCheckServer, LaunchedInstallerIsRemovedAtTheNextStart)
{
    m_server.Serve("/version/aff1/1.0.0.1",
                   Answer::Body("[version]\nlast_version=2.0.0.0\nlast_version_url=" +
                                m_server.Base().toUtf8() + "/installer\n"));
    m_server.Serve("/installer", Answer::Body(Installer()));
    m_answerYes = true;
    EXPECT_FALSE(CheckForUpdate(kNow, m_options));
    ASSERT_TRUE(InstallerRan(true));
    const QStringList installers = TempFiles();
    ASSERT_EQ(installers.size(), 1);

    // Records that name what must stay.
    const QString victim = testenv::Home() + "/victim.exe";
    ASSERT_TRUE(testenv::WriteFile(victim, "keep"));
    struct Planted {
        const char* name;
        QString path;
    } const planted[] = {
        {"a link with an installer's name", m_tmp + "/vnd00000000-00000001.exe"},
        {"a file with another name", m_tmp + "/notes.exe"},
        {"an installer's name in another folder", testenv::Home() + "/vnd00000000-00000002.exe"},
        {"a folder with an installer's name", m_tmp + "/vnd00000000-00000003.exe"},
    };
    ASSERT_TRUE(QFile::link(victim, planted[0].path));
    ASSERT_TRUE(testenv::WriteFile(planted[1].path, "mine"));
    ASSERT_TRUE(testenv::WriteFile(planted[2].path, "mine"));
    ASSERT_TRUE(QDir().mkpath(planted[3].path));
    for (const Planted& p : planted)
        ASSERT_TRUE(RecordLaunchedInstaller(p.path)) << p.name;

    // The next start: the same day, so no server and no window.
    const qsizetype asked = m_server.Requests().size();
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_EQ(m_server.Requests().size(), asked);
    EXPECT_FALSE(QFile::exists(m_tmp + "/" + installers[0])) << "the installer is gone";
    for (const Planted& p : planted)
        EXPECT_TRUE(QFileInfo(p.path).exists() || QFileInfo(p.path).isSymLink()) << p.name;
    EXPECT_TRUE(QFileInfo(planted[0].path).isSymLink());
    EXPECT_EQ(testenv::ReadFile(victim), "keep");
}

TEST_F(UpdateCheckServer, WindowIsBusyAndCannotBeClosedWhileTheWorkerRuns)
{
    // The server keeps the worker waiting long enough to look at the window.
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Never());
    m_options.job.stallTimeoutMs = 1500;

    struct Seen {
        bool visible = false;
        QString title;
        int minimum = -1, maximum = -1;
        bool closeButton = true;
        bool survivedClose = false, survivedEscape = false, survivedEnter = false;
    } seen;
    QTimer probe;
    probe.setSingleShot(true);
    QObject::connect(&probe, &QTimer::timeout, qApp, [&seen] {
        UpdateDlg* dialog = VisibleUpdateDlg();
        if (!dialog)
            return;
        seen.visible = true;
        seen.title = dialog->windowTitle();
        if (auto* bar = dialog->findChild<QProgressBar*>()) {
            seen.minimum = bar->minimum();
            seen.maximum = bar->maximum();
        }
        const Qt::WindowFlags flags = dialog->windowFlags();
        seen.closeButton =
            flags.testFlag(Qt::WindowCloseButtonHint) || flags.testFlag(Qt::WindowSystemMenuHint);
        dialog->close();
        seen.survivedClose = dialog->isVisible();
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(dialog, &press);
            (key == Qt::Key_Escape ? seen.survivedEscape : seen.survivedEnter) =
                dialog->isVisible();
        }
    });
    probe.start(300);

    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_TRUE(seen.visible) << "the window is up while the download waits";
    EXPECT_EQ(seen.title, "Vandrel is checking for updates...");
    EXPECT_EQ(seen.minimum, 0);
    EXPECT_EQ(seen.maximum, 0) << "a busy bar";
    EXPECT_FALSE(seen.closeButton);
    EXPECT_TRUE(seen.survivedClose);
    EXPECT_TRUE(seen.survivedEscape);
    EXPECT_TRUE(seen.survivedEnter);
    EXPECT_EQ(VisibleUpdateDlg(), nullptr) << "gone once the worker has ended it";
}

TEST_F(UpdateCheckServer, TheProgramAsksTheConfiguredServerAndGoesOn)
{
    WriteSettings("AffID=test\nLastUpdate=19990101\n");
    m_server.Serve("/version/test/1.0.0.1", Answer::Body("[version]\nlast_version=1.0.0.1\n"));
    const QString server = "VANDREL_UPDATE_SERVER=" + m_server.Base();
    const auto run = testenv::Run(QStringLiteral(VANDREL_EXE), {"--update"}, 60000, {server});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(m_server.Requests().size(), 1);
    EXPECT_TRUE(QRegularExpression("^/version/test/1\\.0\\.0\\.1\\?rnd=[0-9]+$")
                    .match(m_server.Requests()[0])
                    .hasMatch())
        << m_server.Requests()[0].toStdString();
    EXPECT_EQ(LastUpdate(), "19990101");
}

} // namespace
