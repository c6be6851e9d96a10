// The built program as a user meets it: started with each mode word or none, driven through
// its window on the test display with the pointer and the keyboard, with the real payload's
// downloader and converter fetching clips from the loopback server. What it hands to the
// user's own programs goes to a recording desktop opener. Screenshots of every case are kept
// under build/artifacts/app_e2e/<test>/.
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

// ---- pixels -------------------------------------------------------------------------------

bool IsWhite(QRgb c)
{
    return qRed(c) > 225 && qGreen(c) > 225 && qBlue(c) > 225;
}

// Saturated blue: the job buttons' face when they can be pressed.
bool IsBlue(QRgb c)
{
    return qBlue(c) > qRed(c) + 60 && qBlue(c) > 120;
}

// Grey: what the colour matrix of a disabled element leaves.
bool IsGrey(QRgb c)
{
    return std::abs(qRed(c) - qGreen(c)) < 16 && std::abs(qGreen(c) - qBlue(c)) < 16 &&
           std::abs(qRed(c) - qBlue(c)) < 16;
}

bool Near(QRgb a, QRgb b, int tolerance = 24)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Share of rect's pixels for which hit holds.
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

// The download page is over the skin: its URL field shows white where the tree puts it.
bool DownloadPageShown(const QImage& w)
{
    return Fraction(w, kUrlFieldInside, IsWhite) > 0.6;
}

bool CloseShown(const QImage& w)
{
    return IsWhite(w.pixel(kCloseButton)) && qGray(w.pixel(kStopSquareSample)) < 120;
}

// Grey buttons, and the stop square in the close button's place.
bool Busy(const QImage& w)
{
    return IsGrey(w.pixel(kMp3ButtonSample)) && IsWhite(w.pixel(kStopSquareSample));
}

bool Idle(const QImage& w)
{
    return IsBlue(w.pixel(kMp3ButtonSample)) && CloseShown(w);
}

// Strong colour, as in the test clips' colour bars; the skin has none.
bool IsVivid(QRgb c)
{
    const int high = std::max({qRed(c), qGreen(c), qBlue(c)});
    const int low = std::min({qRed(c), qGreen(c), qBlue(c)});
    return high - low > 100;
}

// The player page is over the skin and shows the clip: its colour bars fill the browser's
// rectangle, where the skin is dark grey.
bool PlayerPageShown(const QImage& w)
{
    return Fraction(w, kBrowser, IsVivid) > 0.3 && !DownloadPageShown(w);
}

// ---- files --------------------------------------------------------------------------------

// A file's stream codecs, sorted, joined by blanks.
QString Codecs(const QString& file)
{
    QStringList codecs = testenv::StreamCodecs(file).split(u' ', Qt::SkipEmptyParts);
    codecs.sort();
    return codecs.join(u' ');
}

// The local file behind what the opener was given (a file: URL or a path).
QString OpenedFile(const QString& argument)
{
    const QUrl url(argument);
    return url.isLocalFile() ? url.toLocalFile() : argument;
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

// Closes an idle window with its close button; the run ends with 0 and takes its workspace.
void CloseWithTheCloseButton(AppDriver& app)
{
    app.Click(kCloseButton);
    EXPECT_EQ(app.WaitForExit(30000), 0) << Describe(app);
    EXPECT_TRUE(app.Workspaces().isEmpty()) << app.Workspaces().join(u' ').toStdString();
}

// ---- each mode word -----------------------------------------------------------------------

struct ModeCase {
    const char* name;
    const char* option;
    const char* source; // on the loopback server
    const char* suffix; // of the one file the job leaves
    const char* codecs; // its streams, sorted, joined by blanks
};

class ModeWord : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeWord, LeavesOneFileOfItsKindAndPlaysIt)
{
    const ModeCase& c = GetParam();
    AppDriver app;
    ASSERT_TRUE(
        app.Start({QString::fromLatin1(c.option) + u'=' + Url(QString::fromLatin1(c.source))}))
        << Describe(app);

    // The play-after-download box starts ticked: the result goes to the user's program.
    ASSERT_TRUE(testenv::WaitUntil([&] { return !app.Opened().isEmpty(); }, kJobTimeoutMs))
        << Describe(app);
    EXPECT_TRUE(app.WaitForWindowImage(Idle, kScreenTimeoutMs, QStringLiteral("finished")));

    const QString file = OnlyFile(app);
    EXPECT_TRUE(file.endsWith(QLatin1String(c.suffix))) << file.toStdString();
    EXPECT_EQ(Codecs(file), QLatin1String(c.codecs));
    EXPECT_EQ(app.Opened().size(), 1);
    EXPECT_EQ(OpenedFile(app.Opened().value(0)), file);

    CloseWithTheCloseButton(app);
}

