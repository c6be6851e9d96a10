// The main window driven in the process, with stand-in tools in its workspace: the start
// values, a job's round trip through the window, a busy window that refuses to close and its
// stop, and how tool bytes reach the log. The real tools and the real display are exercised
// by the end-to-end tests (ending the window with SIGTERM among them).
#include "ui/main/main_dlg.h"

#include "download/job_text_event.h"
#include "pages/tab0_dlg.h"
#include "test_env.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/tool_text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The stand-in downloader: an address starting with "slow:" leaves a finished file and two
// unfinished ones, prints one progress line and then waits (its pid in the folder's
// "tool.pid"); any other address leaves clip.mp4 and reports it.
constexpr char kDownloader[] = R"(#!/bin/sh
for url; do :; done
case "$url" in
slow:*) printf 'x' > done.mp4; printf 'x' > next.mp4.part; printf 'x' > next.mp4.part-Frag3
        echo $$ > tool.pid
        printf '[download]   1.0%% of 1.00MiB at 1.00KiB/s ETA 09:59\r\n'
        exec sleep 600 ;;
*) printf 'x' > clip.mp4
   printf '[download]  50.0%% of 1.00KiB at 1.00KiB/s ETA 00:01\r\n'
   printf '[download] Destination: clip.mp4\r\n' ;;
esac
)";

class MainDlgTest : public ::testing::Test {
protected:
    // Whatever the window hands to the user's program is recorded, never opened.
    static void SetUpTestSuite()
    {
        static QTemporaryDir bin;
        const QString opener = bin.filePath(QStringLiteral("xdg-open"));
        testenv::WriteFile(opener, "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/opened\"\n");
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", (bin.path() + u':').toLocal8Bit() + qgetenv("PATH"));
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_workspace.isValid() && m_folder.isValid());
        WriteTool(QStringLiteral("downloader"), kDownloader);
        WriteTool(QStringLiteral("convert"), "#!/bin/sh\nexit 1\n");
    }

    void WriteTool(const QString& name, const char* script)
    {
        const QString path = m_workspace.filePath(name);
        ASSERT_TRUE(testenv::WriteFile(path, script));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::unique_ptr<MainDlg> Window(const QString& url, JobKind kind, const QString& player = {})
    {
        auto dlg = std::make_unique<MainDlg>(m_workspace.path(), url, kind, player);
        dlg->OnInitDialog();
        dlg->DownloadPage()->FolderField()->setText(m_folder.path());
        dlg->show();
        return dlg;
    }

    static bool Busy(const MainDlg& dlg)
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        const ui::MainTree& t = dlg.Tree();
        const bool buttonsOff = !t.downloadOnly->IsEnabled() && !t.mp3->IsEnabled() &&
                                !t.avi->IsEnabled() && !t.mp4->IsEnabled();
        const bool buttonsOn = t.downloadOnly->IsEnabled() && t.mp3->IsEnabled() &&
                               t.avi->IsEnabled() && t.mp4->IsEnabled();
        EXPECT_TRUE(buttonsOff || buttonsOn) << "the four job buttons change together";
        EXPECT_EQ(t.close->IsVisible(), buttonsOn);
        EXPECT_EQ(t.statusImage->Image(), ui::LoadPngResource(buttonsOn ? 174 : 178));
        EXPECT_EQ(dlg.DownloadPage()->isEnabled(), buttonsOn);
        return buttonsOff;
    }

    QTemporaryDir m_workspace;
    QTemporaryDir m_folder;
};

TEST_F(MainDlgTest, StartValuesFillTheUrlAndStartTheJobAtOnce)
{
    auto idle = Window(QStringLiteral("http://127.0.0.1:9/a b"), JobKind::None);
    EXPECT_EQ(idle->DownloadPage()->UrlField()->text(), QStringLiteral("http://127.0.0.1:9/a b"));
    EXPECT_EQ(idle->CurrentPage(), MainDlg::kDownloadPage);
    EXPECT_EQ(idle->RunningJobs(), 0);

    // With a job kind the job starts before anything is shown: the start-up folder is the
    // settings' default, here the isolated home's desktop.
    MainDlg started(m_workspace.path(), QStringLiteral("plain"), JobKind::Download, {});
    started.OnInitDialog();
    EXPECT_EQ(started.RunningJobs(), 1);
    EXPECT_TRUE(Busy(started));
    ASSERT_TRUE(testenv::WaitUntil([&] { return started.RunningJobs() == 0; }, 20000));
    EXPECT_FALSE(Busy(started));
}

