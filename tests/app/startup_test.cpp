#include "app/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

StartRequest ModeOf(const QStringList& words)
{
    CCommandLine options;
    options.Parse(words);
    return DecideRunMode(options);
}

struct ModeCase {
    const char* name;
    QStringList words;
    bool openWindow;
    int jobKind;
    QString url;
    QString player;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class RunMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(RunMode, SelectsJob)
{
    const ModeCase& c = GetParam();
    const StartRequest request = ModeOf(c.words);
    EXPECT_EQ(request.openWindow, c.openWindow);
    EXPECT_EQ(static_cast<int>(request.jobKind), c.jobKind);
    EXPECT_EQ(request.downloadUrl, c.url);
    EXPECT_EQ(request.playerFile, c.player);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunMode,
    ::testing::Values(
        ModeCase{"NoArguments", {}, true, 0, "", ""},
        ModeCase{"Download", {"/download=u"}, true, 1, "u", ""},
        ModeCase{"Mp3", {"--download-mp3=u"}, true, 2, "u", ""},
        ModeCase{"AviIsThree", {"/download-avi=u"}, true, 3, "u", ""},
        ModeCase{"Mp4IsFour", {"/download-mp4=u"}, true, 4, "u", ""},
        ModeCase{"PlayerWinsOverDownload", {"/download=u", "/player=f"}, true, 0, "", "f"},
        ModeCase{"ConvertStopsTheSearch", {"/download=u", "/convert=c"}, true, 0, "", ""},
        ModeCase{"BareModeWordSelectsNothing", {"/download"}, true, 0, "", ""},
        ModeCase{"ModeWordsFoldCase", {"/DOWNLOAD-MP3=u"}, true, 2, "u", ""},
        ModeCase{
            "DownloadBeforeMp3InTableOrder", {"/download-mp3=a", "/download=b"}, true, 1, "b", ""},
        ModeCase{"UpdateFlagInAnyCase", {"/UpDaTe", "/download=u"}, false, 0, "", ""},
        ModeCase{"UpdateWithValueIsNoFlag", {"/update=1"}, true, 0, "", ""}),
    [](const ::testing::TestParamInfo<ModeCase>& row) { return std::string(row.param.name); });

TEST(RunModeDetails, ConvertValueIsKeptButStartsNothing)
{
    const StartRequest request = ModeOf({"/convert=file.flv"});
    EXPECT_EQ(request.convertValue, "file.flv");
    EXPECT_EQ(request.jobKind, JobKind::None);
}

// Start-up with recording steps: which steps ran, in which order, with what.
struct Recorder {
    std::vector<std::string> calls;
    bool updateResult = true;
    bool displayResult = true;
    QString workspace = "/tmp/ws";
    bool extractResult = true;
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
            [this] {
                Call("update");
                return updateResult;
            },
            [this] { Call("catch"); },
            [this] { return signalled; },
            [this] {
                Call("display");
                return displayResult;
            },
            [this] {
                Call("create");
                return workspace;
            },
            [this](const QString& w) {
                Call("extract:" + w.toStdString());
                return extractResult;
            },
            [this](const QString& w, const QString& u, JobKind k, const QString& p) {
                Call("window:" + w.toStdString());
                url = u, jobKind = k, player = p;
            },
            [this](const QString& w) { Call("remove:" + w.toStdString()); },
        };
    }
};

using Calls = std::vector<std::string>;
const QString kStart = QStringLiteral("/home/user/videos");

TEST(Startup, FullRunInOrderWithTheFourValues)
{
    Recorder r;
    EXPECT_EQ(RunStartup({"/download-avi=http://x/y"}, kStart, r.Steps()), 0);
    EXPECT_EQ(r.calls, (Calls{"update", "catch", "display", "create", "extract:/tmp/ws",
                              "window:/tmp/ws", "remove:/tmp/ws"}));
    EXPECT_EQ(r.url, "http://x/y");
    EXPECT_EQ(r.jobKind, JobKind::Avi);
    EXPECT_EQ(r.player, "");
}

