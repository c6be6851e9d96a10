// The built program as a user meets it, through its window on the test display: its real tools
// fetch clips from the loopback server; what it hands to the user's programs is recorded.
#include "app_driver.h"
#include "contrast.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <csignal>

namespace {

using namespace app_geometry;

constexpr int kJobTimeoutMs = 180000;
constexpr int kScreenTimeoutMs = 30000;

const auto Spread = [](QRgb c) {
    return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)});
};
const auto IsWhite = [](QRgb c) { return qRed(c) > 225 && qGreen(c) > 225 && qBlue(c) > 225; };
// Saturated blue: the job buttons' face when they can be pressed.
const auto IsBlue = [](QRgb c) { return qBlue(c) > qRed(c) + 60 && qBlue(c) > 120; };
// Grey, what the colour matrix of a disabled element leaves; vivid, as in the test clips' colour
// bars, which the skin never is.
const auto IsGrey = [](QRgb c) { return Spread(c) < 16; };
const auto IsVivid = [](QRgb c) { return Spread(c) > 100; };

bool Near(QRgb a, QRgb b, int tolerance = 24)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

double Share(const QRect& rect, const std::function<bool(int x, int y)>& hit)
{
    int hits = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            hits += hit(x, y) ? 1 : 0;
    return static_cast<double>(hits) / (rect.width() * rect.height());
}

double Fraction(const QImage& image, const QRect& rect, const std::function<bool(QRgb)>& test)
{
    return Share(rect, [&](int x, int y) { return test(image.pixel(x, y)); });
}

// Share of rect whose pixels are the bare skin's: premultiplied colour, over black.
double SkinShare(const QImage& window, const QRect& rect)
{
    static const QImage skin =
        QImage(testenv::BinaryDir() + QStringLiteral("/resources/art/png/132.png"))
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return Share(rect, [&](int x, int y) {
        const QRgb c = skin.pixel(x, y);
        return Near(window.pixel(x, y), qRgb(qRed(c), qGreen(c), qBlue(c)));
    });
}

double ChangedShare(const QImage& a, const QImage& b, const QRect& rect)
{
    return Share(rect, [&](int x, int y) { return !Near(a.pixel(x, y), b.pixel(x, y), 8); });
}

const QRect kUrlFieldInside = kUrlField.adjusted(3, 3, -3, -3);

// The download page: its URL field white where the tree puts it. The player page: the clip's
// colour bars fill the browser's rectangle, where the skin is dark grey. No page: the bare skin.
const auto DownloadPageShown = [](const QImage& w) {
    return Fraction(w, kUrlFieldInside, IsWhite) > 0.6;
};
const auto PlayerPageShown = [](const QImage& w) {
    return Fraction(w, kBrowser, IsVivid) > 0.3 && !DownloadPageShown(w);
};
const auto NoPageShown = [](const QImage& w) { return SkinShare(w, kBrowser) > 0.98; };
// Dark letters in the log box, which is white while it is empty.
const auto LineInLog = [](const QImage& w) {
    return DownloadPageShown(w) &&
           Fraction(w, kLogBox, [](QRgb c) { return qGray(c) < 96; }) > 0.01;
};
const auto CloseShown = [](const QImage& w) {
    return IsWhite(w.pixel(kCloseButton)) && qGray(w.pixel(kStopSquareSample)) < 120;
};
// Busy: grey buttons, and the stop square in the close button's place.
const auto Busy = [](const QImage& w) {
    return IsGrey(w.pixel(kMp3ButtonSample)) && IsWhite(w.pixel(kStopSquareSample));
};
const auto Idle = [](const QImage& w) {
    return IsBlue(w.pixel(kMp3ButtonSample)) && CloseShown(w);
};

// The local file behind the first thing the opener was given (a file: URL or a path).
QString OpenedFile(const AppDriver& app)
{
    const QUrl url(app.Opened().value(0));
    return url.isLocalFile() ? url.toLocalFile() : app.Opened().value(0);
}

