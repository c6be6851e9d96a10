// Speed of the tool-output path: the parser over a recorded downloader output and over output
// without line ends, and a tool run moving 200 MB from a child, each against a baseline
// measured in the same run.
#include "download/tool_output.h"
#include "download/tool_run.h"
#include "platform/event.h"
#include "platform/post_to.h"

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
        // Receives the posted texts, as a job's owner does.
        QObject sink;
        long received = 0;
        download::ToolOutput::Callbacks callbacks;
        if (post) {
            callbacks.onText = [&](const QByteArray& text) {
                platform::PostTo(&sink, [&received, text] { received += text.size() > 0; });
            };
        }
        download::ToolOutput r(download::ToolGrammar::Downloader, std::move(callbacks));
        const auto start = Clock::now();
        for (int p = 0; p < passes; ++p) {
            for (std::size_t at = 0; at < data.size(); at += 255)
                r.Add(std::string_view(data).substr(at, 255));
            QCoreApplication::sendPostedEvents(&sink);
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
// in 255-byte pieces: pending text must not be scanned again for every piece.
void BenchUnbrokenOutput()
{
    constexpr std::size_t kSize = 100u * 1024 * 1024;
    const std::string unbroken(kSize, 'x');
    std::string lines;
    lines.reserve(kSize);
    while (lines.size() < kSize)
        lines.append(99, 'x').push_back('\n');
    auto feed = [](const std::string& data) {
        download::ToolOutput r(download::ToolGrammar::Downloader, {});
        const auto start = Clock::now();
        for (std::size_t at = 0; at < data.size(); at += 255)
            r.Add(std::string_view(data).substr(at, 255));
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

void BenchToolRun()
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
    auto viaToolRun = [&] {
        std::size_t bytes = 0;
        platform::Event stop(platform::Event::Kind::ManualReset);
        const auto start = Clock::now();
        if (!download::ToolRun{{QStringLiteral("cat"), path}, {}}.Run(
                [&](std::string_view text) { bytes += text.size(); }, stop))
            return -1.0;
        const double s = Seconds(Clock::now() - start);
        if (bytes != kSize)
            std::fprintf(stderr, "the tool run delivered %zu bytes\n", bytes);
        return s;
    };

    viaCat(); // the file is in the page cache from here on
    double cat = 1e9, run = 1e9;
    for (int i = 0; i < 3; ++i) {
        cat = std::min(cat, viaCat());
        run = std::min(run, viaToolRun());
    }
    const double mb = static_cast<double>(kSize) / (1024.0 * 1024.0);
    std::printf("tool_run.mb_per_s: %.1f\n", mb / run);
    std::printf("tool_run.cat_mb_per_s: %.1f\n", mb / cat);
    std::printf("tool_run.ratio_to_cat: %.3f\n", cat / run);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BenchParser();
    BenchUnbrokenOutput();
    BenchToolRun();
    return 0;
}
