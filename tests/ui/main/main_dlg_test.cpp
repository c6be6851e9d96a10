// The main window driven in the process, with a stand-in downloader in its workspace: a busy
// window whose stop removes only the job's unfinished files, how tool bytes reach the log, and
// dropped links. The end-to-end tests use the real tools and display (greying, progress,
// closing refused, stop and SIGTERM).
#include "ui/main/main_dlg.h"

#include "download/job_text_event.h"
#include "pages/tab0_dlg.h"
#include "test_env.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/tool_text.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The stand-in downloader leaves a finished file and two unfinished ones, prints one progress
// line and then waits (its pid in the folder's "tool.pid").
constexpr char kDownloader[] = R"(#!/bin/sh
printf 'x' > done.mp4; printf 'x' > next.mp4.part; printf 'x' > next.mp4.part-Frag3
echo $$ > tool.pid
printf '[download]   1.0%% of 1.00MiB at 1.00KiB/s ETA 09:59\r\n'
exec sleep 600
)";

class MainDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_workspace.isValid() && m_folder.isValid());
        const QString path = m_workspace.filePath(QStringLiteral("downloader"));
        ASSERT_TRUE(testenv::WriteFile(path, kDownloader));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::unique_ptr<MainDlg> Window(const QString& url)
    {
        auto dlg = std::make_unique<MainDlg>(m_workspace.path(), url, JobKind::None, QString());
        dlg->OnInitDialog();
        dlg->DownloadPage()->FolderField()->setText(m_folder.path());
        dlg->show();
        return dlg;
    }

    QTemporaryDir m_workspace;
    QTemporaryDir m_folder;
};

TEST_F(MainDlgTest, BusyWindowStaysOpenAndStopEndsTheToolAndOnlyItsUnfinishedFiles)
{
    ASSERT_TRUE(testenv::WriteFile(m_folder.filePath(QStringLiteral("mine.mp4.part")), "kept"));
    auto dlg = Window(QStringLiteral("slow:x"));
    dlg->OnElementCommand(dlg->Tree().mp3->Id());
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
    dlg->OnElementCommand(dlg->Tree().close->Id());
    QTest::qWait(200);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->RunningJobs(), 1);

    // Two presses in a row: the second finds the button gone and changes nothing.
    dlg->OnElementCommand(dlg->Tree().stop->Id());
    dlg->OnElementCommand(dlg->Tree().stop->Id());
    ASSERT_TRUE(testenv::WaitUntil([&] { return dlg->RunningJobs() == 0; }, 10000));
    EXPECT_TRUE(dlg->DownloadPage()->LogText().startsWith(QStringLiteral("Stopped\n")));
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Vandrel"));
    EXPECT_NE(::kill(tool, 0), 0) << "the tool was stopped";
    const QStringList left = QDir(m_folder.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(left, QStringList({"done.mp4", "mine.mp4.part", "tool.pid"}));
}

TEST_F(MainDlgTest, AnEmptyUrlStartsNothingAndToolTextReachesTheLogOnlyOnTheDownloadPage)
{
    auto dlg = Window({});
    dlg->StartJob(JobKind::Download);
    EXPECT_EQ(dlg->RunningJobs(), 0);

    QCoreApplication::postEvent(dlg.get(), new JobTextEvent("caf\xc3\xa9 \xe9t\xe9"));
    QCoreApplication::sendPostedEvents(dlg.get());
    EXPECT_TRUE(
        dlg->DownloadPage()->LogText().startsWith(QStringLiteral("caf\u00e9 \u00e9t\u00e9")));

    dlg->SwitchPage(MainDlg::kPlayerPage);
    dlg->OnJobText("dropped");
    dlg->SwitchPage(MainDlg::kDownloadPage);
    EXPECT_FALSE(dlg->DownloadPage()->LogText().contains(QStringLiteral("dropped")));
}

TEST_F(MainDlgTest, LinksDroppedFillTheUrlFieldFilesAreIgnored)
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
        dlg->SwitchPage(MainDlg::kPlayerPage);
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
        EXPECT_EQ(dlg->CurrentPage(), taken ? MainDlg::kDownloadPage : MainDlg::kPlayerPage);
    }
}

TEST(DecodeToolText, Utf8WithLatin1ForStrayBytes)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
    } rows[] = {
        {"ASCII", "50.0% ETA", QStringLiteral("50.0% ETA")},
        {"UTF-8 letters", "\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xac",
         QString::fromUtf8("\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xac")},
        {"a phrase with no-break spaces reads as words",
         "no\xa0such\xa0"
         "file",
         QStringLiteral("no\u00a0such\u00a0file")},
        {"a truncated sequence at the end", "ab\xe6\x97", QStringLiteral("ab\u00e6\u0097")},
        {"an overlong slash", "\xc0\xaf", QStringLiteral("\u00c0\u00af")},
        {"a surrogate", "\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u0080")},
        {"past U+10FFFF", "\xf4\x90\x80\x80", QStringLiteral("\u00f4\u0090\u0080\u0080")},
        {"NUL kept", QByteArray("a\0b", 3), QString(QStringLiteral("a")) + QChar(0) + u'b'},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DecodeToolText(row.bytes), row.text) << row.name;
}

} // namespace
