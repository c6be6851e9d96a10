// The main window. Its whole tree rendered into one frame: a circular face with its controls in
// place (kept under build/artifacts/). Then driven in the process, with a stand-in downloader:
// a busy window whose stop removes only the job's unfinished files, how tool bytes reach the
// log, and dropped links.
#include "ui/main/main_window.h"

#include "../test_tree.h"
#include "contrast.h"
#include "test_env.h"
#include "ui/elements/routing.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/main_tree.h"
#include "ui/main/tool_text.h"
#include "ui/pages/download_page.h"
#include "ui/pages/player_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>

#include <sys/stat.h>

namespace {

using namespace ui;

// The window's tree without native controls: the window elements only take their places.
struct MainWindowTree : ui::MainTree {
    MainWindowTree() : MainTree(ui::BuildMainTree({})) {}
    QImage Frame() { return uitest::RenderFrame(*root).convertToFormat(QImage::Format_ARGB32); }
};

void Keep(const QImage& frame, const char* name)
{
    const QString dir = QStringLiteral(VANDREL_BINARY_DIR "/artifacts");
    QDir().mkpath(dir);
    EXPECT_TRUE(frame.save(dir + QLatin1Char('/') + QLatin1String(name)));
}

bool IsWhite(QRgb p)
{
    return qAlpha(p) == 255 && qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235;
}

TEST(MainWindowComposite, DownloadPage)
{
    MainWindowTree tree;
    tree.downloadPanel->SetIsVisible(true);
    const QImage frame = tree.Frame();
    Keep(frame, "main_window_composite.png");

    // The skin alone gives the window its size.
    ASSERT_EQ(frame.size(), QSize(781, 786));

    // Outside the circle: nothing; on the frame ring and on the bare cone: solid and dark.
    for (const QPoint p : {QPoint(0, 0), QPoint(780, 0), QPoint(0, 785), QPoint(780, 785),
                           QPoint(60, 60), QPoint(720, 730)})
        EXPECT_EQ(qAlpha(frame.pixel(p.x(), p.y())), 0) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(390, 30), QPoint(30, 393), QPoint(390, 310), QPoint(160, 470)}) {
        const QRgb c = frame.pixel(p.x(), p.y());
        EXPECT_EQ(qAlpha(c), 255) << p.x() << "," << p.y();
        EXPECT_LT(qGray(c), 110) << p.x() << "," << p.y();
    }

    // The folder field and the idle status panel around the native controls (the URL field
    // the end-to-end tests see).
    EXPECT_TRUE(IsWhite(frame.pixel(420, 372)));
    EXPECT_TRUE(IsWhite(frame.pixel(206, 470)));

    // The round job buttons in their colours, at their centres' left, clear of the lettering.
    const QRgb download = frame.pixel(238, 569), avi = frame.pixel(411, 610),
               mp4 = frame.pixel(497, 570);
    EXPECT_GT(qGreen(download), qRed(download) + 40);
    EXPECT_GT(qRed(avi), qBlue(avi) + 80);
    EXPECT_GT(qGreen(avi), qBlue(avi) + 40);
    EXPECT_GT(qRed(mp4), qGreen(mp4) + 40);
    EXPECT_GT(qBlue(mp4), qGreen(mp4) + 60);
    // The checked play-after-download bar is green; the browse button grey.
    const QRgb checkbox = frame.pixel(480, 400), browse = frame.pixel(520, 362);
    EXPECT_GT(qGreen(checkbox), qRed(checkbox) + 40);
    EXPECT_LE(std::abs(qRed(browse) - qBlue(browse)), 30);
    // The minimise bar is white on the dark pod beside it.
    EXPECT_TRUE(IsWhite(frame.pixel(607, 104)));
    EXPECT_LT(qGray(frame.pixel(640, 140)), 60);

    // The native controls get the field rectangles less 5 pixels on each side.
    EXPECT_EQ(tree.urlWindow->ContentRect(tree.urlWindow->ActualRect()), (Rect{339, 330, 258, 18}));
    EXPECT_EQ(tree.folderWindow->ContentRect(tree.folderWindow->ActualRect()),
              (Rect{339, 363, 170, 18}));
    EXPECT_EQ(tree.logWindow->ContentRect(tree.logWindow->ActualRect()), (Rect{209, 445, 376, 52}));
    EXPECT_EQ(tree.folderButton->ActualRect(), (Rect{514, 358, 88, 28}));

    // A button answers the hit test; the bare skin is caption to drag the window by.
    EXPECT_EQ(RouteHitTest(tree.root, {348, 610}), HitArea::Client);
    EXPECT_EQ(RouteHitTest(tree.root, {676, 172}), HitArea::Client);
    EXPECT_EQ(RouteHitTest(tree.root, {390, 310}), HitArea::Caption);
}

