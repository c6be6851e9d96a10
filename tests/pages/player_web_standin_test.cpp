// The player page in the real web engine on the test display, with a stand-in player page (used
// while the carried one is not in the tree): the web view made on the first play, the address
// that reaches the page, an .mp4 that plays, and blanking on hide.
#include "pages/tab2_dlg.h"
#include "pages/web_view.h"
#include "platform/process_user.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

// A stand-in for the carried player page, for this test only: it plays the file named by
// "file_location" in a video element and shows the decoded name.
constexpr char kStandInPage[] = R"(<!DOCTYPE html>
<html><body><video id="video" autoplay muted></video><p id="name"></p>
<script>
var location_ = new URLSearchParams(window.location.search).get("file_location");
document.getElementById("name").textContent = location_;
var url = new URL("file:///");
url.pathname = location_;
document.getElementById("video").src = url.href;
</script></body></html>
)";

void Wait(int ms)
{
    QEventLoop pause;
    QTimer::singleShot(ms, &pause, &QEventLoop::quit);
    pause.exec();
}

QVariant Eval(IWebView* view, const QString& script)
{
    QVariant result;
    bool done = false;
    QEventLoop loop;
    view->RunJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    return result;
}

// Waits until the page's video has played past half a second; the position reached.
double PlayedSeconds(IWebView* view)
{
    QElapsedTimer timer;
    timer.start();
    double position = 0;
    while (timer.elapsed() < 40000) {
        position = Eval(view, QStringLiteral("(function(){var v=document.getElementById('video');"
                                             "return v ? v.currentTime : -1;})()"))
                       .toDouble();
        if (position > 0.5)
            break;
        Wait(250);
    }
    return position;
}

bool WebEngineMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// Makes a short clip with ffmpeg; true when it was made.
bool MakeClip(const QString& path)
{
    const QStringList args = {QStringLiteral("-hide_banner"),
                              QStringLiteral("-loglevel"),
                              QStringLiteral("error"),
                              QStringLiteral("-y"),
                              QStringLiteral("-f"),
                              QStringLiteral("lavfi"),
                              QStringLiteral("-i"),
                              QStringLiteral("testsrc=size=320x240:rate=25"),
                              QStringLiteral("-t"),
                              QStringLiteral("4"),
                              QStringLiteral("-c:v"),
                              QStringLiteral("libx264"),
                              QStringLiteral("-pix_fmt"),
                              QStringLiteral("yuv420p"),
                              path};
    return testenv::Run(QStringLiteral("ffmpeg"), args).exitCode == 0 && QFile::exists(path);
}

class PlayerWebTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_sandboxSwitchSetBefore = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
        s_workspace = std::make_unique<QTemporaryDir>();
        testenv::WriteFile(s_workspace->path() + QStringLiteral("/player.htm"), kStandInPage);
        // A folder with a blank and a non-ASCII letter, as users' folders have.
        s_media = testenv::Home() + QStringLiteral("/Vidéos du jour");
        QDir().mkpath(s_media);
        s_mp4 = s_media + QStringLiteral("/clip #1.mp4");
        s_clipsMade = MakeClip(s_mp4);
    }
    static void TearDownTestSuite() { s_workspace.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_clipsMade);
        owner = std::make_unique<QWidget>();
        owner->resize(781, 786);
        page = std::make_unique<Tab2Dlg>(s_workspace->path(), owner.get());
        page->SetFileOpener([this](const QString& path) { opened.append(path); });
        page->BrowserHost()->setGeometry(166, 303, 450, 338);
        owner->show();
        page->show();
    }

    static inline std::unique_ptr<QTemporaryDir> s_workspace;
    static inline QString s_media;
    static inline QString s_mp4;
    static inline bool s_clipsMade = false;
    static inline bool s_sandboxSwitchSetBefore = false;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<Tab2Dlg> page;
    QStringList opened;
};

TEST_F(PlayerWebTest, FirstPlayInThePageLoadsTheEngineAndTheAddressReachesThePage)
{
    // The real lookup: this test's home has no program for Flash video.
    const QString flv = s_media + QStringLiteral("/Clip 1.FLV");
    EXPECT_TRUE(page->Play(flv));
    EXPECT_TRUE(opened.isEmpty());
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(IsWebViewLoaded());
    EXPECT_TRUE(WebEngineMapped());
    if (platform::RunsAsRoot()) {
        EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));
    } else if (!s_sandboxSwitchSetBefore) {
        EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
    }

    QElapsedTimer timer;
    timer.start();
    QString shown;
    while (timer.elapsed() < 30000 && shown != flv) {
        shown = Eval(view, QStringLiteral("document.getElementById('name') ? "
                                          "document.getElementById('name').textContent : ''"))
                    .toString();
        Wait(100);
    }
    EXPECT_EQ(shown, flv);
}

TEST_F(PlayerWebTest, AnMp4GoesToTheUsersProgramAndPlaysInThePlayerPage)
{
    EXPECT_FALSE(page->Play(s_mp4));
    EXPECT_EQ(opened, QStringList{s_mp4});
    ASSERT_TRUE(page->Play(s_media + QStringLiteral("/none.flv"))); // makes the view
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    view->Navigate(QUrl::fromEncoded(page->PlayerAddress(s_mp4).toLatin1()));
    EXPECT_GT(PlayedSeconds(view), 0.5);
}

TEST_F(PlayerWebTest, HidingBlanksThePage)
{
    ASSERT_TRUE(page->Play(s_media + QStringLiteral("/none.flv")));
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    view->Navigate(QUrl::fromEncoded(page->PlayerAddress(s_mp4).toLatin1()));
    ASSERT_GT(PlayedSeconds(view), 0.5);
    page->OnHide();
    EXPECT_EQ(view->Address(), QUrl(QStringLiteral("about:blank")));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 &&
           Eval(view, QStringLiteral("document.getElementById('video') !== null")).toBool())
        Wait(100);
    EXPECT_FALSE(Eval(view, QStringLiteral("document.getElementById('video') !== null")).toBool());
}

} // namespace
