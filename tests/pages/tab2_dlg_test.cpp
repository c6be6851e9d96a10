// The player page without a web engine: the file location encoding, the address, which files
// play in the page and which go to the user's program, and that the web view is made only
// when a video plays in the page.
#include "pages/tab2_dlg.h"
#include "pages/web_view.h"
#include "platform/file_name.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUrlQuery>

#include <memory>

namespace {

struct EncodeCase {
    const char* name;
    QString path;
    QString expected;
};

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, EncodesEveryByteButLettersDigitsAndSixMarks)
{
    EXPECT_EQ(Tab2Dlg::EncodeFileLocation(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeTest,
    ::testing::Values(
        EncodeCase{"WindowsPath", QStringLiteral("D:\\a b.flv"),
                   QStringLiteral("D%3a%5ca%20b%2eflv")},
        EncodeCase{"UnixPath", QStringLiteral("/tmp/x_y-z.flv"),
                   QStringLiteral("%2ftmp%2fx%5fy%2dz%2eflv")},
        EncodeCase{"SixMarksKept", QStringLiteral("~!*()'"), QStringLiteral("~!*()'")},
        EncodeCase{"LettersAndDigitsKept", QStringLiteral("AZaz09"), QStringLiteral("AZaz09")},
        EncodeCase{"TwoByteLetter", QStringLiteral("\u00e9"), QStringLiteral("%c3%a9")},
        EncodeCase{"ThreeByteLetter", QStringLiteral("\u65e5"), QStringLiteral("%e6%97%a5")},
        EncodeCase{"FourByteLetter", QString::fromUtf8("\xf0\x9f\x8e\xac"),
                   QStringLiteral("%f0%9f%8e%ac")},
        EncodeCase{"NameNotUtf8KeepsItsBytes", platform::DecodeFileName("/Vid\xe9o"),
                   QStringLiteral("%2fVid%e9o")},
        EncodeCase{"PercentAndQueryMarks", QStringLiteral("%?&=#+"),
                   QStringLiteral("%25%3f%26%3d%23%2b")},
        EncodeCase{"Empty", QString(), QString()}),
    [](const auto& row) { return std::string(row.param.name); });

// A web view that only records where it was sent.
class RecordingView : public IWebView {
public:
    using IWebView::IWebView;
    void Navigate(const QUrl& url) override { visited.append(url); }
    QUrl Address() const override { return visited.isEmpty() ? QUrl() : visited.last(); }
    void RunJavaScript(const QString&, std::function<void(const QVariant&)>) override {}
    QList<QUrl> visited;
};

class Tab2Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner = std::make_unique<QWidget>();
        page = std::make_unique<Tab2Dlg>(QStringLiteral("/tmp/vnd01234567-89abcdef"), owner.get());
        page->SetDefaultAppLookup([this](const QString& path) {
            lookedUp.append(path);
            return registered;
        });
        page->SetFileOpener([this](const QString& path) { opened.append(path); });
        page->SetWebViewCreator([this](QWidget* parent) {
            ++viewsMade;
            view = new RecordingView(parent);
            return view;
        });
    }
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<Tab2Dlg> page;
    bool registered = false;
    QStringList lookedUp;
    QStringList opened;
    int viewsMade = 0;
    RecordingView* view = nullptr;
};

struct PlayCase {
    const char* name;
    QString path;
    bool registered;
    bool inPage;
};

class PlayTest : public Tab2Test, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(PlayTest, FlashVideoWithoutAProgramPlaysInThePageEverythingElseGoesToTheProgram)
{
    const PlayCase& c = GetParam();
    registered = c.registered;
    EXPECT_EQ(page->Play(c.path), c.inPage);
    if (c.inPage) {
        EXPECT_TRUE(opened.isEmpty());
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->visited.size(), 1);
        // QUrl writes hex digits in upper case and dots plain: the same address.
        EXPECT_EQ(view->visited[0], QUrl::fromEncoded(page->PlayerAddress(c.path).toLatin1()));
        EXPECT_EQ(QUrlQuery(view->visited[0])
                      .queryItemValue(QStringLiteral("file_location"), QUrl::FullyDecoded),
                  c.path);
    } else {
        EXPECT_EQ(opened, QStringList{c.path});
        EXPECT_EQ(viewsMade, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlayTest,
    ::testing::Values(
        PlayCase{"FlvWithoutProgram", QStringLiteral("/v/clip.flv"), false, true},
        PlayCase{"UpperCaseFlvWithoutProgram", QStringLiteral("/v/CLIP.FLV"), false, true},
        PlayCase{"MixedCaseFlvWithoutProgram", QStringLiteral("/v/a b.FlV"), false, true},
        PlayCase{"FlvWithAProgram", QStringLiteral("/v/clip.flv"), true, false},
        PlayCase{"Mp3", QStringLiteral("/v/song.mp3"), false, false},
        PlayCase{"Avi", QStringLiteral("/v/film.avi"), false, false},
        PlayCase{"Mp4", QStringLiteral("/v/film.mp4"), false, false},
        PlayCase{"FlvOnlyInTheFolderName", QStringLiteral("/v.flv/film.mp4"), false, false},
        PlayCase{"FlvWithoutDot", QStringLiteral("/v/clipflv"), false, false},
        PlayCase{"FlvBeforeAnotherExtension", QStringLiteral("/v/clip.flv.mp4"), false, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Tab2Test, EmptyPathDoesNothing)
{
    EXPECT_FALSE(page->Play(QString()));
    EXPECT_TRUE(lookedUp.isEmpty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(viewsMade, 0);
}

TEST_F(Tab2Test, OnlyFlashVideoAsksForARegisteredProgram)
{
    page->Play(QStringLiteral("/v/a.mp4"));
    EXPECT_TRUE(lookedUp.isEmpty());
    page->Play(QStringLiteral("/v/a.FLV"));
    EXPECT_EQ(lookedUp, QStringList{QStringLiteral("/v/a.FLV")});
}

TEST_F(Tab2Test, AddressNamesThePlayerPageAndTheEncodedFile)
{
    const QString path = QStringLiteral("/home/u/Vidéos/a b.flv");
    EXPECT_EQ(page->PlayerAddress(path),
              QStringLiteral("file:///tmp/vnd01234567-89abcdef/player.htm?file_location=") +
                  Tab2Dlg::EncodeFileLocation(path));
    ASSERT_TRUE(page->Play(path));
    const QUrl url = view->visited.value(0);
    EXPECT_EQ(url.toLocalFile(), QStringLiteral("/tmp/vnd01234567-89abcdef/player.htm"));
    EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("file_location"), QUrl::FullyDecoded),
              path);
}

TEST_F(Tab2Test, AWorkspaceWithUnusualCharactersStillNamesThePage)
{
    Tab2Dlg odd(QStringLiteral("/tmp/my dir#1%"), owner.get());
    RecordingView* oddView = nullptr;
    odd.SetDefaultAppLookup([](const QString&) { return false; });
    odd.SetWebViewCreator([&](QWidget* parent) { return oddView = new RecordingView(parent); });
    ASSERT_TRUE(odd.Play(QStringLiteral("/v/a.flv")));
    const QUrl url = oddView->visited.value(0);
    EXPECT_EQ(url.toLocalFile(), QStringLiteral("/tmp/my dir#1%/player.htm"));
    EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("file_location"), QUrl::FullyDecoded),
              QStringLiteral("/v/a.flv"));
}

