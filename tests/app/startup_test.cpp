// The command line (flags and values, arguments that keep their bytes), what the options ask the
// run to do, and start-up with recording steps: which steps ran, in which order, with what.
#include "app/startup.h"
#include "platform/file_name.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace {

using namespace app;

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
        {"a later value wins, in any case", {"/download=a", "/DOWNLOAD=b"}, "download", "=b"},
        {"an empty value is a value", {"/player="}, "player", "="},
        {"a slash word naming no option is a path", {"/name=x"}, "name", "none"},
        {"values keep blanks and quotes", {"/player= a \"b\".mp4 "}, "player", "= a \"b\".mp4 "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CommandLine options;
        options.Parse(row.words);
        const bool valued = row.expected.startsWith(u'=');
        EXPECT_EQ(options.GetFlag(row.option), row.expected == "flag");
        EXPECT_EQ(options.HasValue(row.option), valued);
        EXPECT_EQ(options.GetValue(row.option), valued ? row.expected.mid(1) : QString());
    }
}

// Words are decoded as file names: UTF-8 as text, and any other byte so that it comes back.
TEST(CommandLine, ArgumentsArriveAsFileNamesWithoutTheProgramPath)
{
    const char* argv[] = {"/usr/bin/vandrel", "/player=/tmp/\xc3\xa9t\xc3\xa9.mp4",
                          "--player=/tmp/Vid\xe9o.flv",
                          "/x=\xc3\x28\xed\xa0\x80\xf4\x90\x80\x80\xc3", nullptr};
    const QStringList words = CommandLine::WordsFromArgv(4, argv);
    ASSERT_EQ(words.size(), 3);
    EXPECT_EQ(words[0], QString::fromUtf8("/player=/tmp/été.mp4"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(platform::EncodeFileName(words[i]), QByteArray(argv[i + 1])) << i;
    CommandLine options;
    options.Parse(words);
    EXPECT_EQ(platform::EncodeFileName(options.GetValue(QStringLiteral("player"))),
              QByteArray("/tmp/Vid\xe9o.flv"));
}

QStringList Words(const char* text)
{
    return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
}

// Steps that note their names (blank-separated); a termination signal counts as arrived after
// the step signalAfter.
struct Recorder {
    QString calls;
    bool windowMade = true; // false: the window could not be made and never asks for the tools
    QString signalAfter;
    QString failAt;                // the step that fails
    bool installerStarted = false; // the update check ends the run
    bool signalled = false;
    download::JobKind kind = download::JobKind::Mp4;
    QString url, player;

    // True unless step is the one that fails.
    bool Call(const QString& step)
    {
        calls += (calls.isEmpty() ? "" : " ") + step;
        signalled = signalled || step == signalAfter;
        return step != failAt;
    }

    StartupSteps Steps()
    {
        return {
            [this] {
                if (!Call("update"))
                    return update::UpdateCheckResult::Failed;
                return installerStarted ? update::UpdateCheckResult::EndRun
                                        : update::UpdateCheckResult::Continue;
            },
            [this] { Call("catch"); },
            [this] { return signalled; },
            [this] { return Call("display"); },
            [this]() -> platform::Expected<Workspace> {
                if (!Call("create"))
                    return platform::Fail("no workspace");
                return Workspace{QStringLiteral("/ws"), {}};
            },
            [this](const QString& w) -> platform::Expected<void> {
                // Slow enough that a removal which did not wait for it would come first.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (!Call("extract:" + w))
                    return platform::Fail("damaged");
                return {};
            },
            [this](const QString& w, const QString& u, download::JobKind k, const QString& p,
                   const std::function<bool()>& toolsReady) {
                // The extraction runs on its own thread meanwhile: it is recorded when the
                // window asks for the tools, before the window shows.
                if (!windowMade)
                    return false;
                if (toolsReady()) {
                    Call("window:" + w);
                    url = u, kind = k, player = p;
                }
                return true;
            },
            [this](const QString& w) { Call("remove:" + w); },
        };
    }
};

// A signal at each point of the start, steps that fail, and a window that could not be made:
// the workspace that was made is always removed, after the extraction. A start that ends for a
// failure exits with 1; the window closed, a signal and the update flag alone with 0.
TEST(Startup, StepsThatEndTheStartAndTheExitCode)
{
    struct Row {
        const char* name;
        void (*set)(Recorder&);
        const char* calls;
        int exitCode;
        const char* words = "";
    } const rows[] = {
        {"the window runs and is closed", [](Recorder&) {},
         "update catch display create extract:/ws window:/ws remove:/ws", 0},
        {"the update flag runs only the check", [](Recorder&) {}, "update", 0, "--update"},
        {"an update installer was started", [](Recorder& r) { r.installerStarted = true; },
         "update", 0},
        {"a signal before the workspace", [](Recorder& r) { r.signalAfter = "display"; },
         "update catch display", 0},
        {"a signal while the workspace is made", [](Recorder& r) { r.signalAfter = "create"; },
         "update catch display create remove:/ws", 0},
        {"a signal during the extraction", [](Recorder& r) { r.signalAfter = "extract:/ws"; },
         "update catch display create extract:/ws remove:/ws", 0},
        {"no settings or no AffID", [](Recorder& r) { r.failAt = "update"; }, "update", 1},
        {"the update flag without settings", [](Recorder& r) { r.failAt = "update"; }, "update", 1,
         "--update"},
        {"no display", [](Recorder& r) { r.failAt = "display"; }, "update catch display", 1},
        {"no workspace", [](Recorder& r) { r.failAt = "create"; }, "update catch display create",
         1},
        {"a damaged payload", [](Recorder& r) { r.failAt = "extract:/ws"; },
         "update catch display create extract:/ws remove:/ws", 1},
        {"a window that could not be made: the extraction ends before the removal",
         [](Recorder& r) { r.windowMade = false; },
         "update catch display create extract:/ws remove:/ws", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        row.set(r);
        EXPECT_EQ(RunStartup(Words(row.words), "/home/u", r.Steps()), row.exitCode);
        EXPECT_EQ(r.calls, QLatin1String(row.calls));
    }
}

// Options nothing reads stay ignored, and are named so that a mistyped one shows.
TEST(Startup, OptionsNothingReadsAreNamed)
{
    CommandLine options;
    options.Parse({"--downlaod=u", "/Help", "--update=1", "--download", "-x", "--PLAYER=f",
                   "/Version", "--bogus", "--verſion"});
    EXPECT_EQ(UnreadOptions(options), (QStringList{"--bogus", "--download", "--verſion",
                                                   "--downlaod=...", "--update=..."}));
}

// The job the words select reaches the window, and the player file relative to where the
// program was started, not to the workspace that the extraction makes the current directory.
// "@" stands for a folder that holds the file clip.mp4; unused words are noted for standard error.
TEST(Startup, TheWindowGetsTheJobAndThePlayerFileTheUserMeant)
{
    struct Row {
        const char* name;
        const char* words;
        QString start;
        download::JobKind kind;
        QString url;
        QString player;
        const char* note = ""; // the lines for standard error
    } const rows[] = {
        {"player wins over download", "/download=u /player=f", "/s", download::JobKind::None, "",
         "/s/f"},
        {"convert stops the search", "/download=u /convert=c", "/s", download::JobKind::None, "",
         ""},
        {"a bare mode word selects nothing", "/download", "/s", download::JobKind::None, "", ""},
        {"download before mp3", "/download-mp3=a /download=b", "/s", download::JobKind::Download,
         "b", ""},
        {"relative, with parts", "--player=../b/c.flv", "/a", download::JobKind::None, "",
         "/a/../b/c.flv"},
        {"started at the root", "--player=c.flv", "/", download::JobKind::None, "", "/c.flv"},
        {"an address stays", "--player=http://h/a.flv", "/s", download::JobKind::None, "",
         "http://h/a.flv"},
        {"a file URL is its path", "--player=file:///t/Vid%E9o%20a.flv", "/s",
         download::JobKind::None, "", platform::DecodeFileName("/t/Vid\xe9o a.flv")},
        {"a file URL with one slash", "--player=FILE:/t/c.mp4", "/s", download::JobKind::None, "",
         "/t/c.mp4"},
        {"colon in a file name", "--player=a:b.flv", "/s", download::JobKind::None, "",
         "/s/a:b.flv"},
        {"no start folder: as given", "--player=c.flv", "", download::JobKind::None, "", "c.flv"},
        {"a plain address fills the field and starts nothing", "HTTPS://h/v?a=1", "/s",
         download::JobKind::None, "HTTPS://h/v?a=1", ""},
        {"a plain file plays", "@/clip.mp4", "/s", download::JobKind::None, "", "@/clip.mp4"},
        {"a plain relative file", "clip.mp4", "@", download::JobKind::None, "", "@/clip.mp4"},
        {"a plain file URL", "file://@/clip.mp4", "/s", download::JobKind::None, "", "@/clip.mp4"},
        {"a missing file is named", "/no/such/file.mp4", "/s", download::JobKind::None, "", "",
         "/no/such/file.mp4: no such file"},
        {"a folder is no file", "@", "/s", download::JobKind::None, "", "",
         "@: not a file to play"},
        {"another scheme", "ftp://h/v", "/s", download::JobKind::None, "", "",
         "ftp://h/v: neither a file nor an http or https address"},
        {"a slash option wins over a plain word", "@/clip.mp4 /Download=http://h/v", "/s",
         download::JobKind::Download, "http://h/v", "",
         "ignoring @/clip.mp4: an option already says what to do"},
        {"the first plain word counts", "http://h/v @/clip.mp4", "/s", download::JobKind::None,
         "http://h/v", "", "ignoring @/clip.mp4: only the first address or file is used"},
        {"a bare option word leaves the plain word", "--download clip.mp4", "@",
         download::JobKind::None, "", "@/clip.mp4"},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(QFile(folder.filePath("clip.mp4")).open(QIODevice::WriteOnly));
    const auto withFolder = [&](QString text) { return text.replace(u'@', folder.path()); };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QStringList words = Words(row.words).replaceInStrings("@", folder.path());
        Recorder r;
        RunStartup(words, withFolder(row.start), r.Steps());
        EXPECT_EQ(r.kind, row.kind);
        EXPECT_EQ(r.url, row.url);
        EXPECT_EQ(r.player, withFolder(row.player));
        CommandLine options;
        options.Parse(words);
        EXPECT_EQ(DecideRunMode(options, withFolder(row.start)).notes.join(u'\n'),
                  withFolder(row.note));
    }
}

} // namespace
