// The update check: the address it forms, the start rules that need no server, and the whole
// check against a loopback server with its window on the test display.
#include "loopback_http_server.h"
#include "settings/settings_store.h"
#include "test_env.h"
#include "update/update_check.h"
#include "update/update_dlg.h"
#include "update/update_installers.h"

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

TEST(UpdateAddress, FieldsAndStampAsTheServerExpectsThem)
{
    // Fields counted from 1601 as they stand: no zone conversion, so one moment seen in two
    // zones gives two stamps.
    const QDateTime noon(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC);
    struct Stamp {
        const char* name;
        QDateTime when;
        qint64 ticks;
    } const stamps[] = {
        {"the start of 1601 is zero", QDateTime(QDate(1601, 1, 1), QTime(0, 0)), 0},
        {"before 1601 is negative", QDateTime(QDate(1600, 12, 31), QTime(23, 59, 59)), -10000000},
        {"1970 is the known offset", QDateTime(QDate(1970, 1, 1), QTime(0, 0)), 116444736000000000},
        {"a leap day counts",
         QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), QTimeZone(3600 * 9)),
         116444736000000000 +
             QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC).toMSecsSinceEpoch() *
                 10000},
        {"the same moment in Tokyo is nine hours more", noon.toTimeZone(QTimeZone(3600 * 9)),
         UpdateTimeStamp(noon) + qint64(3600) * 9 * 10000000},
    };
    for (const Stamp& s : stamps)
        EXPECT_EQ(UpdateTimeStamp(s.when), s.ticks) << s.name;

    EXPECT_EQ(MakeUpdateAddress("http://127.0.0.1:8080", "aff1", "", -5),
              "http://127.0.0.1:8080/version/aff1/?rnd=-5");
    EXPECT_EQ(MakeUpdateAddress("https://u", "a b/c?d#e%", "1.0.0.1", 1),
              "https://u/version/a%20b%2Fc%3Fd%23e%25/1.0.0.1?rnd=1")
        << "the id stays one path segment";

    unsetenv("VANDREL_UPDATE_SERVER");
    const QUrl configured(UpdateServerBase());
    EXPECT_TRUE(configured.isValid() && !configured.host().isEmpty());
    setenv("VANDREL_UPDATE_SERVER", "http://127.0.0.1:1234//", 1);
    EXPECT_EQ(UpdateServerBase(), "http://127.0.0.1:1234");
    unsetenv("VANDREL_UPDATE_SERVER");
}

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
        WriteSettings("AffID=aff1\nLastUpdate=" + kOtherDay.toUtf8() + "\n");
        qApp->installEventFilter(&m_counter);
        m_counter.shows = 0;
        m_asked = 0;
        m_askedOverTheWindow = false;

        m_options.job.stallTimeoutMs = 3000;
        m_options.askToUpdate = [this](QWidget* owner) {
            ++m_asked;
            auto* dialog = qobject_cast<UpdateDlg*>(owner);
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
    QByteArray Offer(const QByteArray& version = "2.0.0.0") const
    {
        return "[version]\nlast_version=" + version +
               "\nlast_version_url=" + m_server.Base().toUtf8() + "/installer\n";
    }
    // The installer runs detached, so its marker may come a little later. When it is not
    // expected there is nothing to wait for: it was either never fetched or failed to start.
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
        bool continues;
        std::optional<QByteArray> after; // the file afterwards; nullopt: as it was
    } const rows[] = {
        {"no settings file refuses and creates none", std::nullopt, false, std::nullopt},
        {"no AffID refuses", "[General]\nLastUpdate=20260307\n", false, std::nullopt},
        {"an AffID of 260 characters refuses", "[General]\nAffID=" + QByteArray(260, 'a') + "\n",
         false, std::nullopt},
        {"an AffID of 259 characters is the first start",
         "[General]\nAffID=" + QByteArray(259, 'a') + "\n", true,
         "[General]\nAffID=" + QByteArray(259, 'a') + "\nLastUpdate=20260307\n"},
        {"the first start adds one line to a hand-written file and changes nothing else",
         handWritten, true, QByteArray(handWritten).replace("42\n", "42\nLastUpdate=20260307\n")},
        {"the recorded day writes nothing", "[General]\nAffID=abc\nLastUpdate=20260307\n", true,
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(UserSettingsFile());
        ASSERT_TRUE(!row.file || testenv::WriteFile(UserSettingsFile(), *row.file));
        EXPECT_EQ(CheckForUpdate(kNow, m_options), row.continues);
        EXPECT_EQ(QFile::exists(UserSettingsFile()), row.file.has_value());
        EXPECT_EQ(testenv::ReadFile(UserSettingsFile()), row.after.value_or(row.file.value_or("")));
    }
    EXPECT_TRUE(m_server.Requests().isEmpty());
    EXPECT_EQ(m_counter.shows, 0);
}