TEST_F(Tab2Test, WebViewIsMadeOnFirstPlayInThePageAndKept)
{
    EXPECT_EQ(page->Browser(), nullptr);
    page->OnHide();
    EXPECT_EQ(viewsMade, 0);
    page->Play(QStringLiteral("/v/a.mp4"));
    EXPECT_EQ(page->Browser(), nullptr);
    page->Play(QStringLiteral("/v/a.flv"));
    page->Play(QStringLiteral("/v/b.flv"));
    EXPECT_EQ(viewsMade, 1);
    EXPECT_EQ(page->Browser(), view);
    EXPECT_EQ(view->parentWidget(), page->BrowserHost());
    EXPECT_EQ(view->visited.size(), 2);
}

TEST_F(Tab2Test, HidingBlanksThePage)
{
    page->Play(QStringLiteral("/v/a.flv"));
    page->OnHide();
    ASSERT_EQ(view->visited.size(), 2);
    EXPECT_EQ(view->visited[1], QUrl(QStringLiteral("about:blank")));
}

TEST_F(Tab2Test, WithoutAWebViewFlashVideoStillSelectsThePage)
{
    page->SetWebViewCreator([this](QWidget*) {
        ++viewsMade;
        return nullptr;
    });
    EXPECT_TRUE(page->Play(QStringLiteral("/v/a.flv")));
    EXPECT_EQ(page->Browser(), nullptr);
    page->OnHide(); // nothing to blank
    EXPECT_TRUE(opened.isEmpty());
}

bool WebEngineMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return true; // cannot tell: fail the test rather than pass it
    return maps.readAll().contains("libQt6WebEngineCore");
}

TEST(WebEngineLoading, NotLoadedByThePagesUntilAVideoPlaysInThePage)
{
    QWidget owner;
    Tab2Dlg page(QStringLiteral("/tmp"), &owner);
    page.SetFileOpener([](const QString&) {});
    page.Play(QStringLiteral("/v/a.mp4"));
    page.OnHide();
    EXPECT_FALSE(IsWebViewLoaded());
    EXPECT_FALSE(WebEngineMapped());
}

// The real lookup, through xdg-mime, in this test's own home.
TEST(DefaultApplication, FoundOnlyWhenTheUserHasOneForTheType)
{
    const QString home = testenv::Home();
    const QString flv = home + QStringLiteral("/clip.flv");
    EXPECT_FALSE(HasDefaultApplication(flv));

    const QString apps = home + QStringLiteral("/.local/share/applications");
    ASSERT_TRUE(QDir().mkpath(apps));
    ASSERT_TRUE(testenv::WriteFile(apps + QStringLiteral("/vandrel-test-player.desktop"),
                                   "[Desktop Entry]\nType=Application\nName=Test player\n"
                                   "Exec=true %f\nMimeType=video/x-flv;\n"));
    ASSERT_TRUE(testenv::WriteFile(home + QStringLiteral("/.config/mimeapps.list"),
                                   "[Default Applications]\n"
                                   "video/x-flv=vandrel-test-player.desktop\n"));
    EXPECT_TRUE(HasDefaultApplication(flv));
    EXPECT_TRUE(HasDefaultApplication(home + QStringLiteral("/CLIP.FLV")));
    EXPECT_FALSE(HasDefaultApplication(home + QStringLiteral("/clip.xyzunknown")));
    QFile::remove(home + QStringLiteral("/.config/mimeapps.list"));
}

} // namespace
