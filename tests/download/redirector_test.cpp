// The redirector with real children: what reaches OnOutputText, how a reader ends, and that
// every descriptor and child is released exactly once on every path.
#include "download/redirector.h"
#include "platform/event.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records every call; `ended` is signalled by each Shutdown, so also by the reader's own.
class Recorder : public CRedirector {
public:
    ~Recorder() override { StopReader(); }

    void OnOutputText(std::string_view text) override
    {
        std::lock_guard lock(m_mutex);
        // Bounded, for the tools that write without end.
        if (output.size() <= (1 << 20))
            output.append(text);
    }
    void OnStatusText(std::string_view text) override
    {
        std::lock_guard lock(m_mutex);
        status.emplace_back(text);
    }
    void Shutdown() override
    {
        CRedirector::Shutdown();
        ended.Set();
    }
    void OnLaunching() override { ended.Reset(); } // a launch first shuts down the last run

    std::string Output()
    {
        std::lock_guard lock(m_mutex);
        return output;
    }
    bool WaitForOutput(std::string_view text)
    {
        return testenv::WaitUntil([&] { return Output().find(text) != std::string::npos; }, 10000);
    }

    std::mutex m_mutex;
    std::string output;
    std::vector<std::string> status;
    platform::Event ended{platform::Event::Kind::AutoReset};
};

QString Sh(const char* script)
{
    return QStringLiteral("/bin/sh -c \"%1\"").arg(QString::fromUtf8(script));
}

const std::string kEnd(CRedirector::kEndText);

bool GoneWithin(int pid, int limitMs)
{
    return testenv::WaitUntil([pid] { return !QFile::exists(QStringLiteral("/proc/%1").arg(pid)); },
                              limitMs);
}

int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                                .size());
}

// One run of a child to its end: everything it wrote, in order, then the end text; and the
// exit code a job uses to decide whether a conversion counts.
TEST(Redirector, HandsOnTheChildsOutputThenTheEndTextAndKeepsItsExitCode)
{
    const struct {
        const char* name;
        QString commandLine;
        std::string output;
        int exitCode;
    } rows[] = {
        {"standard error is interleaved in write order",
         Sh("echo out1; echo err1 >&2; echo out2; echo err2 1>&2; echo out3"),
         "out1\nerr1\nout2\nerr2\nout3\n", 0},
        {"killed by a signal is not an exit", Sh("kill -KILL $$"), "", -1},
        {"standard input is an empty pipe",
         Sh("[ -p /dev/stdin ] && echo pipe; [ -t 0 ] || echo no-terminal"), "pipe\nno-terminal\n",
         0},
        {"arguments reach the child word by word without a shell",
         QStringLiteral(R"(/usr/bin/printf "[%s]" "a b" $HOME;ls http://h/?x=1&y=`id` "q\"uote")"),
         R"([a b][$HOME;ls][http://h/?x=1&y=`id`][q"uote])", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        ASSERT_TRUE(r.Launch(row.commandLine));
        ASSERT_TRUE(r.ended.Wait(10000ms));
        EXPECT_EQ(r.Output(), row.output + kEnd);
        EXPECT_EQ(r.ReaderResult(), ReaderEnd::OutputEnded);
        EXPECT_EQ(r.ExitCode(), row.exitCode);
        EXPECT_TRUE(r.status.empty());
    }
}

TEST(Redirector, AnOutputHeldOpenByAGrandchildEndsWithTheChildWithoutTheEndText)
{
    Recorder r;
    // The background sleep inherits the pipe: when the shell ends the drain finds nothing
    // buffered but the pipe still open.
    ASSERT_TRUE(r.Launch(Sh("echo start; sleep 2 & exit 0")));
    ASSERT_TRUE(r.ended.Wait(1500ms)) << "the reader waits for the child, not the grandchild";
    EXPECT_EQ(r.Output(), "start\n");
    EXPECT_EQ(r.ReaderResult(), ReaderEnd::OutputEnded);
}

