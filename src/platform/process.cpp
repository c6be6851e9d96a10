// Spawning with fork and exec (the child arms its death signal before it runs the tool),
// waiting through pidfds, peeking with FIONREAD, and the reaper thread that collects children
// that were given up while still running.
#include "platform/process.h"

#include "platform/event.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

extern char** environ;

namespace platform {
namespace {

// Moves a descriptor to 3 or above (keeping close-on-exec): 0 or -errno.
int LiftAboveStdio(UniqueFd& fd)
{
    if (fd.Get() >= 3)
        return 0;
    const int lifted = ::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 3);
    if (lifted < 0)
        return -errno;
    fd.Reset(lifted);
    return 0;
}

// True when the child has been reaped now (or was already gone). exitStatus receives the exit
// code of a normal exit, else -1.
bool TryReap(int pid, int* exitStatus = nullptr)
{
    for (;;) {
        int status = 0;
        const int r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (exitStatus)
                *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (r == 0)
            return false;
        if (errno != EINTR)
            return true; // ECHILD: nothing left to collect
    }
}

// Children that were given up while still running. One thread waits on all their pidfds and
// reaps each when it ends; it is started on first use and stopped at exit.
class Reaper {
public:
    static Reaper& Instance()
    {
        static Reaper reaper;
        return reaper;
    }

    void Adopt(int pid, UniqueFd pidFd)
    {
        {
            std::lock_guard lock(m_mutex);
            m_children.push_back({pid, std::move(pidFd)});
            if (!m_thread.joinable())
                m_thread = std::thread([this] { Loop(); });
        }
        m_wake.Set();
    }

    ~Reaper()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.Set();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    struct Child {
        int pid;
        UniqueFd pidFd;
    };

    void Loop()
    {
        for (;;) {
            std::vector<WaitItem> items{WaitItem::Of(m_wake)};
            {
                std::lock_guard lock(m_mutex);
                if (m_stop)
                    return;
                for (const Child& c : m_children)
                    items.push_back(WaitItem::OfFd(c.pidFd.Get()));
            }
            const auto hit = WaitAny(items, std::chrono::milliseconds(-1));
            if (!hit || *hit == 0)
                continue;
            std::lock_guard lock(m_mutex);
            // Only this thread removes entries, so the index still names the same child.
            Child& child = m_children[*hit - 1];
            if (TryReap(child.pid))
                m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(*hit - 1));
        }
    }

    std::mutex m_mutex;
    std::vector<Child> m_children;
    Event m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Blocks every signal in the calling thread for its lifetime, so that no handler of the
// parent runs in the child between the fork and the exec.
class SignalsBlocked {
public:
    SignalsBlocked()
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &m_old);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t m_old;
};

// Where execvp would look for name, in its order: the name itself when it holds a slash, else
// each entry of PATH (an empty entry is the current directory, which is the child's working
// directory by then).
std::vector<std::string> ProgramCandidates(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return {name};
    const char* path = ::getenv("PATH");
    const std::string search = path ? path : "/bin:/usr/bin";
    std::vector<std::string> candidates;
    for (std::size_t begin = 0;;) {
        const std::size_t colon = search.find(':', begin);
        const std::string entry = search.substr(begin, colon - begin);
        candidates.push_back(entry.empty() ? name : entry + '/' + name);
        if (colon == std::string::npos)
            return candidates;
        begin = colon + 1;
    }
}

// Everything the child needs, made before the fork: between fork and exec the child may make
// only async-signal-safe calls (another thread may have held the allocator's lock at the fork),
// so it allocates nothing and reads only this.
struct ChildPlan {
    std::vector<const char*> programs; // tried in order
    char* const* argv;
    char* const* envp;
    const char* directory; // nullptr: the parent's
    int standard[3];
    int errorFd; // close-on-exec: the child writes its errno here when it cannot run the tool
    pid_t parent;
    int maxFd;
    sigset_t noSignals;
};

