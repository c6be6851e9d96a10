// The built program against a bare translucent Qt window that paints the same skin, both seen
// from outside through the X server: time from starting the process to its first frame on the
// screen (the program unpacks its payload on the way), and resident memory once the window
// has been idle for a while (the program on its download page). Nothing in the program reports
// to the benchmark: a frame counts when a viewable window of the process, at the skin's size,
// shows the skin's pixels at a few points that only the skin covers.
#include "bare_window.h"
#include "bench_display.h"
#include "ui/controls/png_resource.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 7;
constexpr int kSkinId = 132;
constexpr int kFrameTimeoutMs = 30000;
constexpr int kSettleMs = 2000;
// Bare skin in the program's first frame too: the rim and the middle of the dial.
constexpr std::array<QPoint, 5> kSkinPoints = {
    {{390, 25}, {25, 393}, {755, 393}, {390, 765}, {390, 300}}};

// ---- the bare window (a child process of this benchmark) -----------------------------------

int RunBareWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    const ui::SharedImage skin = ui::LoadPngResource(kSkinId);
    if (!skin || skin->isNull())
        return 1;
    BareWindow window(skin);
    window.show();
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    return app.exec();
}

// ---- looking at the screen -----------------------------------------------------------------

int IgnoreXError(Display*, XErrorEvent*)
{
    return 0; // a window that went away between two requests
}

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

class ScreenWatcher {
public:
    explicit ScreenWatcher(const QString& display)
        : m_display(XOpenDisplay(display.toLatin1().constData()))
    {
        if (!m_display)
            return;
        XSetErrorHandler(IgnoreXError);
        m_pidAtom = XInternAtom(m_display.get(), "_NET_WM_PID", False);
        const ui::SharedImage skin = ui::LoadPngResource(kSkinId);
        if (skin)
            m_skin = skin->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    bool Ready() const { return m_display && !m_skin.isNull(); }

    // True when a viewable top-level window of pid at the skin's size shows the skin.
    bool ShowsSkin(qint64 pid) const
    {
        Display* d = m_display.get();
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
            return false;
        const std::unique_ptr<Window, int (*)(void*)> owned(children, XFree);
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a{};
            if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable ||
                a.width != m_skin.width() || a.height != m_skin.height())
                continue;
            if (WindowPid(children[i]) == pid && PixelsAreSkin(children[i], a.visual))
                return true;
        }
        return false;
    }

private:
    qint64 WindowPid(Window w) const
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_display.get(), w, m_pidAtom, 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &after, &data) != Success ||
            !data)
            return -1;
        const std::unique_ptr<unsigned char, int (*)(void*)> owned(data, XFree);
        return items == 1 && format == 32 ? static_cast<qint64>(*reinterpret_cast<long*>(data))
                                          : -1;
    }

    static int Channel(unsigned long pixel, unsigned long mask)
    {
        if (mask == 0)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        return static_cast<int>((pixel & mask) >> shift);
    }

    bool PixelsAreSkin(Window w, const Visual* visual) const
    {
        for (const QPoint& p : kSkinPoints) {
            XImage* image = XGetImage(m_display.get(), w, p.x(), p.y(), 1, 1, AllPlanes, ZPixmap);
            if (!image)
                return false;
            const unsigned long pixel = XGetPixel(image, 0, 0);
            XDestroyImage(image);
            const QRgb want = m_skin.pixel(p);
            const int tolerance = 6;
            if (std::abs(Channel(pixel, visual->red_mask) - qRed(want)) > tolerance ||
                std::abs(Channel(pixel, visual->green_mask) - qGreen(want)) > tolerance ||
                std::abs(Channel(pixel, visual->blue_mask) - qBlue(want)) > tolerance)
                return false;
        }
        return true;
    }

    std::unique_ptr<Display, DisplayCloser> m_display;
    Atom m_pidAtom = 0;
    QImage m_skin;
};

// ---- the runs ------------------------------------------------------------------------------

struct Run {
    double firstFrameMs = -1;
    long idleRssKb = -1;
};

