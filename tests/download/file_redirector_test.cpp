// The downloader's and the converter's output grammars, line assembly whatever the chunks, the
// bounds a tool cannot push past.
#include "download/file_redirector.h"
#include "download/job_text_event.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <string>
#include <utility>

namespace {

// Each text followed by a line feed, which no text holds: {} and {""} stay apart.
template <typename List> std::string Lines(const List& texts)
{
    std::string lines;
    for (const auto& t : texts)
        lines += std::string(t.data(), t.size()) + '\n';
    return lines;
}

// Keeps the texts posted to any object, one a line, as they are delivered.
class Sink : public QObject {
public:
    Sink() { QCoreApplication::instance()->installEventFilter(this); }
    ~Sink() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == WM_JOB_TEXT)
            texts += static_cast<JobTextEvent*>(e)->Text().toStdString() + '\n';
        return false;
    }
    std::string Take()
    {
        QCoreApplication::sendPostedEvents();
        return std::exchange(texts, {});
    }
    std::string texts;
};

struct GrammarCase {
    const char* name;
    bool downloader;
    std::string output;
    std::string posted; // the texts posted, one a line
    std::string names;  // the names collected, one a line
};

class Grammar : public ::testing::TestWithParam<GrammarCase> {};

// Each case is fed whole, byte by byte, and in 7- and 255-byte chunks: the result may not depend
// on where the reader happened to cut the output.
TEST_P(Grammar, GivesExactlyTheTextsAndNames)
{
    const GrammarCase& c = GetParam();
    for (std::size_t chunk :
         {c.output.size() + 1, std::size_t{1}, std::size_t{7}, std::size_t{255}}) {
        Sink sink;
        CFileRedirector r(c.downloader, &sink);
        for (std::size_t at = 0; at < c.output.size(); at += chunk)
            r.OnOutputText(std::string_view(c.output).substr(at, chunk));
        EXPECT_EQ(sink.Take(), c.posted) << "chunks of " << chunk;
        EXPECT_EQ(Lines(r.Names()), c.names) << "chunks of " << chunk;
    }
}

const std::string kEnd(CRedirector::kEndText);
// The converter's "no such file" phrase, its words joined by 0xA0.
const std::string kPhrase = "no\xA0such\xA0"
                            "file\xA0or\xA0"
                            "directory";

const GrammarCase kDownloaderCases[] = {
    {"progress_line_shows_after_its_prefix_blanks_kept", true,
     "\r[download]  10.5% of 3.45MiB at 200.00KiB/s ETA 00:15\r",
     " 10.5% of 3.45MiB at 200.00KiB/s ETA 00:15\n", ""},
    {"already_downloaded_cut_is_byte_exact", true,
     "[download] a b.mp4 has already been downloaded and merged\r",
     "a b.mp4 has already been downloaded and merged\n", "a b.mp4 has alread\n"},
    {"already_downloaded_too_short_gives_an_empty_name", true,
     "[download] has already been downloaded\r", "has already been downloaded\n", "\n"},
    {"eta_wins_over_already_downloaded", true, "[download] x has already been downloaded ETA\r",
     "x has already been downloaded ETA\n", ""},
    {"an_error_shows_whole_whatever_its_colons", true,
     "ERROR: no colons here\rERROR: one: colon\r"
     "ERROR: [generic] Unsupported URL: http://127.0.0.1:8000/a\r",
     "no colons here\none: colon\n[generic] Unsupported URL: http://127.0.0.1:8000/a\n", ""},
    // A title may hold a semicolon: a name cut there would lose its file.
    {"a_semicolon_ends_a_progress_line_but_never_a_name", true,
     "[download] 10%; ETA 00:01\r[download] Destination: a;b.mp4\r"
     "[download] c;d.mp4 has already been downloaded\r",
     "c;d.mp4 has already been downloaded\n", "a;b.mp4\nc;d.mp4\n"},
    {"a_name_reported_again_is_kept_once", true,
     "[download] Destination: a.mp4\r[download] Destination: b.mp4\r"
     "[download] a.mp4 has already been downloaded\r[download] Destination: b.mp4\r",
     "a.mp4 has already been downloaded\n", "a.mp4\nb.mp4\n"},
    {"an_error_keeps_its_semicolons", true,
     "ERROR: [generic] None: Unable to download webpage: HTTP Error 404; please report\n",
     "[generic] None: Unable to download webpage: HTTP Error 404; please report\n", ""},
    {"every_line_end_ends_a_line", true,
     "[download] Destination: a.mp4\n[download] Destination: b.mp4\r"
     "[download] Destination: c.mp4\r\n[download] Destination: d.mp4\n\r",
     "", "a.mp4\nb.mp4\nc.mp4\nd.mp4\n"},
    {"leading_white_space_of_a_line_is_dropped", true,
     "x\r\n \t\v\f[download] Destination: a.mp4\r", "", "a.mp4\n"},
    {"an_unfinished_line_waits", true, "[download] Destination: partial.mp4", "", ""},
    {"the_end_text_finishes_the_last_line_and_is_ignored", true,
     "[download] Destination: last.mp4" + kEnd, "", "last.mp4\n"},
    {"prefixes_are_case_sensitive_and_exact", true,
     "[Download] 1% ETA 1\r[download]1% ETA 1\rerror: x\rERROR:x\r[download]Destination: y\r", "",
     ""},
    {"the_javascript_runtime_line_shows_whole", true,
     "JavaScript runtime: quickjs 2025-04-26\rjavascript runtime: x\rJavaScript runtime:x\r",
     "JavaScript runtime: quickjs 2025-04-26\n", ""},
    {"other_lines_and_the_converters_phrase_are_ignored", true,
     "[generic] Extracting URL: http://127.0.0.1/clip.mp4\n[info] clip: Downloading 1 format(s)\n"
     "[download] 100% of 55.96KiB in 00:00:00 at 2.65MiB/s\nx: " +
         kPhrase + "\r",
     "", ""},
};

