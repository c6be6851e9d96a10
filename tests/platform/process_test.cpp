// Pipes and children: the -errno results, what a child inherits, and reaping exactly once.
#include "platform/event.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::ChildProcess;
using platform::PipeEnds;

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
    std::string text;
    char buf[4096];
    long n;
    while ((n = platform::ReadPipe(out.read.Get(), buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

TEST(Pipe, EndsAreAboveStdioAndPeekTellsBufferedEmptyAndEnded)
{
    PipeEnds ends;
    ASSERT_EQ(platform::MakePipe(ends), 0);
    for (int fd : {ends.read.Get(), ends.write.Get()}) {
        EXPECT_GE(fd, 3);
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_EQ(platform::PeekPipe(ends.read.Get()), 0) << "empty while a writer is open";
    ASSERT_EQ(::write(ends.write.Get(), "hello", 5), 5);
    ends.write.Close();
    EXPECT_EQ(platform::PeekPipe(ends.read.Get()), 5) << "data first, then the end";
    char buf[8];
    EXPECT_EQ(platform::ReadPipe(ends.read.Get(), buf, sizeof buf), 5);
    EXPECT_EQ(platform::PeekPipe(ends.read.Get()), -EPIPE);
    EXPECT_EQ(platform::ReadPipe(-1, buf, sizeof buf), -EBADF);
}

TEST(Spawn, ChildGetsOnlyItsStandardHandlesItsOwnSessionAndDefaultSignals)
{
    // A descriptor the parent opened without close-on-exec must not reach the child either.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    EXPECT_EQ(Capture({"/bin/sh", "-c", "ls /proc/$$/fd"}), "0\n1\n2\n");
    ::close(leaky);

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

} // namespace
