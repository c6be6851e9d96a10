// How promptly the main window's GUI thread answers while a job downloads a large file at full
// speed over loopback and the log box takes the downloader's progress lines: the lateness of a
// 10 ms timer on that thread, against the same window idle in the same run. The window, the
// job and the tools (the built program's payload) are the real ones; the loopback server is the
// tests' own.
#include "app/workspace.h"
#include "bench_display.h"
#include "download/job_kind.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/main_window.h"
#include "ui/pages/download_page.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qint64 kFileBytes = qint64{1} << 30; // 1 GiB
constexpr int kTickMs = 10;
constexpr int kIdleMs = 3000;
constexpr int kJobTimeoutMs = 300000;

// The lateness of each tick of a 10 ms timer on this thread while the loop runs until done
// says yes (checked at every tick) or timeoutMs passes.
std::vector<double> TickLateness(const std::function<bool()>& done, int timeoutMs)
{
    std::vector<double> lateness;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateness.push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - kTickMs));
        last = now;
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    ticker.start();
    loop.exec();
    return lateness;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

class LoopbackServer {
public:
    explicit LoopbackServer(const QString& root) : m_portFile(root + QStringLiteral("/port"))
    {
        m_server.start(QStringLiteral("python3"),
                       {QStringLiteral(VANDREL_SOURCE_DIR "/scripts/test_http_server.py"),
                        QStringLiteral("--root"), root + QStringLiteral("/media"),
                        QStringLiteral("--port-file"), m_portFile, QStringLiteral("--log"),
                        root + QStringLiteral("/http.log")});
        for (int i = 0; i < 200 && m_port.isEmpty(); ++i) {
            QThread::msleep(25);
            QFile port(m_portFile);
            if (port.open(QIODevice::ReadOnly))
                m_port = QString::fromLatin1(port.readAll().trimmed());
        }
    }
    ~LoopbackServer()
    {
        m_server.terminate();
        m_server.waitForFinished(3000);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    QString Url(const QString& path) const
    {
        return m_port.isEmpty() ? QString()
                                : QStringLiteral("http://127.0.0.1:") + m_port + u'/' + path;
    }

private:
    QString m_portFile;
    QString m_port;
    QProcess m_server;
};

// Removed at the end, as start-up removes it.
struct TemporaryWorkspace {
    app::Workspace made;
    ~TemporaryWorkspace() { app::RemoveDirectoryTree(made.path); }
};

} // namespace

int main(int argc, char** argv)
{
    const BenchDisplay display;
    if (display.Name().isEmpty()) {
        std::fprintf(stderr, "main window bench: no display and Xvfb did not start\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");

    // Settings, the download folder and the served file in a folder of this run.
    QTemporaryDir sandbox;
    const QString root = sandbox.path();
    QDir().mkpath(root + QStringLiteral("/config"));
    QDir().mkpath(root + QStringLiteral("/downloads"));
    QDir().mkpath(root + QStringLiteral("/media"));
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", (root + QStringLiteral("/none")).toUtf8());
    {
        // An MP4's first box, then a sparse file: the server reads zeros from the page cache,
        // the downloader writes every byte, and the job keeps what has the form of a video.
        QFile big(root + QStringLiteral("/media/big.mp4"));
        static const char kFileType[] = "\0\0\0\x18"
                                        "ftypisom\0\0\0\0isomiso2";
        if (!big.open(QIODevice::WriteOnly) ||
            big.write(kFileType, sizeof kFileType - 1) != sizeof kFileType - 1 ||
            !big.resize(kFileBytes)) {
            std::fprintf(stderr, "main window bench: cannot make the served file\n");
            return 1;
        }
    }
    const LoopbackServer server(root);
    const QString url = server.Url(QStringLiteral("big.mp4"));
    if (url.isEmpty()) {
        std::fprintf(stderr, "main window bench: the loopback server did not start\n");
        return 1;
    }

    QApplication app(argc, argv);
    platform::Expected<app::Workspace> made = app::CreateWorkspace();
    if (!made) {
        std::fprintf(stderr, "main window bench: no workspace\n");
        return 1;
    }
    TemporaryWorkspace workspace{std::move(*made)};
    if (!app::ExtractToolPayload(workspace.made.path, QStringLiteral(VANDREL_EXE))) {
        std::fprintf(stderr, "main window bench: the program's payload did not extract\n");
        return 1;
    }

    ui::MainWindow window(workspace.made.path, QString(), download::JobKind::None, QString());
    window.ApplyStartValues();
    window.show();
    ui::pages::DownloadPage* page = window.DownloadPage();
    page->FolderField()->setText(root + QStringLiteral("/downloads"));
    page->UrlField()->setText(url);
    {
        // Nothing goes to the user's programs afterwards.
        ui::TreeLockGuard tree(ui::TreeLock());
        window.Tree().playAfterDownload->SetIsChecked(false);
    }

    const std::vector<double> idle = TickLateness([] { return false; }, kIdleMs);

    QElapsedTimer download;
    download.start();
    window.StartJob(download::JobKind::Download);
    const std::vector<double> busy =
        TickLateness([&] { return window.RunningJobs() == 0; }, kJobTimeoutMs);
    const double seconds = static_cast<double>(download.elapsed()) / 1000.0;

    const QFileInfoList files =
        QDir(root + QStringLiteral("/downloads")).entryInfoList(QDir::Files);
    const qint64 bytes = files.isEmpty() ? 0 : files.front().size();
    if (window.RunningJobs() != 0 || bytes != kFileBytes) {
        std::fprintf(stderr, "main window bench: the download did not complete (%lld bytes)\n",
                     static_cast<long long>(bytes));
        return 1;
    }
    std::printf("gui.event_latency_p99_ms: %.2f\n", Percentile(busy, 0.99));
    std::printf("gui.event_latency_max_ms: %.2f\n", Percentile(busy, 1.0));
    std::printf("gui.idle_event_latency_p99_ms: %.2f\n", Percentile(idle, 0.99));
    std::printf("gui.download_mib_per_s: %.1f\n",
                static_cast<double>(kFileBytes) / (1 << 20) / seconds);
    std::printf("gui.log_lines_during_download: %lld\n",
                static_cast<long long>(page->LogBox()->LineCount()));
    return 0;
}
