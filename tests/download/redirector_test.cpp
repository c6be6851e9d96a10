#include "download/redirector.h"
#include "platform/event.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
    // Waits until the output holds text (or the time-out passes).
    bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit = 10000ms)
    {
        for (auto waited = 0ms; waited < limit; waited += 10ms) {
            if (Output().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
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

std::string EndText()
{
    return std::string(CRedirector::kEndText);
}

int FirstNumber(const std::string& text)
{
    return std::stoi(text);
}

bool ProcessExists(int pid)
{
    // A zombie keeps its /proc entry but its state is Z.
    const QByteArray stat = [&] {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

bool GoneWithin(int pid, std::chrono::milliseconds limit)
{
    for (auto waited = 0ms; waited < limit; waited += 20ms) {
        if (!QFile::exists(QStringLiteral("/proc/%1").arg(pid)))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                                .size());
}

TEST(Redirector, ThousandBytesAtOnceArriveIn255ByteChunks)
{
    Recorder r;
    // One write of 1000 bytes, so the reader finds all of them available at once.
    ASSERT_TRUE(r.Launch(QStringLiteral("python3 -c \"import os; os.write(1, b'x' * 1000)\"")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.chunks, (std::vector<std::size_t>{255, 255, 255, 235}));
    EXPECT_TRUE(r.terminated);
    EXPECT_EQ(r.Output(), std::string(1000, 'x') + EndText());
    EXPECT_EQ(r.ReaderResult(), 0);
    EXPECT_TRUE(r.status.empty());
}

TEST(Redirector, StandardErrorIsInterleavedInWriteOrder)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("echo out1; echo err1 >&2; echo out2; echo err2 1>&2; echo out3")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), "out1\nerr1\nout2\nerr2\nout3\n" + EndText());
}

TEST(Redirector, AChildThatWritesNothingGivesOnlyTheEndText)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("exit 3")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), EndText());
    EXPECT_TRUE(r.chunks.empty());
    EXPECT_EQ(r.ReaderResult(), 0);
}

TEST(Redirector, AnOutputHeldOpenByAGrandchildEndsWithTheChildWithoutTheEndText)
{
    Recorder r;
    // The background sleep inherits the pipe: when the shell ends the drain finds nothing
    // buffered but the pipe still open.
    ASSERT_TRUE(r.Launch(Sh("echo start; sleep 2 & exit 0")));
    ASSERT_TRUE(r.ended.Wait(1500ms)) << "the reader waits for the child, not the grandchild";
    EXPECT_EQ(r.Output(), "start\n");
    EXPECT_EQ(r.ReaderResult(), 0);
}

TEST(Redirector, StandardInputIsAnEmptyPipe)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("[ -p /dev/stdin ] && echo pipe; [ -t 0 ] || echo no-terminal")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), "pipe\nno-terminal\n" + EndText());
}

TEST(Redirector, TheChildHoldsNoDescriptorOfTheParent)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("ls /proc/$$/fd")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), "0\n1\n2\n" + EndText());
}

TEST(Redirector, ArgumentsReachTheChildWordByWordWithoutAShell)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(
        QStringLiteral(R"(/usr/bin/printf "[%s]" "a b" $HOME;ls http://h/?x=1&y=`id` "q\"uote")")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), R"([a b][$HOME;ls][http://h/?x=1&y=`id`][q"uote])" + EndText());
}

TEST(Redirector, AMissingProgramFailsWithCode2)
{
    for (const char* commandLine : {"/nonexistent/vandrel-tool -x", "vandrel-no-such-tool a", ""}) {
        Recorder r;
        errno = 0;
        EXPECT_FALSE(r.Launch(QString::fromUtf8(commandLine))) << commandLine;
        EXPECT_EQ(errno, 2) << "the caller sees the system error code";
        EXPECT_EQ(r.status, std::vector<std::string>{"Redirect console error: 2\r\n"});
        EXPECT_TRUE(r.ended.Wait(0ms)) << "Shutdown ran";
        EXPECT_EQ(r.Output(), "");
    }
}

TEST(Redirector, ShutdownOnAnIdleObjectDoesNothing)
{
    Recorder r;
    r.Shutdown();
    r.Shutdown();
    EXPECT_TRUE(r.status.empty());
    EXPECT_EQ(r.Output(), "");
}

TEST(Redirector, ShutdownStopsTheReaderButLeavesTheChildRunning)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("echo $$; exec sleep 1")));
    ASSERT_TRUE(r.WaitForOutput("\n"));
    const int pid = FirstNumber(r.Output());
    r.Shutdown();
    EXPECT_EQ(r.ReaderResult(), 1) << "ended by the exit event";
    EXPECT_TRUE(ProcessExists(pid)) << "Shutdown does not stop the child";
    EXPECT_EQ(r.Output(), std::to_string(pid) + "\n") << "no end text when asked to stop";
    EXPECT_TRUE(GoneWithin(pid, 10000ms)) << "the child is reaped when it ends, not left a zombie";
}

