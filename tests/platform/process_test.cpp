// Events and children: what an event's kind means to its waits, what a child inherits, that it
// dies with the process that started it. Waiting on events and descriptors together, reading a
// child's output to its end, reaping and closing every descriptor are the tool run's tests.
#include "platform/event.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
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

// Runs argv with stdout and stderr on a pipe and returns what it wrote, or "spawn failed" (with
// Spawn's result in result).
std::string Capture(const std::vector<std::string>& argv, const std::string& directory = {},
                    int* result = nullptr)
{
    PipeEnds out, in;
    EXPECT_EQ(platform::MakePipe(out), 0);
    EXPECT_EQ(platform::MakePipe(in), 0);
    ChildProcess child;
    const int spawned =
        child.Spawn(argv, in.read.Get(), out.write.Get(), out.write.Get(), directory);
    if (result)
        *result = spawned;
    if (spawned != 0)
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

// Looked for as execvp would, from the working directory.
TEST(Spawn, FindsTheProgramFromTheWorkingDirectoryOrSaysWhyNot)
{
    const struct {
        const char* name;
        std::vector<std::string> argv;
        std::string directory;
        int result;
        std::string output;
    } rows[] = {
        {"on PATH, run in the working directory", {"sh", "-c", "pwd"}, "/usr/bin", 0, "/usr/bin\n"},
        {"a relative path with a slash", {"./env", "printf", "x"}, "/usr/bin", 0, "x"},
        {"a missing program", {"/nonexistent/tool"}, "", -ENOENT, "spawn failed"},
        {"a name on no PATH entry", {"vandrel-no-such-tool"}, "", -ENOENT, "spawn failed"},
        {"a missing working directory", {"/bin/true"}, "/nonexistent", -ENOENT, "spawn failed"},
        {"a file that may not be run", {"/etc/passwd"}, "", -EACCES, "spawn failed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        int result = 1;
        EXPECT_EQ(Capture(row.argv, row.directory, &result), row.output);
        EXPECT_EQ(result, row.result);
    }
}

// What fd gives until its end (all writers gone) or until limit passes; ended tells which.
std::string ReadFor(int fd, std::chrono::milliseconds limit, bool& ended,
                    const std::function<bool(const std::string&)>& enough = {})
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string text;
    ended = false;
    while (!(enough && enough(text))) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[256];
        const long n = platform::ReadPipe(fd, buf, sizeof buf);
        if (n <= 0) {
            ended = n == 0;
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

// A helper process whose standard output and error are the err and out pipes spawns a shell
// with the two swapped back, so each line lands in its own pipe only if binding one standard
// handle never clobbers the other's source. The shell becomes a long sleep; SIGKILL of the
// helper must take it along, which the pipes show by ending.
TEST(Spawn, SwappedStandardHandlesStayApartAndTheChildDiesWithTheKilledParent)
{
    PipeEnds out, err;
    ASSERT_EQ(platform::MakePipe(out), 0);
    ASSERT_EQ(platform::MakePipe(err), 0);
    const pid_t helper = ::fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        if (::dup2(err.write.Get(), 1) < 0 || ::dup2(out.write.Get(), 2) < 0)
            ::_exit(2);
        ChildProcess child;
        const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (child.Spawn({"/bin/sh", "-c", "echo err >&2; echo $$; exec sleep 30"}, devNull, 2, 1) !=
            0)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    out.write.Close();
    err.write.Close();
    bool ended = false;
    // Up to a last line that is the shell's process id: everything is written by then.
    const auto lastLine = [](const std::string& t) {
        return t.substr(t.rfind('\n', t.size() - 2) + 1);
    };
    const std::string outText = ReadFor(out.read.Get(), 10s, ended, [&](const std::string& t) {
        return t.size() > 1 && t.back() == '\n' &&
               lastLine(t).find_first_not_of("0123456789\n") == std::string::npos;
    });
    ::kill(helper, SIGKILL);
    int status = 0;
    ::waitpid(helper, &status, 0);
    ASSERT_FALSE(ended || outText.empty()) << "the helper could not spawn: " << outText;
    const int sleeper = std::stoi(lastLine(outText));

    bool outEnded = false, errEnded = false;
    const std::string restOfOut = ReadFor(out.read.Get(), 5s, outEnded);
    const std::string errText = ReadFor(err.read.Get(), 5s, errEnded);
    EXPECT_TRUE(outEnded && errEnded) << "the child outlived the process that spawned it";
    EXPECT_EQ(outText + restOfOut, std::to_string(sleeper) + "\n");
    EXPECT_EQ(errText, "err\n");
    if (!outEnded || !errEnded)
        ::kill(sleeper, SIGKILL);
}

} // namespace
