// Notifications against a fake Notifications service on a private session bus that the test
// starts: what the service receives, which signals bring the window back, and that a missing
// bus or service is no fault. Also the words for a finished job.
#include "ui/elements/tree_lock.h"
#include "ui/main/job_done_text.h"
#include "ui/main/job_notifier.h"
#include "ui/main/main_window.h"
#include "ui/pages/download_page.h"

#include "platform/file_name.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/prctl.h>

namespace {

using namespace ui;

struct Received {
    QString appName, icon, summary, body;
    QStringList actions;
    QVariantMap hints;
};

// The service side of org.freedesktop.Notifications: records Notify and hands out ids.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities{"actions", "body"};
    QList<Received> received;

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& appName, uint /*replacesId*/, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int /*timeout*/)
    {
        received.append({appName, icon, summary, body, actions, hints});
        return static_cast<uint>(received.size()) + 100;
    }
};

const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";

// A connection of its own to the private bus, closed with the object.
struct Connection {
    Connection(const QString& address, const QString& connectionName)
        : name(connectionName), bus(QDBusConnection::connectToBus(address, connectionName))
    {
    }
    ~Connection() { QDBusConnection::disconnectFromBus(name); }
    // A round trip to the bus: it has passed on everything sent before.
    void Sync() { bus.interface()->serviceOwner("org.freedesktop.DBus"); }
    // Sends a signal of the Notifications interface and syncs.
    void Emit(const QString& member, const QVariantList& args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, member);
        signal.setArguments(args);
        bus.send(signal);
        Sync();
    }
    QString name;
    QDBusConnection bus;
};

struct ActivationCounter : QObject {
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::WindowActivate;
        return false;
    }
    int count = 0;
};

// Set in the child process that runs without any session bus.
constexpr char kNoBusChild[] = "VANDREL_TEST_NO_SESSION_BUS";

// One private session bus (dbus-daemon in the foreground) for the whole run: the session bus
// connection of the process is made once and kept, so it must find the address set before its
// first use.
class BusEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsEmpty(kNoBusChild))
            return; // the child of NoSessionBus: no bus at all
        s_daemon = std::make_unique<QProcess>();
        QProcess& daemon = *s_daemon;
        // The daemon ends with this process even when the test dies without TearDown.
        daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        daemon.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
        testenv::WaitUntil(
            [&] { return daemon.canReadLine() || daemon.state() == QProcess::NotRunning; }, 10000);
        s_address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_address.toUtf8());
    }
    void TearDown() override { s_daemon.reset(); } // a QProcess kills what it runs

    inline static std::unique_ptr<QProcess> s_daemon;
    inline static QString s_address;
};
[[maybe_unused]] const auto* const kBusEnvironment =
    ::testing::AddGlobalTestEnvironment(new BusEnvironment);

class JobNotifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(BusEnvironment::s_address.isEmpty()) << "dbus-daemon gave no address";
        ASSERT_TRUE(m_service.bus.interface()->isServiceRegistered(
            QDBusConnection::sessionBus().baseService()))
            << "the session bus is not the private bus";
        QPixmap red(16, 16);
        red.fill(Qt::red);
        m_window.setWindowIcon(QIcon(red));
        m_window.show();
        m_other.show();
    }

    void TearDown() override
    {
        m_service.bus.unregisterObject(kPath);
        m_service.bus.unregisterService(kInterface);
    }

    void RegisterFake()
    {
        ASSERT_TRUE(m_service.bus.registerService(kInterface));
        ASSERT_TRUE(m_service.bus.registerObject(kPath, &m_fake, QDBusConnection::ExportAllSlots));
    }

    // Shows one notification and waits until the service has it and the notifier its id.
    void ShowOne(JobNotifier& notifier, const QString& summary, const QString& body)
    {
        const qsizetype before = m_fake.received.size();
        const qsizetype shown = notifier.Shown();
        notifier.Notify(summary, body);
        ASSERT_TRUE(testenv::WaitUntil([&] { return m_fake.received.size() == before + 1; }, 10000))
            << "the service got no Notify";
        ASSERT_TRUE(testenv::WaitUntil([&] { return notifier.Shown() == shown + 1; }, 10000))
            << "the notifier did not take the id";
    }

    Connection m_service{BusEnvironment::s_address, "service"};
    FakeNotifications m_fake;
    QWidget m_window;
    QWidget m_other;
};

