// What the options ask the run to do, and start-up with recording steps: which steps ran, in
// which order, with what.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(RunMode, OptionsSelectTheJob)
{
    struct Row {
        const char* name;
        QStringList words;
        bool openWindow;
        JobKind jobKind;
        QString url;
        QString player;
    } const rows[] = {
        {"no arguments open the window alone", {}, true, JobKind::None, "", ""},
        {"download is one", {"/download=u"}, true, JobKind::Download, "u", ""},
        {"mp3 is two", {"--download-mp3=u"}, true, JobKind::Mp3, "u", ""},
        {"avi is three", {"/download-avi=u"}, true, JobKind::Avi, "u", ""},
        {"mp4 is four", {"/download-mp4=u"}, true, JobKind::Mp4, "u", ""},
        {"the player wins over a download",
         {"/download=u", "/player=f"},
         true,
         JobKind::None,
         "",
         "f"},
        {"convert stops the search", {"/download=u", "/convert=c"}, true, JobKind::None, "", ""},
        {"a bare mode word selects nothing", {"/download"}, true, JobKind::None, "", ""},
        {"mode words fold case", {"/DOWNLOAD-MP3=u"}, true, JobKind::Mp3, "u", ""},
        {"download comes before mp3 in the table",
         {"/download-mp3=a", "/download=b"},
         true,
         JobKind::Download,
         "b",
         ""},
        {"the update flag in any case opens no window",
         {"/UpDaTe", "/download=u"},
         false,
         JobKind::None,
         "",
         ""},
        {"update with a value is no flag", {"/update=1"}, true, JobKind::None, "", ""},
    };
    for (const Row& row : rows) {
        CCommandLine options;
        options.Parse(row.words);
        const StartRequest request = DecideRunMode(options);
        EXPECT_EQ(request.openWindow, row.openWindow) << row.name;
        EXPECT_EQ(request.jobKind, row.jobKind) << row.name;
        EXPECT_EQ(request.downloadUrl, row.url) << row.name;
        EXPECT_EQ(request.playerFile, row.player) << row.name;
    }
}

using Calls = std::vector<std::string>;

struct Recorder {
    Calls calls;
    bool updateResult = true;
    bool displayResult = true;
    QString workspace = "/tmp/ws";
    bool extractResult = true;
    bool windowMade = true; // false: the window could not be made and never asks for the tools
    // The step after which a termination signal counts as arrived ("" for never).
    std::string signalAfter;
    bool signalled = false;
    QString url, player;
    JobKind jobKind = JobKind::None;

    void Call(const std::string& step)
    {
        calls.push_back(step);
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
                return Call("extract:" + w.toStdString()), extractResult;
            },
            [this](const QString& w, const QString& u, JobKind k, const QString& p,
                   const std::function<bool()>& toolsReady) {
                // The extraction runs on its own thread meanwhile: it is recorded when the
                // window asks for the tools, before the window shows.
                if (!windowMade || !toolsReady())
                    return;
                Call("window:" + w.toStdString());
                url = u, jobKind = k, player = p;
            },
            [this](const QString& w) { Call("remove:" + w.toStdString()); },
        };
    }
};

// Every way the run goes: a workspace that was made is always removed, and the exit code is 0.
TEST(Startup, StepsInOrderAndEveryWayToEnd)
{
    const Calls upToExtract = {"update", "catch", "display", "create", "extract:/tmp/ws"};
    struct Row {
        const char* name;
        QStringList words;
        void (*set)(Recorder&);
        Calls calls;
    } const rows[] = {
        {"a full run",
         {"/download-avi=http://x/y"},
         [](Recorder&) {},
         {"update", "catch", "display", "create", "extract:/tmp/ws", "window:/tmp/ws",
          "remove:/tmp/ws"}},
        {"the update check refuses", {}, [](Recorder& r) { r.updateResult = false; }, {"update"}},
        {"the update flag runs only the check", {"--update"}, [](Recorder&) {}, {"update"}},
        {"no display: no workspace",
         {},
         [](Recorder& r) { r.displayResult = false; },
         {"update", "catch", "display"}},
        {"no workspace: nothing to extract or remove",
         {},
         [](Recorder& r) { r.workspace.clear(); },
         {"update", "catch", "display", "create"}},
        {"a failed extraction removes the workspace",
         {},
         [](Recorder& r) { r.extractResult = false; },
         {"update", "catch", "display", "create", "extract:/tmp/ws", "remove:/tmp/ws"}},
        {"a signal before the workspace",
         {},
         [](Recorder& r) { r.signalAfter = "display"; },
         {"update", "catch", "display"}},
        {"a signal while the workspace is made",
         {},
         [](Recorder& r) { r.signalAfter = "create"; },
         {"update", "catch", "display", "create", "remove:/tmp/ws"}},
        {"a window that could not be made: the extraction ends before the removal",
         {},
         [](Recorder& r) { r.windowMade = false; },
         {"update", "catch", "display", "create", "extract:/tmp/ws", "remove:/tmp/ws"}},
        {"a signal during the extraction",
         {},
         [](Recorder& r) { r.signalAfter = "extract:/tmp/ws"; },
         {"update", "catch", "display", "create", "extract:/tmp/ws", "remove:/tmp/ws"}},
    };
    for (const Row& row : rows) {
        Recorder r;
        row.set(r);
        EXPECT_EQ(RunStartup(row.words, "/home/u", r.Steps()), 0) << row.name;
        EXPECT_EQ(r.calls, row.calls) << row.name;
    }
    Recorder r;
    RunStartup({"/download-avi=http://x/y"}, "/home/u", r.Steps());
    EXPECT_EQ(r.url, "http://x/y");
    EXPECT_EQ(r.jobKind, JobKind::Avi);
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
