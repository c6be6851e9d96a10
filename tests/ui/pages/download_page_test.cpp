// The download page: controls placed by the tree's moves, the mask that lets the skin take
// the pointer, drops handed to the owner, the folder kept in the settings, the folder chooser,
// the log (order, limit) and the log box that ignores clicks but scrolls. (A page's close
// reaching the owner is the end-to-end Escape case.)
#include "settings/settings_store.h"
#include "ui/elements/window_handle.h"
#include "ui/pages/download_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <climits>
#include <memory>

namespace {

using namespace ui::pages;

settings::SettingsKey FreshKey()
{
    QFile::remove(settings::UserSettingsFile());
    std::optional<settings::SettingsKey> key = settings::CreateSettingsKey();
    EXPECT_TRUE(key.has_value());
    return *key;
}

// The main window as far as a page sees it.
class Owner : public QWidget {
public:
    Owner()
    {
        resize(781, 786);
        setAcceptDrops(true);
    }
    QList<QUrl> droppedUrls;
    QPoint dropPosition;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override { e->accept(); }
    void dropEvent(QDropEvent* e) override
    {
        droppedUrls = e->mimeData()->urls();
        dropPosition = e->position().toPoint();
        e->acceptProposedAction();
    }
};

// Moves window as the tree's window element does from the render thread.
void PostMove(QWidget* window, QRect r)
{
    ui::WindowHandle::Track(window)->PostMove({r.x(), r.y(), r.width(), r.height()});
    QCoreApplication::processEvents();
}

const QRect kUrl(339, 330, 258, 18), kFolder(339, 363, 170, 18), kLog(209, 445, 376, 52);

class DownloadPageTest : public ::testing::Test {
protected:
    std::unique_ptr<DownloadPage> MakePage(const settings::SettingsKey* key)
    {
        return std::make_unique<DownloadPage>(key, &owner);
    }
    // A page without settings, shown, its controls placed as the window's tree places them.
    std::unique_ptr<DownloadPage> PlacedPage()
    {
        auto page = MakePage(nullptr);
        owner.show();
        page->show();
        PostMove(page->UrlField(), kUrl);
        PostMove(page->FolderField(), kFolder);
        PostMove(page->LogBox(), kLog);
        return page;
    }
    Owner owner;
};

TEST_F(DownloadPageTest, MovesPlaceTheControlsAndTheMaskIsTheirUnion)
{
    auto page = PlacedPage();
    // A move that arrives after its control was given another parent changes nothing. (One whose
    // control has gone is the window element's test.)
    QLineEdit moved(page.get());
    moved.setGeometry(1, 2, 30, 40);
    moved.show();
    ui::WindowHandle::Track(&moved)->PostMove({100, 100, 50, 50});
    moved.setParent(&owner);
    QCoreApplication::processEvents();
    EXPECT_EQ(moved.geometry(), QRect(1, 2, 30, 40));

    // The skin away from the controls takes the pointer (the end-to-end drag by the skin).
    const QRect elsewhere(10, 20, 100, 18);
    PostMove(page->UrlField(), elsewhere);
    EXPECT_EQ(page->UrlField()->geometry(), elsewhere);
    EXPECT_EQ(page->mask(), QRegion(elsewhere) + kFolder + kLog);
    PostMove(page->UrlField(), kUrl);
    EXPECT_EQ(page->mask(), QRegion(kUrl) + kFolder + kLog);
    page->FolderField()->hide();
    EXPECT_EQ(page->mask(), QRegion(kUrl) + kLog);
}

TEST_F(DownloadPageTest, DropsGoToTheOwner)
{
    auto page = PlacedPage();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.flv")),
                  QUrl::fromLocalFile(QStringLiteral("/tmp/b.mp4"))});
    // File managers offer the paths as text too, which a line edit would take for itself.
    data.setText(QStringLiteral("/tmp/a.flv\n/tmp/b.mp4"));
    QWindow* window = owner.windowHandle();
    ASSERT_NE(window, nullptr);
    // As the window system delivers them: to the top-level window, which picks the target
    // under the pointer. Over a control, over the page's masked area, and over the log.
    for (const QPoint p : {QPoint(345, 335), QPoint(100, 100), QPoint(220, 450)}) {
        owner.droppedUrls.clear();
        QDragEnterEvent enter(p, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDropEvent drop(p, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        EXPECT_TRUE(drop.isAccepted()) << p.x() << "," << p.y();
        EXPECT_EQ(owner.droppedUrls, data.urls()) << p.x() << "," << p.y();
        EXPECT_EQ(owner.dropPosition, p);
    }
    EXPECT_TRUE(page->UrlField()->text().isEmpty());
}

// The field starts with the stored folder (the desktop without one), and what is typed is
// stored exactly as typed when the page goes, only when there is a key to keep it in.
TEST_F(DownloadPageTest, FolderFieldStartsWithTheStoredFolderAndKeepsWhatIsTyped)
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const struct {
        const char* name;
        bool haveKey;
        std::optional<QString> stored; // nullopt: the value is absent
        QString shown;
    } rows[] = {
        {"no key gives the desktop and stores nothing", false, QStringLiteral("/srv/x"), desktop},
        {"an empty value stays empty", true, QString(), QString()},
        {"Unicode is kept", true, QStringLiteral("/Vidéos"), QStringLiteral("/Vidéos")},
    };
    const QString typed = QStringLiteral("  /no/such/folder/ever; x=y ");
    for (const auto& c : rows) {
        SCOPED_TRACE(c.name);
        settings::SettingsKey key = FreshKey();
        if (c.stored) {
            ASSERT_TRUE(settings::WriteStringValue(key, settings::names::kDefaultDownloadFolder,
                                                   *c.stored));
        }
        {
            auto page = MakePage(c.haveKey ? &key : nullptr);
            EXPECT_EQ(page->FolderField()->text(), c.shown);
            page->FolderField()->setText(typed);
        }
        EXPECT_EQ(settings::ReadStringValue(key, settings::names::kDefaultDownloadFolder, INT_MAX),
                  c.haveKey ? std::optional(typed) : c.stored);
        if (c.haveKey) {
            EXPECT_EQ(MakePage(&key)->FolderField()->text(), typed);
        }
    }
}

