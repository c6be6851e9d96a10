// The redirector with real children: what reaches OnOutputText, how a reader ends, and that
// every descriptor and child is released exactly once on every path.
#include "download/redirector.h"
#include "platform/event.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
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
        // The reader promises a NUL after the bytes.
        terminated = terminated && text.data()[text.size()] == '\0';
        // Bounded, for the tools that write without end.
        if (output.size() > (1 << 20))
            return;
        if (text != kEndText)
            chunks.push_back(text.size());
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
    void OnLaunching() override { ended.Reset(); }

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
    std::vector<std::size_t> chunks;
    std::vector<std::string> status;
    bool terminated = true;
    platform::Event ended{platform::Event::Kind::AutoReset};
};

QString Sh(const char* script)
{
    return QStringLiteral("/bin/sh -c \"%1\"").arg(QString::fromUtf8(script));
}

const std::string kEnd(CRedirector::kEndText);

bool ProcessExists(int pid)
{
    // A zombie keeps its /proc entry but its state is Z.
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray stat = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

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
struct RunCase {
    const char* name;
    QString commandLine;
    std::string output;
    int exitCode;
    std::vector<std::size_t> chunks = {}; // the pieces handed on, when the row says
};

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, HandOnTheChildsOutputThenTheEndTextAndKeepItsExitCode)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(GetParam().commandLine));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), GetParam().output + kEnd);
    EXPECT_EQ(r.ReaderResult(), ReaderEnd::OutputEnded);
    EXPECT_EQ(r.ExitCode(), GetParam().exitCode);
    EXPECT_TRUE(r.terminated);
    EXPECT_TRUE(r.status.empty());
    if (!GetParam().chunks.empty()) {
        EXPECT_EQ(r.chunks, GetParam().chunks);
    }
}

const RunCase kRuns[] = {
    {"standard_error_is_interleaved_in_write_order",
     Sh("echo out1; echo err1 >&2; echo out2; echo err2 1>&2; echo out3"),
     "out1\nerr1\nout2\nerr2\nout3\n", 0},
    {"a_child_that_writes_nothing_gives_only_the_end_text", Sh("exit 3"), "", 3},
    {"silent_and_quick", QStringLiteral("/bin/true"), "", 0},
    {"killed_by_a_signal_is_not_an_exit", Sh("kill -KILL $$"), "", -1},
    {"standard_input_is_an_empty_pipe",
     Sh("[ -p /dev/stdin ] && echo pipe; [ -t 0 ] || echo no-terminal"), "pipe\nno-terminal\n", 0},
    {"arguments_reach_the_child_word_by_word_without_a_shell",
     QStringLiteral(R"(/usr/bin/printf "[%s]" "a b" $HOME;ls http://h/?x=1&y=`id` "q\"uote")"),
     R"([a b][$HOME;ls][http://h/?x=1&y=`id`][q"uote])", 0},
    // One write, so the reader finds all 1000 bytes available at once.
    {"a_thousand_bytes_at_once_arrive_in_255_byte_chunks",
     QStringLiteral("python3 -c \"import os; os.write(1, b'x' * 1000)\""),
     std::string(1000, 'x'),
     0,
     {255, 255, 255, 235}},
};

INSTANTIATE_TEST_SUITE_P(Redirector, Runs, ::testing::ValuesIn(kRuns),
                         [](const auto& row) { return std::string(row.param.name); });

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

TEST(Redirector, ALaunchThatCannotStartSaysSoWithCode2AndReleasesEverything)
{
    QTemporaryDir folder;
    const std::function<bool(Recorder&)> launches[] = {
        [](Recorder& r) { return r.Launch(QStringLiteral("/nonexistent/vandrel-tool -x")); },
        [](Recorder& r) { return r.Launch(QStringLiteral("vandrel-no-such-tool a")); },
        [](Recorder& r) { return r.Launch(QString()); },
        [&](Recorder& r) {
            return r.Launch({QStringLiteral("/bin/true")}, folder.filePath(QStringLiteral("gone")));
        },
    };
    for (const auto& launch : launches) {
        Recorder r;
        EXPECT_FALSE(launch(r));
        EXPECT_EQ(r.LaunchError(), ENOENT);
        EXPECT_EQ(r.status, std::vector<std::string>{"Redirect console error: 2\r\n"});
        EXPECT_TRUE(r.ended.Wait(0ms)) << "Shutdown ran";
        EXPECT_EQ(r.Output(), "");
    }
}

