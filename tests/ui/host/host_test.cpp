// The host on a real X server: frames (coalescing, measure passes, idleness, size, position),
// the window's shape, pointer input (click-through, dragging, hovering) and teardown.
#include "host_test_support.h"

#include "ui/elements/tree_lock.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <memory>

namespace {

using namespace hosttest;
using Host = CountingHost<50>;

QRect ExpectedFirstPlace(QSize size)
{
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    return {work.x() + (work.width() - size.width()) / 2,
            work.y() + (work.height() - size.height()) / 2, size.width(), size.height()};
}

const QColor kBelowColour(250, 250, 250);

// A plain white window that records the presses that reach it.
class Below : public QWidget {
public:
    Below() : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        setAutoFillBackground(true);
        setPalette(QPalette(kBelowColour));
    }
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A host showing the test tree, settled after its first frame.
struct Shown {
    TestTree tree = MakeTree();
    std::unique_ptr<Host> host = std::make_unique<Host>();

    Shown()
    {
        host->SetRoot(tree.root);
        host->show();
        Settle(*host);
        EXPECT_TRUE(testenv::WaitUntil([&] { return host->MaskUpdates() > 0 && host->isVisible(); },
                                       kWaitMs));
        Pump(100);
    }
    QPoint Global(QPoint local) const { return host->mapToGlobal(local); }
    QPoint ButtonCentre() const
    {
        return TestTree::kButtonAt +
               QPoint(TestTree::kButtonWidth / 2, TestTree::kButtonHeight / 2);
    }
    // A background point of the skin: opaque, no button.
    static QPoint Background() { return {TestTree::kSkinSize / 2, 120}; }
    // A fully transparent corner of the skin's square.
    static QPoint Transparent() { return {6, 6}; }
};

TEST(HostFrames, FirstFrameIsCentredAndShapesTheWindow)
{
    Shown s;
    const QSize size(TestTree::kSkinSize, TestTree::kSkinSize);
    EXPECT_EQ(s.host->geometry(), ExpectedFirstPlace(size));
    const QRegion mask = s.host->mask();
    EXPECT_TRUE(mask.contains(Shown::Background()));
    EXPECT_TRUE(mask.contains(s.ButtonCentre()));
    EXPECT_FALSE(mask.contains(Shown::Transparent()));
    EXPECT_FALSE(mask.contains(QPoint(TestTree::kSkinSize - 3, TestTree::kSkinSize - 3)));

    // On the screen: the skin's colour inside, the button's base picture on it.
    const QImage shot = Screenshot(QStringLiteral("first_frame"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(QColor(shot.pixel(s.Global(Shown::Background()))), TestTree::kSkinColour);
    EXPECT_EQ(QColor(shot.pixel(s.Global(s.ButtonCentre()))), TestTree::kBaseColour);
    EXPECT_EQ(s.host->ready + s.host->resized, static_cast<int>(s.host->FramesRendered()));
}

TEST(HostFrames, IdleWindowRendersNothing)
{
    Shown s;
    const auto frames = s.host->FramesRendered();
    const int measures = s.tree.skin->measures;
    Pump(1000);
    EXPECT_EQ(s.host->FramesRendered(), frames);
    EXPECT_EQ(s.tree.skin->measures, measures);
}

// At two frames per second the pause after a frame lasts 500 ms: a burst of changes made in
// it is served by exactly one further frame.
TEST(HostFrames, BurstDuringThePauseGivesOneMoreFrame)
{
    TestTree tree = MakeTree();
    auto host = std::make_unique<CountingHost<2>>();
    host->SetRoot(tree.root);
    host->show();
    Settle(*host, 700);
    const auto before = host->FramesRendered();

    Locked([&] { tree.button->SetIsEnabled(false); });
    ASSERT_TRUE(testenv::WaitUntil([&] { return host->FramesRendered() == before + 1; }, kWaitMs));
    Locked([&] {
        for (int i = 0; i < 100; ++i) {
            tree.button->SetIsEnabled(i % 2 == 0);
            tree.skin->SetWidth(TestTree::kSkinSize - (i % 2));
        }
    });
    Pump(1500);
    EXPECT_EQ(host->FramesRendered(), before + 2);
}

struct RequestCase {
    const char* name;
    bool redraw;
    bool relayout;
    int measures; // measure passes of the tree that the requests cause
    int masks;    // input masks recomputed: only after a frame that measured
};

class HostRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(HostRequests, OneFrameAtMostOneMeasurePassAndAMaskOnlyAfterMeasuring)
{
    Shown s;
    const auto frames = s.host->FramesRendered();
    const int measures = s.tree.skin->measures;
    const auto masks = s.host->MaskUpdates();
    Locked([&] {
        if (GetParam().redraw)
            ui::VisualDlgImpl::HostInvalidate(s.host.get(), u"IsEnabled", 1);
        if (GetParam().relayout)
            ui::VisualDlgImpl::HostInvalidate(s.host.get(), u"Width", 0);
    });
    Settle(*s.host);
    EXPECT_EQ(s.host->FramesRendered(), frames + 1);
    EXPECT_EQ(s.tree.skin->measures, measures + GetParam().measures);
    EXPECT_EQ(s.host->MaskUpdates(), masks + GetParam().masks);
}

INSTANTIATE_TEST_SUITE_P(Requests, HostRequests,
                         ::testing::Values(RequestCase{"RedrawOnly", true, false, 0, 0},
                                           RequestCase{"RelayoutOnly", false, true, 1, 1},
                                           RequestCase{"RedrawAndRelayout", true, true, 1, 1}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(HostFrames, NewFrameSizeResizesTheWindowWhereItIs)
{
    Shown s;
    const QPoint moved = s.host->pos() + QPoint(-37, 21);
    s.host->move(moved);
    Pump(50);
    const int resizedBefore = s.host->resized;
    Locked([&] { s.tree.skin->SetPicture(Disc(460, 430, TestTree::kSkinColour)); });
    ASSERT_TRUE(testenv::WaitUntil([&] { return s.host->size() == QSize(460, 430); }, kWaitMs));
    EXPECT_EQ(s.host->resized, resizedBefore + 1);
    EXPECT_EQ(s.host->pos(), moved); // later frames leave the window where it was put
    EXPECT_TRUE(s.host->mask().contains(QPoint(230, 420)));
    EXPECT_FALSE(s.host->mask().contains(QPoint(4, 4)));
    Screenshot(QStringLiteral("resized"));
}

TEST(HostFrames, DetachedTreeReachesNothing)
{
    Shown s;
    s.host->SetRoot(nullptr);
    EXPECT_EQ(s.tree.root->HostCallback(), nullptr);
    EXPECT_EQ(s.tree.root->HostContext(), nullptr);
    const auto frames = s.host->FramesRendered();
    Locked([&] {
        s.tree.button->SetIsEnabled(false);
        s.tree.skin->SetWidth(100);
    });
    Pump(300);
    EXPECT_EQ(s.host->FramesRendered(), frames);

    // A request still pending when the root goes away wakes the thread, which finds no root.
    Locked([&] {
        TestTree pending = MakeTree();
        s.host->SetRoot(pending.root);
        s.host->SetRoot(nullptr);
    });
    Pump(300);
    EXPECT_EQ(s.host->FramesRendered(), frames);

    // A new root is rendered again.
    TestTree other = MakeTree();
    s.host->SetRoot(other.root);
    EXPECT_TRUE(
        testenv::WaitUntil([&] { return s.host->FramesRendered() == frames + 1; }, kWaitMs));
}

// A root with a zero side gives an empty frame: nothing of the window shows or takes clicks,
// until a later frame has a size again.
TEST(HostFrames, EmptyFrameLeavesNothingOnTheScreen)
{
    Below below;
    Shown s;
    below.setGeometry(s.host->geometry());
    below.show();
    s.host->raise();
    Pump(100);
    const QPoint centre = s.Global(Shown::Background());
    Locked([&] {
        s.tree.skin->SetWidth(0);
        s.tree.canvas->SetIsVisible(false);
    });
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            const auto frame = s.host->LatestFrame();
            return frame && frame->isNull() && !s.host->mask().contains(Shown::Background());
        },
        kWaitMs));
    EXPECT_EQ(s.host->size(), QSize(TestTree::kSkinSize, TestTree::kSkinSize));
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            return QColor(Screenshot(QStringLiteral("empty_frame")).pixel(centre)) == kBelowColour;
        },
        kWaitMs));
    ASSERT_TRUE(MoveMouse(centre));
    ASSERT_TRUE(Xdo({QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(testenv::WaitUntil([&] { return below.presses == 1; }, 2000));

    Locked([&] {
        s.tree.skin->SetWidth(ui::Unset);
        s.tree.canvas->SetIsVisible(true);
    });
    EXPECT_TRUE(
        testenv::WaitUntil([&] { return s.host->mask().contains(Shown::Background()); }, kWaitMs));
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            return QColor(Screenshot(QStringLiteral("after_empty_frame")).pixel(centre)) ==
                   TestTree::kSkinColour;
        },
        kWaitMs));
}