QString Url(const QString& path)
{
    return testenv::HttpBase() + u'/' + path;
}

std::string Describe(AppDriver& app)
{
    return ("stderr: " + app.ErrorOutput() +
            "\nfolder: " + testenv::FilesIn(app.DownloadFolder()).join(u", ").toUtf8() +
            "\nopened: " + app.Opened().join(u", ").toUtf8())
        .toStdString();
}

// The one file a finished job left: its path, or empty (a failure) when there is not exactly one.
QString OnlyFile(AppDriver& app)
{
    const QStringList files = testenv::FilesIn(app.DownloadFolder());
    EXPECT_EQ(files.size(), 1) << Describe(app);
    return files.size() == 1 ? app.DownloadFolder() + u'/' + files[0] : QString();
}

// The run ends with 0 and takes its workspace.
void ExitsCleanly(AppDriver& app)
{
    EXPECT_EQ(app.WaitForExit(30000), 0) << Describe(app);
    EXPECT_TRUE(app.Workspaces().isEmpty()) << app.Workspaces().join(u' ').toStdString();
}

struct StartCase {
    const char* name;
    // Given as "option=source"; "URL" and "FILE" give the source alone, the file as the file://
    // URL a desktop passes.
    const char* option;
    // A clip on the loopback server; for --player= and FILE one copied into the folder the program
    // starts from, given relative to it or (with a leading "/") as an absolute path.
    const char* source;
    const char* suffix; // of the one file the opener gets; empty: the player page plays it
    const char* codecs; // a downloaded file's streams, in order
    // The file went to the opener after the page could not take it: the download page shows,
    // with a line in its log, instead of no page.
    bool logged = false;
};

class StartedWith : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartedWith, HandsTheFileToTheOpenerOrPlaysItInThePage)
{
    const StartCase& c = GetParam();
    AppDriver app;
    const QString option = QString::fromLatin1(c.option);
    const bool player = option == u"--player" || option == u"FILE";
    const QString name = QString::fromLatin1(c.source).section(u'/', -1);
    const QString clip = app.SandboxFolder() + u'/' + name;
    if (player) {
        ASSERT_TRUE(QFile::copy(testenv::MediaDir() + u'/' + name, clip));
    }
    const QString source = !player             ? Url(QLatin1String(c.source))
                           : option == u"FILE" ? QUrl::fromLocalFile(clip).toString()
                           : *c.source == '/'  ? clip
                                               : name;
    ASSERT_TRUE(app.Start({option.startsWith(u'-') ? option + u'=' + source : source}))
        << Describe(app);
    if (option == u"URL") {
        // The address waits in its field, which has the keyboard and so shows it selected as
        // a dialog's first field does, and no job has started: the MP3 button starts one.
        EXPECT_TRUE(app.WaitForWindowImage(
            [](const QImage& w) {
                return SkinShare(w, kUrlFieldInside) < 0.5 &&
                       Fraction(w, kUrlFieldInside, IsWhite) < 0.97 && Idle(w);
            },
            kScreenTimeoutMs, QStringLiteral("address")));
        EXPECT_TRUE(app.Opened().isEmpty() && testenv::FilesIn(app.DownloadFolder()).isEmpty())
            << Describe(app);
        app.Click(kMp3Button);
    }