TEST_F(DownloadPageTest, ChosenFolderFillsTheFieldCancelLeavesIt)
{
    auto page = MakePage(nullptr);
    page->FolderField()->setText(QStringLiteral("/srv/start"));
    std::optional<QString> answer;
    int asked = 0;
    page->SetFolderChooser([&](QWidget* chooserOwner, const QString& start) {
        ++asked;
        EXPECT_EQ(chooserOwner, &owner);
        EXPECT_EQ(start, QStringLiteral("/srv/start"));
        return answer;
    });
    EXPECT_FALSE(page->ChooseDownloadFolder());
    EXPECT_EQ(page->FolderField()->text(), QStringLiteral("/srv/start"));
    answer = QStringLiteral("/srv/chosen");
    EXPECT_TRUE(page->ChooseDownloadFolder());
    EXPECT_EQ(page->FolderField()->text(), QStringLiteral("/srv/chosen"));
    EXPECT_EQ(asked, 2);
}

TEST_F(DownloadPageTest, OverTheLimitTheOldestWholeLinesLeave)
{
    auto page = MakePage(nullptr);
    page->SetMaxLogCharacters(100);
    for (int i = 0; i < 30; ++i)
        page->AddLogText(QStringLiteral("line %1").arg(i, 2, 10, QChar(u'0')));
    const QString log = page->LogText();
    EXPECT_LE(log.size() + 1, 100);
    EXPECT_TRUE(log.endsWith(u'\n'));
    // What is left is the newest lines, in order, each complete.
    const QStringList lines = log.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 10);
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], QStringLiteral("line %1").arg(29 - i, 2, 10, QChar(u'0')));
}