Run Measure(const QString& program, const QStringList& args, const QProcessEnvironment& env,
            const ScreenWatcher& screen)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(QProcess::nullDevice());
    Run run;
    QElapsedTimer timer;
    timer.start();
    child.start(program, args);
    if (child.waitForStarted(10000)) {
        while (timer.elapsed() < kFrameTimeoutMs && child.state() == QProcess::Running) {
            if (screen.ShowsSkin(child.processId())) {
                run.firstFrameMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
                break;
            }
            QThread::usleep(500);
        }
        if (run.firstFrameMs >= 0) {
            QThread::msleep(kSettleMs);
            run.idleRssKb = ResidentKb(child.processId());
        }
    }
    // SIGTERM ends the program as a close does, so its workspace goes with it.
    child.terminate();
    if (!child.waitForFinished(10000)) {
        child.kill();
        child.waitForFinished(5000);
    }
    return run;
}

template <typename T> T Median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Settings of a user who has already been asked about updates today, in a folder of their own.
bool WriteSandbox(const QTemporaryDir& sandbox, QProcessEnvironment& env)
{
    const QString root = sandbox.path();
    for (const char* sub : {"home", "config/Vandrel", "xdg-system", "data/Vandrel/downloader",
                            "runtime", "tmp", "downloads"})
        QDir().mkpath(root + u'/' + QLatin1String(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(root + QStringLiteral("/config/Vandrel/Vandrel.conf"));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write("[General]\nAffID=bench\nLastUpdate=" +
                   QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                   "\nDefaultDownloadFolder=" + (root + QStringLiteral("/downloads")).toUtf8() +
                   '\n');
    // The downloader was checked today as well: an idle window is the common case, and the
    // benchmark reaches nothing beyond this machine (the address is a closed loopback port).
    QFile downloaderChecked(root + QStringLiteral("/data/Vandrel/downloader/last-check"));
    if (!downloaderChecked.open(QIODevice::WriteOnly))
        return false;
    downloaderChecked.write(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                            '\n');
    env.remove(QStringLiteral("VANDREL_UPDATE_SERVER"));
    env.insert(QStringLiteral("VANDREL_DOWNLOADER_RELEASES"),
               QStringLiteral("https://127.0.0.1:9/"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), root + QStringLiteral("/xdg-system"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("TMPDIR"), root + QStringLiteral("/tmp"));
    return true;
}

int RunParent(const QString& self)
{
    const BenchDisplay display;
    if (display.Name().isEmpty()) {
        std::fprintf(stderr, "app bench: no display and Xvfb did not start\n");
        return 1;
    }
    const ScreenWatcher screen(display.Name());
    if (!screen.Ready()) {
        std::fprintf(stderr, "app bench: cannot watch the display\n");
        return 1;
    }
    QTemporaryDir sandbox;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.Name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (!sandbox.isValid() || !WriteSandbox(sandbox, env)) {
        std::fprintf(stderr, "app bench: cannot write the settings\n");
        return 1;
    }

    std::vector<double> appMs, bareMs;
    std::vector<long> appKb, bareKb;
    // Alternating, so that both see the same state of the machine; the first pair warms the
    // disk cache and is not counted.
    for (int i = 0; i < kRuns + 1; ++i) {
        const Run bare = Measure(self, {QStringLiteral("--bare-window")}, env, screen);
        const Run app = Measure(QStringLiteral(VANDREL_EXE), {}, env, screen);
        if (bare.firstFrameMs < 0 || app.firstFrameMs < 0 || bare.idleRssKb < 0 ||
            app.idleRssKb < 0) {
            std::fprintf(stderr, "app bench: a window never showed the skin\n");
            return 1;
        }
        if (i == 0)
            continue;
        appMs.push_back(app.firstFrameMs);
        bareMs.push_back(bare.firstFrameMs);
        appKb.push_back(app.idleRssKb);
        bareKb.push_back(bare.idleRssKb);
    }
    const double app = Median(appMs);
    const double bare = Median(bareMs);
    const long appRss = Median(appKb);
    const long bareRss = Median(bareKb);
    std::printf("app.first_frame_ms: %.1f\n", app);
    std::printf("app.bare_qt_first_frame_ms: %.1f\n", bare);
    std::printf("app.first_frame_ratio_to_bare_qt: %.2f\n", app / bare);
    std::printf("app.idle_rss_kb: %ld\n", appRss);
    std::printf("app.bare_qt_idle_rss_kb: %ld\n", bareRss);
    std::printf("app.idle_rss_ratio_to_bare_qt: %.2f\n",
                static_cast<double>(appRss) / static_cast<double>(bareRss));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--bare-window") == 0)
        return RunBareWindow(argc, argv);
    QCoreApplication app(argc, argv);
    return RunParent(QCoreApplication::applicationFilePath());
}
