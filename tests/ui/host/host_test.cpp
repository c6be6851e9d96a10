// The host on a real X server with a small tree of counting pictures: frames, position,
// click-through, teardown, the window's shape and a real button under the pointer.
#include "../test_tree.h"
#include "test_env.h"
#include "ui/controls/button_element.h"
#include "ui/host/opaque_region.h"
#include "ui/host/skin_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <functional>

namespace {

using namespace uitest;

// The tree of the tests: a grid holding the skin and a canvas with one button.
struct TestTree {
    static constexpr int kSkinSize = 400;
    static constexpr QPoint kButtonAt{150, 300}; // 100 x 50
    static inline const QColor kSkinColour{30, 60, 120};

    std::shared_ptr<ui::GridPanel> root = std::make_shared<ui::GridPanel>();
    std::shared_ptr<Picture> skin =
        std::make_shared<Picture>(Disc(kSkinSize, kSkinSize, kSkinColour));
    std::shared_ptr<ui::CanvasPanel> canvas = std::make_shared<ui::CanvasPanel>();
    std::shared_ptr<Picture> button = std::make_shared<Picture>(Solid(100, 50, Qt::red));

    TestTree()
    {
        button->MakeInteractive();
        canvas->SetPosition(button.get(), kButtonAt.x(), kButtonAt.y());
        canvas->AddChild(button);
        root->AddChild(skin);
        root->AddChild(canvas);
    }
};

// Runs change under the tree lock, as the window's thread changes elements.
template <class F> void Locked(F&& change)
{
    ui::TreeLockGuard lock(ui::TreeLock());
    change();
}

// How long the tests wait for the display or the render thread.
constexpr int kWaitMs = 3000;

void Pump(int ms)
{
    testenv::WaitUntil([] { return false; }, ms);
}

// Waits until host has shown a frame and no further frame came for quietMs.
void Settle(ui::SkinWindow& host, int quietMs = 150)
{
    ASSERT_TRUE(testenv::WaitUntil([&] { return host.FramesRendered() > 0; }, kWaitMs))
        << "no first frame";
    std::uint64_t seen = host.FramesRendered();
    QElapsedTimer quiet;
    quiet.start();
    testenv::WaitUntil(
        [&] {
            if (host.FramesRendered() != seen) {
                seen = host.FramesRendered();
                quiet.restart();
            }
            return quiet.elapsed() >= quietMs;
        },
        5000);
}

// Runs xdotool on the test display and gives the windows time to see it; false when it failed.
bool Xdo(const QStringList& args)
{
    const testenv::ProcessResult r = testenv::Run(QStringLiteral("xdotool"), args, 10000);
    EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    Pump(60);
    return r.exitCode == 0;
}
bool MoveMouse(QPoint at)
{
    return Xdo({"mousemove", QString::number(at.x()), QString::number(at.y())});
}
bool Click(QPoint at)
{
    return MoveMouse(at) && Xdo({"click", "1"});
}

// The screen as it is now, and saved as an artifact (build/artifacts/host/<name>.png).
QImage Screenshot(const QString& name)
{
    Pump(50);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QImage shot = screen->grabWindow(0).toImage();
    const QString dir = testenv::BinaryDir() + "/artifacts/host/";
    QDir().mkpath(dir);
    shot.save(dir + name + ".png");
    return shot;
}

const QColor kBelowColour(250, 250, 250);

// A plain white window that counts the presses that reach it.
struct Below : QWidget {
    Below() : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        setAutoFillBackground(true);
        setPalette(QPalette(kBelowColour));
    }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    int presses = 0;
};

// A host showing the test tree, settled after its first frame.
struct Shown {
    TestTree tree;
    std::unique_ptr<ui::SkinWindow> host = std::make_unique<ui::SkinWindow>();

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
    // A background point of the skin: opaque, no button.
    static QPoint Background() { return {TestTree::kSkinSize / 2, 120}; }
};

