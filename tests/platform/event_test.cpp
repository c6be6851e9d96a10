// Events alone and waited on together with descriptors, across threads.
#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::Event;
using platform::WaitAny;
using platform::WaitItem;

TEST(Event, AutoResetIsClearedByTheWaitThatSeesItManualResetStaysSet)
{
    Event autoReset(Event::Kind::AutoReset);
    EXPECT_FALSE(autoReset.Wait(0ms));
    autoReset.Set();
    autoReset.Set(); // two sets before a wait still wake one wait
    EXPECT_TRUE(autoReset.IsSet());
    EXPECT_TRUE(autoReset.Wait(0ms));
    EXPECT_FALSE(autoReset.Wait(0ms));

    Event manual(Event::Kind::ManualReset, true);
    EXPECT_TRUE(manual.Wait(0ms));
    EXPECT_TRUE(manual.Wait(0ms));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0ms));
}

TEST(Event, WaitAnyReportsTheFirstSignalledItemAndConsumesIt)
{
    Event a, b;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_FALSE(WaitAny({WaitItem::Of(a), WaitItem::Of(b), WaitItem::OfFd(pipeFds[0])}, 20ms));
    b.Set();
    EXPECT_EQ(WaitAny({WaitItem::Of(a), WaitItem::Of(b)}, 0ms), std::optional<std::size_t>(1));
    EXPECT_FALSE(b.IsSet()) << "an auto-reset event is consumed by WaitAny";
    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    EXPECT_EQ(WaitAny({WaitItem::Of(a), WaitItem::OfFd(pipeFds[0])}, 0ms),
              std::optional<std::size_t>(1));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(Event, OneSetFromAnotherThreadWakesExactlyOneOfTwoAutoResetWaiters)
{
    Event e;
    std::atomic<int> woken{0};
    auto waiter = [&] { woken += e.Wait(1000ms) ? 1 : 0; };
    std::thread t1(waiter), t2(waiter);
    std::this_thread::sleep_for(50ms);
    e.Set();
    t1.join();
    t2.join();
    EXPECT_EQ(woken.load(), 1);
}

} // namespace
