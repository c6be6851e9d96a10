// The player page in the real web engine on the test display, with the player page that the
// program carries: the web engine loaded only when Flash video plays in the page, a Flash video
// whose name is not UTF-8 playing, the view and its renderer ended on hide, and file locations
// that try to be markup.
#include "app/workspace.h"
#include "platform/file_name.h"
#include "platform/process_user.h"
#include "ui/pages/player_page.h"
#include "ui/pages/web_view.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

using namespace ui::pages;

// The script's value, or an invalid QVariant when the page gave none within ten seconds.
QVariant Eval(WebView* view, const QString& script)
{
    // Shared: a late answer after the time-out must not write into a gone frame.
    const auto result = std::make_shared<std::optional<QVariant>>();
    view->RunJavaScript(script, [result](const QVariant& v) { *result = v; });
    testenv::WaitUntil([&] { return result->has_value(); }, 10000);
    return result->value_or(QVariant());
}

// Waits until the page's video has played past half a second.
bool Plays(WebView* view)
{
    const QString position = QStringLiteral(
        "(function(){var v=document.getElementById('video'); return v ? v.currentTime : -1;})()");
    return testenv::WaitUntil([&] { return Eval(view, position).toDouble() > 0.5; }, 40000);
}

// Waits until the page for path is loaded: navigation is not done when Navigate returns.
bool ShowsFile(WebView* view, const QString& path)
{
    const QString shown =
        QStringLiteral("document.readyState === 'complete' && new "
                       "URLSearchParams(window.location.search).get('file_location')");
    return testenv::WaitUntil([&] { return Eval(view, shown).toString() == path; }, 30000);
}

class PlayerWebTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandboxSwitchSetBefore = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
        // The player page and mpegts.js as the program unpacks them from its own file.
        const platform::Expected<app::Workspace> made = app::CreateWorkspace();
        workspace = made ? made->path : QString();
        ASSERT_TRUE(made && app::ExtractToolPayload(workspace, QStringLiteral(VANDREL_EXE)));
        // A folder with a blank and a non-ASCII letter, as users' folders have.
        const QString media = testenv::Home() + "/Vidéos du jour";
        QDir().mkpath(media);
        // A Latin-1 name, as older systems and some cameras write them: the page must get the
        // name's very bytes, not the name with U+FFFD in place of the letter.
        const QByteArray flvName = QFile::encodeName(media) + "/Vid\xe9o 1.FLV";
        flv = platform::DecodeFileName(flvName);
        const QString copied = media + "/copied.flv";
        ASSERT_TRUE(QFile::copy(testenv::MediaDir() + "/clip.flv", copied) &&
                    std::rename(QFile::encodeName(copied).constData(), flvName.constData()) == 0);
        owner.resize(781, 786);
        page = std::make_unique<PlayerPage>(workspace, &owner);
        page->SetFileOpener([this](const QString& path) { opened.append(path); });
        page->BrowserHost()->setGeometry(166, 303, 450, 338);
        owner.show();
        page->show();
    }
    void TearDown() override
    {
        page.reset();
        if (!workspace.isEmpty())
            app::RemoveDirectoryTree(workspace);
    }

    QString workspace, flv;
    bool sandboxSwitchSetBefore = false;
    QWidget owner;
    std::unique_ptr<PlayerPage> page;
    QStringList opened;
};

bool WebEngineMapped()
{
    return testenv::ReadFile("/proc/self/maps").contains("libQt6WebEngineCore");
}

// The parent process id of pid, from its stat line ("pid (name) state ppid ...").
QByteArray Parent(const QByteArray& pid)
{
    const QByteArray stat = testenv::ReadFile("/proc/" + pid + "/stat");
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1);
}

// The processes below this one: the web engine's zygotes, renderers and services.
int Descendants()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    int count = 0;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QByteArray pid = Parent(name.toLatin1());
        while (!pid.isEmpty() && pid != "0" && pid != self)
            pid = Parent(pid);
        count += pid == self ? 1 : 0;
    }
    return count;
}

TEST_F(PlayerWebTest, Latin1FlashVideoPlaysInTheCarriedPlayerHidingEndsItsRendererAndNamesStayText)
{
    // No web engine before a Flash video plays in the page.
    EXPECT_FALSE(IsWebViewLoaded());
    EXPECT_FALSE(WebEngineMapped());
    // The real lookup: this test's home has no program for Flash video.
    EXPECT_TRUE(page->Play(flv));
    WebView* view = page->Browser();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(IsWebViewLoaded());
    EXPECT_TRUE(WebEngineMapped());
    if (platform::RunsAsRoot()) {
        EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));
    } else if (!sandboxSwitchSetBefore) {
        EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
    }
    EXPECT_TRUE(Plays(view)) << Eval(view, "document.body.innerText").toString().toStdString();
    EXPECT_TRUE(page->Play(flv));
    EXPECT_EQ(page->Browser(), view) << "one view, kept for the next video";

    // Hiding ends the view and with it its renderer process; the next video gets a new one.
    const int playing = Descendants();
    const QPointer<WebView> hidden(view);
    page->OnHide();
    EXPECT_EQ(page->Browser(), nullptr);
    // The view goes by deleteLater, which a loop run from here does not reach by itself.
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return hidden.isNull();
        },
        10000));
    EXPECT_TRUE(testenv::WaitUntil([&] { return Descendants() < playing; }, 10000))
        << playing << " processes below the test while playing, as many after the hide";
    EXPECT_TRUE(page->Play(flv));
    view = page->Browser();
    ASSERT_NE(view, nullptr);

    // A file location that tries to be markup or script stays text.
    const QString markup = "/x\"><img src=x onerror=\"document.title='owned'\">.flv";
    view->Navigate(QUrl::fromEncoded(page->PlayerAddress(markup).toLatin1()));
    ASSERT_TRUE(ShowsFile(view, markup));
    // Asked so that only a page that answered can pass.
    EXPECT_TRUE(Eval(view, QStringLiteral("document.getElementsByTagName('img').length === 0 &&"
                                          " document.title !== 'owned'"))
                    .toBool());

    const QString script = "javascript:document.title='owned'";
    view->Navigate(QUrl::fromEncoded(page->PlayerAddress(script).toLatin1()));
    ASSERT_TRUE(ShowsFile(view, script));
    EXPECT_TRUE(Eval(view, QStringLiteral("document.title !== 'owned' &&"
                                          " document.getElementById('video').getAttribute('src')"
                                          " === null"))
                    .toBool());
}

} // namespace
