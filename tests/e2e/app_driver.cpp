#include "app_driver.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QThread>

#include <X11/Xlib.h>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kPollMs = 200;

// "Suite.Name" of the running test, a row's "/" made "_".
QString TestName()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return QString(QString::fromLatin1(info->test_suite_name()) + u'.' +
                   QString::fromLatin1(info->name()))
        .replace(u'/', u'_');
}

// Xlib's default handler ends the process on any error; a window gone meanwhile is ordinary.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// The sandbox's folders the program is sent to, by the variable that names each.
constexpr std::pair<const char*, const char*> kSandboxVariables[] = {
    {"HOME", "home"},          {"XDG_CONFIG_HOME", "config"}, {"XDG_CONFIG_DIRS", "xdg-system"},
    {"XDG_DATA_HOME", "data"}, {"XDG_CACHE_HOME", "cache"},   {"XDG_RUNTIME_DIR", "runtime"},
    {"TMPDIR", "tmp"}};

} // namespace

bool WaitPaced(const std::function<bool()>& condition, int limitMs)
{
    return testenv::WaitUntil([&] { return condition() || (QThread::msleep(kPollMs), false); },
                              limitMs);
}

AppDriver::AppDriver()
    : m_artifacts(testenv::BinaryDir() + QStringLiteral("/artifacts/app_e2e/") + TestName()),
      m_root(QDir::tempPath() + QStringLiteral("/vandrel-e2e-XXXXXX")),
      m_display(testenv::Display())
{
    QDir().mkpath(m_artifacts);
    const QString root = m_root.path();
    for (const auto& [variable, sub] : kSandboxVariables)
        QDir().mkpath(root + u'/' + QLatin1String(sub));
    QDir().mkpath(DownloadFolder());
    QDir().mkpath(root + QStringLiteral("/bin"));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Checked today already, so the program asks no update server.
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    testenv::WriteFile(root + QStringLiteral("/config/Vandrel/Vandrel.conf"),
                       "[General]\nAffID=e2e\nLastUpdate=" + today.toUtf8() +
                           "\nDefaultDownloadFolder=" + DownloadFolder().toUtf8() + '\n');

    // The desktop opener records what it was given; the lookup of default programs knows none,
    // so Flash video is left to the program's own player page.
    for (const auto& [name, text] :
         {std::pair{"xdg-open", R"(printf '%s\n' "$1" >> "$HOME/opened.txt")"},
          {"xdg-mime", "exit 0"}}) {
        const QString path = root + QStringLiteral("/bin/") + QLatin1String(name);
        testenv::WriteFile(path, "#!/bin/sh\n" + QByteArray(text) + '\n');
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

AppDriver::~AppDriver()
{
    m_earlier.push_back(std::move(m_process));
    for (const std::unique_ptr<QProcess>& process : m_earlier) {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    // Tools of a test that failed half-way: they run in sessions of their own.
    for (const QString& line : ProcessesInSandbox())
        ::kill(line.section(u' ', 0, 0).toInt(), SIGKILL);
}

bool AppDriver::Running() const
{
    return m_process && m_process->state() != QProcess::NotRunning &&
           !m_process->waitForFinished(0);
}

QStringList AppDriver::Opened() const
{
    return QString::fromUtf8(testenv::ReadFile(m_root.path() + QStringLiteral("/home/opened.txt")))
        .split(u'\n', Qt::SkipEmptyParts);
}

QByteArray AppDriver::Xdotool(QLatin1StringView words, const QStringList& more) const
{
    return testenv::Run(QStringLiteral("xdotool"),
                        QString(words).split(u' ', Qt::SkipEmptyParts) + more, 20000,
                        {QStringLiteral("DISPLAY=") + m_display})
        .out;
}

void AppDriver::MoveTo(QPoint screen) const
{
    // No --sync: it waits for a motion that never comes when the pointer is there already.
    Xdotool("mousemove"_L1, {QString::number(screen.x()), QString::number(screen.y())});
}

bool AppDriver::Start(const QStringList& args)
{
    const QString root = m_root.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "VANDREL_UPDATE_SERVER", "XDG_CURRENT_DESKTOP",
                             "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DISPLAY"), m_display);
    for (const auto& [name, sub] : kSandboxVariables)
        env.insert(QLatin1String(name), root + u'/' + QLatin1String(sub));
    env.insert(QStringLiteral("PATH"),
               root + QStringLiteral("/bin:") + env.value(QStringLiteral("PATH")));
    env.insert(m_env);

    if (Running())
        m_earlier.push_back(std::move(m_process));
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setWorkingDirectory(root);
    m_process->setStandardOutputFile(root + QStringLiteral("/stdout.txt"));
    m_process->setStandardErrorFile(root + QStringLiteral("/stderr.txt"));
    m_process->start(QStringLiteral(VANDREL_EXE), args);
    return m_process->waitForStarted(10000) &&
           WaitPaced([&] { return !Running() || !FindWindow().isEmpty(); }, kStartTimeoutMs) &&
           Running();
}

QString AppDriver::FindWindow() const
{
    // A visible window of this process named "Vandrel" at the skin's size, looked up afresh: Qt
    // makes the window anew when the web view joins it.
    const QStringList ids =
        QString::fromLatin1(Xdotool("search --all --onlyvisible --pid"_L1,
                                    {QString::number(Pid()), "--name"_L1, "^Vandrel$"_L1}))
            .split(u'\n', Qt::SkipEmptyParts);
    const QSize size = app_geometry::kWindowSize;
    for (const QString& id : ids) {
        // WINDOW=, X=, Y=, WIDTH=, HEIGHT=, SCREEN= lines.
        QList<int> shell;
        for (const QByteArray& line : Xdotool("getwindowgeometry --shell"_L1, {id}).split('\n'))
            shell << line.mid(line.indexOf('=') + 1).toInt();
        if (shell.size() < 5 || QSize(shell[3], shell[4]) != size)
            continue;
        m_window = id;
        m_origin = QPoint(shell[1], shell[2]);
        return id;
    }
    return {};
}

QPoint AppDriver::WindowOrigin() const
{
    FindWindow();
    return m_origin;
}

void AppDriver::Drag(QPoint from, QPoint to) const
{
    const QPoint start = WindowOrigin() + from;
    MoveTo(start);
    QThread::msleep(100); // the hover picture first, as with a hand on the mouse
    Xdotool("mousedown 1"_L1);
    constexpr int kSteps = 10;
    for (int i = 1; from != to && i <= kSteps; ++i) {
        MoveTo(start + (to - from) * i / kSteps);
        QThread::msleep(30);
    }
    Xdotool("mouseup 1"_L1);
}

void AppDriver::Focused(const char* words, const QString& argument) const
{
    FindWindow();
    Xdotool("windowfocus"_L1, {m_window});
    Xdotool(QLatin1StringView(words), {argument});
}

bool AppDriver::RequestClose() const
{
    FindWindow();
    const std::unique_ptr<Display, decltype(&XCloseDisplay)> display(
        XOpenDisplay(m_display.toLatin1().constData()), &XCloseDisplay);
    if (!display)
        return false;
    XSetErrorHandler(IgnoreXError);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = m_window.toULong();
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display.get(), event.xclient.window, False, NoEventMask, &event);
    XSync(display.get(), False);
    return sent != 0;
}