TEST(Redirector, ShutdownStopsAReaderThatNeverFindsThePipeEmpty)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(QStringLiteral("yes")));
    ASSERT_TRUE(r.WaitForOutput("y\ny\ny\n"));
    r.Shutdown();
    EXPECT_EQ(r.ReaderResult(), 1) << "stopped by the exit event, not abandoned";
    EXPECT_TRUE(r.status.empty());
}

TEST(Redirector, AChildThatClosesItsOutputEndsTheRunAndIsReapedLater)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("echo $$; exec sleep 1 >/dev/null 2>&1")));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    const int pid = FirstNumber(r.Output());
    EXPECT_EQ(r.Output(), std::to_string(pid) + "\n" + EndText());
    EXPECT_EQ(r.ReaderResult(), 0);
    EXPECT_TRUE(ProcessExists(pid));
    EXPECT_TRUE(GoneWithin(pid, 10000ms));
}

TEST(Redirector, TwoRunsAtOnceDoNotHoldEachOthersPipes)
{
    Recorder slow, quick;
    ASSERT_TRUE(slow.Launch(Sh("sleep 2")));
    ASSERT_TRUE(quick.Launch(Sh("echo quick")));
    ASSERT_TRUE(quick.ended.Wait(1500ms))
        << "the slow child must not have inherited the quick one's pipe";
    EXPECT_EQ(quick.Output(), "quick\n" + EndText());
    EXPECT_FALSE(slow.ended.Wait(0ms));
    ASSERT_TRUE(slow.ended.Wait(10000ms));
}

TEST(Redirector, AnObjectCanBeLaunchedAgain)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(Sh("echo one; sleep 5")));
    ASSERT_TRUE(r.WaitForOutput("one\n"));
    // A launch ends the previous run first.
    ASSERT_TRUE(r.Launch(Sh("echo two")));
    ASSERT_TRUE(r.WaitForOutput(EndText()));
    EXPECT_EQ(r.Output(), "one\ntwo\n" + EndText()) << "the first run ended without its end text";
}