const GrammarCase kConverterCases[] = {
    {"the_phrase_shows_the_whole_line", false, "/in.mp4: " + kPhrase + "\r\n",
     "/in.mp4: " + kPhrase + "\n", ""},
    {"one_ordinary_blank_is_a_near_miss", false,
     "/in.mp4: no\xA0such\xA0"
     "file or\xA0"
     "directory\r",
     "", ""},
    {"a_semicolon_before_the_phrase_hides_it", false, "x; " + kPhrase + "\r", "", ""},
    {"downloader_lines_mean_nothing_to_the_converter", false,
     "[download] Destination: a.mp4\r[download] 1% ETA 1\rERROR: x\r" + kEnd, "", ""},
};

INSTANTIATE_TEST_SUITE_P(Downloader, Grammar, ::testing::ValuesIn(kDownloaderCases),
                         [](const auto& row) { return std::string(row.param.name); });
INSTANTIATE_TEST_SUITE_P(Converter, Grammar, ::testing::ValuesIn(kConverterCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(LineAssembly, AnEndlessLineIsCutSoPendingTextStaysBounded)
{
    Sink sink;
    CFileRedirector r(true, &sink);
    r.OnOutputText("[download] ETA ");
    for (std::size_t sent = 0; sent < 4 * 1024 * 1024; sent += 255)
        r.OnOutputText(std::string(255, 'x'));
    r.OnOutputText("\r");
    // Later pieces hold no prefix, so only the first is shown; the rest were still taken as
    // lines (else the text would have piled up) and dropped by the grammar.
    const std::string posted = sink.Take();
    ASSERT_EQ(posted.find('\n'), posted.size() - 1) << "one text";
    EXPECT_EQ(posted.substr(0, 4), "ETA ") << "the first piece is a progress line";
    EXPECT_LE(posted.size() - 1, CFileRedirector::kMaxPending + 255);
    EXPECT_GT(posted.size() - 1, CFileRedirector::kMaxPending - 11);
    r.OnOutputText("[download] Destination: after.mp4\r");
    EXPECT_EQ(Lines(r.Names()), "after.mp4\n") << "line assembly goes on normally";
}

TEST(LineAssembly, TheNamesListIsBounded)
{
    CFileRedirector r(true, nullptr);
    const int limit = CFileRedirector::kMaxNames;
    for (int i = 0; i < 3 * limit; ++i)
        r.OnOutputText("[download] Destination: " + std::to_string(i % (2 * limit)) + ".mp4\r");
    const QList<QByteArray> names = r.Names();
    ASSERT_EQ(names.size(), limit);
    EXPECT_EQ(names.front(), "0.mp4");
    EXPECT_EQ(names.back(), QByteArray::number(limit - 1) + ".mp4");
}

} // namespace
