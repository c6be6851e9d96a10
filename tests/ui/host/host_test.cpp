// The host on a real X server: frames (coalescing, measure passes, idleness, size, position),
// click-through and teardown. The skin test shows the shape and the hover; the end-to-end tests
// drag the real window and use its fields through the overlay.
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

TEST(HostFrames, FirstFrameIsCentredOnTheWorkArea)
{
    Shown s;
    EXPECT_EQ(s.host->geometry(),
              ExpectedFirstPlace(QSize(TestTree::kSkinSize, TestTree::kSkinSize)));
    EXPECT_EQ(s.host->ready + s.host->resized, static_cast<int>(s.host->FramesRendered()));
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
    int frames;
    int measures; // measure passes of the tree that the requests cause
    int masks;    // input masks recomputed: only after a frame that measured
};

class HostRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(HostRequests, AtMostOneFrameOneMeasurePassAndAMaskOnlyAfterMeasuring)
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
    Settle(*s.host, 500); // long enough to see a window that keeps rendering while idle
    EXPECT_EQ(s.host->FramesRendered(), frames + GetParam().frames);
    EXPECT_EQ(s.tree.skin->measures, measures + GetParam().measures);
    EXPECT_EQ(s.host->MaskUpdates(), masks + GetParam().masks);
}

INSTANTIATE_TEST_SUITE_P(Requests, HostRequests,
                         ::testing::Values(RequestCase{"NoneLeavesAnIdleWindowAlone", false, false,
                                                       0, 0, 0},
                                           RequestCase{"RedrawOnly", true, false, 1, 0, 0},
                                           RequestCase{"RelayoutOnly", false, true, 1, 1, 1},
                                           RequestCase{"RedrawAndRelayout", true, true, 1, 1, 1}),
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

} // namespace
