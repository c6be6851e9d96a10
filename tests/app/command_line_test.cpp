// The command-line options: how words become flags and values, and that arguments keep their
// bytes.
#include "app/command_line.h"
#include "platform/file_name.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, WordsBecomeFlagsAndValues)
{
    struct Row {
        const char* name;
        QStringList words;
        QString option;
        QString expected; // "flag", "=value", or "none" (no flag and no value of that name)
    } const rows[] = {
        {"only the first equals splits", {"/download=page?v=1&x=="}, "download", "=page?v=1&x=="},
        {"a double dash is a slash", {"--player=C:\\a.mp4"}, "player", "=C:\\a.mp4"},
        {"a single dash is no option", {"-player=x"}, "player", "none"},
        {"a bare word is no option", {"update"}, "update", "none"},
        {"names fold ASCII case", {"/UPDATE"}, "Update", "flag"},
        {"letters outside A-Z compare exactly", {"/ÄBC=1"}, "äbc", "none"},
        {"a valued option is no flag", {"/update=1"}, "update", "=1"},
        {"a flag has no value", {"/download"}, "download", "flag"},
        {"a later value wins, in any case", {"/download=a", "/DOWNLOAD=b"}, "download", "=b"},
        {"an empty name may carry a value", {"/", "--", "/=", "--=v"}, "", "=v"},
        {"an empty value is a value", {"/name="}, "name", "="},
        {"values keep blanks and quotes", {"/player= a \"b\".mp4 "}, "player", "= a \"b\".mp4 "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CCommandLine options;
        options.Parse(row.words);
        const bool valued = row.expected.startsWith(u'=');
        EXPECT_EQ(options.GetFlag(row.option), row.expected == "flag");
        EXPECT_EQ(options.HasValue(row.option), valued);
        EXPECT_EQ(options.GetValue(row.option), valued ? row.expected.mid(1) : QString());
    }

    CCommandLine options;
    options.Parse({"/update", "/download=x"});
    options.Parse({"/player=y"});
    EXPECT_FALSE(options.GetFlag("update")) << "a parse replaces the earlier contents";
    EXPECT_FALSE(options.HasValue("download"));
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