INSTANTIATE_TEST_SUITE_P(
    AppE2E, ModeWord,
    ::testing::Values(ModeCase{"Download_OfAPage_KeepsTheMp4ItPlays", "--download", "page.html",
                               ".mp4", "aac h264"},
                      ModeCase{"DownloadMp3_ConvertsTheMp4AndRemovesIt", "--download-mp3",
                               "clip.mp4", ".mp3", "mp3"},
                      ModeCase{"DownloadAvi_ConvertsTheFlvAndRemovesIt", "--download-avi",
                               "clip.flv", ".avi", "mp3 mpeg4"},
                      ModeCase{"DownloadMp4_ConvertsTheFlvAndRemovesIt", "--download-mp4",
                               "clip.flv", ".mp4", "aac h264"}),
    [](const ::testing::TestParamInfo<ModeCase>& row) { return std::string(row.param.name); });

// ---- --player= ----------------------------------------------------------------------------

struct PlayerCase {
    const char* name;
    const char* clip; // copied into the folder the program starts from
    bool relative;    // given as a path relative to that folder
    bool toOpener;    // handed to the user's program, no page shown
};

class PlayerOption : public ::testing::TestWithParam<PlayerCase> {};

TEST_P(PlayerOption, PlaysWhereTheFileBelongs)
{
    const PlayerCase& c = GetParam();
    AppDriver app;
    const QString clip = app.SandboxFolder() + u'/' + QString::fromLatin1(c.clip);
    ASSERT_TRUE(QFile::copy(testenv::MediaDir() + u'/' + QString::fromLatin1(c.clip), clip));
    ASSERT_TRUE(app.Start(
        {QStringLiteral("--player=") + (c.relative ? QString::fromLatin1(c.clip) : clip)}))
        << Describe(app);

    if (c.toOpener) {
        ASSERT_TRUE(testenv::WaitUntil([&] { return !app.Opened().isEmpty(); }, kScreenTimeoutMs));
        EXPECT_EQ(OpenedFile(app.Opened().value(0)), clip);
        // No page: where the pages would be, the bare skin.
        QImage window;
        EXPECT_TRUE(
            app.WaitForWindowImage([](const QImage& w) { return SkinShare(w, kBrowser) > 0.98; },
                                   kScreenTimeoutMs, QStringLiteral("no-page"), &window))
            << SkinShare(window, kBrowser);
    } else {
        QImage first;
        ASSERT_TRUE(
            app.WaitForWindowImage(PlayerPageShown, 60000, QStringLiteral("player-page"), &first))
            << Fraction(first, kBrowser, IsVivid) << Describe(app);
        // It plays: the picture in the page moves.
        QImage later;
        EXPECT_TRUE(app.WaitForWindowImage(
            [&](const QImage& w) { return ChangedShare(first, w, kBrowser) > 0.05; }, 10000,
            QStringLiteral("player-page-later"), &later));
        EXPECT_TRUE(app.Opened().isEmpty()) << Describe(app);
    }
    CloseWithTheCloseButton(app);
}

INSTANTIATE_TEST_SUITE_P(
    AppE2E, PlayerOption,
    ::testing::Values(PlayerCase{"Mp4_GoesToTheDesktopOpener_NoPage", "clip.mp4", false, true},
                      PlayerCase{"RelativeFlv_PlaysInThePlayerPage", "clip.flv", true, false}),
    [](const ::testing::TestParamInfo<PlayerCase>& row) { return std::string(row.param.name); });

// ---- the window by hand -------------------------------------------------------------------

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
    const QImage screen = app.Screen(QStringLiteral("moved-screen"));
    EXPECT_LT(Fraction(screen, kUrlFieldInside.translated(before), IsWhite), 0.5);

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
    EXPECT_EQ(Codecs(file), QStringLiteral("mp3"));
    EXPECT_EQ(OpenedFile(app.Opened().value(0)), file);

    // Idle again, Escape ends the dialog.
    EXPECT_TRUE(app.WaitForWindowImage(Idle, kScreenTimeoutMs, QStringLiteral("finished")));
    app.Key(QStringLiteral("Escape"));
    EXPECT_EQ(app.WaitForExit(30000), 0) << Describe(app);
    EXPECT_TRUE(app.Workspaces().isEmpty());
}