struct EndCase {
    const char* name;
    QStringList words;
    void (*set)(Recorder&);
    Calls calls;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.name;
}

class StartupEnds : public ::testing::TestWithParam<EndCase> {};

// Every way the run ends before or without its window, and what it leaves: a workspace that
// was made is always removed, and the exit code is 0.
TEST_P(StartupEnds, WithoutWindowAndWithoutWorkspace)
{
    Recorder r;
    GetParam().set(r);
    EXPECT_EQ(RunStartup(GetParam().words, kStart, r.Steps()), 0);
    EXPECT_EQ(r.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartupEnds,
    ::testing::Values(
        EndCase{"UpdateCheckRefusal", {}, [](Recorder& r) { r.updateResult = false; }, {"update"}},
        EndCase{"UpdateFlagRunsOnlyTheCheck", {"--update"}, [](Recorder&) {}, {"update"}},
        EndCase{"NoDisplayBeforeAnyWorkspace",
                {},
                [](Recorder& r) { r.displayResult = false; },
                {"update", "catch", "display"}},
        EndCase{"NoWorkspaceNothingToExtractOrRemove",
                {},
                [](Recorder& r) { r.workspace.clear(); },
                {"update", "catch", "display", "create"}},
        EndCase{"FailedExtractionRemovesTheWorkspace",
                {"/player=a.flv"},
                [](Recorder& r) { r.extractResult = false; },
                {"update", "catch", "display", "create", "extract:/tmp/ws", "remove:/tmp/ws"}},
        EndCase{"SignalBeforeTheWorkspace",
                {},
                [](Recorder& r) { r.signalAfter = "display"; },
                {"update", "catch", "display"}},
        EndCase{"SignalWhileTheWorkspaceIsMade",
                {},
                [](Recorder& r) { r.signalAfter = "create"; },
                {"update", "catch", "display", "create", "remove:/tmp/ws"}},
        EndCase{"SignalDuringTheExtraction",
                {"/download=u"},
                [](Recorder& r) { r.signalAfter = "extract:/tmp/ws"; },
                {"update", "catch", "display", "create", "extract:/tmp/ws", "remove:/tmp/ws"}}),
    [](const ::testing::TestParamInfo<EndCase>& row) { return std::string(row.param.name); });

struct PlayerCase {
    const char* name;
    QString value;
    QString start;
    QString expected;
};

void PrintTo(const PlayerCase& c, std::ostream* os)
{
    *os << c.name;
}

class PlayerFile : public ::testing::TestWithParam<PlayerCase> {};

// The window gets the player file relative to where the program was started, not to the
// workspace that the extraction makes the current directory.
TEST_P(PlayerFile, ReachesTheWindowAsTheUserMeantIt)
{
    Recorder r;
    RunStartup({QStringLiteral("--player=") + GetParam().value}, GetParam().start, r.Steps());
    EXPECT_EQ(r.player, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlayerFile,
    ::testing::Values(
        PlayerCase{"RelativeName", "clip.flv", "/home/u", "/home/u/clip.flv"},
        PlayerCase{"RelativeWithParts", "../b/clip.flv", "/home/u/a", "/home/u/a/../b/clip.flv"},
        PlayerCase{"StartedAtTheRoot", "clip.flv", "/", "/clip.flv"},
        PlayerCase{"AbsoluteStays", "/srv/clip.flv", "/home/u", "/srv/clip.flv"},
        PlayerCase{"AddressStays", "http://127.0.0.1/a.flv", "/home/u", "http://127.0.0.1/a.flv"},
        PlayerCase{"NameWithColonIsAFile", "a:b.flv", "/home/u", "/home/u/a:b.flv"},
        PlayerCase{"UnreadableStartFolderLeavesItAsGiven", "clip.flv", "", "clip.flv"}),
    [](const ::testing::TestParamInfo<PlayerCase>& row) { return std::string(row.param.name); });

} // namespace
