#include "platform/event.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::ChildProcess;
using platform::PipeEnds;

std::string ReadAll(int fd)
{
    std::string out;
    char buf[4096];
    int error = 0;
    long n;
    while ((n = platform::ReadPipe(fd, buf, sizeof buf, error)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    return out;
}

// Runs argv with stdout and stderr on a pipe and returns what it wrote, or "spawn failed".
std::string Capture(const std::vector<std::string>& argv)
{
    PipeEnds out, in;
    EXPECT_EQ(platform::MakePipe(out), 0);
    EXPECT_EQ(platform::MakePipe(in), 0);
    ChildProcess child;
    if (child.Spawn(argv, in.read.Get(), out.write.Get(), out.write.Get()) != 0)
        return "spawn failed";
    out.write.Close();
    in.write.Close();
    return ReadAll(out.read.Get());
}

// A child is gone (reaped) when its /proc entry has vanished; a zombie keeps it.
bool GoneWithin(int pid, std::chrono::milliseconds limit)
{
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    for (auto waited = 0ms; waited < limit; waited += 20ms) {
        if (!QFile::exists(proc))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(Pipe, EndsAreCloseOnExecAndAboveStdio)
{
    PipeEnds ends;
    ASSERT_EQ(platform::MakePipe(ends), 0);
    for (int fd : {ends.read.Get(), ends.write.Get()}) {
        EXPECT_GE(fd, 3);
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
}

TEST(Pipe, PeekTellsBufferedEmptyAndEnded)
{
    PipeEnds ends;
    ASSERT_EQ(platform::MakePipe(ends), 0);
    std::size_t available = 99;
    EXPECT_EQ(platform::PeekPipe(ends.read.Get(), available), 0);
    EXPECT_EQ(available, 0u) << "empty while a writer is open";
    ASSERT_EQ(::write(ends.write.Get(), "hello", 5), 5);
    EXPECT_EQ(platform::PeekPipe(ends.read.Get(), available), 0);
    EXPECT_EQ(available, 5u);
    ends.write.Close();
    EXPECT_EQ(platform::PeekPipe(ends.read.Get(), available), 0) << "data first, then the end";
    EXPECT_EQ(available, 5u);
    char buf[8];
    int error = 0;
    EXPECT_EQ(platform::ReadPipe(ends.read.Get(), buf, sizeof buf, error), 5);
    EXPECT_EQ(platform::PeekPipe(ends.read.Get(), available), EPIPE);
}

TEST(Spawn, MissingProgramIsENOENT)
{
    PipeEnds out;
    ASSERT_EQ(platform::MakePipe(out), 0);
    for (const char* name : {"/nonexistent/vandrel-tool", "vandrel-no-such-tool-on-path"}) {
        ChildProcess child;
        EXPECT_EQ(child.Spawn({name}, out.write.Get(), out.write.Get(), out.write.Get()), ENOENT)
            << name;
        EXPECT_FALSE(child.IsValid());
    }
}

TEST(Spawn, ChildGetsOnlyItsStandardHandles)
{
    // A descriptor the parent opened without close-on-exec must not reach the child either.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    EXPECT_EQ(Capture({"/bin/sh", "-c", "ls /proc/$$/fd"}), "0\n1\n2\n");
    ::close(leaky);
}

TEST(Spawn, ChildRunsInItsOwnSessionWithDefaultSignals)
{
    // Blocked and ignored signals of the parent must not carry over into the tool.
    sigset_t usr1, old;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &old);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR2, &ignore, &previous);

    const std::string out =
        Capture({"/bin/sh", "-c",
                 "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ] && echo own-session; "
                 // Read by the shell itself: while it forks a command it blocks every
                 // signal for a moment, which a reader in another process could see.
                 "while read -r line; do case $line in SigBlk*|SigIgn*) echo \"$line\";; esac; "
                 "done < /proc/$$/status"});

    sigaction(SIGUSR2, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_NE(out.find("own-session\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SigBlk:\t0000000000000000"), std::string::npos) << out;
    const std::size_t ign = out.find("SigIgn:\t");
    ASSERT_NE(ign, std::string::npos) << out;
    const unsigned long long ignored = std::stoull(out.substr(ign + 8, 16), nullptr, 16);
    EXPECT_EQ(ignored & (1ull << (SIGUSR2 - 1)), 0u) << "SIGUSR2 still ignored in the child";
}

TEST(Spawn, StandardInputIsThePipeGiven)
{
    PipeEnds out, in;
    ASSERT_EQ(platform::MakePipe(out), 0);
    ASSERT_EQ(platform::MakePipe(in), 0);
    ChildProcess child;
    ASSERT_EQ(child.Spawn({"/bin/cat"}, in.read.Get(), out.write.Get(), out.write.Get()), 0);
    out.write.Close();
    in.read.Close();
    ASSERT_EQ(::write(in.write.Get(), "abc", 3), 3);
    in.write.Close();
    EXPECT_EQ(ReadAll(out.read.Get()), "abc");
}

TEST(Reaping, AnEndedChildIsReapedOnRelease)
{
    PipeEnds out;
    ASSERT_EQ(platform::MakePipe(out), 0);
    ChildProcess child;
    ASSERT_EQ(child.Spawn({"/bin/true"}, out.write.Get(), out.write.Get(), out.write.Get()), 0);
    const int pid = child.Pid();
    ASSERT_EQ(platform::WaitAny({platform::WaitItem::OfFd(child.PidFd())}, 10000ms),
              std::optional<std::size_t>(0))
        << "the pidfd becomes readable when the child ends";
    child.Release();
    EXPECT_FALSE(child.IsValid());
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), -1) << "already reaped";
    EXPECT_EQ(errno, ECHILD);
    child.Release(); // a second release does nothing
}

TEST(Reaping, AChildGivenUpWhileRunningIsReapedWhenItEnds)
{
    PipeEnds out;
    ASSERT_EQ(platform::MakePipe(out), 0);
    std::vector<int> pids;
    for (int i = 0; i < 3; ++i) {
        ChildProcess child;
        ASSERT_EQ(
            child.Spawn({"/bin/sleep", "1"}, out.write.Get(), out.write.Get(), out.write.Get()), 0);
        pids.push_back(child.Pid());
        // Moving keeps one owner; the destructor gives the child up.
        ChildProcess moved = std::move(child);
        EXPECT_FALSE(child.IsValid());
    }
    for (int pid : pids)
        EXPECT_TRUE(QFile::exists(QStringLiteral("/proc/%1").arg(pid))) << "still running";
    for (int pid : pids)
        EXPECT_TRUE(GoneWithin(pid, 10000ms)) << "pid " << pid << " left as a zombie";
}

} // namespace