TEST(Redirector, ShutdownStopsAReaderThatNeverFindsThePipeEmpty)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(QStringLiteral("yes")));
    ASSERT_TRUE(r.WaitForOutput("y\ny\ny\n"));
    r.Shutdown();
    EXPECT_EQ(r.ReaderResult(), ReaderEnd::Stopped) << "stopped by the exit event, not abandoned";
    EXPECT_TRUE(r.status.empty());
}

TEST(Redirector, EveryDescriptorIsClosedOnEveryPath)
{
    {
        // The reaper's own descriptors exist from the first hand-over on: a child that outlives
        // its output by longer than the reader waits for it is handed over.
        Recorder warmUp;
        ASSERT_TRUE(warmUp.Launch(Sh("echo $$; exec sleep 0.6 >/dev/null 2>&1")));
        ASSERT_TRUE(warmUp.ended.Wait(10000ms));
        ASSERT_TRUE(GoneWithin(std::stoi(warmUp.Output()), 10000));
        std::this_thread::sleep_for(100ms); // the reaper closes its pidfd right after
    }
    const int before = OpenDescriptors();
    for (int i = 0; i < 5; ++i) {
        Recorder ok, missing, stopped, closed;
        ASSERT_TRUE(ok.Launch(Sh("echo x")));
        EXPECT_FALSE(missing.Launch(QStringLiteral("/nonexistent/tool")));
        ASSERT_TRUE(stopped.Launch(Sh("sleep 0.3")));
        ASSERT_TRUE(closed.Launch(Sh("exec sleep 0.3 >/dev/null 2>&1")));
        ASSERT_TRUE(ok.ended.Wait(10000ms));
        ASSERT_TRUE(closed.ended.Wait(10000ms));
        stopped.Shutdown();
    }
    // The given-up children end and are reaped, and their pidfds closed, shortly after; a
    // descriptor that leaked stays open for good.
    EXPECT_TRUE(testenv::WaitUntil([&] { return OpenDescriptors() == before; }, 10000))
        << OpenDescriptors() << " open, " << before << " before";
}

// Blocks inside its first output call until released, as a receiver that hangs would.
class Stuck : public Recorder {
public:
    explicit Stuck(int& calls) : m_calls(calls) { m_stopTimeout = 200ms; }
    ~Stuck() override { StopReader(); } // before the members the reader waits on go

    void OnOutputText(std::string_view) override
    {
        std::unique_lock lock(m_mutex);
        ++m_calls;
        entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return released; });
    }
    void WaitEntered()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 10s, [&] { return entered; });
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        released = true;
        m_changed.notify_all();
    }

    int& m_calls;
    std::condition_variable m_changed;
    bool entered = false;
    bool released = false;
};

TEST(Redirector, AReaderThatDoesNotStopIsAbandonedNotKilledAndOutlivedByItsObject)
{
    int calls = 0;
    std::thread releaser;
    {
        Stuck r(calls);
        ASSERT_TRUE(r.Launch(Sh("echo x; echo y; echo z")));
        r.WaitEntered();
        r.Shutdown();
        EXPECT_EQ(r.ReaderResult(), ReaderEnd::Abandoned);
        // While that reader is still inside a call, the object cannot start another.
        EXPECT_FALSE(r.Launch(Sh("echo again")));
        EXPECT_EQ(r.LaunchError(), EBUSY);
        {
            std::lock_guard lock(r.m_mutex);
            EXPECT_EQ(r.status, (std::vector<std::string>{"The redir thread is dead\r\n",
                                                          "Redirect console error: 10\r\n"}));
        }
        releaser = std::thread([&r] {
            std::this_thread::sleep_for(100ms);
            r.Release();
        });
        // The destructor must not free the object under the reader: it waits for it.
    }
    releaser.join();
    EXPECT_EQ(calls, 1) << "an abandoned reader hands on nothing more";
}

} // namespace