[[noreturn]] void FailInChild(const ChildPlan& plan, int error)
{
    // Four bytes to a pipe arrive in one piece.
    while (::write(plan.errorFd, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

long CloseRange(unsigned first, unsigned last, unsigned flags)
{
#ifdef SYS_close_range
    return ::syscall(SYS_close_range, first, last, flags);
#else
    errno = ENOSYS;
    return -1;
#endif
}

[[noreturn]] void RunChild(const ChildPlan& plan)
{
    // A session of its own, so that the tool's whole process group can be signalled.
    if (::setsid() < 0)
        FailInChild(plan, errno);
    // The tool must not outlive the program, even one killed by SIGKILL. Linux sends the death
    // signal when the thread that forked ends, not the process: the tools are spawned by a
    // job's worker thread, which waits for them, so that thread outlives them anyway.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        FailInChild(plan, errno);
    if (::getppid() != plan.parent)
        ::_exit(127); // the parent died before the signal was armed: nobody waits for the tool

    // A source descriptor that another standard handle is bound over (stdout and stderr given
    // swapped, say) is first copied above 2, so that no binding clobbers the source of another.
    int source[3] = {plan.standard[0], plan.standard[1], plan.standard[2]};
    for (int target = 0; target < 3; ++target) {
        if (source[target] >= 0 && source[target] < 3 && source[target] != target) {
            source[target] = ::fcntl(source[target], F_DUPFD, 3);
            if (source[target] < 0)
                FailInChild(plan, errno);
        }
    }
    for (int target = 0; target < 3; ++target) {
        if (source[target] == target) {
            // dup2 onto itself does nothing, not even clear close-on-exec.
            const int flags = ::fcntl(target, F_GETFD);
            if (flags < 0 || ::fcntl(target, F_SETFD, flags & ~FD_CLOEXEC) < 0)
                FailInChild(plan, errno);
        } else if (::dup2(source[target], target) < 0) {
            FailInChild(plan, errno);
        }
    }
    // Every other descriptor goes at the exec, also one that another part of the process
    // opened without close-on-exec (an inherited pipe end would keep another tool's output
    // open); the error pipe goes with them, so it stays open until then. Kernels before 5.11
    // lack the flag: everything but the error pipe is closed now.
    if (CloseRange(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0 &&
        ((plan.errorFd > 3 && CloseRange(3, plan.errorFd - 1, 0) != 0) ||
         CloseRange(plan.errorFd + 1, ~0U, 0) != 0)) {
        for (int fd = 3; fd < plan.maxFd; ++fd)
            if (fd != plan.errorFd)
                ::close(fd);
    }
    if (plan.directory && ::chdir(plan.directory) != 0)
        FailInChild(plan, errno);

    // Default actions for every signal (ignored ones too), then nothing blocked any more.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr); // SIGKILL, SIGSTOP and libc's own refuse
    ::sigprocmask(SIG_SETMASK, &plan.noSignals, nullptr);

    // As execvp: a program that is missing here may be found further on PATH; one that may not
    // be run is remembered; any other failure ends the search.
    int error = ENOENT;
    bool denied = false;
    for (const char* program : plan.programs) {
        ::execve(program, plan.argv, plan.envp);
        error = errno;
        if (error == EACCES)
            denied = true;
        else if (error != ENOENT && error != ENOTDIR && error != ESTALE && error != ENODEV &&
                 error != ETIMEDOUT)
            FailInChild(plan, error);
    }
    FailInChild(plan, denied ? EACCES : error);
}

} // namespace

int MakePipe(PipeEnds& ends)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -errno;
    ends.read.Reset(fds[0]);
    ends.write.Reset(fds[1]);
    if (const int e = LiftAboveStdio(ends.read))
        return e;
    return LiftAboveStdio(ends.write);
}

long PeekPipe(int fd)
{
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0)
        return -errno;
    if (count > 0)
        return count;
    // Nothing buffered: the output has ended when no writer is left.
    pollfd p{fd, POLLIN, 0};
    int r;
    while ((r = ::poll(&p, 1, 0)) < 0 && errno == EINTR) {
    }
    if (r < 0)
        return -errno;
    if (r == 1 && (p.revents & POLLHUP))
        return -EPIPE;
    if (r == 1 && (p.revents & (POLLERR | POLLNVAL)))
        return -EIO;
    return 0;
}

long ReadPipe(int fd, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR)
            return -errno;
    }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_pidFd(std::move(other.m_pidFd)),
      m_terminated(std::exchange(other.m_terminated, false)),
      m_exitStatus(std::exchange(other.m_exitStatus, -1))
{
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        Release();
        m_pid = std::exchange(other.m_pid, -1);
        m_pidFd = std::move(other.m_pidFd);
        m_terminated = std::exchange(other.m_terminated, false);
        m_exitStatus = std::exchange(other.m_exitStatus, -1);
    }
    return *this;
}

