// Hit testing and the three routing operations (edges, transparency of non-interactive elements,
// hidden and disabled subtrees, hot-element transitions), and the tree lock between a render
// thread and the window's thread (its re-entry: the host's tests set a root under the lock).
#include "../test_tree.h"

#include "ui/elements/routing.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace ui;
using namespace uitest;
using Strings = std::vector<std::string>;

namespace {

// A root canvas with two adjacent buttons a (10,10,20,20) and b (30,10,20,20), a button c
// (60,60,10,10) in a grid whose rectangle is (60,60,30,30), and an image (25,25,10,10) laid
// over a's corner.
struct Scene {
    Log log;
    std::shared_ptr<CanvasPanel> canvas = std::make_shared<CanvasPanel>();
    std::shared_ptr<LayoutElement> root = canvas;
    std::shared_ptr<Picture> a = Button("a", 20);
    std::shared_ptr<Picture> b = Button("b", 20);
    std::shared_ptr<GridPanel> sub = std::make_shared<GridPanel>();
    std::shared_ptr<Picture> c = Button("c", 10);
    std::shared_ptr<Picture> over = std::make_shared<Picture>(Solid(10, 10, Qt::red), "over", &log);
    std::uint32_t hot = kNoElementId;

    std::shared_ptr<Picture> Button(const char* tag, int size)
    {
        auto e = std::make_shared<Picture>(Solid(size, size, Qt::blue), tag, &log);
        e->MakeInteractive();
        return e;
    }
    Scene()
    {
        canvas->SetPosition(a.get(), 10, 10);
        canvas->SetPosition(b.get(), 30, 10);
        canvas->SetPosition(sub.get(), 60, 60);
        canvas->SetPosition(over.get(), 25, 25);
        sub->SetBottomRightMargin(20, 20);
        sub->AddChild(c);
        canvas->AddChild(a);
        canvas->AddChild(b);
        canvas->AddChild(sub);
        canvas->AddChild(over);
        Layout();
    }
    void Layout()
    {
        RenderFrame(*canvas, {0, 0, 100, 100});
        log.clear();
    }
    void Move(int x, int y) { RouteMouseMove(root, {x, y}, hot); }
};

TEST(HitTestTest, ImagesDoNotBlockButtonsPanelsAndHiddenSubtreesAreNotHit)
{
    Scene s;
    EXPECT_EQ(s.canvas->HitTest({26, 26}), s.a.get());
    EXPECT_EQ(RouteHitTest(s.root, {26, 26}), HitArea::Client);
    EXPECT_EQ(RouteHitTest(s.root, {27, 32}), HitArea::Caption); // the image beyond a

    // A panel never returns itself; a hidden one hides its subtree.
    s.sub->SetIsInteractive(true);
    EXPECT_EQ(s.canvas->HitTest({80, 80}), nullptr);
    EXPECT_EQ(s.canvas->HitTest({65, 65}), s.c.get());
    s.sub->SetIsVisible(false);
    EXPECT_EQ(RouteHitTest(s.root, {65, 65}), HitArea::Caption);
}

TEST(RouteHitTestTest, CaptionCallsTheMoveCallbackOutsideTheLock)
{
    Scene s;
    std::vector<Point> moves;
    bool lockFree = false;
    auto cb = [&](Point p) {
        moves.push_back(p);
        lockFree = OtherThreadCanLock();
    };
    EXPECT_EQ(RouteHitTest(s.root, {15, 12}, cb), HitArea::Client);
    EXPECT_TRUE(moves.empty());
    EXPECT_EQ(RouteHitTest(s.root, {95, 5}, cb), HitArea::Caption);
    EXPECT_EQ(moves, (std::vector<Point>{{95, 5}}));
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(RouteHitTest(s.root, {100, 100}, cb), HitArea::Caption); // outside the root
}

TEST(RouteTest, NoRootMeansCaptionNothingAndHotIdUnchanged)
{
    std::shared_ptr<LayoutElement> none;
    std::uint32_t hot = 17;
    EXPECT_EQ(RouteHitTest(none, {1, 1}), HitArea::Caption);
    RouteMouseDown(none, {1, 1});
    RouteMouseMove(none, {1, 1}, hot);
    EXPECT_EQ(hot, 17u);
}

TEST(RouteTest, MovingBetweenAdjacentButtonsLeavesThenEnters)
{
    Scene s;
    s.Move(12, 12);
    s.Move(13, 12); // within a: every move, no leave
    EXPECT_EQ(s.log, (Strings{"a:move@12,12", "a:move@13,12"}));
    EXPECT_EQ(s.hot, s.a->Id());
    s.log.clear();
    s.Move(30, 12);
    EXPECT_EQ(s.log, (Strings{"a:leave", "b:move@30,12"}));
    EXPECT_EQ(s.hot, s.b->Id());
    s.log.clear();
    s.Move(95, 95);
    EXPECT_EQ(s.log, (Strings{"b:leave"}));
    EXPECT_EQ(s.hot, kNoElementId);
}

TEST(RouteTest, DisabledButtonIsNotHotAndAGoneHotElementGetsNoLeave)
{
    Scene s;
    s.b->SetIsEnabled(false);
    s.log.clear();
    s.Move(36, 12);
    EXPECT_EQ(s.hot, kNoElementId);
    EXPECT_TRUE(s.log.empty());
    // A hot Id whose element is gone is simply not found.
    s.hot = std::make_shared<Picture>()->Id();
    s.Move(95, 95);
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(s.hot, kNoElementId);
}

// Also makes and destroys elements, outside the lock, while the render thread looks them up.
TEST(ConcurrencyTest, FramesNeverShowAHalfAppliedChange)
{
    auto root = std::make_shared<CanvasPanel>();
    root->SetWidth(60);
    auto left = std::make_shared<Picture>(Solid(20, 20, QColor(100, 200, 0)));
    auto right = std::make_shared<Picture>(Solid(20, 20, QColor(100, 200, 0)));
    left->MakeInteractive();
    root->SetPosition(right.get(), 30, 0);
    root->AddChild(left);
    root->AddChild(right);
    std::shared_ptr<LayoutElement> hosted = root;

    std::atomic<bool> stop{false};
    std::atomic<int> frames{0}, torn{0};
    std::thread render([&] {
        while (!stop) {
            QImage frame;
            {
                TreeLockGuard lock(TreeLock());
                frame = RenderFrame(*root, {0, 0, 60, 20});
            }
            // The window's thread disables or enables both together, under the lock.
            torn += frame.pixel(5, 5) != frame.pixel(35, 5);
            ++frames;
        }
    });
    std::uint32_t hot = kNoElementId;
    for (int i = 0; i < 300 || frames < 50; ++i) {
        {
            TreeLockGuard lock(TreeLock());
            left->SetIsEnabled(i % 2 == 0);
            right->SetIsEnabled(i % 2 == 0);
        }
        RouteMouseMove(hosted, {5 + i % 3, 5}, hot);
        RouteHitTest(hosted, {40, 5});
        auto temp = std::make_shared<Picture>();
        EXPECT_EQ(FindElementById(temp->Id()), temp);
    }
    stop = true;
    render.join();
    EXPECT_GE(frames.load(), 50);
    EXPECT_EQ(torn.load(), 0);
}

} // namespace