TEST(MainWindowComposite, Busy)
{
    // During a job (the end-to-end tests see the grey buttons and the stop square): the busy
    // status picture under the log, the ring a quarter full.
    MainWindowTree tree;
    tree.downloadPanel->SetIsVisible(true);
    tree.Frame();
    for (const JobButton& job : tree.jobButtons)
        job.button->SetIsEnabled(false);
    tree.statusImage->SetImage(LoadPngResource(178));
    tree.close->SetIsVisible(false);
    tree.stop->SetIsVisible(true);
    tree.progressRing->SetIsVisible(true);
    tree.progressRing->SetProgress(250);
    const QImage frame = tree.Frame();
    Keep(frame, "main_window_busy_composite.png");

    // The log's white text is readable on the busy picture everywhere under the log box.
    const QRect logBox(209, 445, 376, 52);
    double lowest = 21.0;
    QPoint lowestAt;
    int seeThrough = 0;
    for (int y = logBox.top(); y <= logBox.bottom(); ++y) {
        for (int x = logBox.left(); x <= logBox.right(); ++x) {
            const QRgb p = frame.pixel(x, y);
            seeThrough += qAlpha(p) != 255;
            if (testenv::ContrastWithWhite(p) < lowest)
                lowest = testenv::ContrastWithWhite(p), lowestAt = QPoint(x, y);
        }
    }
    EXPECT_EQ(seeThrough, 0);
    EXPECT_GE(lowest, 4.5) << "at " << lowestAt.x() << "," << lowestAt.y();
    const QRgb status = frame.pixel(397, 471);
    EXPECT_GT(qBlue(status), qRed(status) + 60);
    // A quarter of the ring, clockwise from the top: lit at one o'clock, dark at seven.
    const QRgb lit = frame.pixel(390 + 18, 237 - 18), unlit = frame.pixel(390 - 18, 237 + 18);
    EXPECT_GT(qGreen(lit), 180);
    EXPECT_GT(qGreen(lit), qBlue(lit) + 60);
    EXPECT_LT(qGreen(unlit), 180);
}

// The stand-in downloader reports a finished file (the start of an MP4) and leaves two
// unfinished ones, prints one progress line and then waits (its pid in the download folder's
// "tool.pid"; it runs in the job's staging folder inside it).
constexpr char kDownloader[] = R"(#!/bin/sh
printf '\000\000\000\030ftypisom' > done.mp4; printf '[download] Destination: done.mp4\r\n'
printf 'x' > next.mp4.part; printf 'x' > next.mp4.part-Frag3
echo $$ > ../tool.pid
printf '[download]   1.0%% of 1.00MiB at 1.00KiB/s ETA 09:59\r\n'
exec sleep 600
)";

// Presses button as the pointer does, and runs the command it posts.
void Press(const std::shared_ptr<ButtonElement>& button)
{
    {
        TreeLockGuard tree(TreeLock());
        button->OnMouseDown({});
    }
    QCoreApplication::sendPostedEvents();
}

std::shared_ptr<ButtonElement> JobButtonOf(const MainTree& tree, download::JobKind kind)
{
    for (const JobButton& job : tree.jobButtons)
        if (job.kind == kind)
            return job.button;
    return nullptr;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_workspace.isValid() && m_folder.isValid());
        const QString path = m_workspace.filePath(QStringLiteral("downloader"));
        ASSERT_TRUE(testenv::WriteFile(path, kDownloader));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::unique_ptr<MainWindow> Window(const QString& url)
    {
        auto dlg = std::make_unique<MainWindow>(m_workspace.path(), url, download::JobKind::None,
                                                QString());
        dlg->ApplyStartValues();
        dlg->DownloadPage()->FolderField()->setText(m_folder.path());
        dlg->show();
        return dlg;
    }

    QTemporaryDir m_workspace;
    QTemporaryDir m_folder;
};

