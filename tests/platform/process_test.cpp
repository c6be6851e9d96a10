// Events and children: what an event's kind means to its waits, what a child inherits. Waiting
// on events and descriptors together, reading a child's output to its end, reaping and closing
// every descriptor are the redirector's tests.
#include "platform/event.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::ChildProcess;
using platform::Event;
using platform::PipeEnds;

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

TEST(Spawn, ChildGetsOnlyItsStandardHandlesItsOwnSessionAndDefaultSignals)
{
    // Pipe ends never reach a program that another thread starts meanwhile (close-on-exec), and
    // a descriptor the parent opened without close-on-exec does not reach the child either.
    PipeEnds pipe;
    ASSERT_EQ(platform::MakePipe(pipe), 0);
    for (int fd : {pipe.read.Get(), pipe.write.Get()})
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
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

} // namespace