// A run ends before its child when the owner shuts it down (no end text) or when the child
// closes its output; the child lives on and is reaped when it ends, not left a zombie.
TEST(Redirector, ARunCanEndBeforeItsChildWhichIsReapedLater)
{
    for (const bool shutdown : {true, false}) {
        SCOPED_TRACE(shutdown ? "shut down" : "output closed");
        Recorder r;
        ASSERT_TRUE(r.Launch(
            Sh(shutdown ? "echo $$; exec sleep 1" : "echo $$; exec sleep 1 >/dev/null 2>&1")));
        ASSERT_TRUE(r.WaitForOutput("\n"));
        const int pid = std::stoi(r.Output());
        if (shutdown) {
            r.Shutdown();
        } else {
            ASSERT_TRUE(r.ended.Wait(10000ms));
        }
        EXPECT_EQ(r.ReaderResult(), shutdown ? ReaderEnd::Stopped : ReaderEnd::OutputEnded);
        EXPECT_EQ(r.Output(), std::to_string(pid) + "\n" + (shutdown ? "" : kEnd));
        EXPECT_TRUE(ProcessExists(pid));
        EXPECT_TRUE(GoneWithin(pid, 10000));
    }
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

TEST(Redirector, AnObjectCanBeLaunchedAgain)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("echo one; sleep 5")));
    ASSERT_TRUE(r.WaitForOutput("one\n"));
    // A launch ends the previous run first.
    ASSERT_TRUE(r.Launch(Sh("echo two")));
    ASSERT_TRUE(r.WaitForOutput(kEnd));
    EXPECT_EQ(r.Output(), "one\ntwo\n" + kEnd) << "the first run ended without its end text";
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
    Stuck() { m_stopTimeout = 200ms; }
    ~Stuck() override { StopReader(); } // before the members the reader waits on go

    void OnOutputText(std::string_view) override
    {
        std::unique_lock lock(m_mutex);
        ++calls;
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

    std::condition_variable m_changed;
    bool entered = false;
    bool released = false;
    int calls = 0;
};

TEST(Redirector, AReaderThatDoesNotStopIsAbandonedNotKilled)
{
    Stuck r;
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
    r.Release();
    // Once the call returns the reader makes no further call and ends. (The new run writes
    // nothing for a while, so its own reader makes no call before the count is read.)
    EXPECT_TRUE(testenv::WaitUntil([&] { return r.Launch(Sh("sleep 5")); }, 2000));
    std::lock_guard lock(r.m_mutex);
    EXPECT_EQ(r.calls, 1) << "an abandoned reader hands on nothing more";
}

TEST(Redirector, DestroyingAnObjectWithAStuckReaderWaitsForIt)
{
    std::thread releaser;
    {
        Stuck r;
        ASSERT_TRUE(r.Launch(Sh("echo x")));
        r.WaitEntered();
        r.Shutdown(); // abandoned
        releaser = std::thread([&r] {
            std::this_thread::sleep_for(100ms);
            r.Release();
        });
        // The destructor must not free the object under the reader: it waits for it.
    }
    releaser.join();
}

// A tool's helpers (the downloader's converter, a shell's children) go with it.
TEST(Redirector, TerminateEndsTheToolsWholeProcessGroup)
{
    for (const bool force : {false, true}) {
        Recorder r;
        ASSERT_TRUE(r.Launch(Sh("sleep 60 & echo $!; wait")));
        ASSERT_TRUE(r.WaitForOutput("\n"));
        const int helper = std::stoi(r.Output());
        EXPECT_FALSE(r.ended.Wait(100ms));
        r.Terminate(force);
        ASSERT_TRUE(r.ended.Wait(10000ms)) << "force " << force;
        EXPECT_EQ(r.ExitCode(), -1);
        // Gone, or a zombie waiting for its new parent.
        EXPECT_TRUE(testenv::WaitUntil([&] { return !ProcessExists(helper); }, 10000))
            << "force " << force;
        r.Terminate(force); // after the end: nothing to signal, nothing happens
    }
}

} // namespace
