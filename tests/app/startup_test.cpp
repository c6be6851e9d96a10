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
    EXPECT_EQ(request.jobKind, c.jobKind);
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
    EXPECT_EQ(request.jobKind, 0);
}

// Start-up with recording steps: which steps ran, in which order, with what.
struct Recorder {
    std::vector<std::string> calls;
    bool updateResult = true;
    QString workspace = "/tmp/ws";
    bool extractResult = true;
    QString url, player;
    int jobKind = -1;

    StartupSteps Steps()
    {
        return {
            [this] {
                calls.push_back("update");
                return updateResult;
            },
            [this] {
                calls.push_back("create");
                return workspace;
            },
            [this](const QString& w) {
                calls.push_back("extract:" + w.toStdString());
                return extractResult;
            },
            [this](const QString& w, const QString& u, int k, const QString& p) {
                calls.push_back("window:" + w.toStdString());
                url = u, jobKind = k, player = p;
            },
            [this](const QString& w) { calls.push_back("remove:" + w.toStdString()); },
        };
    }
};

using Calls = std::vector<std::string>;

TEST(Startup, FullRunInOrderWithTheFourValues)
{
    Recorder r;
    EXPECT_EQ(RunStartup({"/download-avi=http://x/y"}, r.Steps()), 0);
    EXPECT_EQ(r.calls,
              (Calls{"update", "create", "extract:/tmp/ws", "window:/tmp/ws", "remove:/tmp/ws"}));
    EXPECT_EQ(r.url, "http://x/y");
    EXPECT_EQ(r.jobKind, 3);
    EXPECT_EQ(r.player, "");
}

TEST(Startup, UpdateCheckRefusalEndsBeforeAnyWorkspace)
{
    Recorder r;
    r.updateResult = false;
    EXPECT_EQ(RunStartup({}, r.Steps()), 0);
    EXPECT_EQ(r.calls, (Calls{"update"}));
}

TEST(Startup, UpdateFlagRunsOnlyTheCheck)
{
    Recorder r;
    EXPECT_EQ(RunStartup({"--update"}, r.Steps()), 0);
    EXPECT_EQ(r.calls, (Calls{"update"}));
}

TEST(Startup, FailedExtractionRemovesTheWorkspaceWithoutWindow)
{
    Recorder r;
    r.extractResult = false;
    EXPECT_EQ(RunStartup({"/player=a.flv"}, r.Steps()), 0);
    EXPECT_EQ(r.calls, (Calls{"update", "create", "extract:/tmp/ws", "remove:/tmp/ws"}));
}

TEST(Startup, NoWorkspaceMeansNothingToExtractOrRemove)
{
    Recorder r;
    r.workspace.clear();
    EXPECT_EQ(RunStartup({}, r.Steps()), 0);
    EXPECT_EQ(r.calls, (Calls{"update", "create"}));
}

} // namespace
