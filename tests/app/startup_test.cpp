// What the options ask the run to do, and start-up with recording steps: which steps ran, in
// which order, with what.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

QStringList Words(const char* text)
{
    return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
}

TEST(RunMode, OptionsSelectTheJob)
{
    struct Row {
        const char* name;
        const char* words;
        bool openWindow;
        JobKind jobKind;
        const char* url;
        const char* player;
    } const rows[] = {
        {"the player wins over a download", "/download=u /player=f", true, JobKind::None, "", "f"},
        {"convert stops the search", "/download=u /convert=c", true, JobKind::None, "", ""},
        {"a bare mode word selects nothing", "/download", true, JobKind::None, "", ""},
        {"mode words fold case", "/DOWNLOAD-MP3=u", true, JobKind::Mp3, "u", ""},
        {"download comes before mp3 in the table", "/download-mp3=a /download=b", true,
         JobKind::Download, "b", ""},
        {"the update flag in any case opens no window", "/UpDaTe /download=u", false, JobKind::None,
         "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CCommandLine options;
        options.Parse(Words(row.words));
        const StartRequest request = DecideRunMode(options);
        EXPECT_EQ(request.openWindow, row.openWindow);
        EXPECT_EQ(request.jobKind, row.jobKind);
        EXPECT_EQ(request.downloadUrl, QLatin1String(row.url));
        EXPECT_EQ(request.playerFile, QLatin1String(row.player));
    }
}

// Steps that note their names (blank-separated) and answer as set.
struct Recorder {
    QString calls;
    bool updateResult = true;
    bool displayResult = true;
    QString workspace = "/ws";
    bool extractResult = true;
    bool windowMade = true; // false: the window could not be made and never asks for the tools
    // The step after which a termination signal counts as arrived ("" for never).
    QString signalAfter;
    bool signalled = false;
    QString player;

    void Call(const QString& step)
    {
        calls += (calls.isEmpty() ? "" : " ") + step;
        signalled = signalled || step == signalAfter;
    }

    StartupSteps Steps()
    {
        return {
            [this] { return Call("update"), updateResult; },
            [this] { Call("catch"); },
            [this] { return signalled; },
            [this] { return Call("display"), displayResult; },
            [this] { return Call("create"), workspace; },
            [this](const QString& w) {
                // Slow enough that a removal which did not wait for it would come first.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return Call("extract:" + w), extractResult;
            },
            [this](const QString& w, const QString&, JobKind, const QString& p,
                   const std::function<bool()>& toolsReady) {
                // The extraction runs on its own thread meanwhile: it is recorded when the
                // window asks for the tools, before the window shows.
                if (!windowMade || !toolsReady())
                    return;
                Call("window:" + w);
                player = p;
            },
            [this](const QString& w) { Call("remove:" + w); },
        };
    }
};

// Every way the run goes: a workspace that was made is always removed, and the exit code is 0.
TEST(Startup, StepsInOrderAndEveryWayToEnd)
{
    struct Row {
        const char* name;
        const char* words;
        void (*set)(Recorder&);
        const char* calls;
    } const rows[] = {
        {"a full run", "/download-avi=http://x/y", [](Recorder&) {},
         "update catch display create extract:/ws window:/ws remove:/ws"},
        {"the update check refuses", "", [](Recorder& r) { r.updateResult = false; }, "update"},
        {"the update flag runs only the check", "--update", [](Recorder&) {}, "update"},
        {"no display: no workspace", "", [](Recorder& r) { r.displayResult = false; },
         "update catch display"},
        {"no workspace: nothing to extract or remove", "", [](Recorder& r) { r.workspace.clear(); },
         "update catch display create"},
        {"a failed extraction removes the workspace", "",
         [](Recorder& r) { r.extractResult = false; },
         "update catch display create extract:/ws remove:/ws"},
        {"a signal before the workspace", "", [](Recorder& r) { r.signalAfter = "display"; },
         "update catch display"},
        {"a signal while the workspace is made", "", [](Recorder& r) { r.signalAfter = "create"; },
         "update catch display create remove:/ws"},
        {"a window that could not be made: the extraction ends before the removal", "",
         [](Recorder& r) { r.windowMade = false; },
         "update catch display create extract:/ws remove:/ws"},
        {"a signal during the extraction", "", [](Recorder& r) { r.signalAfter = "extract:/ws"; },
         "update catch display create extract:/ws remove:/ws"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        row.set(r);
        EXPECT_EQ(RunStartup(Words(row.words), "/home/u", r.Steps()), 0);
        EXPECT_EQ(r.calls, QLatin1String(row.calls));
    }
}

// Options nothing reads stay ignored, and are named so that a mistyped one shows.
TEST(Startup, OptionsNothingReadsAreNamed)
{
    CCommandLine options;
    options.Parse({"--downlaod=u", "/Help", "--update=1", "--download", "-x", "--PLAYER=f",
                   "/Version", "--bogus", "--verſion"});
    EXPECT_EQ(UnreadOptions(options), (QStringList{"--bogus", "--download", "--verſion",
                                                   "--downlaod=...", "--update=..."}));
}

// The window gets the player file relative to where the program was started, not to the
// workspace that the extraction makes the current directory.
TEST(Startup, PlayerFileReachesTheWindowAsTheUserMeantIt)
{
    struct Row {
        const char* name;
        QString value;
        QString start;
        QString expected;
    } const rows[] = {
        {"a relative name", "clip.flv", "/home/u", "/home/u/clip.flv"},
        {"a relative name with parts", "../b/clip.flv", "/home/u/a", "/home/u/a/../b/clip.flv"},
        {"started at the root", "clip.flv", "/", "/clip.flv"},
        {"an absolute path stays", "/srv/clip.flv", "/home/u", "/srv/clip.flv"},
        {"an address stays", "http://127.0.0.1/a.flv", "/home/u", "http://127.0.0.1/a.flv"},
        {"a name with a colon is a file", "a:b.flv", "/home/u", "/home/u/a:b.flv"},
        {"an unreadable start folder leaves it as given", "clip.flv", "", "clip.flv"},
    };
    for (const Row& row : rows) {
        Recorder r;
        RunStartup({"--player=" + row.value}, row.start, r.Steps());
        EXPECT_EQ(r.player, row.expected) << row.name;
    }
}

} // namespace