// At two frames per second the pause after a frame lasts 500 ms: whatever is asked in it, redraws
// and relayouts alike, is served by one further frame. Only a relayout measures the tree, and only
// a frame that measured recomputes the input mask. The last row asks through the elements' own
// properties: a change of IsEnabled redraws, one of Width relayouts, both climbing to the host.
TEST(HostFrames, AtMostOneFrameOneMeasurePassAndAMaskOnlyAfterMeasuring)
{
    TestTree tree;
    auto host = std::make_unique<ui::SkinWindow>(nullptr, 2);
    host->SetRoot(tree.root);
    host->show();
    const auto redraw = [&] { ui::SkinWindow::HostInvalidate(host.get(), u"IsEnabled", 1); };
    const auto relayout = [&] { ui::SkinWindow::HostInvalidate(host.get(), u"Width", 0); };
    const auto same = [&] {
        tree.button->SetIsEnabled(true);
        tree.skin->SetIsVisible(true);
        tree.skin->SetWidth(ui::Unset);
    };
    const struct {
        const char* name;
        std::function<void()> ask, thenInThePause; // under the tree lock
        int frames, measures, masks;
    } rows[] = {
        {"nothing leaves an idle window alone", [] {}, {}, 0, 0, 0},
        {"values set to what they are ask for nothing", same, {}, 0, 0, 0},
        {"redraw only", redraw, {}, 1, 0, 0},
        {"relayout only", relayout, {}, 1, 1, 1},
        {"a change, then a burst of changes in the pause after its frame",
         [&] { tree.button->SetIsEnabled(false); },
         [&] {
             for (int i = 0; i < 100; ++i) {
                 tree.button->SetIsEnabled(i % 2 == 0);
                 tree.skin->SetWidth(TestTree::kSkinSize - (i % 2));
             }
         },
         2, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Settle(*host, 700); // longer than the pause: a window that keeps rendering shows
        const auto frames = host->FramesRendered();
        const int measures = tree.skin->measures;
        const auto masks = host->MaskUpdates();
        Locked(row.ask);
        if (row.thenInThePause) {
            ASSERT_TRUE(
                testenv::WaitUntil([&] { return host->FramesRendered() == frames + 1; }, kWaitMs));
            Locked(row.thenInThePause);
        }
        Settle(*host, 700);
        EXPECT_EQ(host->FramesRendered(), frames + row.frames);
        EXPECT_EQ(tree.skin->measures, measures + row.measures);
        EXPECT_EQ(host->MaskUpdates(), masks + row.masks);
    }
}

TEST(HostFrames, FirstFrameIsCentredOnTheWorkAreaLaterFramesLeaveTheWindowWhereItWasPut)
{
    Shown s;
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const int side = TestTree::kSkinSize;
    EXPECT_EQ(s.host->geometry(), QRect(work.x() + (work.width() - side) / 2,
                                        work.y() + (work.height() - side) / 2, side, side));
    const QPoint moved = s.host->pos() + QPoint(-37, 21);
    s.host->move(moved);
    Pump(50);
    const auto frames = s.host->FramesRendered();
    Locked([&] { s.tree.button->SetIsEnabled(false); });
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return s.host->FramesRendered() == frames + 1; }, kWaitMs));
    Pump(50);
    EXPECT_EQ(s.host->pos(), moved);
}

// A click on a transparent pixel reaches the window below. A root with a zero side gives an
// empty frame: nothing of the window shows or takes clicks, until a later frame has a size again.
TEST(HostPointer, TransparentPixelsAndAnEmptyFrameLetClicksThrough)
{
    Below below;
    Shown s;
    below.setGeometry(s.host->geometry());
    below.show();
    s.host->raise();
    s.host->activateWindow();
    Pump(200);
    Screenshot(QStringLiteral("over_window_below"));
    ASSERT_TRUE(Click(s.Global({6, 6}))); // a fully transparent corner of the skin's square
    EXPECT_TRUE(testenv::WaitUntil([&] { return below.presses == 1; }, 2000));
    ASSERT_TRUE(Click(s.Global(TestTree::kButtonAt + QPoint(10, 10))));
    EXPECT_TRUE(testenv::WaitUntil([&] { return s.tree.button->presses == 1; }, 2000));
    EXPECT_EQ(below.presses, 1);

    const QPoint centre = s.Global(Shown::Background());
    const auto shows = [&](const char* name, QColor colour) {
        return testenv::WaitUntil(
            [&] { return QColor(Screenshot(QLatin1String(name)).pixel(centre)) == colour; },
            kWaitMs);
    };
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
    EXPECT_TRUE(shows("empty_frame", kBelowColour));
    ASSERT_TRUE(Click(centre));
    EXPECT_TRUE(testenv::WaitUntil([&] { return below.presses == 2; }, 2000));

    Locked([&] {
        s.tree.skin->SetWidth(ui::Unset);
        s.tree.canvas->SetIsVisible(true);
    });
    EXPECT_TRUE(
        testenv::WaitUntil([&] { return s.host->mask().contains(Shown::Background()); }, kWaitMs));
    EXPECT_TRUE(shows("after_empty_frame", TestTree::kSkinColour));
}

