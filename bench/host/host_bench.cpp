// Start-up cost of the host: process start to the first frame of the skin on the screen,
// against a bare translucent Qt window that paints the same picture, in the same run; and the
// frames an idle host renders in 5 s. Every figure comes from child processes of this program,
// on the display in DISPLAY or on an Xvfb that the benchmark starts for itself.
#include "bare_window.h"
#include "ui/controls/image_element.h"
#include "ui/controls/png_resource.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/skin_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 7;
constexpr int kSkinId = 132;

void Report(const char* line)
{
    std::fputs(line, stdout);
    std::fflush(stdout);
}

class BenchHost : public ui::SkinWindow {
public:
    bool painted = false;

protected:
    bool event(QEvent* e) override
    {
        const bool handled = SkinWindow::event(e);
        if (e->type() == QEvent::Paint && !painted && LatestFrame()) {
            painted = true;
            Report("painted\n");
        }
        return handled;
    }
};

int RunChild(int argc, char** argv, const char* mode)
{
    QApplication app(argc, argv);
    const ui::SharedImage skin = ui::LoadPngResource(kSkinId);
    if (!skin || skin->isNull()) {
        std::fprintf(stderr, "no skin picture\n");
        return 1;
    }
    if (std::strcmp(mode, "bare") == 0) {
        BareWindow window(skin, [] { Report("painted\n"); });
        window.show();
        QTimer::singleShot(10000, &app, &QCoreApplication::quit);
        return app.exec();
    }

    BenchHost host;
    {
        ui::TreeLockGuard lock(ui::TreeLock());
        auto image = std::make_shared<ui::ImageElement>();
        image->SetImage(skin);
        host.SetRoot(image);
    }
    host.show();
    if (std::strcmp(mode, "idle") == 0) {
        // After the first frame has settled, count what an untouched window renders in 5 s.
        QTimer::singleShot(500, &host, [&] {
            const auto before = host.FramesRendered();
            QTimer::singleShot(5000, &host, [&, before] {
                std::printf("idle_frames: %llu\n",
                            static_cast<unsigned long long>(host.FramesRendered() - before));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        });
        return app.exec();
    }
    QTimer::singleShot(10000, &app, &QCoreApplication::quit);
    return app.exec();
}

// Time from starting a child to its "painted" line, in milliseconds; negative on failure.
double TimeToFirstPaint(const QString& self, const char* mode, const QProcessEnvironment& env)
{
    QProcess child;
    child.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    child.start(self, {QStringLiteral("--child"), QString::fromLatin1(mode)});
    double ms = -1;
    while (child.waitForReadyRead(10000)) {
        if (child.readAll().contains("painted")) {
            ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    child.kill();
    child.waitForFinished(5000);
    return ms;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int RunParent(const QString& self)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    // Without a display, an Xvfb of our own; it tells its display number on its stdout.
    QProcess xvfb;
    if (env.value(QStringLiteral("DISPLAY")).isEmpty()) {
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QByteArray number;
        while (!number.contains('\n') && xvfb.waitForReadyRead(10000))
            number += xvfb.readAllStandardOutput();
        if (number.trimmed().isEmpty()) {
            std::fprintf(stderr, "host bench: no display and Xvfb did not start\n");
            return 1;
        }
        env.insert(QStringLiteral("DISPLAY"),
                   QLatin1Char(':') + QString::fromLatin1(number.trimmed()));
    }

    std::vector<double> bare;
    std::vector<double> host;
    // Alternating, so that both see the same state of the machine and its caches.
    for (int i = 0; i < kRuns + 1; ++i) {
        const double b = TimeToFirstPaint(self, "bare", env);
        const double h = TimeToFirstPaint(self, "host", env);
        if (b < 0 || h < 0) {
            std::fprintf(stderr, "host bench: a window did not paint\n");
            return 1;
        }
        if (i > 0) { // the first pair warms the disk cache
            bare.push_back(b);
            host.push_back(h);
        }
    }

    QProcess idle;
    idle.setProcessEnvironment(env);
    idle.start(self, {QStringLiteral("--child"), QStringLiteral("idle")});
    idle.waitForFinished(30000);
    const QByteArray idleOut = idle.readAllStandardOutput();
    const int at = idleOut.indexOf("idle_frames: ");
    if (at < 0) {
        std::fprintf(stderr, "host bench: the idle run reported nothing\n");
        return 1;
    }
    const long long idleFrames = idleOut.mid(at + 13).trimmed().toLongLong();

    const double hostMs = Median(host);
    const double bareMs = Median(bare);
    std::printf("host.first_frame_ms: %.1f\n", hostMs);
    std::printf("host.bare_qt_first_frame_ms: %.1f\n", bareMs);
    std::printf("host.ratio_to_bare_qt: %.2f\n", hostMs / bareMs);
    std::printf("host.idle_frames_5s: %lld\n", idleFrames);

    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(3000);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv, argv[2]);
    QCoreApplication app(argc, argv);
    return RunParent(QCoreApplication::applicationFilePath());
}
