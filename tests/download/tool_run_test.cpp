// A tool's run with real children: what reaches the output callback, the exit code, how a stop
// ends a tool that does not want to end, and that every descriptor and child is released.
#include "download/tool_run.h"
#include "platform/event.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

QStringList Sh(const char* script)
{
    return {"/bin/sh", "-c", QString::fromUtf8(script)};
}

// Runs argv to its end; output keeps everything it wrote (bounded, for the tools that write
// without end), and onOutput may act on it.
struct Recorder {
    std::string output;
    platform::Event stop{platform::Event::Kind::ManualReset};
    std::function<void(Recorder&)> onOutput;

    platform::Expected<int> Run(QStringList argv, std::chrono::milliseconds grace = 3000ms)
    {
        download::ToolRun run{std::move(argv), {}, grace};
        return run.Run(
            [this](std::string_view text) {
                if (output.size() <= (1 << 20))
                    output.append(text);
                if (onOutput)
                    onOutput(*this);
            },
            stop);
    }
};

int OpenDescriptors()
{
    return static_cast<int>(
        QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

TEST(ToolRun, HandsOnTheChildsOutputAndKeepsItsExitCode)
{
    const struct {
        const char* name;
        QStringList argv;
        std::string output;
        int exitCode;
    } rows[] = {
        {"standard error is interleaved in write order",
         Sh("echo out1; echo err1 >&2; echo out2; echo err2 1>&2; printf out3"),
         "out1\nerr1\nout2\nerr2\nout3", 0},
        {"an exit code is kept", Sh("echo x; exit 3"), "x\n", 3},
        {"killed by a signal is not an exit", Sh("kill -KILL $$"), "", -1},
        {"standard input is an empty pipe",
         Sh("[ -p /dev/stdin ] && echo pipe; [ -t 0 ] || echo no-terminal"), "pipe\nno-terminal\n",
         0},
        {"arguments reach the child word by word without a shell",
         {"/usr/bin/printf", "[%s]", "a b", "$HOME;ls", "http://h/?x=1&y=`id`", "q\"uote"},
         R"([a b][$HOME;ls][http://h/?x=1&y=`id`][q"uote])",
         0},
        // The background sleep inherits the pipe: the run ends with the shell, not with it.
        {"an output held open by a grandchild ends with the child",
         Sh("echo start; sleep 2 & exit 0"), "start\n", 0},
        {"a child that outlives its output is not waited for",
         Sh("echo bye; exec sleep 2 >/dev/null 2>&1"), "bye\n", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        QElapsedTimer timer;
        timer.start();
        const platform::Expected<int> exitCode = r.Run(row.argv);
        ASSERT_TRUE(exitCode);
        EXPECT_LT(timer.elapsed(), 1500);
        EXPECT_EQ(r.output, row.output);
        EXPECT_EQ(*exitCode, row.exitCode);
    }
}

// A stop ends the tool's group with SIGTERM, and with SIGKILL after the grace for a tool that
// ignores SIGTERM; a tool that writes without pause still sees it.
TEST(ToolRun, AStopEndsTheToolWhateverItDoes)
{
    const struct {
        const char* name;
        const char* script;
        qint64 atLeastMs; // how long the run takes at least after the stop
    } rows[] = {
        {"writes without pause", "echo ready; exec yes", 0},
        {"ignores SIGTERM", "trap '' TERM; echo ready; while :; do sleep 0.05; done", 300},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        QElapsedTimer timer;
        r.onOutput = [&](Recorder& self) {
            if (!self.stop.IsSet() && self.output.find("ready\n") != std::string::npos) {
                timer.start();
                self.stop.Set();
            }
        };
        const platform::Expected<int> exitCode = r.Run(Sh(row.script), 300ms);
        ASSERT_TRUE(exitCode);
        EXPECT_EQ(*exitCode, -1);
        EXPECT_GE(timer.elapsed(), row.atLeastMs);
        EXPECT_LT(timer.elapsed(), 5000);
    }
}

TEST(ToolRun, EveryDescriptorIsClosedOnEveryPath)
{
    {
        // The reaper's own descriptors exist from the first hand-over on: a child that outlives
        // its output by longer than the run waits for it is handed over.
        Recorder warmUp;
        ASSERT_TRUE(warmUp.Run(Sh("echo $$; exec sleep 0.6 >/dev/null 2>&1")));
        ASSERT_TRUE(testenv::ProcessEnds(QByteArray::fromStdString(warmUp.output).trimmed()));
        std::this_thread::sleep_for(100ms); // the reaper closes its pidfd right after
    }
    const int before = OpenDescriptors();
    for (int i = 0; i < 5; ++i) {
        Recorder ok, missing, stopped, closed;
        EXPECT_TRUE(ok.Run(Sh("echo x")));
        const platform::Expected<int> notStarted = missing.Run({"/nonexistent/tool"});
        ASSERT_FALSE(notStarted);
        EXPECT_EQ(notStarted.error().code, ENOENT);
        EXPECT_EQ(notStarted.error().text, "No such file or directory");
        stopped.stop.Set();
        EXPECT_TRUE(stopped.Run(Sh("sleep 0.3")));
        EXPECT_TRUE(closed.Run(Sh("exec sleep 0.3 >/dev/null 2>&1")));
    }
    // The given-up children end and are reaped, and their pidfds closed, shortly after; a
    // descriptor that leaked stays open for good.
    EXPECT_TRUE(testenv::WaitUntil([&] { return OpenDescriptors() == before; }, 10000))
        << OpenDescriptors() << " open, " << before << " before";
}

} // namespace