QImage AppDriver::Screen() const
{
    const testenv::ProcessResult shot =
        testenv::Run(QStringLiteral("import"), {"-silent"_L1, "-window"_L1, "root"_L1, "png:-"_L1},
                     20000, {QStringLiteral("DISPLAY=") + m_display});
    return QImage::fromData(shot.out, "PNG").convertToFormat(QImage::Format_RGB32);
}

bool AppDriver::WaitForWindowImage(const std::function<bool(const QImage&)>& ready, int timeoutMs,
                                   const QString& name, QImage* last) const
{
    QImage part;
    const bool ok = WaitPaced(
        [&] {
            part = Screen().copy(QRect(WindowOrigin(), app_geometry::kWindowSize));
            return !part.isNull() && ready(part);
        },
        timeoutMs);
    if (!name.isEmpty())
        part.save(m_artifacts + u'/' + name + QStringLiteral(".png"));
    if (last)
        *last = part;
    return ok;
}

int AppDriver::WaitForExit(int timeoutMs)
{
    if (!m_process || m_process->error() == QProcess::FailedToStart ||
        (Running() && !m_process->waitForFinished(timeoutMs)))
        return -1;
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

QStringList AppDriver::Workspaces() const
{
    return QDir(m_root.path() + QStringLiteral("/tmp"))
        .entryList({QStringLiteral("vnd*")},
                   QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QStringList AppDriver::ProcessesInSandbox() const
{
    const QByteArray listed = testenv::Run(QStringLiteral("pgrep"), {"-af"_L1, m_root.path()}).out;
    QStringList found = QString::fromUtf8(listed).split(u'\n', Qt::SkipEmptyParts);
    found.removeIf([&](const QString& line) { return line.section(u' ', 0, 0).toInt() == Pid(); });
    return found;
}
