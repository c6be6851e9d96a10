// The player page from the built program's payload, loaded in the web engine from a file:
// address with the percent-encoded path in "file_location", as the player page window does.
#include "app/workspace.h"
#include "test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Digits, letters and ~ ! * ( ) ' stay; every other byte of the UTF-8 path becomes %xx.
QByteArray EncodeFileLocation(const QString& path)
{
    QByteArray out;
    for (const char c : path.toUtf8()) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
            QByteArray("~!*()'").contains(c))
            out.append(c);
        else
            out.append(QByteArray("%") + QByteArray::number(b, 16).rightJustified(2, '0'));
    }
    return out;
}

class PlayerPage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Tests run as root in CI, where the engine's sandbox cannot start.
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        const QString saved = QDir::currentPath();
        s_workspace = CreateWorkspace();
        s_extracted =
            !s_workspace.isEmpty() && ExtractToolPayload(s_workspace, QStringLiteral(VANDREL_EXE));
        QDir::setCurrent(saved);
    }
    static void TearDownTestSuite() { RemoveDirectoryTree(s_workspace); }

    void SetUp() override
    {
        ASSERT_TRUE(s_extracted);
        m_view = std::make_unique<QWebEngineView>();
        m_view->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
        m_view->resize(450, 338);
        m_view->show();
    }

    void Load(const QString& mediaPath)
    {
        const QString address = QStringLiteral("file://") + s_workspace +
                                QStringLiteral("/player.htm?file_location=") +
                                QString::fromLatin1(EncodeFileLocation(mediaPath));
        QEventLoop loop;
        QObject::connect(m_view.get(), &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
        m_view->load(QUrl(address));
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QVariant Eval(const QString& script)
    {
        QVariant result;
        bool done = false;
        QEventLoop loop;
        m_view->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (!done)
            loop.exec();
        return result;
    }

    // Waits until the video has played past half a second; the position reached.
    double PlayedSeconds()
    {
        QElapsedTimer timer;
        timer.start();
        double position = 0;
        while (timer.elapsed() < 40000) {
            position =
                Eval(QStringLiteral("document.getElementById('video').currentTime")).toDouble();
            if (position > 0.5)
                break;
            QEventLoop pause;
            QTimer::singleShot(250, &pause, &QEventLoop::quit);
            pause.exec();
        }
        return position;
    }

    std::unique_ptr<QWebEngineView> m_view;
    static inline QString s_workspace;
    static inline bool s_extracted = false;
};

TEST_F(PlayerPage, PlaysAnMp4InTheVideoElement)
{
    Load(testenv::MediaDir() + QStringLiteral("/clip.mp4"));
    EXPECT_GT(PlayedSeconds(), 0.5)
        << Eval(QStringLiteral("document.body.innerText")).toString().toStdString();
    EXPECT_FALSE(Eval(QStringLiteral("typeof window.vandrelPlayer !== 'undefined'")).toBool());
}

TEST_F(PlayerPage, PlaysFlashVideoThroughMpegtsJs)
{
    // A folder name with a blank and a non-ASCII letter, as paths of users' folders have.
    QDir().mkpath(testenv::Home() + QStringLiteral("/Vidéos du jour"));
    const QString flv = testenv::Home() + QStringLiteral("/Vidéos du jour/clip.FLV");
    QFile::remove(flv);
    ASSERT_TRUE(QFile::copy(testenv::MediaDir() + QStringLiteral("/clip.flv"), flv));
    Load(flv);
    EXPECT_GT(PlayedSeconds(), 0.5)
        << Eval(QStringLiteral("document.body.innerText")).toString().toStdString();
    EXPECT_TRUE(Eval(QStringLiteral("typeof window.vandrelPlayer !== 'undefined'")).toBool());
}

TEST_F(PlayerPage, TheParameterIsNeverMarkup)
{
    Load(QStringLiteral("/x\"><img src=x onerror=\"document.title='owned'\">.flv"));
    EXPECT_EQ(Eval(QStringLiteral("document.getElementsByTagName('img').length")).toInt(), 0);
    EXPECT_NE(Eval(QStringLiteral("document.title")).toString(), QStringLiteral("owned"));

    Load(QStringLiteral("javascript:document.title='owned'"));
    EXPECT_NE(Eval(QStringLiteral("document.title")).toString(), QStringLiteral("owned"));
    EXPECT_EQ(Eval(QStringLiteral("document.getElementById('video').getAttribute('src')")),
              QVariant());
}

} // namespace