TEST(HostTeardown, DestroyingWhileAFrameRendersWaitsForIt)
{
    Shown s;
    s.tree.skin->renderDelayMs = 300;
    const int finished = s.tree.skin->rendersFinished;
    Locked([&] { s.tree.button->SetIsEnabled(false); });
    ASSERT_TRUE(testenv::WaitUntil([&] { return s.tree.skin->rendering.load(); }, kWaitMs));
    s.host.reset();
    EXPECT_FALSE(s.tree.skin->rendering);
    EXPECT_EQ(s.tree.skin->rendersFinished, finished + 1);
    // The tree outlives the host and no longer reaches it.
    EXPECT_EQ(s.tree.root->HostCallback(), nullptr);
    Locked([&] { s.tree.button->SetIsEnabled(true); });
    Pump(100);
}

TEST(HostPointer, ClickOnATransparentPixelReachesTheWindowBelow)
{
    Below below;
    Shown s;
    below.setGeometry(s.host->geometry());
    below.show();
    s.host->raise();
    s.host->activateWindow();
    Pump(200);
    Screenshot(QStringLiteral("over_window_below"));

    ASSERT_TRUE(MoveMouse(s.Global(Shown::Transparent())));
    ASSERT_TRUE(Xdo({QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(testenv::WaitUntil([&] { return below.presses == 1; }, 2000));

    ASSERT_TRUE(MoveMouse(s.Global(s.ButtonCentre())));
    ASSERT_TRUE(Xdo({QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(testenv::WaitUntil([&] { return s.tree.button->presses == 1; }, 2000));
    EXPECT_EQ(below.presses, 1);
}

struct DragCase {
    const char* name;
    bool onButton;
};

class HostDrag : public ::testing::TestWithParam<DragCase> {};

TEST_P(HostDrag, BackgroundMovesTheWindowAButtonDoesNot)
{
    Shown s;
    const QPoint start = s.host->pos();
    const QPoint from = s.Global(GetParam().onButton ? s.ButtonCentre() : Shown::Background());
    const QPoint by(60, 40);
    ASSERT_TRUE(MoveMouse(from));
    ASSERT_TRUE(Xdo({QStringLiteral("mousedown"), QStringLiteral("1")}));
    Pump(50);
    ASSERT_TRUE(MoveMouse(from + by / 2));
    ASSERT_TRUE(MoveMouse(from + by));
    ASSERT_TRUE(Xdo({QStringLiteral("mouseup"), QStringLiteral("1")}));
    Pump(150);
    if (GetParam().onButton) {
        EXPECT_EQ(s.host->pos(), start);
        EXPECT_EQ(s.tree.button->presses, 1);
    } else {
        EXPECT_EQ(s.host->pos(), start + by);
        EXPECT_EQ(s.tree.button->presses, 0);
        // Moving the pointer afterwards no longer drags.
        ASSERT_TRUE(MoveMouse(from + by + QPoint(15, 15)));
        EXPECT_EQ(s.host->pos(), start + by);
        Screenshot(QStringLiteral("dragged"));
    }
}

INSTANTIATE_TEST_SUITE_P(Drag, HostDrag,
                         ::testing::Values(DragCase{"ByBackground", false},
                                           DragCase{"ByButton", true}),
                         [](const auto& row) { return std::string(row.param.name); });

struct LeaveCase {
    const char* name;
    bool throughTransparentPixel; // else out of the window altogether
};

class HostHover : public ::testing::TestWithParam<LeaveCase> {};

TEST_P(HostHover, HotPictureUnderThePointerBasePictureAfterLeaving)
{
    Shown s;
    const QPoint button = s.Global(s.ButtonCentre());
    ASSERT_TRUE(MoveMouse(button));
    ASSERT_TRUE(MoveMouse(button + QPoint(3, 2)));
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            return QColor(Screenshot(QStringLiteral("hover")).pixel(button)) ==
                   TestTree::kHotColour;
        },
        kWaitMs));
    EXPECT_EQ(s.host->cursor().shape(), Qt::PointingHandCursor);

    const QPoint away = GetParam().throughTransparentPixel
                            ? s.Global(Shown::Transparent())
                            : s.host->geometry().bottomRight() + QPoint(40, 40);
    ASSERT_TRUE(MoveMouse(away));
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            return QColor(Screenshot(QStringLiteral("left")).pixel(button)) ==
                   TestTree::kBaseColour;
        },
        kWaitMs));
    EXPECT_EQ(s.tree.button->leaves, 1);
    EXPECT_NE(s.host->cursor().shape(), Qt::PointingHandCursor);
}

INSTANTIATE_TEST_SUITE_P(Hover, HostHover,
                         ::testing::Values(LeaveCase{"OutOfTheWindow", false},
                                           LeaveCase{"ThroughATransparentPixel", true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(HostOverlay, CoversTheClientAreaMaskedToItsVisibleControls)
{
    Shown s;
    auto* page = new QWidget(s.host.get());
    auto* field = new QWidget(page);
    field->setGeometry(50, 60, 120, 20);
    auto* log = new QWidget(page);
    log->setGeometry(70, 200, 100, 40);
    auto* hidden = new QWidget(page);
    hidden->setGeometry(300, 300, 30, 30);
    hidden->hide();
    page->hide(); // placed before it is shown, as a page switch does

    s.host->PlaceOverlay(page);
    EXPECT_EQ(page->geometry(), s.host->rect());
    QRegion expected = QRegion(50, 60, 120, 20) + QRegion(70, 200, 100, 40);
    EXPECT_EQ(page->mask(), expected);

    // Without a visible control the page covers the whole window.
    field->hide();
    log->hide();
    s.host->PlaceOverlay(page);
    EXPECT_TRUE(page->mask().isEmpty());
}

} // namespace