    if (*c.suffix) {
        // The play-after-download box starts ticked: the result goes to the user's program.
        ASSERT_TRUE(testenv::WaitUntil([&] { return !app.Opened().isEmpty(); }, kJobTimeoutMs))
            << Describe(app);
        QImage window;
        EXPECT_TRUE(app.WaitForWindowImage(c.logged ? LineInLog
                                           : player ? NoPageShown
                                                    : Idle,
                                           kScreenTimeoutMs, QStringLiteral("finished"), &window))
            << SkinShare(window, kBrowser);
        const QString file = player ? clip : OnlyFile(app);
        EXPECT_TRUE(file.endsWith(QLatin1String(c.suffix))) << file.toStdString();
        if (!player) {
            EXPECT_EQ(testenv::StreamCodecs(file), QLatin1String(c.codecs));
        }
        EXPECT_EQ(app.Opened().size(), 1);
        EXPECT_EQ(OpenedFile(app), file);
    } else {
        QImage first;
        ASSERT_TRUE(app.WaitForWindowImage(PlayerPageShown, kJobTimeoutMs, QStringLiteral("player"),
                                           &first))
            << Fraction(first, kBrowser, IsVivid) << Describe(app);
        // It plays: the picture in the page moves.
        EXPECT_TRUE(app.WaitForWindowImage(
            [&](const QImage& w) { return ChangedShare(first, w, kBrowser) > 0.05; }, 10000,
            QStringLiteral("player-later")));
        EXPECT_TRUE(app.Opened().isEmpty()) << Describe(app);
        if (!player) {
            EXPECT_FALSE(OnlyFile(app).isEmpty());
            app.Click(kBackButton);
            EXPECT_TRUE(app.WaitForWindowImage(DownloadPageShown, kScreenTimeoutMs,
                                               QStringLiteral("back")));
        }
    }
    // Idle, the run ends by the close button, or for a file to play by the window manager's close.
    if (player)
        EXPECT_TRUE(app.RequestClose());
    else
        app.Click(kCloseButton);
    ExitsCleanly(app);
}

INSTANTIATE_TEST_SUITE_P(
    AppE2E, StartedWith,
    ::testing::Values(
        StartCase{"Download_OfAPage_KeepsTheMp4ItPlays", "--download", "page.html", ".mp4",
                  "h264 aac"},
        // Its video names no codecs and its sound comes apart: the MP3 is made of the sound.
        StartCase{"DownloadMp3_OfAnHlsMaster_ConvertsItsSoundAndRemovesIt", "--download-mp3",
                  "hls/master.m3u8", ".mp3", "mp3"},
        StartCase{"DownloadAvi_ConvertsTheFlvAndRemovesIt", "--download-avi", "clip.flv", ".avi",
                  "mpeg4 mp3"},
        StartCase{"DownloadMp4_ConvertsTheFlvAndRemovesIt", "--download-mp4", "clip.flv", ".mp4",
                  "h264 aac"},
        StartCase{"Download_OfAnFlv_PlaysInThePage_BackReturnsToTheDownloadPage", "--download",
                  "clip.flv", "", ""},
        StartCase{"Player_Mp4_GoesToTheDesktopOpener_NoPage", "--player", "/clip.mp4", ".mp4", ""},
        StartCase{"Player_RelativeFlv_PlaysInThePlayerPage", "--player", "clip.flv", "", ""},
        StartCase{"PlainUrl_WaitsInTheFieldForTheMp3Button", "URL", "clip.mp4", ".mp3", "mp3"},
        StartCase{"PlainFileUrl_Flv_PlaysInThePlayerPage", "FILE", "clip.flv", "", ""},
        // Flash video the page's player cannot read: a copy made by the converter plays, and
        // one the converter cannot read goes to the opener.
        StartCase{"Player_SorensonFlv_PlaysConvertedInThePlayerPage", "--player", "sorenson.flv",
                  "", ""},
        StartCase{"Player_DamagedVp6Flv_GoesToTheDesktopOpenerWithALineInTheLog", "--player",
                  "/broken-vp6.flv", ".flv", "", true}),
    [](const ::testing::TestParamInfo<StartCase>& row) { return std::string(row.param.name); });

