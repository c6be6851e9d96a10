// The tree lock between a render thread and the window's thread, and the process-wide tables
// under elements made and destroyed while another thread looks elements up.
#include "test_elements.h"

#include "ui/elements/panel.h"
#include "ui/elements/routing.h"
#include "ui/elements/tree_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ui;
using namespace testing_elements;

namespace {

bool OtherThreadCanLock()
{
    bool locked = false;
    std::thread t([&] {
        locked = TreeLock().try_lock();
        if (locked)
            TreeLock().unlock();
    });
    t.join();
    return locked;
}

TEST(TreeLockTest, IsReentrantAndExcludesOtherThreads)
{
    {
        TreeLockGuard outer(TreeLock());
        {
            TreeLockGuard inner(TreeLock());
            EXPECT_FALSE(OtherThreadCanLock());
        }
        EXPECT_FALSE(OtherThreadCanLock());
    }
    EXPECT_TRUE(OtherThreadCanLock());
}

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
            QImage frame = CreateFrameBitmap(60, 20);
            {
                TreeLockGuard lock(TreeLock());
                root->Measure({Unset, Unset});
                DrawingSurface surface(frame);
                root->Render(surface, {0, 0, 60, 20});
            }
            // The window's thread disables or enables both together, under the lock.
            if (frame.pixel(5, 5) != frame.pixel(35, 5))
                ++torn;
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
        // Elements come and go outside the tree lock while the render thread works.
        auto temp = std::make_shared<Picture>();
        EXPECT_EQ(FindElementById(temp->Id()), temp);
    }
    stop = true;
    render.join();
    EXPECT_GE(frames.load(), 50);
    EXPECT_EQ(torn.load(), 0);
}

} // namespace
