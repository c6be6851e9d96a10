// The Windows rules of splitting a command line, one row per rule.
#include "download/command_line_split.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* name;
    const char* commandLine;
    QStringList words;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, GivesTheWindowsWords)
{
    EXPECT_EQ(SplitCommandLine(QString::fromUtf8(GetParam().commandLine)), GetParam().words);
}

const SplitCase kCases[] = {
    {"empty", "", {}},
    {"only_blanks", " \t ", {}},
    {"blanks_and_tabs_separate", "  tool\ta  b\t\tc ", {"tool", "a", "b", "c"}},
    {"quotes_group_and_vanish", R"(tool "a b" c"d e"f)", {"tool", "a b", "cd ef"}},
    {"empty_quotes_are_an_empty_word", R"(tool "" x)", {"tool", "", "x"}},
    {"unclosed_quote_runs_to_the_end", R"(tool "a b)", {"tool", "a b"}},
    {"backslashes_without_quote_are_literal", R"(tool a\\b\c\)", {"tool", R"(a\\b\c\)"}},
    {"odd_backslashes_escape_the_quote", R"(tool a\"b \\\"c)", {"tool", R"(a"b)", R"(\"c)"}},
    {"even_backslashes_halve_and_quote_acts",
     R"(tool a\\"b c" \\\\"d")",
     {"tool", R"(a\b c)", R"(\\d)"}},
    {"double_quote_inside_quotes_is_literal", R"(tool "a""b" c)", {"tool", R"(a"b)", "c"}},
    {"program_keeps_its_backslashes", R"(C:\dir\tool.exe -y)", {R"(C:\dir\tool.exe)", "-y"}},
    {"quoted_program_with_blanks", R"("/opt/my tools/t" -i x)", {"/opt/my tools/t", "-i", "x"}},
    {"program_quote_ends_the_word", R"("/bin/t"arg)", {"/bin/t", "arg"}},
    {"no_shell_characters_are_special",
     R"(dl -ic http://h/v?a=1&b=$(x);`y`|z 'q' *)",
     {"dl", "-ic", "http://h/v?a=1&b=$(x);`y`|z", "'q'", "*"}},
    {"converter_command_line",
     R"(/ws/convert.exe -y -i "/home/u/My Videos/a b.mp4" "/home/u/My Videos/a b.mp3")",
     {"/ws/convert.exe", "-y", "-i", "/home/u/My Videos/a b.mp4", "/home/u/My Videos/a b.mp3"}},
    {"non_ascii_survives",
     "tool \"vid\xC3\xA9o \xE2\x82\xAC.mp4\"",
     {"tool", QString::fromUtf8("vid\xC3\xA9o \xE2\x82\xAC.mp4")}},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Split, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