TEST_F(MainWindowTest, BusyWindowStaysOpenAndStopEndsTheToolAndOnlyItsUnfinishedFiles)
{
    ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(QStringLiteral("mine.mp4.part")), "kept"));
    auto dlg = Window(QStringLiteral("slow:x"));
    Press(JobButtonOf(dlg->Tree(), download::JobKind::Mp3));
    const QString pidFile = m_folder.filePath(QStringLiteral("tool.pid"));
    ASSERT_TRUE(testenv::WaitUntil([&] { return QFile::exists(pidFile); }, 20000));
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return dlg->windowTitle() == u"1% \u00b7 Vandrel"; }, 5000));
    {
        ui::TreeLockGuard tree(ui::TreeLock());
        EXPECT_EQ(dlg->Tree().progressRing->Progress(), 10);
    }
    const pid_t tool = testenv::ReadFile(pidFile).trimmed().toInt();
    ASSERT_GT(tool, 0);

    // The close command (its button is hidden, the stop square in its place) is refused too.
    Press(dlg->Tree().close);
    QTest::qWait(200);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->RunningJobs(), 1);

    // Two presses in a row: the second finds the button gone and changes nothing.
    Press(dlg->Tree().stop);
    Press(dlg->Tree().stop);
    ASSERT_TRUE(testenv::WaitUntil([&] { return dlg->RunningJobs() == 0; }, 10000));
    EXPECT_TRUE(dlg->DownloadPage()->LogText().startsWith(QStringLiteral("Stopped\n")));
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Vandrel"));
    EXPECT_NE(::kill(tool, 0), 0) << "the tool was stopped";
    EXPECT_EQ(testenv::FilesIn(m_folder.path()),
              QStringList({"done.mp4", "mine.mp4.part", "tool.pid"}));
}

TEST_F(MainWindowTest, AnEmptyFieldStartsNothingAndSaysSoToolTextReachesOnlyTheDownloadPage)
{
    auto dlg = Window({});
    dlg->StartJob(download::JobKind::Download);
    dlg->DownloadPage()->UrlField()->setText(QStringLiteral("http://127.0.0.1:1/a"));
    dlg->DownloadPage()->FolderField()->clear();
    Press(JobButtonOf(dlg->Tree(), download::JobKind::Mp4));
    EXPECT_EQ(dlg->RunningJobs(), 0);
    EXPECT_EQ(dlg->DownloadPage()->LogText().toStdString(),
              "Choose a folder to save to\nPaste the address of a video page\n");

    dlg->OnJobText("caf\xc3\xa9 \xe9t\xe9");
    EXPECT_TRUE(
        dlg->DownloadPage()->LogText().startsWith(QStringLiteral("caf\u00e9 \u00e9t\u00e9")));

    dlg->SwitchPage(MainWindow::kPlayerPage);
    dlg->OnJobText("dropped");
    dlg->SwitchPage(MainWindow::kDownloadPage);
    EXPECT_FALSE(dlg->DownloadPage()->LogText().contains(QStringLiteral("dropped")));
}

// A --player file that is not there, or is no regular file, is named on the download page, and
// nobody gets it.
TEST_F(MainWindowTest, AMissingFileToPlayIsNamedOnTheDownloadPage)
{
    const QString fifo = m_folder.filePath(QStringLiteral("fifo.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& missing : {m_folder.filePath(QStringLiteral("gone.mp4")), m_folder.path(),
                                   fifo, QStringLiteral("/dev/null")}) {
        MainWindow dlg(m_workspace.path(), {}, download::JobKind::None, missing);
        dlg.BuildWindow();
        QStringList opened;
        dlg.PlayerPage()->SetFileOpener([&](const QString& path) { opened.append(path); });
        dlg.ApplyStartValues();
        EXPECT_EQ(dlg.CurrentPage(), MainWindow::kDownloadPage);
        EXPECT_EQ(dlg.DownloadPage()->LogText().toStdString(),
                  ("There is no file " + missing + " to play.\n").toStdString());
        EXPECT_EQ(opened, QStringList());
    }
}

