// The command-line options: how words become flags and values, and that arguments keep their
// bytes.
#include "app/command_line.h"
#include "platform/file_name.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(CommandLine, WordsBecomeFlagsAndValues)
{
    struct Row {
        const char* name;
        QStringList words;
        QString option;
        bool flag;
        std::optional<QString> value; // nullopt: no valued option of that name
    } const rows[] = {
        {"only the first equals splits",
         {"/download=page?v=1&x=="},
         "download",
         false,
         "page?v=1&x=="},
        {"a double dash is a slash", {"--player=C:\\a.mp4"}, "player", false, "C:\\a.mp4"},
        {"a single dash is no option", {"-player=x"}, "player", false, std::nullopt},
        {"a bare word is no option", {"update"}, "update", false, std::nullopt},
        {"names fold ASCII case", {"/UPDATE"}, "Update", true, std::nullopt},
        {"letters outside A-Z compare exactly", {"/ÄBC=1"}, "äbc", false, std::nullopt},
        {"a valued option is no flag", {"/update=1"}, "update", false, "1"},
        {"a flag has no value", {"/download"}, "download", true, std::nullopt},
        {"a later value replaces an earlier one in any case",
         {"/download=a", "/DOWNLOAD=b"},
         "download",
         false,
         "b"},
        {"an empty name may carry a value", {"/", "--", "/=", "--=v"}, "", false, "v"},
        {"an empty value is a value", {"/name="}, "name", false, ""},
        {"values keep blanks and quotes",
         {"/player= a \"b\".mp4 "},
         "player",
         false,
         " a \"b\".mp4 "},
    };
    for (const Row& row : rows) {
        CCommandLine options;
        options.Parse(row.words);
        EXPECT_EQ(options.GetFlag(row.option), row.flag) << row.name;
        EXPECT_EQ(options.HasValue(row.option), row.value.has_value()) << row.name;
        EXPECT_EQ(options.GetValue(row.option), row.value.value_or("")) << row.name;
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