TEST_F(JobNotifierTest, ReachesTheServiceWithTheProgramsNameIconAndATextItCannotMisread)
{
    RegisterFake();
    const QString body = "a<b>&c.mp4 in ~/Videos";
    const struct {
        const char* name;
        bool markup; // the service reads markup in the body
        QString expected;
    } rows[] = {
        {"a plain-text service gets the text as is", false, body},
        {"a markup service gets it escaped", true, "a&lt;b&gt;&amp;c.mp4 in ~/Videos"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_fake.capabilities = {"actions", "body"};
        if (row.markup)
            m_fake.capabilities << "body-markup";
        JobNotifier notifier(&m_window);
        ASSERT_NO_FATAL_FAILURE(ShowOne(notifier, "Download finished", body));
        const Received& got = m_fake.received.back();
        EXPECT_EQ(got.appName, "Vandrel");
        EXPECT_EQ(got.icon, "vandrel");
        EXPECT_EQ(got.summary, "Download finished");
        EXPECT_EQ(got.body, row.expected);
        EXPECT_TRUE(got.actions.contains("default"));
    }

    // The window's icon as raw pixels: width, height, row stride, alpha, 8 bits, 4 channels.
    const QDBusArgument image =
        m_fake.received.back().hints.value("image-data").value<QDBusArgument>();
    ASSERT_EQ(image.currentSignature(), "(iiibiiay)");
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray data;
    image.beginStructure();
    image >> width >> height >> stride >> alpha >> bits >> channels >> data;
    image.endStructure();
    EXPECT_TRUE(width > 0 && bits == 8 && channels == 4 && stride >= width * 4)
        << width << " wide, " << bits << " bits, " << channels << " channels, stride " << stride;
    ASSERT_EQ(data.size(), qsizetype(stride) * height);
    EXPECT_EQ(data.left(4), QByteArray("\xff\x00\x00\xff", 4)) << "red, opaque, as R G B A";
}

TEST_F(JobNotifierTest, ClicksRaiseTheWindowOnlyForTheDefaultActionOfANotificationStillShown)
{
    const struct {
        const char* name;
        bool fromAnotherSender;
        uint idOffset; // added to the id the service gave
        const char* action;
        bool closedFirst; // NotificationClosed arrives before the click
        bool raises;
    } rows[] = {
        {"the default action raises the window", false, 0, "default", false, true},
        {"another action does not", false, 0, "Show", false, false},
        {"an id this notifier did not get does not", false, 7, "default", false, false},
        {"another sender with the same id does not", true, 0, "default", false, false},
        {"a closed notification does not", false, 0, "default", true, false},
    };
    RegisterFake();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // A second window whose notification is clicked last: once it is active, the bus has
        // delivered everything sent before, and the click under test has been handled.
        QWidget markerWindow;
        markerWindow.show();
        JobNotifier notifier(&m_window);
        JobNotifier marker(&markerWindow);
        ASSERT_NO_FATAL_FAILURE(ShowOne(notifier, "Download finished", "clip.mp4"));
        const uint id = 100 + static_cast<uint>(m_fake.received.size());
        ASSERT_NO_FATAL_FAILURE(ShowOne(marker, "Nothing was saved", QString()));

        m_other.activateWindow();
        ASSERT_TRUE(testenv::WaitUntil([&] { return m_other.isActiveWindow(); }, 5000));
        ActivationCounter window, markerActivations;
        m_window.installEventFilter(&window);
        markerWindow.installEventFilter(&markerActivations);
        if (row.closedFirst) {
            m_service.Emit("NotificationClosed", {id, uint(2)});
            ASSERT_TRUE(testenv::WaitUntil([&] { return notifier.Shown() == 0; }, 5000));
        }
        Connection spoof(BusEnvironment::s_address, "spoof");
        Connection& from = row.fromAnotherSender ? spoof : m_service;
        from.Emit("ActionInvoked", {id + row.idOffset, QString::fromLatin1(row.action)});
        m_service.Emit("ActionInvoked", {id + 1, "default"});
        ASSERT_TRUE(testenv::WaitUntil([&] { return markerActivations.count > 0; }, 5000));
        EXPECT_EQ(window.count, row.raises ? 1 : 0);
        m_window.removeEventFilter(&window);
    }
}