TEST(HostTeardown, APendingRequestOfAGoneRootRendersNothingDestroyingWaitsForAFrame)
{
    Shown s;
    // A request still pending when the root goes away wakes the thread, which finds no root.
    // (Set under the tree lock, as the window's thread may: the lock is re-entered.)
    const auto frames = s.host->FramesRendered();
    Locked([&] {
        TestTree pending;
        s.host->SetRoot(pending.root);
        s.host->SetRoot(nullptr);
    });
    Pump(300);
    EXPECT_EQ(s.host->FramesRendered(), frames);
    EXPECT_EQ(s.tree.root->HostCallback(), nullptr);

    s.host->SetRoot(s.tree.root);
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return s.host->FramesRendered() == frames + 1; }, kWaitMs));
    s.tree.skin->renderDelayMs = 300;
    const int finished = s.tree.skin->renders;
    Locked([&] { s.tree.button->SetIsEnabled(false); });
    ASSERT_TRUE(testenv::WaitUntil([&] { return s.tree.skin->rendering.load(); }, kWaitMs));
    s.host.reset();
    EXPECT_FALSE(s.tree.skin->rendering);
    EXPECT_EQ(s.tree.skin->renders, finished + 1);
    // The tree outlives the host and no longer reaches it.
    EXPECT_EQ(s.tree.root->HostCallback(), nullptr);
    Locked([&] { s.tree.button->SetIsEnabled(true); });
    Pump(100);
}

// The shape is exactly the frame's pixels with alpha above 0; a button lights up under the
// pointer, and goes dark when the pointer leaves through a transparent corner of the skin.
TEST(HostSkin, ShapedByTheOpaquePixelsWithAButtonThatLightsUpUnderThePointer)
{
    Shown s;
    constexpr QPoint kAt(60, 170); // on the skin, away from the test tree's button
    const ui::SharedImage base = Filled(60, 40, qRgb(40, 40, 200));
    const ui::SharedImage hot = Filled(60, 40, qRgb(90, 200, 90));
    auto button = std::make_shared<ui::ButtonElement>();
    button->SetBaseImage(base);
    button->SetHotImage(hot);
    Locked([&] {
        s.tree.canvas->SetPosition(button.get(), kAt.x(), kAt.y());
        s.tree.canvas->AddChild(button);
    });
    Settle(*s.host);
    const auto frame = s.host->LatestFrame();
    ASSERT_TRUE(frame && !frame->isNull());
    EXPECT_EQ(s.host->mask(), ui::OpaqueRegion(*frame));

    const QPoint centre = s.Global(kAt + QPoint(30, 20));
    const auto shows = [&](const char* name, const ui::SharedImage& picture) {
        return testenv::WaitUntil(
            [&] { return Screenshot(QLatin1String(name)).pixel(centre) == picture->pixel(0, 0); },
            kWaitMs);
    };
    ASSERT_TRUE(MoveMouse(centre));
    ASSERT_TRUE(MoveMouse(centre + QPoint(1, 1)));
    EXPECT_TRUE(shows("skin_hover", hot));
    EXPECT_EQ(s.host->cursor().shape(), Qt::PointingHandCursor);
    ASSERT_TRUE(MoveMouse(s.Global({3, 3})));
    EXPECT_TRUE(shows("skin_left", base));
    EXPECT_NE(s.host->cursor().shape(), Qt::PointingHandCursor);
}

} // namespace
