// The round window without a mouse: the keyboard's way round it, and what a screen reader reads
// and presses over the accessibility bus.
#include "app_driver.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QMap>
#include <QProcess>

#include <functional>

namespace {

using namespace app_geometry;

constexpr int kJobTimeoutMs = 180000;
constexpr int kScreenTimeoutMs = 30000;

QString Url(const QString& path)
{
    return testenv::HttpBase() + u'/' + path;
}

QStringList Mp3Files(const AppDriver& app)
{
    return QDir(app.DownloadFolder()).entryList({QStringLiteral("*.mp3")}, QDir::Files);
}

std::string Describe(const AppDriver& app)
{
    return ("stderr: " + app.ErrorOutput() +
            "\nfolder: " + testenv::FilesIn(app.DownloadFolder()).join(u", ").toUtf8())
        .toStdString();
}

// The ring the skin draws around the MP3 button (at 313, 575) when the keyboard is on it: two
// rows of white dots on black, two pixels above the button.
const QRect kMp3RingTop(313, 571, 70, 2);

double Share(const QImage& w, const QRect& r, const std::function<bool(QRgb)>& test)
{
    int hits = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            hits += test(w.pixel(x, y)) ? 1 : 0;
    return static_cast<double>(hits) / (r.width() * r.height());
}

bool RingOnMp3(const QImage& w)
{
    return Share(w, kMp3RingTop, [](QRgb c) { return qGray(c) > 230; }) > 0.3 &&
           Share(w, kMp3RingTop, [](QRgb c) { return qGray(c) < 20; }) > 0.2;
}

} // namespace

// Typing goes to the URL field at once; Tab five times reaches MP3, which shows its ring, and
// Space runs its job. The next run remembers it: Return in the URL field makes an MP3 again.
TEST(KeyboardE2E, TabFiveTimesAndSpaceMakeAnMp3AndReturnInTheNextRunMakesAnother)
{
    AppDriver app;
    ASSERT_TRUE(app.Start({})) << Describe(app);
    app.Type(Url(QStringLiteral("clip.mp4")));
    for (int i = 0; i < 5; ++i)
        app.Key(QStringLiteral("Tab"));
    EXPECT_TRUE(app.WaitForWindowImage(RingOnMp3, kScreenTimeoutMs, QStringLiteral("mp3_ringed")));
    app.Key(QStringLiteral("space"));
    ASSERT_TRUE(WaitPaced([&] { return Mp3Files(app).size() == 1 && !app.Opened().isEmpty(); },
                          kJobTimeoutMs))
        << Describe(app);
    EXPECT_EQ(testenv::StreamCodecs(app.DownloadFolder() + u'/' + Mp3Files(app).front()),
              QStringLiteral("mp3"));
    // Escape ends the window once it is idle, as before; the last job button stays in the
    // settings.
    EXPECT_TRUE(WaitPaced(
        [&] {
            app.Key(QStringLiteral("Escape"));
            return !app.Running();
        },
        kScreenTimeoutMs));
    ASSERT_EQ(app.WaitForExit(30000), 0) << Describe(app);

    ASSERT_TRUE(app.Start({})) << Describe(app);
    app.Type(Url(QStringLiteral("clip.mp4")));
    app.Key(QStringLiteral("Return"));
    EXPECT_TRUE(WaitPaced([&] { return Mp3Files(app).size() == 2 && app.Opened().size() == 2; },
                          kJobTimeoutMs))
        << Describe(app);
}

namespace {

// A session bus of the test's own, on which the accessibility bus starts when first asked for,
// in the sandbox's runtime folder; ended with the test.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const AppDriver& app)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("HOME"), app.SandboxFolder() + QStringLiteral("/home"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                   app.SandboxFolder() + QStringLiteral("/runtime"));
        m_daemon.setProcessEnvironment(env);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (m_daemon.waitForStarted(10000) && m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    }
    ~PrivateSessionBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    const QString& Address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

// What accessible_tree.py prints for command, as a screen reader on bus would find it.
testenv::ProcessResult Reader(const PrivateSessionBus& bus, const QStringList& command)
{
    return testenv::Run(
        QStringLiteral(VANDREL_SYSTEM_PYTHON),
        QStringList{testenv::SourceDir() + QStringLiteral("/tests/e2e/accessible_tree.py")} +
            command,
        60000,
        {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + bus.Address(),
         QStringLiteral("AT_SPI_BUS_ADDRESS"), QStringLiteral("DISPLAY")});
}

// The window's elements as the reader finds them: name, then role and states.
QMap<QString, QStringList> ReadWindow(const PrivateSessionBus& bus)
{
    const testenv::ProcessResult dump = Reader(bus, {QStringLiteral("dump")});
    EXPECT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    QMap<QString, QStringList> read;
    for (const QString& line : QString::fromUtf8(dump.out).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(u'|');
        read.insert(parts.value(1), {parts.value(0), parts.value(2)});
    }
    return read;
}

bool Has(const QStringList& read, const char* state)
{
    return read.value(1).split(u',').contains(QString::fromUtf8(state));
}

struct ReadAs {
    const char* name;
    const char* role;
    const char* state; // one the element has, or has not
    bool has;
};

constexpr ReadAs kReadAs[] = {
    {"MP3", "push button", "showing", true},
    {"Download", "push button", "showing", true},
    {"AVI", "push button", "showing", true},
    {"MP4", "push button", "showing", true},
    {"Browse", "push button", "showing", true},
    {"Minimise", "push button", "showing", true},
    {"Close", "push button", "showing", true},
    {"Stop", "push button", "showing", false},
    {"Play after download", "check box", "checked", true},
    {"Progress", "progress bar", "showing", false},
    {"Log", "text", "read only", true},
    {"Video page address", "text", "editable", true},
};

} // namespace

// Every skin button, the checkbox, the ring and the log are read with name and role; the
// keyboard's place is the reader's focus; pressing MP3 over the bus reaches the window, whose
// log then asks for an address.
TEST(KeyboardE2E, AScreenReaderReadsTheSkinFollowsTheKeyboardAndPressesMp3)
{
    AppDriver app;
    const PrivateSessionBus bus(app);
    ASSERT_FALSE(bus.Address().isEmpty());
    app.SetEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
    app.SetEnvironment(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    ASSERT_TRUE(app.Start({})) << Describe(app);

    const QMap<QString, QStringList> read = ReadWindow(bus);
    for (const ReadAs& row : kReadAs) {
        SCOPED_TRACE(row.name);
        const QStringList got = read.value(QString::fromUtf8(row.name));
        EXPECT_EQ(got.value(0), QString::fromUtf8(row.role));
        EXPECT_EQ(Has(got, row.state), row.has) << got.value(1).toStdString();
    }

    for (int i = 0; i < 5; ++i)
        app.Key(QStringLiteral("Tab"));
    EXPECT_TRUE(
        WaitPaced([&] { return Has(ReadWindow(bus).value(QStringLiteral("MP3")), "focused"); },
                  kScreenTimeoutMs));

    const testenv::ProcessResult press =
        Reader(bus, {QStringLiteral("press"), QStringLiteral("MP3")});
    ASSERT_EQ(press.exitCode, 0) << press.err.toStdString();
    EXPECT_TRUE(WaitPaced(
        [&] {
            return Reader(bus, {QStringLiteral("text"), QStringLiteral("Log")})
                .out.contains("Paste the address of a video page");
        },
        kScreenTimeoutMs));
}
