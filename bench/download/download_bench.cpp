// Speed of the tool-output path: the parser over a recorded downloader output and over output
// without line ends, and the redirector moving 200 MB from a child, each against a baseline
// measured in the same run.
#include "download/file_redirector.h"
#include "download/job_text_event.h"
#include "download/redirector.h"
#include "platform/event.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Receives and frees the posted texts, as the main window does.
class Sink : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() != WM_JOB_TEXT)
            return QObject::event(e);
        ++received;
        return true;
    }
    long received = 0;
};

// The baseline: cutting the same chunks into lines with nothing else done.
std::size_t SplitOnly(std::string_view data, std::string& pending)
{
    std::size_t lines = 0;
    for (std::size_t at = 0; at < data.size(); at += 255) {
        pending.append(data.substr(at, 255));
        std::size_t start = 0, end;
        while ((end = pending.find_first_of("\r\n", start)) != std::string::npos) {
            lines += end > start;
            start = end + 1;
        }
        pending.erase(0, start);
    }
    return lines;
}

void BenchParser()
{
    QFile file(QStringLiteral(VANDREL_YTDLP_RECORDING));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no recording at %s\n", VANDREL_YTDLP_RECORDING);
        return;
    }
    const std::string data = file.readAll().toStdString();
    std::string scratch;
    const std::size_t linesPerPass = SplitOnly(data, scratch);

    auto runParser = [&](int passes, bool post = true) {
        Sink sink;
        CFileRedirector r(true, post ? &sink : nullptr);
        const auto start = Clock::now();
        for (int p = 0; p < passes; ++p) {
            for (std::size_t at = 0; at < data.size(); at += 255)
                r.OnOutputText(std::string_view(data).substr(at, 255));
            QCoreApplication::sendPostedEvents(&sink, WM_JOB_TEXT);
        }
        return Clock::now() - start;
    };
    auto runSplit = [&](int passes) {
        std::string pending;
        std::size_t lines = 0;
        const auto start = Clock::now();
        for (int p = 0; p < passes; ++p)
            lines += SplitOnly(data, pending);
        if (lines == 0)
            std::fprintf(stderr, "no lines\n");
        return Clock::now() - start;
    };

    const int passes = 20000;
    runParser(passes / 10, false); // warm up
    // Line assembly and the grammar alone (names collected, nothing posted), then with every
    // shown line posted to and delivered on this thread.
    const double parser = Seconds(runParser(passes, false));
    const double posting = Seconds(runParser(passes / 10, true)) * 10;
    const double split = Seconds(runSplit(passes));
    const double lines = static_cast<double>(linesPerPass) * passes;
    std::printf("parser.lines_per_s: %.0f\n", lines / parser);
    std::printf("parser.ratio_to_split: %.3f\n", split / parser);
    std::printf("parser.posting_lines_per_s: %.0f\n", lines / posting);
}

// 100 MB of output without a single line end against the same amount in 100-byte lines, both
// in the reader's 255-byte pieces: pending text must not be scanned again for every piece.
void BenchUnbrokenOutput()
{
    constexpr std::size_t kSize = 100u * 1024 * 1024;
    const std::string unbroken(kSize, 'x');
    std::string lines;
    lines.reserve(kSize);
    while (lines.size() < kSize)
        lines.append(99, 'x').push_back('\n');
    auto feed = [](const std::string& data) {
        CFileRedirector r(true, nullptr);
        const auto start = Clock::now();
        for (std::size_t at = 0; at < data.size(); at += 255)
            r.OnOutputText(std::string_view(data).substr(at, 255));
        return Seconds(Clock::now() - start);
    };
    double withEnds = 1e9, without = 1e9;
    for (int i = 0; i < 3; ++i) {
        withEnds = std::min(withEnds, feed(lines));
        without = std::min(without, feed(unbroken));
    }
    std::printf("parser.unbroken_mb_per_s: %.1f\n", 100.0 / without);
    std::printf("parser.unbroken_ratio_to_lines: %.3f\n", without / withEnds);
}

// Counts what arrives and signals when the reader has ended.
class Counter : public CRedirector {
public:
    ~Counter() override { StopReader(); }
    void OnOutputText(std::string_view text) override { bytes += text.size(); }
    void Shutdown() override
    {
        CRedirector::Shutdown();
        ended.Set();
    }
    void OnLaunching() override { ended.Reset(); }

    std::size_t bytes = 0;
    platform::Event ended{platform::Event::Kind::AutoReset};
};

void BenchRedirector()
{
    constexpr std::size_t kSize = 200u * 1024 * 1024;
    QTemporaryFile file;
    if (!file.open())
        return;
    std::string line = "[download]  42.0% of 123.45MiB at 1.23MiB/s ETA 00:42 ";
    line.resize(99, 'x');
    line += '\n';
    std::string block;
    while (block.size() < 1024 * 1024)
        block += line;
    block.resize(1024 * 1024);
    for (std::size_t written = 0; written < kSize; written += block.size())
        file.write(block.data(), static_cast<qint64>(block.size()));
    file.flush();
    const QString path = file.fileName();

    auto viaCat = [&] {
        QProcess cat;
        cat.setStandardOutputFile(QProcess::nullDevice());
        const auto start = Clock::now();
        cat.start(QStringLiteral("cat"), {path});
        cat.waitForFinished(-1);
        return Seconds(Clock::now() - start);
    };
    auto viaRedirector = [&] {
        Counter c;
        const auto start = Clock::now();
        if (!c.Launch(QStringLiteral("cat \"%1\"").arg(path)))
            return -1.0;
        c.ended.Wait();
        const double s = Seconds(Clock::now() - start);
        if (c.bytes != kSize + CRedirector::kEndText.size())
            std::fprintf(stderr, "redirector delivered %zu bytes\n", c.bytes);
        return s;
    };

    viaCat(); // the file is in the page cache from here on
    double cat = 1e9, redirector = 1e9;
    for (int i = 0; i < 3; ++i) {
        cat = std::min(cat, viaCat());
        redirector = std::min(redirector, viaRedirector());
    }
    const double mb = static_cast<double>(kSize) / (1024.0 * 1024.0);
    std::printf("redirector.mb_per_s: %.1f\n", mb / redirector);
    std::printf("redirector.cat_mb_per_s: %.1f\n", mb / cat);
    std::printf("redirector.ratio_to_cat: %.3f\n", cat / redirector);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BenchParser();
    BenchUnbrokenOutput();
    BenchRedirector();
    return 0;
}