int ChildProcess::Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                        int stderrFd, const std::string& workingDirectory)
{
    if (IsValid())
        return -EBUSY;
    if (argv.empty() || argv.front().empty())
        return -ENOENT;

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const std::vector<std::string> programs = ProgramCandidates(argv.front());

    PipeEnds report;
    if (const int e = MakePipe(report))
        return e;
    ChildPlan plan{};
    for (const std::string& program : programs)
        plan.programs.push_back(program.c_str());
    plan.argv = args.data();
    plan.envp = environ;
    // Only the child changes directory: the process's own current directory is shared by every
    // thread, so changing it would send another job's files to the wrong place.
    plan.directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    plan.standard[0] = stdinFd;
    plan.standard[1] = stdoutFd;
    plan.standard[2] = stderrFd;
    plan.errorFd = report.write.Get();
    plan.parent = ::getpid();
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    plan.maxFd = openMax > 0 && openMax < (1L << 20) ? static_cast<int>(openMax) : (1 << 20);
    sigemptyset(&plan.noSignals);

    pid_t pid = -1;
    int error = 0;
    {
        SignalsBlocked blocked;
        pid = ::fork();
        if (pid == 0)
            RunChild(plan);
        error = errno;
    }
    if (pid < 0)
        return -error;

    // The write end closes at the exec; before that, a child that cannot run the tool sends its
    // errno through it.
    report.write.Close();
    int childError = 0;
    ssize_t got;
    while ((got = ::read(report.read.Get(), &childError, sizeof childError)) < 0 &&
           errno == EINTR) {
    }
    if (got != 0) {
        if (got < 0) {
            error = errno;
            ::kill(pid, SIGKILL);
        } else {
            error = got == static_cast<ssize_t>(sizeof childError) ? childError : EIO;
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return -error;
    }

    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd < 0) {
        // Without a pidfd the child cannot be waited for with the other events: stop it now
        // rather than leave a process nobody watches.
        error = errno;
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return -error;
    }
    std::lock_guard lock(m_mutex);
    m_pid = pid;
    m_pidFd.Reset(pidFd);
    m_terminated = false;
    m_exitStatus = -1;
    return 0;
}

bool ChildProcess::TerminateGroup(bool force)
{
    std::lock_guard lock(m_mutex);
    if (m_pid <= 0)
        return false;
    // Not reaped yet, so the id is still the leader's (a zombie keeps it) and names its group.
    m_terminated = true;
    return ::kill(-m_pid, force ? SIGKILL : SIGTERM) == 0;
}

void ChildProcess::Release()
{
    std::lock_guard lock(m_mutex);
    if (m_pid <= 0)
        return;
    const int pid = std::exchange(m_pid, -1);
    if (m_terminated)
        ::kill(-pid, SIGKILL); // the rest of a group that was told to end
    if (TryReap(pid, &m_exitStatus))
        m_pidFd.Close();
    else
        Reaper::Instance().Adopt(pid, std::move(m_pidFd));
}

int ChildProcess::ExitStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_exitStatus;
}

} // namespace platform
