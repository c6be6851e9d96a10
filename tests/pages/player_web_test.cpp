// The player page in the real web engine on the test display, with the player page that the
// program carries: the web view made on the first play, an .flv and an .mp4 made by ffmpeg
// that play (the video's position advances), and blanking on hide.
#include "app/workspace.h"
#include "pages/tab2_dlg.h"
#include "pages/web_view.h"
#include "platform/file_name.h"
#include "platform/process_user.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

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

// Waits until the page shown plays path: navigation is not done when Navigate returns.
bool ShowsFile(IWebView* view, const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        if (Eval(view, QStringLiteral("new URLSearchParams(window.location.search)"
                                      ".get('file_location')"))
                .toString() == path)
            return true;
        Wait(100);
    }
    return false;
}

bool WebEngineMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// Makes a four-second clip with sound with ffmpeg, in the format the name's extension says;
// true when it was made.
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
                              QStringLiteral("-f"),
                              QStringLiteral("lavfi"),
                              QStringLiteral("-i"),
                              QStringLiteral("sine=frequency=440:sample_rate=44100"),
                              QStringLiteral("-t"),
                              QStringLiteral("4"),
                              QStringLiteral("-c:v"),
                              QStringLiteral("libx264"),
                              QStringLiteral("-pix_fmt"),
                              QStringLiteral("yuv420p"),
                              QStringLiteral("-c:a"),
                              QStringLiteral("aac"),
                              QStringLiteral("-f"),
                              path.endsWith(QStringLiteral(".FLV"), Qt::CaseInsensitive)
                                  ? QStringLiteral("flv")
                                  : QStringLiteral("mp4"),
                              path};
    return testenv::Run(QStringLiteral("ffmpeg"), args).exitCode == 0 && QFile::exists(path);
}

class PlayerWebTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_sandboxSwitchSetBefore = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
        // The player page and mpegts.js as the program unpacks them from its own file.
        s_workspace = CreateWorkspace();
        s_extracted = !s_workspace.isEmpty() &&
                      ExtractToolPayload(s_workspace, QStringLiteral(VANDREL_EXE)) &&
                      QFile::exists(s_workspace + QStringLiteral("/player.htm"));
        // A folder with a blank and a non-ASCII letter, as users' folders have.
        s_media = testenv::Home() + QStringLiteral("/Vidéos du jour");
        QDir().mkpath(s_media);
        s_mp4 = s_media + QStringLiteral("/clip #1.mp4");
        s_flv = s_media + QStringLiteral("/Clip 1.FLV");
        s_clipsMade = MakeClip(s_mp4) && MakeClip(s_flv);
    }
    static void TearDownTestSuite() { RemoveDirectoryTree(s_workspace); }

    void SetUp() override
    {
        ASSERT_TRUE(s_extracted);
        ASSERT_TRUE(s_clipsMade);
        owner = std::make_unique<QWidget>();
        owner->resize(781, 786);
        page = std::make_unique<Tab2Dlg>(s_workspace, owner.get());
        page->SetFileOpener([this](const QString& path) { opened.append(path); });
        page->BrowserHost()->setGeometry(166, 303, 450, 338);
        owner->show();
        page->show();
    }

    static inline QString s_workspace;
    static inline bool s_extracted = false;
    static inline QString s_flv;
    static inline QString s_media;
    static inline QString s_mp4;
    static inline bool s_clipsMade = false;
    static inline bool s_sandboxSwitchSetBefore = false;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<Tab2Dlg> page;
    QStringList opened;
};

TEST_F(PlayerWebTest, FlashVideoPlaysInThePageThroughTheCarriedPlayer)
{
    EXPECT_FALSE(IsWebViewLoaded());
    // The real lookup: this test's home has no program for Flash video.
    EXPECT_TRUE(page->Play(s_flv));
    EXPECT_TRUE(opened.isEmpty());
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(IsWebViewLoaded());
    EXPECT_TRUE(WebEngineMapped());
    EXPECT_TRUE(ShowsFile(view, s_flv));
    if (platform::RunsAsRoot()) {
        EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));
    } else if (!s_sandboxSwitchSetBefore) {
        EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
    }
    EXPECT_GT(PlayedSeconds(view), 0.5)
        << Eval(view, QStringLiteral("document.body ? document.body.innerText : ''"))
               .toString()
               .toStdString();
}

TEST_F(PlayerWebTest, FlashVideoWhoseNameIsNotUtf8PlaysInThePage)
{
    // A Latin-1 name, as older systems and some cameras write them: the page must get the
    // name's very bytes, not the name with U+FFFD in place of the letter.
    const QString latin = s_media + QStringLiteral("/latin.flv");
    ASSERT_TRUE(QFile::exists(latin) || QFile::copy(s_flv, latin));
    const QByteArray bytes = QFile::encodeName(s_media) + "/Vid\xe9o.flv";
    ASSERT_EQ(std::rename(QFile::encodeName(latin).constData(), bytes.constData()), 0);
    const QString path = platform::DecodeFileName(bytes);
    EXPECT_TRUE(page->Play(path));
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    EXPECT_GT(PlayedSeconds(view), 0.5)
        << Eval(view, QStringLiteral("document.body ? document.body.innerText : ''"))
               .toString()
               .toStdString();
}

TEST_F(PlayerWebTest, AnMp4GoesToTheUsersProgramAndPlaysInThePlayerPage)
{
    EXPECT_FALSE(page->Play(s_mp4));
    EXPECT_EQ(opened, QStringList{s_mp4});
    // The carried player page plays it too, when it is given one.
    ASSERT_TRUE(page->Play(s_flv)); // makes the view
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    view->Navigate(QUrl::fromEncoded(page->PlayerAddress(s_mp4).toLatin1()));
    ASSERT_TRUE(ShowsFile(view, s_mp4));
    EXPECT_GT(PlayedSeconds(view), 0.5)
        << Eval(view, QStringLiteral("document.body ? document.body.innerText : ''"))
               .toString()
               .toStdString();
}

TEST_F(PlayerWebTest, HidingBlanksThePage)
{
    ASSERT_TRUE(page->Play(s_flv));
    IWebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
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
