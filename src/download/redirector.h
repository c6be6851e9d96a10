// Runs one external command-line tool as a child process with its standard output and standard
// error joined into one pipe, and reads that pipe on a reader thread of its own. Every piece of
// text read goes to OnOutputText; the redirector's own error and status texts go to
// OnStatusText. A derived class decides what the text means.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// How a reader thread ended. The numbers are the reader's exit codes as the design fixes them.
enum class ReaderEnd : int {
    OutputEnded = 0, // the child's output ended (or the child ended and its output was drained)
    Stopped = 1,     // the exit event asked it to stop
    ReadFailed = -1, // reading the pipe failed
    Abandoned = -2,  // it did not stop in time and was given up
};

class CRedirector {
public:
    CRedirector();
    virtual ~CRedirector();
    CRedirector(const CRedirector&) = delete;
    CRedirector& operator=(const CRedirector&) = delete;

    // Ends any previous run, then starts the child and the reader thread. The command line
    // holds the program first and is split into words by the Windows rules (never by a
    // shell). Returns true when the reader thread runs. On failure "Redirect console error:
    // %x\r\n" with the system error code goes to OnStatusText, everything is released, and
    // LaunchError names the code.
    bool Launch(const QString& commandLine);
    // The same with the words given one by one (argv[0] is the program; an absolute path is
    // best, since it is looked up from workingDirectory). Nothing is split or quoted again. The
    // child starts in workingDirectory (the caller's current directory when empty), which
    // never changes the current directory of this process.
    bool Launch(const QStringList& argv, const QString& workingDirectory);

    // Ends the running tool: SIGTERM (SIGKILL when force is set) to the child's whole process
    // group. Thread-safe; does nothing when no child runs or it has already been reaped. What
    // is left of the group gets SIGKILL when the run is released.
    void Terminate(bool force = false);

    // Stops the reader thread (asking it through the exit event and waiting for it at most
    // m_stopTimeout) and releases the pipes and the child. It does not stop the child: one
    // that still runs keeps running and is reaped when it ends. Safe when nothing runs.
    virtual void Shutdown();

    // Called on the reader thread with at most 255 bytes at a time; text.data() is
    // NUL-terminated and reused after the call, so keep a copy of what you need.
    virtual void OnOutputText(std::string_view text);
    // The redirector's status and error texts; on the reader thread, or on the thread that
    // calls Launch or Shutdown.
    virtual void OnStatusText(std::string_view text);

    // How the last reader thread ended.
    ReaderEnd ReaderResult() const { return m_result.load(); }
    // The system error code (errno) of the last Launch that failed; 0 after one that started.
    int LaunchError() const { return m_launchError; }
    // The tool's exit code, read once the run has ended (after its Shutdown); -1 while it runs,
    // when it was killed by a signal, or when it outlived its output and was not waited for.
    int ExitCode() const { return m_exitCode.load(); }

    static constexpr std::string_view kEndText = "\r\n<TEST INFO>: Child process ended\r\n";

protected:
    // Called by Launch after its initial Shutdown, before anything of the new run exists.
    virtual void OnLaunching() {}

    // The base Shutdown, then a wait without limit for a reader thread that was abandoned and
    // is still inside a call of this object. A derived class whose overrides use its own
    // members calls this first in its destructor, while those members still exist.
    void StopReader();

    std::chrono::milliseconds m_pollInterval{100};
    std::chrono::milliseconds m_stopTimeout{5000};

private:
    struct RunState;

    bool LaunchWords(const std::vector<std::string>& argv, const std::string& workingDirectory);
    void SetRun(std::shared_ptr<RunState> run);
    void ReaderMain(std::shared_ptr<RunState> run);
    ReaderEnd ReadLoop(RunState& run);
    // Reads what is buffered. Nothing while the pipe is merely empty; else how the reader
    // ends: the end of the pipe, Abandoned during a call, Stopped when the exit event was set.
    std::optional<ReaderEnd> ReadAvailable(RunState& run);
    // error: the -errno of the failed peek or read.
    ReaderEnd EndOfPipe(long error);
    bool IsReaderThread() const;
    // Joins an abandoned reader that has finished; false while it still runs.
    bool CollectAbandoned();

    // Set on a reader thread: the run it serves and its object, so that the Shutdown it calls
    // at its end knows it is the reader's and releases only that run.
    static thread_local RunState* s_readerRun;
    static thread_local const CRedirector* s_readerOwner;

    // The owner's thread changes m_run under the mutex; Terminate reads it under the mutex.
    std::mutex m_runMutex;
    std::shared_ptr<RunState> m_run;
    std::thread m_reader;
    std::shared_ptr<RunState> m_abandonedRun;
    std::thread m_abandoned;
    std::atomic<ReaderEnd> m_result{ReaderEnd::OutputEnded};
    int m_launchError = 0;
    std::atomic<int> m_exitCode{-1};
};