// The Menu key opens the options; a choice reaches the next job's downloader and the next
// window.
TEST_F(MainWindowTest, OptionsFromTheContextMenuReachTheDownloaderAndAreKept)
{
    ASSERT_TRUE(testenv::WriteFile(m_workspace.filePath(QStringLiteral("downloader")),
                                   "#!/bin/sh\nprintf '%s\\n' \"$@\" > ../args\n"));
    // The choice's action in the list's submenu of the menu the window opens.
    const auto choice = [](MainWindow& dlg, const char* list, const char* text) -> QAction* {
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint());
        QCoreApplication::sendEvent(&dlg, &key);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* found = nullptr;
        for (QAction* sub : menu ? menu->actions() : QList<QAction*>())
            for (QAction* action : sub->text() == QLatin1String(list) && sub->menu()
                                       ? sub->menu()->actions()
                                       : QList<QAction*>())
                found = action->text() == QLatin1String(text) ? action : found;
        if (menu)
            menu->close();
        return found;
    };
    {
        auto dlg = Window(QStringLiteral("http://127.0.0.1:1/a"));
        for (const auto& [list, text] :
             {std::pair{"Quality", "Up to 720p"}, std::pair{"Subtitles", "Beside the video"}}) {
            QAction* action = choice(*dlg, list, text);
            ASSERT_TRUE(action) << text;
            action->trigger();
        }
        Press(JobButtonOf(dlg->Tree(), download::JobKind::Download));
        ASSERT_TRUE(testenv::WaitUntil([&] { return dlg->RunningJobs() == 0; }, 20000));
        const QByteArray args = testenv::ReadFile(m_folder.filePath(QStringLiteral("args")));
        EXPECT_TRUE(args.contains("\n-f\nbv*[height<=720]+ba/b[height<=720]/b\n")) << args.data();
        EXPECT_TRUE(args.contains("\n--write-subs\n--sub-langs\n")) << args.data();
    }
    auto next = Window({});
    for (const auto& [list, text] :
         {std::pair{"Quality", "Up to 720p"}, std::pair{"Subtitles", "Beside the video"},
          std::pair{"Cookies from", "None"}}) {
        QAction* action = choice(*next, list, text);
        ASSERT_TRUE(action) << text;
        EXPECT_TRUE(action->isChecked()) << text;
    }
}

TEST_F(MainWindowTest, LinksDroppedFillTheUrlFieldFilesAreIgnored)
{
    const QUrl file(QStringLiteral("file:///tmp/a.flv"));
    const struct {
        const char* name;
        QList<QUrl> urls; // as text/uri-list, when not empty
        QString text;     // as text/plain otherwise
        QString expected; // the URL field afterwards; empty: unchanged
    } rows[] = {
        {"a URI list's first web link",
         {file, QUrl(QStringLiteral("https://127.0.0.1/watch?v=1"))},
         {},
         QStringLiteral("https://127.0.0.1/watch?v=1")},
        {"a plain-text address",
         {},
         QStringLiteral("  http://127.0.0.1:8/page.html\n"),
         QStringLiteral("http://127.0.0.1:8/page.html")},
        {"files only", {file}, {}, {}},
        {"text with words", {}, QStringLiteral("see http://127.0.0.1/x"), {}},
        {"another scheme", {}, QStringLiteral("ftp://127.0.0.1/x"), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto dlg = Window(QStringLiteral("before"));
        dlg->SwitchPage(MainWindow::kPlayerPage);
        QMimeData data;
        if (!row.urls.isEmpty())
            data.setUrls(row.urls);
        else
            data.setText(row.text);
        // As a drag from another program arrives: it enters the window, then drops.
        QDragEnterEvent enter(QPoint(390, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(dlg.get(), &enter);
        QDropEvent drop(QPointF(390, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(dlg.get(), &drop);
        const bool taken = !row.expected.isEmpty();
        EXPECT_EQ(dlg->DownloadPage()->UrlField()->text(),
                  taken ? row.expected : QStringLiteral("before"));
        EXPECT_EQ(dlg->CurrentPage(), taken ? MainWindow::kDownloadPage : MainWindow::kPlayerPage);
    }
}

TEST(DecodeToolText, Utf8WithLatin1ForStrayBytes)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
    } rows[] = {
        {"UTF-8 letters", "\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xac",
         QString::fromUtf8("\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xac")},
        {"a phrase with no-break spaces reads as words",
         "no\xa0such\xa0"
         "file",
         QStringLiteral("no\u00a0such\u00a0file")},
        {"a truncated sequence at the end", "ab\xe6\x97", QStringLiteral("ab\u00e6\u0097")},
        {"an overlong slash", "\xc0\xaf", QStringLiteral("\u00c0\u00af")},
        {"a surrogate", "\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u0080")},
        {"NUL kept", QByteArray("a\0b", 3), QString(QStringLiteral("a")) + QChar(0) + u'b'},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DecodeToolText(row.bytes), row.text) << row.name;
}

} // namespace