TEST_F(MainDlgTest, JobRoundTripShowsProgressAndRestoresTheWindow)
{
    auto dlg = Window({}, JobKind::None);
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        dlg->Tree().playAfterDownload->SetIsChecked(false);
    }
    dlg->StartJob(JobKind::Download); // an empty URL field starts nothing
    EXPECT_EQ(dlg->RunningJobs(), 0);

    dlg->DownloadPage()->UrlField()->setText(QStringLiteral("plain"));
    dlg->OnElementCommand(dlg->Tree().downloadOnly->Id());
    EXPECT_TRUE(Busy(*dlg));
    ASSERT_TRUE(testenv::WaitUntil([&] { return dlg->RunningJobs() == 0; }, 20000));
    EXPECT_FALSE(Busy(*dlg));
    EXPECT_TRUE(QFile::exists(m_folder.filePath(QStringLiteral("clip.mp4"))));
    EXPECT_TRUE(dlg->DownloadPage()->LogText().contains(QStringLiteral("50.0% of 1.00KiB")));
    EXPECT_EQ(dlg->CurrentPage(), MainDlg::kDownloadPage); // nothing to play
}

TEST_F(MainDlgTest, BusyWindowStaysOpenAndStopEndsTheToolAndOnlyItsUnfinishedFiles)
{
    ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(QStringLiteral("mine.mp4.part")), "kept"));
    auto dlg = Window(QStringLiteral("slow:x"), JobKind::None);
    dlg->OnElementCommand(dlg->Tree().mp3->Id());
    const QString pidFile = m_folder.filePath(QStringLiteral("tool.pid"));
    ASSERT_TRUE(testenv::WaitUntil([&] { return QFile::exists(pidFile); }, 20000));
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return dlg->windowTitle() == u"1% \u00b7 Vandrel"; }, 5000));
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        EXPECT_TRUE(dlg->Tree().stop->IsVisible());
        EXPECT_TRUE(dlg->Tree().progressRing->IsVisible());
        EXPECT_EQ(dlg->Tree().progressRing->Progress(), 10);
    }
    const pid_t tool = testenv::ReadFile(pidFile).trimmed().toInt();
    ASSERT_GT(tool, 0);

    // A busy window stays open: the window manager's close, a close command and Escape.
    EXPECT_FALSE(dlg->close());
    dlg->OnElementCommand(dlg->Tree().close->Id());
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    QTest::qWait(200);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->RunningJobs(), 1);

    // Two presses in a row: the second finds the button gone and changes nothing.
    dlg->OnElementCommand(dlg->Tree().stop->Id());
    dlg->OnElementCommand(dlg->Tree().stop->Id());
    ASSERT_TRUE(testenv::WaitUntil([&] { return dlg->RunningJobs() == 0; }, 10000));
    EXPECT_FALSE(Busy(*dlg));
    EXPECT_TRUE(dlg->DownloadPage()->LogText().startsWith(QStringLiteral("Stopped\n")));
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Vandrel"));
    EXPECT_NE(::kill(tool, 0), 0) << "the tool was stopped";
    const QStringList left = QDir(m_folder.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(left, QStringList({"done.mp4", "mine.mp4.part", "tool.pid"}));
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        EXPECT_FALSE(dlg->Tree().stop->IsVisible());
        EXPECT_FALSE(dlg->Tree().progressRing->IsVisible());
    }
}

