// The player page without a web engine: the address, which files play in the page and which go
// to the user's program, and that the web view is made only when a video plays in the page.
#include "ui/pages/player_page.h"
#include "ui/pages/web_view.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QUrlQuery>

#include <memory>

namespace {

using namespace ui::pages;

// A web view that only records where it was sent.
class RecordingView : public WebView {
public:
    using WebView::WebView;
    void Navigate(const QUrl& url) override { visited.append(url); }
    QUrl Address() const override { return visited.isEmpty() ? QUrl() : visited.last(); }
    void RunJavaScript(const QString&, std::function<void(const QVariant&)>) override {}
    QList<QUrl> visited;
};

// A workspace under a temporary folder whose name holds characters that mean something in a URL.
const QString kWorkspace = "/tmp/my dir#1%/vnd01234567-89abcdef";

class PlayerPageTest : public ::testing::Test {
protected:
    void SetUp() override { page = MakePage(); }
    std::unique_ptr<PlayerPage> MakePage()
    {
        auto made = std::make_unique<PlayerPage>(kWorkspace, &owner);
        made->SetDefaultAppLookup([this](const QString& path) {
            lookedUp.append(path);
            return registered;
        });
        made->SetFileOpener([this](const QString& path) { opened.append(path); });
        made->SetWebViewCreator([this](QWidget* parent) {
            ++viewsMade;
            return view = new RecordingView(parent);
        });
        return made;
    }
    QWidget owner;
    std::unique_ptr<PlayerPage> page;
    bool registered = false;
    QStringList lookedUp;
    QStringList opened;
    int viewsMade = 0;
    RecordingView* view = nullptr;
};

TEST_F(PlayerPageTest, FlashVideoWithoutAProgramPlaysInThePageEverythingElseGoesToTheProgram)
{
    const struct {
        const char* name;
        QString path;
        bool registered;
        bool inPage;
    } rows[] = {
        // Characters that mean something in an address reach the page as they are.
        {"mixed-case flv without a program", "/home/u/Vidéos/a b%?&=#+.FlV", false, true},
        {"flv with a program", "/v/clip.flv", true, false},
        {"flv without a dot", "/v/clipflv", false, false},
        {"flv before another extension", "/v/clip.flv.mp4", false, false},
        {"an empty path does nothing", QString(), false, false},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.name);
        page = MakePage();
        registered = c.registered;
        lookedUp.clear(), opened.clear(), viewsMade = 0, view = nullptr;
        EXPECT_EQ(page->Play(c.path), c.inPage);
        // Only Flash video costs a lookup of the user's programs.
        const bool flashVideo = c.path.endsWith(".flv", Qt::CaseInsensitive);
        EXPECT_EQ(lookedUp, flashVideo ? QStringList{c.path} : QStringList());
        if (c.inPage) {
            EXPECT_TRUE(opened.isEmpty());
            ASSERT_NE(view, nullptr);
            ASSERT_EQ(view->visited.size(), 1);
            // QUrl writes hex digits in upper case and dots plain: the same address.
            EXPECT_EQ(view->visited[0], QUrl::fromEncoded(page->PlayerAddress(c.path).toLatin1()));
            EXPECT_EQ(view->visited[0].toLocalFile(), kWorkspace + "/player.htm");
            EXPECT_EQ(
                QUrlQuery(view->visited[0]).queryItemValue("file_location", QUrl::FullyDecoded),
                c.path);
        } else {
            EXPECT_EQ(opened, c.path.isEmpty() ? QStringList() : QStringList{c.path});
            EXPECT_EQ(viewsMade, 0);
        }
    }
}

// Takes the desktop opener's place for the schemes it is registered for.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

// The desktop opener gets a path as its file URL (the name's bytes) and an address as given.
TEST_F(PlayerPageTest, TheDesktopOpenerGetsAPathAsAFileUrlAndAnAddressAsGiven)
{
    UrlRecorder recorder;
    const QStringList schemes{"file", "http", "https"};
    for (const QString& scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &recorder, "Open");
    page->SetFileOpener(nullptr);
    const struct {
        QString path;
        QByteArray opened;
    } rows[] = {
        {"/v/a b#1.mp4", "file:///v/a%20b%231.mp4"},
        {"http://127.0.0.1:9/a.mp4?x=1&y=%2F", "http://127.0.0.1:9/a.mp4?x=1&y=%2F"},
        {"https://127.0.0.1/b.avi", "https://127.0.0.1/b.avi"},
    };
    for (const auto& c : rows) {
        recorder.urls.clear();
        EXPECT_FALSE(page->Play(c.path));
        ASSERT_EQ(recorder.urls.size(), 1) << c.path.toStdString();
        EXPECT_EQ(recorder.urls[0].toEncoded().toStdString(), c.opened.toStdString());
    }
    for (const QString& scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

TEST_F(PlayerPageTest, WithoutAWebViewFlashVideoStillSelectsThePage)
{
    page->SetWebViewCreator([](QWidget*) { return nullptr; });
    EXPECT_TRUE(page->Play("/v/a.flv"));
    EXPECT_EQ(page->Browser(), nullptr);
    page->OnHide(); // nothing to blank
    EXPECT_TRUE(opened.isEmpty());
}

// The real lookup, through xdg-mime, in this test's own home.
TEST(DefaultApplication, FoundOnlyWhenTheUserHasOneForTheType)
{
    const QString home = testenv::Home();
    const QString flv = home + "/clip.flv";
    EXPECT_FALSE(HasDefaultApplication(flv));

    ASSERT_TRUE(testenv::WriteFile(home + "/.local/share/applications/vandrel-test-player.desktop",
                                   "[Desktop Entry]\nType=Application\nName=Test player\n"
                                   "Exec=true %f\nMimeType=video/x-flv;\n"));
    ASSERT_TRUE(testenv::WriteFile(home + "/.config/mimeapps.list",
                                   "[Default Applications]\n"
                                   "video/x-flv=vandrel-test-player.desktop\n"));
    EXPECT_TRUE(HasDefaultApplication(flv));
    EXPECT_TRUE(HasDefaultApplication(home + "/CLIP.FLV"));
    EXPECT_FALSE(HasDefaultApplication(home + "/clip.xyzunknown"));
    QFile::remove(home + "/.config/mimeapps.list");
}

} // namespace

#include "player_page_test.moc"
