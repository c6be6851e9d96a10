// The termination signals reach the program as a call on the GUI thread, and the process lives
// on to end the run itself; nothing is blocked or ignored, so children start with the defaults.
#include "platform/termination_signals.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <csignal>
#include <thread>

namespace {

using platform::TerminationSignals;

TEST(TerminationSignals, EachCallsTheHandlerOnTheGuiThreadOrWaitsForTheNextHandler)
{
    TerminationSignals& catcher = TerminationSignals::Instance();
    ASSERT_TRUE(catcher.Install());
    // Nothing is blocked: the programs the window starts (the desktop opener) inherit the mask.
    const QByteArray status = testenv::ReadFile(QStringLiteral("/proc/thread-self/status"));
    EXPECT_TRUE(status.contains("\nSigBlk:\t0000000000000000\n")) << status.constData();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QObject context;
        int calls = 0;
        std::thread::id calledOn;
        catcher.SetHandler(&context, [&] {
            ++calls;
            calledOn = std::this_thread::get_id();
        });
        // Raised on another thread: the handler runs wherever the signal lands, the call does not.
        std::thread([&] { std::raise(signal); }).join();
        testenv::WaitUntil([&] { return calls > 0; }, 5000);
        EXPECT_EQ(calls, 1) << signal;
        EXPECT_EQ(calledOn, std::this_thread::get_id()) << signal;
        EXPECT_TRUE(catcher.Received());
    }

    // A signal without a live handler waits for the next handler, and wakes it once.
    int goneCalls = 0;
    {
        QObject gone;
        catcher.SetHandler(&gone, [&] { ++goneCalls; });
    }
    std::raise(SIGTERM);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(goneCalls, 0);
    QObject context;
    int calls = 0;
    catcher.SetHandler(&context, [&] { ++calls; });
    testenv::WaitUntil([&] { return calls > 0; }, 5000);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(calls, 1);
    catcher.SetHandler(nullptr, nullptr);
}

} // namespace