// The decision table, and servers that are silent, closed, slow, huge or not trusted: only a
// started installer ends the start and records the day; otherwise the start goes on, the next
// start asks again, and nothing is left behind. The window shows once and is gone afterwards.
TEST_F(UpdateCheck, DecisionTable)
{
    QTcpServer probe; // a port that was free and is closed again
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
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
        QString server = {}; // the address when not the loopback server's (it is not asked)
    } const rows[] = {
        {"version file cannot be downloaded", Answer::Body("", 404), NotAsked},
        {"last_version equals the own version", Answer::Body(Offer("1.0.0.1")), NotAsked},
        {"versions differ, no installer address", file("[version]\nlast_version=2.0.0.0\n"),
         NotAsked},
        {"the user answers No", offer, AnsweredNo},
        {"missing last_version leads to the question",
         file("[version]\nlast_version_url=" + base + "/installer\n"), AnsweredNo},
        {"a lower server version leads to the question", Answer::Body(Offer("0.9.0.0")),
         AnsweredNo},
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
        {"a closed port", offer, NotAsked, std::nullopt,
         QStringLiteral("http://127.0.0.1:%1").arg(closedPort)},
        {"plain http to a server by name", offer, NotAsked, std::nullopt,
         QStringLiteral("http://localhost:%1").arg(m_server.Port())},
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
        m_server.Serve("/version/aff1/1.0.0.1", row.version);
        m_server.Serve("/installer", row.installer.value_or(Answer::Body(Installer())));
        if (!row.server.isEmpty())
            setenv("VANDREL_UPDATE_SERVER", row.server.toUtf8().constData(), 1);
        m_answerYes = row.outcome != AnsweredNo;
        const bool asked = row.outcome != NotAsked, installerRuns = row.outcome == InstallerRuns;
        const qsizetype requestsBefore = m_server.Requests().size();

        EXPECT_EQ(CheckForUpdate(kNow, m_options), !installerRuns);
        EXPECT_EQ(m_asked, asked ? 1 : 0);
        EXPECT_EQ(LastUpdate(), installerRuns ? kToday : kOtherDay);
        EXPECT_EQ(InstallerRan(installerRuns), installerRuns);
        EXPECT_EQ(m_counter.shows, 1) << "the window is shown once";
        EXPECT_EQ(VisibleUpdateDlg(), nullptr) << "and gone afterwards";
        const QStringList requests = m_server.Requests().mid(requestsBefore);
        EXPECT_EQ(requests.value(0),
                  row.server.isEmpty()
                      ? "/version/aff1/1.0.0.1?rnd=" + QString::number(UpdateTimeStamp(kNow))
                      : QString());
        if (asked)
            EXPECT_TRUE(m_askedOverTheWindow);
        else
            EXPECT_LE(requests.size(), 1) << "no installer is fetched without a Yes";

        // The version file never stays; a started installer keeps its file, owner-only.
        const QStringList left = TempFiles();
        if (installerRuns) {
            ASSERT_EQ(left.size(), 1) << left.join(' ').toStdString();
            EXPECT_TRUE(
                QRegularExpression("^vnd[0-9a-f]{8}-[0-9a-f]{8}\\.exe$").match(left[0]).hasMatch())
                << left[0].toStdString();
            EXPECT_EQ(QFileInfo(m_tmp + "/" + left[0]).permissions() & 0xF0FF,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        } else {
            EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
        }
        TearDown();
    }
    EXPECT_TRUE(other.Requests().isEmpty()) << "the other host was never asked";
    SetUp();
}

// A program file without a version record has an empty version, which always differs.
TEST_F(UpdateCheck, ProgramWithoutVersionRecordAlwaysDiffers)
{
    const QString program = testenv::Home() + "/unversioned";
    ASSERT_TRUE(testenv::WriteFile(program, QByteArray(10000, '\x7f')));
    m_options.programFile = program;
    m_server.Serve("/version/aff1/", Answer::Body(Offer("1.0.0.1")));
    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    ASSERT_EQ(m_server.Requests().size(), 1);
    EXPECT_TRUE(m_server.Requests()[0].startsWith("/version/aff1/?rnd="));
    EXPECT_EQ(m_asked, 1);
}

// A started installer stays while it runs and goes at the next start; files the program did not
// make stay, whatever their records say.
TEST_F(UpdateCheck, LaunchedInstallerIsRemovedAtTheNextStart)
{
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Body(Offer()));
    m_server.Serve("/installer", Answer::Body(Installer()));
    m_answerYes = true;
    EXPECT_FALSE(CheckForUpdate(kNow, m_options));
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

TEST_F(UpdateCheck, WindowIsBusyAndCannotBeClosedWhileTheWorkerRuns)
{
    // The server keeps the worker waiting long enough to look at the window.
    m_server.Serve("/version/aff1/1.0.0.1", Answer::Never());
    m_options.job.stallTimeoutMs = 1500;
    QString title;
    int maximum = -1;
    bool closeButton = true, survivedCloseEscapeAndEnter = false;
    QObject probe; // ends the timer's call with the test
    QTimer::singleShot(300, &probe, [&] {
        UpdateDlg* dialog = VisibleUpdateDlg();
        if (!dialog)
            return;
        title = dialog->windowTitle();
        if (auto* bar = dialog->findChild<QProgressBar*>())
            maximum = bar->minimum() == 0 ? bar->maximum() : -1;
        closeButton =
            dialog->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
        dialog->close();
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(dialog, &press);
        }
        survivedCloseEscapeAndEnter = dialog->isVisible();
    });

    EXPECT_TRUE(CheckForUpdate(kNow, m_options));
    EXPECT_EQ(title, "Vandrel is checking for updates...") << "the window is up while it waits";
    EXPECT_EQ(maximum, 0) << "a busy bar";
    EXPECT_FALSE(closeButton);
    EXPECT_TRUE(survivedCloseEscapeAndEnter);
    EXPECT_EQ(VisibleUpdateDlg(), nullptr) << "gone once the worker has ended it";
}

TEST_F(UpdateCheck, TheProgramAsksTheConfiguredServerAndGoesOn)
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