void Wheel(QWidget* target, int delta)
{
    QWheelEvent wheel(QPointF(40, 20), target->mapToGlobal(QPointF(40, 20)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &wheel);
}

TEST_F(DownloadPageTest, ClicksInTheLogBoxAreIgnoredButItScrollsAndANewLineShowsTheTop)
{
    auto page = PlacedPage();
    LogBox* log = page->LogBox();
    for (int i = 0; i < 100; ++i)
        page->AddLogText(QStringLiteral("a fairly long log line number %1").arg(i));
    page->UrlField()->setFocus();
    const QString before = page->LogText();

    QTest::mouseDClick(log, Qt::LeftButton, {}, QPoint(40, 20));
    QTest::mousePress(log, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(log, QPoint(200, 40));
    QTest::mouseRelease(log, Qt::LeftButton, {}, QPoint(200, 40));

    EXPECT_FALSE(log->hasFocus());
    EXPECT_EQ(owner.focusWidget(), page->UrlField());
    EXPECT_EQ(page->LogText(), before);
    EXPECT_EQ(log->TopLine(), 0);
    EXPECT_EQ(log->cursor().shape(), Qt::ArrowCursor);

    Wheel(log, -120);
    EXPECT_EQ(log->TopLine(), QApplication::wheelScrollLines());
    Wheel(log, 1200);
    EXPECT_EQ(log->TopLine(), 0);
    // Scrolling stops with the last lines in view.
    for (int i = 0; i < 100; ++i)
        Wheel(log, -120);
    const qsizetype lastTop = log->TopLine();
    EXPECT_GT(lastTop, 80);
    EXPECT_LT(lastTop, log->LineCount());
    Wheel(log, -120);
    EXPECT_EQ(log->TopLine(), lastTop);

    page->AddLogText(QStringLiteral("newest"));
    EXPECT_EQ(log->TopLine(), 0);
}

// A line longer than the box wraps, at blanks and within a word too long for a row, so the
// reason at its end shows; the log reaches the clipboard from the context menu and by Ctrl+C.
TEST_F(DownloadPageTest, LongLinesWrapAndTheLogCanBeCopied)
{
    auto page = PlacedPage();
    LogBox* log = page->LogBox();
    page->AddLogText(QStringLiteral("older"));
    page->AddLogText("Unsupported URL: http://127.0.0.1:8000/" + QString(80, u'x') +
                     " and the reason at the end");
    // Rows of the box that carry text: some pixel of the row differs from the box's colour.
    const QImage image = log->grab().toImage();
    const int spacing = QFontMetrics(log->font()).lineSpacing();
    const QRgb base = log->palette().color(QPalette::Base).rgb();
    int rows = 0;
    for (int top = 0; top + spacing <= image.height(); top += spacing) {
        bool text = false;
        for (int y = top; y < top + spacing && !text; ++y)
            for (int x = 0; x < image.width() && !text; ++x)
                text = image.pixel(x, y) != base;
        rows += text;
    }
    // Unwrapped, the long line and the older one took two rows and the reason was cut off.
    EXPECT_GE(rows, 4) << "the long line in three rows at least, the older line below it";

    QGuiApplication::clipboard()->clear();
    QTimer::singleShot(0, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                if (action->text() == QStringLiteral("Copy"))
                    action->trigger();
            menu->close();
        }
    });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(10, 10),
                           log->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(log, &menu);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), page->LogText().toStdString());

    QGuiApplication::clipboard()->clear();
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), page->LogText().toStdString());
}

// The busy picture under the log box is the end-to-end busy window's case; the idle window has
// none, and the box's own colours come back.
TEST_F(DownloadPageTest, WithoutABackgroundPictureTheBoxHasItsOwnColours)
{
    auto page = MakePage(nullptr);
    LogBox* log = page->LogBox();
    log->resize(120, 40);
    QImage picture(20, 16, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    page->SetLogBackground(picture);
    EXPECT_TRUE(log->HasBackground());
    page->SetLogBackground(QImage());
    EXPECT_FALSE(log->HasBackground());
    EXPECT_EQ(log->palette().color(QPalette::Text), page->palette().color(QPalette::Text));
    EXPECT_EQ(QColor(log->grab().toImage().pixel(119, 39)), log->palette().color(QPalette::Base));
}

} // namespace
