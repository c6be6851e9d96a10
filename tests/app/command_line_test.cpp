#include "app/command_line.h"
#include "platform/file_name.h"

#include <gtest/gtest.h>

namespace {

CCommandLine Parsed(const QStringList& words)
{
    CCommandLine options;
    options.Parse(words);
    return options;
}

TEST(CommandLine, OnlyTheFirstEqualsSplitsNameFromValue)
{
    const CCommandLine options = Parsed({"/download=page?v=1&x=="});
    EXPECT_TRUE(options.HasValue("download"));
    EXPECT_EQ(options.GetValue("download"), "page?v=1&x==");
    EXPECT_FALSE(options.GetFlag("download"));
}

TEST(CommandLine, SlashAndDoubleDashAreEquivalentOtherWordsIgnored)
{
    EXPECT_EQ(Parsed({"--player=C:\\clips\\a.mp4"}).GetValue("player"), "C:\\clips\\a.mp4");
    EXPECT_EQ(Parsed({"/player=C:\\clips\\a.mp4"}).GetValue("player"), "C:\\clips\\a.mp4");
    const CCommandLine ignored = Parsed({"-player=x", "player=y", "update", "-update"});
    EXPECT_FALSE(ignored.HasValue("player"));
    EXPECT_FALSE(ignored.GetFlag("update"));
    EXPECT_FALSE(ignored.GetFlag("-update"));
}

TEST(CommandLine, NamesFoldAsciiCaseOnly)
{
    const CCommandLine options = Parsed({"/UPDATE", "/Player=x", "/ÄBC=1"});
    EXPECT_TRUE(options.GetFlag("update"));
    EXPECT_TRUE(options.GetFlag("Update"));
    EXPECT_EQ(options.GetValue("PLAYER"), "x");
    EXPECT_TRUE(options.HasValue("ÄBC"));
    EXPECT_FALSE(options.HasValue("äbc")) << "letters outside A-Z compare exactly";
}

TEST(CommandLine, ValuedOptionIsNotAFlagAndViceVersa)
{
    const CCommandLine options = Parsed({"/update=1", "/download"});
    EXPECT_FALSE(options.GetFlag("update"));
    EXPECT_TRUE(options.HasValue("update"));
    EXPECT_TRUE(options.GetFlag("download"));
    EXPECT_FALSE(options.HasValue("download"));
}

TEST(CommandLine, LaterValueReplacesEarlierInAnyCase)
{
    const CCommandLine options = Parsed({"/download=a", "/DOWNLOAD=b"});
    EXPECT_EQ(options.GetValue("download"), "b");
    EXPECT_EQ(options.GetValue("Download"), "b");
}

TEST(CommandLine, EmptyOptionsAndEmptyNames)
{
    const CCommandLine options = Parsed({"/", "--", "/=", "--=v"});
    EXPECT_FALSE(options.GetFlag(""));
    EXPECT_TRUE(options.HasValue(""));
    EXPECT_EQ(options.GetValue(""), "v");
    EXPECT_TRUE(Parsed({"/name="}).HasValue("name"));
    EXPECT_EQ(Parsed({"/name="}).GetValue("name"), "");
}

TEST(CommandLine, ValuesAreKeptAsSplitAndAbsentNamesAreNotAdded)
{
    const CCommandLine options = Parsed({"/player= a b.mp4 ", "/x=\"quoted\""});
    EXPECT_EQ(options.GetValue("player"), " a b.mp4 ");
    EXPECT_EQ(options.GetValue("x"), "\"quoted\"");
    EXPECT_EQ(options.GetValue("missing"), "");
    EXPECT_FALSE(options.GetFlag("missing"));
    EXPECT_FALSE(options.HasValue("missing"));
}

TEST(CommandLine, ParseReplacesEarlierContents)
{
    CCommandLine options;
    options.Parse({"/update", "/download=x"});
    options.Parse({"/player=y"});
    EXPECT_FALSE(options.GetFlag("update"));
    EXPECT_FALSE(options.HasValue("download"));
    EXPECT_EQ(options.GetValue("player"), "y");
}

// Words are decoded as file names: UTF-8 as text, and any other byte so that it comes back.
TEST(CommandLine, ArgumentsArriveAsFileNamesWithoutTheProgramPath)
{
    const char* argv[] = {"/usr/bin/vandrel", "/player=/tmp/\xc3\xa9t\xc3\xa9.mp4",
                          "--player=/tmp/Vid\xe9o.flv",
                          "/x=\xc3\x28\xed\xa0\x80\xf4\x90\x80\x80\xc3", nullptr};
    const QStringList words = CCommandLine::WordsFromArgv(4, argv);
    ASSERT_EQ(words.size(), 3);
    EXPECT_EQ(words[0], QString::fromUtf8("/player=/tmp/été.mp4"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(platform::EncodeFileName(words[i]), QByteArray(argv[i + 1])) << i;
    // The Latin-1 name is another name than any valid UTF-8 one, so no other file is opened.
    EXPECT_NE(words[1], QString::fromUtf8("--player=/tmp/Vid\xef\xbf\xbdo.flv"));
    CCommandLine options;
    options.Parse(words);
    EXPECT_EQ(platform::EncodeFileName(options.GetValue(QStringLiteral("player"))),
              QByteArray("/tmp/Vid\xe9o.flv"));
}

} // namespace