TEST(AppE2E, DraggedByTheSkinWithItsFieldsThenATypedAddressAndTheMp3ButtonMakeAnMp3)
{
    AppDriver app;
    // Qt's own options are not obeyed: they would put the window elsewhere or nowhere.
    ASSERT_TRUE(app.Start(
        {"-platform", "offscreen", "-display", ":1999", "-stylesheet", "/nonexistent.qss"}))
        << Describe(app);
    ASSERT_TRUE(
        app.WaitForWindowImage(DownloadPageShown, kScreenTimeoutMs, QStringLiteral("start")));

    const QPoint before = app.WindowOrigin();
    const QPoint by(-140, -90);
    app.Drag(kBareSkin, kBareSkin + by);
    EXPECT_TRUE(WaitPaced([&] { return app.WindowOrigin() == before + by; }, 10000))
        << "window at " << app.WindowOrigin().x() << "," << app.WindowOrigin().y();
    QImage moved;
    EXPECT_TRUE(app.WaitForWindowImage(DownloadPageShown, kScreenTimeoutMs, QStringLiteral("moved"),
                                       &moved))
        << Fraction(moved, kUrlFieldInside, IsWhite);
    // Where the field was before, relative to the screen, there is no field now.
    EXPECT_LT(Fraction(app.Screen(), kUrlFieldInside.translated(before), IsWhite), 0.5);

    app.Click(kUrlField.center());
    app.Type(Url(QStringLiteral("clip.mp4")));
    EXPECT_TRUE(app.WaitForWindowImage(
        [](const QImage& w) { return Fraction(w, kUrlFieldInside, IsWhite) < 0.97; },
        kScreenTimeoutMs, QStringLiteral("typed")))
        << "no text appeared in the URL field";
    app.Click(kMp3Button);

    ASSERT_TRUE(testenv::WaitUntil([&] { return !app.Opened().isEmpty(); }, kJobTimeoutMs))
        << Describe(app);
    const QString file = OnlyFile(app);
    EXPECT_TRUE(file.endsWith(QLatin1String(".mp3")));
    EXPECT_EQ(testenv::StreamCodecs(file), QStringLiteral("mp3"));
    EXPECT_EQ(OpenedFile(app), file);

    // Idle again, Escape ends the dialog.
    EXPECT_TRUE(app.WaitForWindowImage(Idle, kScreenTimeoutMs, QStringLiteral("finished")));
    app.Key(QStringLiteral("Escape"));
    ExitsCleanly(app);
}

