// Child processes and the pipes that carry their output: spawning a program in a session of
// its own with its standard handles bound to given descriptors, peeking at and reading a pipe,
// and reaping every child exactly once.
#pragma once

#include "platform/unique_fd.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// The two ends of a pipe, both close-on-exec and numbered 3 or above, so that binding them
// to a child's standard handles can never clobber one another.
struct PipeEnds {
    UniqueFd read;
    UniqueFd write;
};
// 0 or -errno.
int MakePipe(PipeEnds& ends);

// How many bytes can be read from a pipe without blocking, or -errno: -EPIPE when the pipe is
// empty and no writer is left (the end of the output).
long PeekPipe(int fd);
// Reads at most size bytes: the count (0 at the end of the output) or -errno. Retries on EINTR.
long ReadPipe(int fd, char* buffer, std::size_t size);

// One spawned child: its process id and a pidfd that becomes readable when it ends. The child
// is reaped exactly once: by Release (when it has already ended, keeping its exit status) or by
// a process-wide reaper thread that waits for it (when it is still running), so it never
// lingers as a zombie. TerminateGroup and Release may be called from different threads; moving
// an object is not thread-safe.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Release(); }
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up on PATH when it holds no slash) with the parent's environment,
    // in a new session (no controlling terminal; the child leads its own process group), with
    // its standard input, output and error bound to the given descriptors (the same one may be
    // given twice, and one of 0..2 may be given for another of them) and every other
    // descriptor closed. The child starts in workingDirectory, or in the parent's current
    // directory when it is empty; the parent's own current directory never changes (a
    // relative argv[0] with a slash is then found from workingDirectory). Signals are blocked
    // in the parent around the spawn, and the child starts with default handlers and an empty
    // signal mask. The child gets SIGKILL when the thread that spawned it ends, and so when
    // the process ends in any way, SIGKILL included: spawn from a thread that outlives the
    // child's use. Returns 0 or -errno (-ENOENT for a program or a working directory that
    // does not exist, -EACCES for one that may not be run). Only valid on an empty object.
    int Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd, int stderrFd,
              const std::string& workingDirectory = {});

    bool IsValid() const { return m_pid > 0; }
    int Pid() const { return m_pid; }
    // Readable once the child has ended; -1 when there is no child.
    int PidFd() const { return m_pidFd.Get(); }

    // Sends SIGTERM (SIGKILL when force is set) to the child's whole process group, as long as
    // the child has not been reaped: a group is never signalled once its leader's id may have
    // been reused. True when the signal was sent.
    bool TerminateGroup(bool force);

    // Gives the child up without stopping it (it still ends with the thread that spawned it);
    // safe to call twice. After TerminateGroup, what is left of the group gets SIGKILL first,
    // while the leader still holds the group's id.
    void Release();

    // The child's exit code once Release has reaped it after a normal exit; -1 while unknown,
    // when it was killed by a signal, or when it was handed to the reaper still running.
    int ExitStatus() const;

private:
    mutable std::mutex m_mutex; // the pid against reaping, so a signal never hits a reused id
    int m_pid = -1;
    UniqueFd m_pidFd;
    bool m_terminated = false;
    int m_exitStatus = -1;
};

} // namespace platform
