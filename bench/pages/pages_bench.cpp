// The pages' costs: one more log line at 10 and at 100,000 lines, and the start of a window
// with both pages (the web view never made) against a bare Qt window, each in a process of
// its own so that loading the libraries counts.
#include "bare_window.h"
#include "settings/settings_store.h"
#include "ui/pages/download_page.h"
#include "ui/pages/player_page.h"
#include "ui/pages/web_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kSamples = 1000;
constexpr int kStartRuns = 9;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

const QString kLine = QStringLiteral("[download]  42.0% of 10.00MiB at 2.00MiB/s ETA 00:03");

// Microseconds to add one line and repaint the box, with the log at about `lines` lines.
double AppendMicroseconds(int lines)
{
    QWidget window;
    window.resize(781, 786);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    std::vector<double> samples;
    std::unique_ptr<ui::pages::DownloadPage> page;
    for (int i = 0; i < kSamples; ++i) {
        // A short log stays short: a fresh page for every few samples.
        if (!page || (lines < 1000 && i % 5 == 0)) {
            page = std::make_unique<ui::pages::DownloadPage>(nullptr, &window);
            page->LogBox()->setGeometry(209, 445, 376, 52);
            page->show();
            for (int n = 0; n < lines; ++n)
                page->AddLogText(kLine);
            page->LogBox()->repaint();
        }
        QElapsedTimer timer;
        timer.start();
        page->AddLogText(kLine);
        page->LogBox()->repaint();
        samples.push_back(timer.nsecsElapsed() / 1000.0);
    }
    return Median(samples);
}

// The child: a window, with or without the pages, shown; then it reports and ends.
int RunChild(const char* mode)
{
    int argc = 1;
    char name[] = "bench_pages";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget window;
    window.resize(781, 786);
    std::unique_ptr<ui::pages::DownloadPage> downloadPage;
    std::unique_ptr<ui::pages::PlayerPage> playerPage;
    std::optional<settings::SettingsKey> key;
    QElapsedTimer playTimer;
    if (std::strcmp(mode, "bare") != 0) {
        key = settings::CreateSettingsKey();
        downloadPage = std::make_unique<ui::pages::DownloadPage>(key ? &*key : nullptr, &window);
        playerPage = std::make_unique<ui::pages::PlayerPage>(QDir::tempPath(), &window);
        playerPage->SetDefaultAppLookup([](const QString&) { return false; });
        downloadPage->show();
    }
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        app.processEvents(QEventLoop::WaitForMoreEvents, 10);
    app.processEvents();
    if (std::strcmp(mode, "web") == 0) {
        playTimer.start();
        playerPage->Play(QDir::tempPath() + QStringLiteral("/none.flv"));
        app.processEvents();
        std::printf("play_ms %lld\nweb %d\n", playTimer.elapsed(), playerPage->Browser() ? 1 : 0);
    }
    std::printf("rss_kb %ld\n", ResidentKb());
    std::fflush(stdout);
    return 0;
}

struct ChildRun {
    double ms = -1;
    long rssKb = -1;
    long playMs = -1;
    bool web = false;
};

ChildRun StartChild(const char* mode, const QString& home)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    if (std::strcmp(mode, "web") != 0)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), QString::fromLatin1(mode)});
    ChildRun run;
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return run;
    run.ms = timer.nsecsElapsed() / 1e6;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "rss_kb")
            run.rssKb = parts[1].toLong();
        else if (parts[0] == "play_ms")
            run.playMs = parts[1].toLong();
        else if (parts[0] == "web")
            run.web = parts[1] == "1";
    }
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argv[2]);

    QTemporaryDir home;
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
        int appArgc = 1;
        QApplication app(appArgc, argv);
        const double at10 = AppendMicroseconds(10);
        const double at100k = AppendMicroseconds(100000);
        std::printf("log.append_us_at_10: %.2f\n", at10);
        std::printf("log.append_us_at_100k: %.2f\n", at100k);
        std::printf("log.append_ratio_100k_to_10: %.2f\n", at100k / at10);

        std::vector<double> bare, pages;
        std::vector<double> bareRss, pagesRss;
        for (int i = 0; i < kStartRuns; ++i) {
            const ChildRun b = StartChild("bare", home.path());
            const ChildRun p = StartChild("pages", home.path());
            if (b.ms < 0 || p.ms < 0) {
                std::fprintf(stderr, "bench_pages: a child run failed\n");
                return 1;
            }
            bare.push_back(b.ms);
            pages.push_back(p.ms);
            bareRss.push_back(double(b.rssKb));
            pagesRss.push_back(double(p.rssKb));
        }
        std::printf("pages.startup_ms_without_web: %.1f\n", Median(pages));
        std::printf("pages.startup_ms_bare_qt: %.1f\n", Median(bare));
        std::printf("pages.startup_ratio_without_web_to_bare: %.2f\n",
                    Median(pages) / Median(bare));
        std::printf("pages.rss_kb_without_web: %.0f\n", Median(pagesRss));
        std::printf("pages.rss_kb_bare_qt: %.0f\n", Median(bareRss));

        // The first play in the page needs OpenGL, so a display.
        if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
            const ChildRun w = StartChild("web", home.path());
            if (w.web) {
                std::printf("pages.first_play_ms: %ld\n", w.playMs);
                std::printf("pages.rss_kb_after_first_play: %ld\n", w.rssKb);
            }
        }
    }
    return 0;
}
