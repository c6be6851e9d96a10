// The downloader's command line for each choice of the options against each kind of job, and
// the error lines that mean the site wants a signed-in user.
#include "download/job_options.h"

#include <gtest/gtest.h>

namespace {

using namespace download;
using namespace Qt::StringLiterals;

using Q = Quality;
using S = Subtitles;
using C = CookiesFrom;

struct ArgumentsCase {
    const char* name;
    JobKind kind;
    Q quality;
    S subtitles;
    C cookies;
    const char* language;
    const char* words; // between the name template and "--", split by '|'
};

class Arguments : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(Arguments, AskTheDownloaderForExactlyTheChoices)
{
    const ArgumentsCase& c = GetParam();
    const QStringList expected =
        QStringList{u"-ic"_s, u"-o"_s, u"%(title).150B [%(id).30B].%(ext)s"_s} +
        QString::fromUtf8(c.words).split(u'|', Qt::SkipEmptyParts) +
        QStringList{u"--"_s, u"-a"_s, u"http://127.0.0.1/b"_s};
    EXPECT_EQ(DownloaderArguments(c.kind, {c.quality, c.subtitles, c.cookies},
                                  QString::fromUtf8(c.language),
                                  {u"-a"_s, u"http://127.0.0.1/b"_s}),
              expected);
}

const ArgumentsCase kArguments[] = {
    {"the_best_quality_is_the_downloaders_own_choice", JobKind::Download, Q::Best, S::None, C::None,
     "de", ""},
    {"a_height_limit_for_720", JobKind::Avi, Q::UpTo720, S::None, C::None, "de",
     "-f|bv*[height<=720]+ba/b[height<=720]/b"},
    {"a_height_limit_for_1080", JobKind::Mp4, Q::UpTo1080, S::None, C::None, "de",
     "-f|bv*[height<=1080]+ba/b[height<=1080]/b"},
    {"a_height_limit_for_480", JobKind::Download, Q::UpTo480, S::None, C::None, "de",
     "-f|bv*[height<=480]+ba/b[height<=480]/b"},
    {"an_mp3_keeps_to_the_sound_whatever_the_quality", JobKind::Mp3, Q::UpTo480, S::None, C::None,
     "de", "-f|ba/b"},
    {"subtitles_beside_in_the_desktops_language_then_english", JobKind::Download, Q::Best,
     S::Beside, C::None, "de-DE", "--write-subs|--sub-langs|de.*,en.*"},
    {"subtitles_of_an_english_desktop_are_english", JobKind::Avi, Q::Best, S::Beside, C::None,
     "en_GB", "--write-subs|--sub-langs|en.*"},
    {"a_language_that_is_no_plain_code_gives_english", JobKind::Download, Q::Best, S::Beside,
     C::None, "C", "--write-subs|--sub-langs|en.*"},
    {"subtitles_inside_an_mp4", JobKind::Mp4, Q::Best, S::Inside, C::None, "fr",
     "--embed-subs|--sub-langs|fr.*,en.*"},
    {"subtitles_inside_are_beside_for_other_kinds", JobKind::Mp3, Q::Best, S::Inside, C::None, "fr",
     "-f|ba/b|--write-subs|--sub-langs|fr.*,en.*"},
    {"cookies_from_a_browser_by_the_downloaders_name", JobKind::Download, Q::Best, S::None,
     C::Brave, "de", "--cookies-from-browser|brave"},
    {"all_three_together", JobKind::Mp4, Q::UpTo720, S::Inside, C::Firefox, "de",
     "-f|bv*[height<=720]+ba/b[height<=720]/b|--embed-subs|--sub-langs|de.*,en.*|"
     "--cookies-from-browser|firefox"},
};

INSTANTIATE_TEST_SUITE_P(Options, Arguments, ::testing::ValuesIn(kArguments),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(AsksToSignIn, KnowsTheDownloadersWordsForASignedInUser)
{
    const struct {
        const char* error;
        bool asks;
    } rows[] = {
        {"[youtube] abc: Sign in to confirm you\xe2\x80\x99re not a bot. Use --cookies", true},
        {"[youtube] abc: Sign in to confirm your age. This video may be inappropriate", true},
        {"[instagram] x: Requested content is not available, rate-limit reached or login required",
         true},
        {"[vimeo] 1: This video is only available for registered users", true},
        {"[generic] None: Unable to download webpage: HTTP Error 404: Not Found", false},
        {"unable to write data: [Errno 28] No space left on device", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(AsksToSignIn(row.error), row.asks) << row.error;
}

} // namespace