// A slow MP3 job, stopped with the stop square, started again with the MP3 button and cut short
// by SIGTERM.
TEST(AppE2E, DuringAJobNothingClosesTheStopButtonAndSigtermEndItAndLeaveNoToolFileNorWorkspace)
{
    AppDriver app;
    ASSERT_TRUE(
        app.Start({QStringLiteral("--download-mp3=") + Url(QStringLiteral("slow/long20.mp4"))}))
        << Describe(app);
    const auto downloading = [&] {
        return testenv::WaitUntil([&] { return !testenv::FilesIn(app.DownloadFolder()).isEmpty(); },
                                  60000);
    };
    // Unfinished files of other programs in the same folder.
    const QStringList others{QStringLiteral("concert.temp.mp4"), QStringLiteral("photos.zip.part"),
                             QStringLiteral("talk.mp4.ytdl")};
    const auto noToolNorFile = [&] {
        EXPECT_TRUE(WaitPaced([&] { return app.ProcessesInSandbox().isEmpty(); }, 10000))
            << app.ProcessesInSandbox().join(u'\n').toStdString();
        // The stopped job converted nothing and removed its unfinished download, and only that.
        EXPECT_EQ(testenv::FilesIn(app.DownloadFolder()), others) << Describe(app);
    };
    QImage busy;
    ASSERT_TRUE(app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy"), &busy))
        << "MP3 button " << std::hex << busy.pixel(kMp3ButtonSample) << ", close button "
        << busy.pixel(kStopSquareSample);
    ASSERT_TRUE(downloading()) << Describe(app);
    for (const QString& name : others)
        testenv::WriteFile(app.DownloadFolder() + u'/' + name, "another program's");

    // The downloader's progress lines replace each other at the top of the log box.
    QImage progress = busy;
    for (const char* name : {"busy-progress", "busy-more-progress"}) {
        const QImage earlier = progress;
        EXPECT_TRUE(app.WaitForWindowImage(
            [&](const QImage& w) { return ChangedShare(earlier, w, kLogBox) > 0.002; },
            kScreenTimeoutMs, QLatin1String(name), &progress));
    }
    // White text that can be read on the busy picture: with the text a small part of the box,
    // most of it is the background the text is read on.
    EXPECT_GT(Fraction(progress, kLogBox, IsWhite), 0.02);
    EXPECT_GE(
        Fraction(progress, kLogBox, [](QRgb c) { return testenv::ContrastWithWhite(c) >= 4.5; }),
        0.7);

    // Escape and the window manager's close are both refused while the job runs.
    app.Key(QStringLiteral("Escape"));
    EXPECT_TRUE(app.RequestClose());
    QThread::msleep(2000);
    ASSERT_TRUE(app.Running()) << "a close ended the run during the job\n" << Describe(app);
    EXPECT_TRUE(
        app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy-after-closes")));

    app.Click(kCloseButton); // the stop square in its place
    EXPECT_TRUE(app.WaitForWindowImage(Idle, kScreenTimeoutMs, QStringLiteral("stopped")))
        << Describe(app);
    EXPECT_TRUE(app.Running()) << "a stop ends the job, not the program";
    noToolNorFile();

    // The address is still in its field; the stop square comes back without its hot look.
    app.Click(kMp3Button);
    ASSERT_TRUE(app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy-again")));
    ASSERT_TRUE(downloading()) << Describe(app);
    ASSERT_FALSE(app.ProcessesInSandbox().isEmpty());
    ASSERT_EQ(app.Workspaces().size(), 1);

    ASSERT_GT(app.Pid(), 0);
    ::kill(static_cast<pid_t>(app.Pid()), SIGTERM);
    ExitsCleanly(app);
    noToolNorFile();
}

// A run killed outright takes its tools along, even one that writes nothing (a downloader
// waiting for a server that never answers); a later start removes the killed run's workspace,
// and a start beside a live run leaves that run's workspace alone.
TEST(AppE2E, AKilledRunLeavesNoToolAndALaterStartRemovesItsWorkspaceButNoLiveRunsOne)
{
    AppDriver app;
    ASSERT_TRUE(app.Start({QStringLiteral("--download=") + Url(QStringLiteral("hang/clip.mp4"))}))
        << Describe(app);
    ASSERT_TRUE(WaitPaced([&] { return !app.ProcessesInSandbox().isEmpty(); }, 30000));
    const QStringList killed = app.Workspaces();
    ASSERT_EQ(killed.size(), 1);
    ::kill(static_cast<pid_t>(app.Pid()), SIGKILL);
    EXPECT_TRUE(WaitPaced([&] { return app.ProcessesInSandbox().isEmpty(); }, 5000))
        << app.ProcessesInSandbox().join(u'\n').toStdString();

    // The window shows once the start has looked for workspaces left behind.
    ASSERT_TRUE(app.Start({})) << Describe(app);
    const QStringList live = app.Workspaces();
    EXPECT_EQ(live.size(), 1);
    EXPECT_NE(live, killed) << "the killed run's workspace is still there";
    ASSERT_TRUE(app.Start({})) << Describe(app);
    EXPECT_EQ(app.Workspaces().size(), 2) << app.Workspaces().join(u' ').toStdString();
    app.Click(kCloseButton);
    EXPECT_EQ(app.WaitForExit(30000), 0) << Describe(app);
    EXPECT_EQ(app.Workspaces(), live) << "a live run's workspace is gone";
}

} // namespace
