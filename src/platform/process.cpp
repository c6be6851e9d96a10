// Spawning with posix_spawn, waiting through pidfds, peeking with FIONREAD, and the reaper
// thread that collects children that were given up while still running.
#include "platform/process.h"

#include "platform/event.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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
// parent runs in the child between the spawn's fork and exec.
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

// posix_spawn's file actions and attributes, destroyed on every path once made.
class SpawnSetup {
public:
    SpawnSetup()
    {
        m_error = posix_spawn_file_actions_init(&m_actions);
        if (m_error)
            return;
        m_error = posix_spawnattr_init(&m_attr);
        if (m_error)
            posix_spawn_file_actions_destroy(&m_actions);
    }
    ~SpawnSetup()
    {
        if (!m_error) {
            posix_spawnattr_destroy(&m_attr);
            posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // 0 when both were made, else the error number of the first that was not.
    int Error() const { return m_error; }
    posix_spawn_file_actions_t* Actions() { return &m_actions; }
    posix_spawnattr_t* Attributes() { return &m_attr; }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attr;
    int m_error = 0;
};

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

    SpawnSetup setup;
    int error = setup.Error();
    posix_spawn_file_actions_t* actions = setup.Actions();
    posix_spawnattr_t* attr = setup.Attributes();
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (!error)
        error = posix_spawnattr_setflags(attr, flags);
    if (!error)
        error = posix_spawnattr_setsigmask(attr, &none);
    if (!error)
        error = posix_spawnattr_setsigdefault(attr, &all);
    if (!error)
        error = posix_spawn_file_actions_adddup2(actions, stdinFd, 0);
    if (!error)
        error = posix_spawn_file_actions_adddup2(actions, stdoutFd, 1);
    if (!error)
        error = posix_spawn_file_actions_adddup2(actions, stderrFd, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors that some other part of the process opened without close-on-exec must not
    // reach the child either: an inherited pipe end would keep another tool's output open.
    if (!error)
        error = posix_spawn_file_actions_addclosefrom_np(actions, 3);
#endif
    if (!error && !workingDirectory.empty()) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
        // Only the child changes directory: the process's own current directory is shared by
        // every thread, so changing it would send another job's files to the wrong place.
        error = posix_spawn_file_actions_addchdir_np(actions, workingDirectory.c_str());
#else
        error = ENOSYS;
#endif
    }

    pid_t pid = -1;
    if (!error) {
        SignalsBlocked blocked;
        error = posix_spawnp(&pid, args[0], actions, attr, args.data(), environ);
    }
    if (error)
        return -error;

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