TEST_F(MainDlgTest, ToolTextReachesTheLogOnlyOnTheDownloadPage)
{
    auto dlg = Window({}, JobKind::None);
    QCoreApplication::postEvent(dlg.get(), new JobTextEvent("caf\xc3\xa9 \xe9t\xe9"));
    QCoreApplication::sendPostedEvents(dlg.get());
    EXPECT_TRUE(
        dlg->DownloadPage()->LogText().startsWith(QStringLiteral("caf\u00e9 \u00e9t\u00e9")));

    dlg->SwitchPage(MainDlg::kPlayerPage);
    dlg->OnJobText("dropped");
    dlg->SwitchPage(MainDlg::kDownloadPage);
    EXPECT_FALSE(dlg->DownloadPage()->LogText().contains(QStringLiteral("dropped")));
}

struct DropCase {
    const char* name;
    QList<QUrl> urls; // as text/uri-list, when not empty
    QString text;     // as text/plain otherwise
    QString expected; // the URL field afterwards; empty: unchanged
};

class LinkDropTest : public MainDlgTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(LinkDropTest, LinksFillTheUrlFieldFilesAreIgnored)
{
    auto dlg = Window(QStringLiteral("before"), JobKind::None);
    dlg->SwitchPage(MainDlg::kPlayerPage);
    QMimeData data;
    if (!GetParam().urls.isEmpty())
        data.setUrls(GetParam().urls);
    else
        data.setText(GetParam().text);
    // As a drag from another program arrives: it enters the window, then drops.
    QDragEnterEvent enter(QPoint(390, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.get(), &enter);
    QDropEvent drop(QPointF(390, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.get(), &drop);

    const bool taken = !GetParam().expected.isEmpty();
    EXPECT_EQ(dlg->DownloadPage()->UrlField()->text(),
              taken ? GetParam().expected : QStringLiteral("before"));
    EXPECT_EQ(dlg->CurrentPage(), taken ? MainDlg::kDownloadPage : MainDlg::kPlayerPage);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkDropTest,
    ::testing::Values(DropCase{"UriListFirstWebLink",
                               {QUrl(QStringLiteral("file:///tmp/a.flv")),
                                QUrl(QStringLiteral("https://127.0.0.1/watch?v=1"))},
                               {},
                               QStringLiteral("https://127.0.0.1/watch?v=1")},
                      DropCase{"PlainTextAddress",
                               {},
                               QStringLiteral("  http://127.0.0.1:8/page.html\n"),
                               QStringLiteral("http://127.0.0.1:8/page.html")},
                      DropCase{"FilesOnly", {QUrl(QStringLiteral("file:///tmp/a.flv"))}, {}, {}},
                      DropCase{"TextWithWords", {}, QStringLiteral("see http://127.0.0.1/x"), {}},
                      DropCase{"OtherScheme", {}, QStringLiteral("ftp://127.0.0.1/x"), {}}),
    [](const auto& row) { return std::string(row.param.name); });

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

class DecodeToolTextTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeToolTextTest, Utf8WithLatin1ForStrayBytes)
{
    EXPECT_EQ(DecodeToolText(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeToolTextTest,
    ::testing::Values(
        DecodeCase{"Ascii", "50.0% ETA", QStringLiteral("50.0% ETA")},
        DecodeCase{"Utf8Letters", "\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xac",
                   QString::fromUtf8("\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xac")},
        DecodeCase{"NoBreakSpacePhraseReadsAsWords",
                   "no\xa0such\xa0"
                   "file",
                   QStringLiteral("no\u00a0such\u00a0file")},
        DecodeCase{"TruncatedSequenceAtEnd", "ab\xe6\x97", QStringLiteral("ab\u00e6\u0097")},
        DecodeCase{"OverlongSlash", "\xc0\xaf", QStringLiteral("\u00c0\u00af")},
        DecodeCase{"Surrogate", "\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u0080")},
        DecodeCase{"PastU10FFFF", "\xf4\x90\x80\x80", QStringLiteral("\u00f4\u0090\u0080\u0080")},
        DecodeCase{"NulKept", QByteArray("a\0b", 3),
                   QString(QStringLiteral("a")) + QChar(0) + u'b'}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