TEST_F(JobNotifierTest, WithoutAServiceNothingIsShownAndAServiceThatComesLaterIsUsed)
{
    JobNotifier notifier(&m_window);
    for (int i = 0; i < 3; ++i)
        notifier.Notify("Download finished", "clip.mp4 in ~");
    m_service.Sync(); // the bus has answered for the missing service
    QTest::qWait(200);
    EXPECT_EQ(notifier.Shown(), 0);

    RegisterFake();
    ASSERT_NO_FATAL_FAILURE(ShowOne(notifier, "Nothing was saved", QString()));
    EXPECT_EQ(m_fake.received.size(), 1) << "a call made before the service was there arrived";
}

// The window's own use: a job that ends while another window has the focus is told on the
// desktop with what it saved.
TEST_F(JobNotifierTest, AJobEndingUnseenIsToldWithWhatItSaved)
{
    RegisterFake();
    QTemporaryDir workspace, folder;
    const QString downloader = workspace.filePath("downloader");
    ASSERT_TRUE(testenv::WriteFile(downloader,
                                   "#!/bin/sh\nprintf '\\000\\000\\000\\030ftypisom' > clip.mp4\n"
                                   "printf '[download] Destination: clip.mp4\\r\\n'\n"));

    MainWindow dlg(workspace.path(), "http://127.0.0.1:9/x", download::JobKind::None, {});
    dlg.ApplyStartValues();
    dlg.DownloadPage()->FolderField()->setText(folder.path());
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        dlg.Tree().playAfterDownload->SetIsChecked(false);
    }
    m_other.activateWindow();
    dlg.StartJob(download::JobKind::Download);
    ASSERT_TRUE(testenv::WaitUntil([&] { return !m_fake.received.isEmpty(); }, 20000));
    EXPECT_EQ(m_fake.received.back().summary, "Download finished");
    EXPECT_TRUE(m_fake.received.back().body.startsWith("clip.mp4 in "))
        << m_fake.received.back().body.toStdString();
}

// The notifier as the window makes it, in a child of this test with no session bus address
// (and no runtime folder or display to find or start one): Notify shows nothing and nothing
// fails. The child is this test again.
TEST(NoSessionBus, TheWindowsNotifierShowsNothingAndNothingFails)
{
    if (!qEnvironmentVariableIsEmpty(kNoBusChild)) {
        QWidget window;
        JobNotifier notifier(&window);
        notifier.Notify("Download finished", "clip.mp4 in ~");
        EXPECT_FALSE(QDBusConnection::sessionBus().isConnected());
        QTest::qWait(200);
        EXPECT_EQ(notifier.Shown(), 0);
        return;
    }
    const testenv::ProcessResult child = testenv::Run(
        QCoreApplication::applicationFilePath(),
        {"--gtest_filter=NoSessionBus.TheWindowsNotifierShowsNothingAndNothingFails"}, 60000,
        {QString::fromLatin1(kNoBusChild) + "=1", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR",
         "DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(child.exitCode, 0) << child.out.toStdString() << child.err.toStdString();
    EXPECT_TRUE(child.out.contains("[  PASSED  ] 1 test")) << child.out.toStdString();
}

TEST(DescribeJobDone, SaysWhatWasSavedAndWhere)
{
    const struct {
        const char* name;
        QStringList saved; // relative to the home folder unless absolute
        QString body;      // under "Download finished", or "Nothing was saved" when none is
    } rows[] = {
        {"one file: its name and its folder from home",
         {"Videos/clip.mp4"},
         "clip.mp4 in ~/Videos"},
        {"several files: the first and a count of the rest",
         {"Music/a.mp3", "Music/b.mp3", "Music/c.mp3"},
         "a.mp3 and 2 more in ~/Music"},
        {"a folder outside home in full", {"/srv/media/clip.avi"}, "clip.avi in /srv/media"},
        {"a file directly in home", {"clip.mp4"}, "clip.mp4 in ~"},
        {"a name that is not UTF-8 shows its Latin-1 characters",
         {platform::DecodeFileName("/srv/Vid\xe9o.flv")},
         QString::fromUtf8("Vid\xc3\xa9o.flv in /srv")},
        {"nothing saved", {}, "The log in the window says why."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QStringList saved;
        for (const QString& name : row.saved)
            saved << (name.startsWith(u'/') ? name : QDir::homePath() + u'/' + name);
        const JobDoneText text = DescribeJobDone(saved);
        EXPECT_EQ(text.summary, saved.isEmpty() ? "Nothing was saved" : "Download finished");
        EXPECT_EQ(text.body, row.body);
    }
}

} // namespace

#include "job_notifier_test.moc"
