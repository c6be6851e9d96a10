// The downloader's and the converter's output grammars, line assembly whatever the pieces, the
// progress figures, the bounds a tool cannot push past.
#include "download/tool_output.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using download::ToolGrammar;
using download::ToolOutput;

// Each text followed by a line feed, which no text holds: {} and {""} stay apart.
template <typename List> std::string Lines(const List& texts)
{
    std::string lines;
    for (const auto& t : texts)
        lines += std::string(t.data(), t.size()) + '\n';
    return lines;
}

// Keeps what a ToolOutput hands on, one a line.
struct Sink {
    std::string texts;
    std::string progress;
    std::string named;
    std::string subtitles;

    ToolOutput Output(ToolGrammar grammar)
    {
        ToolOutput::Callbacks callbacks;
        callbacks.onText = [this](const QByteArray& text) { texts += text.toStdString() + '\n'; };
        callbacks.onProgress = [this](std::int32_t thousandths) {
            progress += std::to_string(thousandths) + '\n';
        };
        callbacks.onNamed = [this](const QByteArray& name, bool alreadyThere) {
            named += name.toStdString() + (alreadyThere ? " (there)\n" : "\n");
        };
        callbacks.onSubtitles = [this](const QByteArray& name) {
            subtitles += name.toStdString() + '\n';
        };
        return ToolOutput(grammar, std::move(callbacks));
    }
};

struct GrammarCase {
    const char* name;
    bool downloader;
    std::string output;
    std::string shown;          // the texts shown, one a line
    std::string names;          // the names collected, one a line
    std::string progress = {};  // the progress figures, one a line
    std::string subtitles = {}; // the subtitle files named, one a line
};

class Grammar : public ::testing::TestWithParam<GrammarCase> {};

// Each case is fed whole, byte by byte, and in 7- and 255-byte pieces, and then the output
// ends: the result may not depend on where the run happened to cut the output.
TEST_P(Grammar, GivesExactlyTheTextsNamesAndFigures)
{
    const GrammarCase& c = GetParam();
    for (std::size_t piece :
         {c.output.size() + 1, std::size_t{1}, std::size_t{7}, std::size_t{255}}) {
        Sink sink;
        ToolOutput output =
            sink.Output(c.downloader ? ToolGrammar::Downloader : ToolGrammar::Converter);
        for (std::size_t at = 0; at < c.output.size(); at += piece)
            output.Add(std::string_view(c.output).substr(at, piece));
        output.Finish();
        EXPECT_EQ(sink.texts, c.shown) << "pieces of " << piece;
        EXPECT_EQ(Lines(output.Names()), c.names) << "pieces of " << piece;
        EXPECT_EQ(sink.progress, c.progress) << "pieces of " << piece;
        EXPECT_EQ(sink.subtitles, c.subtitles) << "pieces of " << piece;
        std::string named;
        for (const QByteArray& name : output.Names())
            named += name.toStdString() + (output.FoundAlreadyThere(name) ? " (there)\n" : "\n");
        EXPECT_EQ(sink.named, named) << "each name is announced once, as it arrives";
    }
}