TEST(AppE2E, DuringAJobTheButtonsGreyTheCloseButtonHidesTheLogMovesAndNothingCloses)
{
    AppDriver app;
    ASSERT_TRUE(app.Start({QStringLiteral("--download=") + Url(QStringLiteral("slow/long20.mp4"))}))
        << Describe(app);

    QImage busy;
    ASSERT_TRUE(app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy"), &busy))
        << "MP3 button " << std::hex << busy.pixel(kMp3ButtonSample) << ", close button "
        << busy.pixel(kStopSquareSample);
    EXPECT_FALSE(CloseShown(busy));

    // The downloader's progress lines replace each other at the top of the log box.
    QImage progress;
    EXPECT_TRUE(app.WaitForWindowImage(
        [&](const QImage& w) { return ChangedShare(busy, w, kLogBox) > 0.002; }, kScreenTimeoutMs,
        QStringLiteral("busy-progress"), &progress));
    QImage moreProgress;
    EXPECT_TRUE(app.WaitForWindowImage(
        [&](const QImage& w) { return ChangedShare(progress, w, kLogBox) > 0.002; },
        kScreenTimeoutMs, QStringLiteral("busy-more-progress"), &moreProgress));

    // White text that can be read on the busy picture.
    EXPECT_GT(Fraction(moreProgress, kLogBox, IsWhite), 0.02);
    // With the text a small part of the box, most of it is the background the text is read on.
    EXPECT_GE(Fraction(moreProgress, kLogBox,
                       [](QRgb c) { return testenv::ContrastWithWhite(c) >= 4.5; }),
              0.7);

    // Every way to close is refused while the job runs.
    const struct {
        const char* name;
        std::function<void()> attempt;
    } closes[] = {
        {"Escape", [&] { app.Key(QStringLiteral("Escape")); }},
        {"the window manager's close", [&] { EXPECT_TRUE(app.RequestClose()); }},
    };
    for (const auto& close : closes) {
        close.attempt();

        QThread::msleep(1000);
        ASSERT_TRUE(app.Running()) << close.name << " ended the run during the job\n"
                                   << Describe(app);
    }
    EXPECT_TRUE(
        app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy-after-closes")));

    // After the job everything is back, and the same close request now ends the run.
    QImage idle;
    EXPECT_TRUE(app.WaitForWindowImage(Idle, kJobTimeoutMs, QStringLiteral("idle"), &idle))
        << Describe(app);
    EXPECT_TRUE(OnlyFile(app).endsWith(QLatin1String(".mp4"))) << Describe(app);
    EXPECT_TRUE(app.Running());
    EXPECT_TRUE(app.RequestClose());
    EXPECT_EQ(app.WaitForExit(30000), 0) << Describe(app);
    EXPECT_TRUE(app.Workspaces().isEmpty());
}

TEST(AppE2E, AFinishedFlvPlaysInThePageAndTheBackButtonReturnsToTheDownloadPage)
{
    AppDriver app;
    ASSERT_TRUE(app.Start({QStringLiteral("--download=") + Url(QStringLiteral("clip.flv"))}))
        << Describe(app);
    QImage player;
    ASSERT_TRUE(
        app.WaitForWindowImage(PlayerPageShown, kJobTimeoutMs, QStringLiteral("player"), &player))
        << Describe(app);
    EXPECT_TRUE(app.Opened().isEmpty()) << Describe(app);
    EXPECT_FALSE(OnlyFile(app).isEmpty());

    app.Click(kBackButton);
    EXPECT_TRUE(
        app.WaitForWindowImage(DownloadPageShown, kScreenTimeoutMs, QStringLiteral("back")));
    CloseWithTheCloseButton(app);
}

// One slow MP3 job stopped with the stop square, the same job started again with the MP3
// button, and that one cut short by SIGTERM: neither leaves a tool, a file or the workspace.
TEST(AppE2E, TheStopButtonAndSigtermEndASlowJobAndLeaveNoToolFileNorWorkspace)
{
    AppDriver app;
    ASSERT_TRUE(
        app.Start({QStringLiteral("--download-mp3=") + Url(QStringLiteral("slow/long20.mp4"))}))
        << Describe(app);
    const auto downloading = [&] {
        return testenv::WaitUntil([&] { return !testenv::FilesIn(app.DownloadFolder()).isEmpty(); },
                                  60000);
    };
    const auto noTools = [&] {
        return WaitPaced([&] { return app.ProcessesInSandbox().isEmpty(); }, 10000);
    };
    ASSERT_TRUE(app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy")));
    ASSERT_TRUE(downloading()) << Describe(app);

    app.Click(kCloseButton); // the stop square in its place
    EXPECT_TRUE(app.WaitForWindowImage(Idle, kScreenTimeoutMs, QStringLiteral("stopped")))
        << Describe(app);
    EXPECT_TRUE(app.Running()) << "a stop ends the job, not the program";
    EXPECT_TRUE(noTools()) << app.ProcessesInSandbox().join(u'\n').toStdString();
    EXPECT_EQ(testenv::FilesIn(app.DownloadFolder()), QStringList()) << Describe(app);

    // The address is still in its field: the MP3 button starts the job again, and the stop
    // square comes back without the hot look it had when it was clicked.
    app.Click(kMp3Button);
    ASSERT_TRUE(app.WaitForWindowImage(Busy, kScreenTimeoutMs, QStringLiteral("busy-again")));
    ASSERT_TRUE(downloading()) << Describe(app);
    ASSERT_FALSE(app.ProcessesInSandbox().isEmpty());
    ASSERT_EQ(app.Workspaces().size(), 1);

    app.Signal(SIGTERM);
    EXPECT_EQ(app.WaitForExit(30000), 0) << Describe(app);
    EXPECT_TRUE(app.Workspaces().isEmpty()) << app.Workspaces().join(u' ').toStdString();
    EXPECT_TRUE(noTools()) << app.ProcessesInSandbox().join(u'\n').toStdString();
    // The stopped job converted nothing and removed its unfinished download, as a stop does.
    EXPECT_EQ(testenv::FilesIn(app.DownloadFolder()), QStringList()) << Describe(app);
}

} // namespace