TEST(Redirector, EveryDescriptorIsClosedOnEveryPath)
{
    {
        // The reaper's own descriptors exist from the first hand-over on: a child that outlives
        // its output by longer than the reader waits for it is handed over.
        Recorder warmUp;
        ASSERT_TRUE(warmUp.Launch(Sh("echo $$; exec sleep 0.6 >/dev/null 2>&1")));
        ASSERT_TRUE(warmUp.ended.Wait(10000ms));
        ASSERT_TRUE(GoneWithin(FirstNumber(warmUp.Output()), 10000ms));
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
    for (int i = 0; i < 200 && OpenDescriptors() != before; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(OpenDescriptors(), before);
}

// Blocks inside its first output call until released, as a receiver that hangs would.
class Stuck : public CRedirector {
public:
    Stuck() { m_stopTimeout = 200ms; }
    ~Stuck() override { StopReader(); }

    void OnOutputText(std::string_view text) override
    {
        std::unique_lock lock(m_mutex);
        ++calls;
        entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return released; });
        (void)text;
    }
    void OnStatusText(std::string_view text) override
    {
        std::lock_guard lock(m_mutex);
        status.emplace_back(text);
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

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool entered = false;
    bool released = false;
    int calls = 0;
    std::vector<std::string> status;
};

TEST(Redirector, AReaderThatDoesNotStopIsAbandonedNotKilled)
{
    Stuck r;
    ASSERT_TRUE(r.Launch(Sh("echo x; echo y; echo z")));
    r.WaitEntered();
    r.Shutdown();
    EXPECT_EQ(r.ReaderResult(), -2);
    {
        std::lock_guard lock(r.m_mutex);
        EXPECT_EQ(r.status, std::vector<std::string>{"The redir thread is dead\r\n"});
    }
    // While that reader is still inside a call, the object cannot start another.
    EXPECT_FALSE(r.Launch(Sh("echo again")));
    {
        std::lock_guard lock(r.m_mutex);
        ASSERT_EQ(r.status.size(), 2u);
        EXPECT_EQ(r.status[1], "Redirect console error: 10\r\n"); // EBUSY
    }
    r.Release();
    // Once the call returns the reader makes no further call and ends. (The new run writes
    // nothing for a while, so its own reader makes no call before the count is read.)
    for (int i = 0; i < 200 && !r.Launch(Sh("sleep 5")); ++i)
        std::this_thread::sleep_for(10ms);
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

// The exit status a job uses to decide whether a conversion counts.
struct ExitCase {
    const char* name;
    QStringList argv;
    int exitCode;
};

void PrintTo(const ExitCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExitCodes : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitCodes, AreKeptAfterTheRun)
{
    Recorder r;
    ASSERT_TRUE(r.Launch(GetParam().argv, QString()));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.ExitCode(), GetParam().exitCode);
}

const ExitCase kExitCases[] = {
    {"success", {"/bin/sh", "-c", "echo done"}, 0},
    {"failure", {"/bin/sh", "-c", "echo failed; exit 3"}, 3},
    {"killed_by_a_signal_is_not_an_exit", {"/bin/sh", "-c", "kill -KILL $$"}, -1},
    {"silent_and_quick", {"/bin/true"}, 0},
};

INSTANTIATE_TEST_SUITE_P(Redirector, ExitCodes, ::testing::ValuesIn(kExitCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Redirector, WordsTravelWholeAndTheChildStartsInItsFolderWhileOursStays)
{
    QTemporaryDir folder;
    const QString odd = folder.filePath(QStringLiteral("a \"quoted\" name"));
    ASSERT_TRUE(QDir().mkpath(odd));
    const QString before = QDir::currentPath();
    Recorder r;
    ASSERT_TRUE(r.Launch({QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                          QStringLiteral("pwd; printf '<%s>' \"$@\""), QStringLiteral("sh"),
                          QStringLiteral("-x y"), QStringLiteral("\"z\"")},
                         odd));
    ASSERT_TRUE(r.ended.Wait(10000ms));
    EXPECT_EQ(r.Output(), odd.toStdString() + "\n<-x y><\"z\">" + EndText());
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST(Redirector, AFolderThatDoesNotExistFailsTheLaunch)
{
    Recorder r;
    QTemporaryDir folder;
    EXPECT_FALSE(r.Launch({QStringLiteral("/bin/true")}, folder.filePath(QStringLiteral("gone"))));
    EXPECT_EQ(r.status, std::vector<std::string>{"Redirect console error: 2\r\n"});
}

// A tool's helpers (the downloader's converter, a shell's children) go with it.
TEST(Redirector, TerminateEndsTheToolsWholeProcessGroup)
{
    for (const bool force : {false, true}) {
        Recorder r;
        ASSERT_TRUE(r.Launch(Sh("sleep 60 & echo $!; wait")));
        ASSERT_TRUE(r.WaitForOutput("\n"));
        const int helper = FirstNumber(r.Output());
        EXPECT_FALSE(r.ended.Wait(100ms));
        r.Terminate(force);
        ASSERT_TRUE(r.ended.Wait(10000ms)) << "force " << force;
        EXPECT_EQ(r.ExitCode(), -1);
        bool ended = false;
        for (auto waited = 0ms; waited < 10000ms && !ended; waited += 20ms) {
            ended = !ProcessExists(helper); // gone, or a zombie waiting for its new parent
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(ended) << "force " << force;
        r.Terminate(force); // after the end: nothing to signal, nothing happens
    }
}

} // namespace