const GrammarCase kDownloaderCases[] = {
    {"progress_line_shows_after_its_prefix_blanks_kept", true,
     "\r[download]  10.5% of 3.45MiB at 200.00KiB/s ETA 00:15\r",
     " 10.5% of 3.45MiB at 200.00KiB/s ETA 00:15\n", "", "105\n"},
    {"progress_figures_come_from_the_percent_at_the_start", true,
     "[download] 100% of 1MiB ETA 00:00\r[download]   7.25% ETA 9\r[download] 1000% ETA 1\r"
     "[download] x 5% ETA 1\r[download] 100.1% ETA 1\r",
     "100% of 1MiB ETA 00:00\n  7.25% ETA 9\n1000% ETA 1\nx 5% ETA 1\n100.1% ETA 1\n", "",
     "1000\n73\n"},
    {"already_downloaded_cut_is_byte_exact", true,
     "[download] a b.mp4 has already been downloaded and merged\r",
     "a b.mp4 has already been downloaded and merged\n", "a b.mp4 has alread\n"},
    {"already_downloaded_too_short_gives_an_empty_name", true,
     "[download] has already been downloaded\r", "has already been downloaded\n", "\n"},
    {"eta_wins_over_already_downloaded", true, "[download] x has already been downloaded ETA\r",
     "x has already been downloaded ETA\n", ""},
    {"an_error_shows_whole_whatever_its_colons_and_semicolons", true,
     "ERROR: no colons here\rERROR: one: colon; one semicolon\r"
     "ERROR: [generic] Unsupported URL: http://127.0.0.1:8000/a\r",
     "no colons here\none: colon; one semicolon\n[generic] Unsupported URL: "
     "http://127.0.0.1:8000/a\n",
     ""},
    // A title may hold a semicolon: a name cut there would lose its file.
    {"a_semicolon_ends_a_progress_line_but_never_a_name", true,
     "[download] 10%; ETA 00:01\r[download] Destination: a;b.mp4\r"
     "[download] c;d.mp4 has already been downloaded\r",
     "c;d.mp4 has already been downloaded\n", "a;b.mp4\nc;d.mp4\n"},
    {"a_name_reported_again_is_kept_once", true,
     "[download] Destination: a.mp4\r[download] Destination: b.mp4\r"
     "[download] a.mp4 has already been downloaded\r[download] Destination: b.mp4\r",
     "a.mp4 has already been downloaded\n", "a.mp4\nb.mp4\n"},
    {"every_line_end_ends_a_line", true,
     "[download] Destination: a.mp4\n[download] Destination: b.mp4\r"
     "[download] Destination: c.mp4\r\n[download] Destination: d.mp4\n\r",
     "", "a.mp4\nb.mp4\nc.mp4\nd.mp4\n"},
    {"subtitle_files_are_named_apart_from_the_videos", true,
     "[download] Subtitles: a;b.en.vtt\r[download] Destination: a;b.mp4\r", "", "a;b.mp4\n", "",
     "a;b.en.vtt\n"},
    {"leading_white_space_of_a_line_is_dropped", true,
     "x\r\n \t\v\f[download] Destination: a.mp4\r", "", "a.mp4\n"},
    {"a_last_line_without_its_end_counts_when_the_output_ends", true,
     "[download] Destination: last.mp4", "", "last.mp4\n"},
    {"the_javascript_runtime_line_shows_whole", true,
     "JavaScript runtime: quickjs 2025-04-26\rjavascript runtime: x\rJavaScript runtime:x\r",
     "JavaScript runtime: quickjs 2025-04-26\n", ""},
    // Prefixes are case-sensitive and exact.
    {"other_lines_and_the_converters_own_are_ignored", true,
     "[generic] Extracting URL: http://127.0.0.1/clip.mp4\n[info] clip: Downloading 1 format(s)\n"
     "[download] 100% of 55.96KiB in 00:00:00 at 2.65MiB/s\nconvert: ffmpeg was not found\r"
     "[Download] 1% ETA 1\r[download]1% ETA 1\rerror: x\rERROR:x\r[download]Destination: y\r",
     "", ""},
};

const GrammarCase kConverterCases[] = {
    {"the_converters_own_line_shows_whole", false,
     "convert: ffmpeg was not found - install ffmpeg to convert\r\n",
     "convert: ffmpeg was not found - install ffmpeg to convert\n", ""},
    {"ffmpegs_and_the_downloaders_lines_are_not_shown", false,
     "/in.mp4: No such file or directory\rConvert: x\rconvert:x\r"
     "[download] Destination: a.mp4\r[download] 1% ETA 1\rERROR: x\r",
     "", ""},
};

INSTANTIATE_TEST_SUITE_P(Downloader, Grammar, ::testing::ValuesIn(kDownloaderCases),
                         [](const auto& row) { return std::string(row.param.name); });
INSTANTIATE_TEST_SUITE_P(Converter, Grammar, ::testing::ValuesIn(kConverterCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(LineAssembly, AnEndlessLineIsCutSoPendingTextStaysBounded)
{
    Sink sink;
    ToolOutput output = sink.Output(ToolGrammar::Downloader);
    output.Add("[download] ETA ");
    for (std::size_t sent = 0; sent < 4 * 1024 * 1024; sent += 255)
        output.Add(std::string(255, 'x'));
    output.Add("\r");
    // Later pieces hold no prefix, so only the first is shown; the rest were still taken as
    // lines (else the text would have piled up) and dropped by the grammar.
    const std::string shown = std::exchange(sink.texts, {});
    ASSERT_EQ(shown.find('\n'), shown.size() - 1) << "one text";
    EXPECT_EQ(shown.substr(0, 4), "ETA ") << "the first piece is a progress line";
    EXPECT_LE(shown.size() - 1, ToolOutput::kMaxPending + 255);
    EXPECT_GT(shown.size() - 1, ToolOutput::kMaxPending - 11);
    output.Add("[download] Destination: after.mp4\r");
    EXPECT_EQ(Lines(output.Names()), "after.mp4\n") << "line assembly goes on normally";
}

TEST(LineAssembly, TheNamesListIsBounded)
{
    ToolOutput output(ToolGrammar::Downloader, {});
    const int limit = ToolOutput::kMaxNames;
    for (int i = 0; i < 3 * limit; ++i)
        output.Add("[download] Destination: " + std::to_string(i % (2 * limit)) + ".mp4\r");
    const QList<QByteArray> names = output.Names();
    ASSERT_EQ(names.size(), limit);
    EXPECT_EQ(names.front(), "0.mp4");
    EXPECT_EQ(names.back(), QByteArray::number(limit - 1) + ".mp4");
}

} // namespace
