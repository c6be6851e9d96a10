// The page handling that both pages share: controls placed by the tree's move events, the mask
// that lets the skin take the pointer, and drops handed to the owner. (A page's close reaching
// the owner is the end-to-end Escape case.)
#include "pages/tab0_dlg.h"
#include "ui/elements/window_move_event.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QWindow>

#include <memory>

namespace {

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

void PostMove(QObject* receiver, QWidget* window, QRect r)
{
    QCoreApplication::postEvent(
        receiver,
        new ui::WindowMoveEvent(QPointer<QObject>(window), {r.x(), r.y(), r.width(), r.height()}));
    QCoreApplication::processEvents();
}

const QRect kUrl(339, 330, 258, 18), kFolder(339, 363, 170, 18), kLog(209, 445, 376, 52);

class TabBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner = std::make_unique<Owner>();
        page = new Tab0Dlg(nullptr, owner.get());
        owner->show();
        page->show();
        PostMove(page, page->UrlField(), kUrl);
        PostMove(page, page->FolderField(), kFolder);
        PostMove(page, page->LogBox(), kLog);
    }
    std::unique_ptr<Owner> owner;
    Tab0Dlg* page = nullptr;
};

TEST_F(TabBaseTest, MoveEventsPlaceTheControlsAndTheMaskIsTheirUnion)
{
    // Move events for other windows and for gone windows change nothing.
    QLineEdit stranger(owner.get());
    stranger.setGeometry(1, 2, 30, 40);
    PostMove(page, &stranger, QRect(100, 100, 50, 50));
    EXPECT_EQ(stranger.geometry(), QRect(1, 2, 30, 40));
    auto* doomed = new QLineEdit(page);
    QCoreApplication::postEvent(page,
                                new ui::WindowMoveEvent(QPointer<QObject>(doomed), {5, 5, 5, 5}));
    delete doomed;
    QCoreApplication::processEvents(); // must not touch the deleted window

    EXPECT_EQ(page->UrlField()->geometry(), kUrl);
    // The skin away from the controls takes the pointer (the end-to-end drag by the skin).
    EXPECT_EQ(page->mask(), QRegion(kUrl) + kFolder + kLog);
    page->FolderField()->hide();
    EXPECT_EQ(page->mask(), QRegion(kUrl) + kLog);
}

TEST_F(TabBaseTest, DropsGoToTheOwner)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.flv")),
                  QUrl::fromLocalFile(QStringLiteral("/tmp/b.mp4"))});
    // File managers offer the paths as text too, which a line edit would take for itself.
    data.setText(QStringLiteral("/tmp/a.flv\n/tmp/b.mp4"));
    QWindow* window = owner->windowHandle();
    ASSERT_NE(window, nullptr);
    // As the window system delivers them: to the top-level window, which picks the target
    // under the pointer. Over a control, over the page's masked area, and over the log.
    for (const QPoint p : {QPoint(345, 335), QPoint(100, 100), QPoint(220, 450)}) {
        owner->droppedUrls.clear();
        QDragEnterEvent enter(p, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDropEvent drop(p, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        EXPECT_TRUE(drop.isAccepted()) << p.x() << "," << p.y();
        EXPECT_EQ(owner->droppedUrls, data.urls()) << p.x() << "," << p.y();
        EXPECT_EQ(owner->dropPosition, p);
    }
    EXPECT_TRUE(page->UrlField()->text().isEmpty());
}

} // namespace
