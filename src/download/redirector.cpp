// The redirector's run: pipes and child from platform, one reader thread, and a stop protocol
// in which the owner and the reader never release the same thing twice.
#include "download/redirector.h"

#include "download/command_line_split.h"
#include "platform/event.h"
#include "platform/file_name.h"
#include "platform/process.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr std::size_t kChunk = 255;
constexpr std::size_t kReadBlock = 64 * 1024;

// The run's life, decided by whichever side gets there first: the reader finishing on its
// own, or the owner giving up on a reader that does not stop in time.
enum RunPhase : int { kRunning, kFinishing, kAbandoned };

// A child closes its output as it exits, a moment before its end can be collected: waiting
// this long for it keeps its exit code. A child that closed its output and goes on running is
// not waited for beyond this.
constexpr std::chrono::milliseconds kExitGrace{250};

} // namespace

// Everything one run holds. The reader thread keeps its own reference, so a reader that was
// abandoned can still release the child and the pipes when it finally ends.
struct CRedirector::RunState {
    platform::Event exitEvent{platform::Event::Kind::ManualReset};
    platform::Event done{platform::Event::Kind::ManualReset};
    platform::UniqueFd output; // read end of the child's stdout and stderr
    platform::UniqueFd input;  // write end of the child's stdin; nothing is written to it
    platform::ChildProcess child;
    std::atomic<int> phase{kRunning};
    std::vector<char> block = std::vector<char>(kReadBlock);

    void Release()
    {
        output.Close();
        input.Close();
        child.Release();
    }
};

thread_local CRedirector::RunState* CRedirector::s_readerRun = nullptr;
thread_local const CRedirector* CRedirector::s_readerOwner = nullptr;

CRedirector::CRedirector() = default;

CRedirector::~CRedirector()
{
    StopReader();
}

void CRedirector::OnOutputText(std::string_view) {}

void CRedirector::OnStatusText(std::string_view) {}

bool CRedirector::IsReaderThread() const
{
    return s_readerOwner == this;
}

bool CRedirector::Launch(const QString& commandLine)
{
    std::vector<std::string> argv;
    for (const QString& word : SplitCommandLine(commandLine))
        argv.push_back(platform::EncodeFileName(word).toStdString());
    return LaunchWords(argv, {});
}

bool CRedirector::Launch(const QStringList& argv, const QString& workingDirectory)
{
    std::vector<std::string> words;
    words.reserve(static_cast<std::size_t>(argv.size()));
    for (const QString& word : argv)
        words.push_back(platform::EncodeFileName(word).toStdString());
    return LaunchWords(words, platform::EncodeFileName(workingDirectory).toStdString());
}

void CRedirector::SetRun(std::shared_ptr<RunState> run)
{
    std::lock_guard lock(m_runMutex);
    m_run = std::move(run);
}

void CRedirector::Terminate(bool force)
{
    std::shared_ptr<RunState> run;
    {
        std::lock_guard lock(m_runMutex);
        run = m_run;
    }
    if (run)
        run->child.TerminateGroup(force);
}

bool CRedirector::LaunchWords(const std::vector<std::string>& argv,
                              const std::string& workingDirectory)
{
    Shutdown();
    OnLaunching();
    m_exitCode = -1;
    m_launchError = 0;

    int error = 0;
    if (!CollectAbandoned()) {
        error = EBUSY; // a reader of an earlier run is still inside a call of this object
    } else {
        try {
            auto run = std::make_shared<RunState>();
            platform::PipeEnds out, in;
            error = -platform::MakePipe(out);
            if (!error)
                error = -platform::MakePipe(in);
            if (!error)
                error = argv.empty() ? ENOENT
                                     : -run->child.Spawn(argv, in.read.Get(), out.write.Get(),
                                                         out.write.Get(), workingDirectory);
            if (!error) {
                // The child now holds the only writers of its output pipe, so the pipe ends
                // when the child (and whatever it passed the pipe to) is gone.
                out.write.Close();
                in.read.Close();
                run->output = std::move(out.read);
                run->input = std::move(in.write);
                SetRun(run);
                m_result = ReaderEnd::OutputEnded;
                m_reader = std::thread(&CRedirector::ReaderMain, this, run);
            }
        } catch (const std::system_error& e) {
            error = e.code().value() ? e.code().value() : EAGAIN;
        }
    }
    if (!error)
        return true;

    char text[40];
    std::snprintf(text, sizeof text, "Redirect console error: %x\r\n",
                  static_cast<unsigned>(error));
    OnStatusText(text);
    Shutdown();
    m_launchError = error;
    return false;
}

void CRedirector::Shutdown()
{
    if (IsReaderThread()) {
        // The reader's own last step: release its run. The owner's fields are the owner's.
        s_readerRun->Release();
        m_exitCode = s_readerRun->child.ExitStatus();
        return;
    }
    if (m_reader.joinable()) {
        m_run->exitEvent.Set();
        if (!m_run->done.Wait(m_stopTimeout)) {
            int running = kRunning;
            if (m_run->phase.compare_exchange_strong(running, kAbandoned)) {
                // Stuck inside one of our calls. No thread is killed: the reader releases its
                // run itself when that call returns and then makes no further call.
                OnStatusText("The redir thread is dead\r\n");
                m_result = ReaderEnd::Abandoned;
                m_abandoned = std::move(m_reader);
                std::lock_guard lock(m_runMutex);
                m_abandonedRun = std::move(m_run);
                return;
            }
            m_run->done.Wait(); // it is already on its way out
        }
        m_reader.join();
    }
    if (m_run) {
        m_run->Release();
        m_exitCode = m_run->child.ExitStatus();
        SetRun(nullptr);
    }
}

void CRedirector::StopReader()
{
    CRedirector::Shutdown();
    if (m_abandoned.joinable())
        m_abandoned.join();
    m_abandonedRun.reset();
}

bool CRedirector::CollectAbandoned()
{
    if (!m_abandoned.joinable())
        return true;
    if (!m_abandonedRun->done.IsSet())
        return false;
    m_abandoned.join();
    m_abandonedRun.reset();
    return true;
}

void CRedirector::ReaderMain(std::shared_ptr<RunState> run)
{
    s_readerRun = run.get();
    s_readerOwner = this;
    const ReaderEnd result = ReadLoop(*run);
    int running = kRunning;
    if (run->phase.compare_exchange_strong(running, kFinishing)) {
        m_result = result;
        Shutdown(); // the override runs too: its last act on this object
    } else {
        run->Release();
    }
    s_readerOwner = nullptr;
    s_readerRun = nullptr;
    run->done.Set();
}

ReaderEnd CRedirector::ReadLoop(RunState& run)
{
    using platform::WaitItem;
    for (;;) {
        if (const std::optional<ReaderEnd> end = ReadAvailable(run)) {
            // The output has ended; the child is normally ending with it.
            if (*end == ReaderEnd::OutputEnded)
                platform::WaitAny({WaitItem::OfFd(run.child.PidFd()), WaitItem::Of(run.exitEvent)},
                                  kExitGrace);
            return *end;
        }
        // The pipe is in the wait as well, so output is handed on as soon as it arrives.
        const auto hit =
            platform::WaitAny({WaitItem::OfFd(run.child.PidFd()), WaitItem::Of(run.exitEvent),
                               WaitItem::OfFd(run.output.Get())},
                              m_pollInterval);
        if (hit == std::size_t{0}) {
            // The child has ended: hand on what it left in the pipe.
            return ReadAvailable(run).value_or(ReaderEnd::OutputEnded);
        }
        if (hit == std::size_t{1})
            return ReaderEnd::Stopped;
    }
}

std::optional<ReaderEnd> CRedirector::ReadAvailable(RunState& run)
{
    // What is buffered is read in large blocks and handed on in pieces of at most kChunk
    // bytes: the pieces are the same as with one read per piece, at a fraction of the calls.
    std::vector<char>& block = run.block;
    char piece[kChunk + 1];
    for (;;) {
        const long available = platform::PeekPipe(run.output.Get());
        if (available < 0)
            return EndOfPipe(available);
        if (available == 0)
            return std::nullopt;
        const long n =
            platform::ReadPipe(run.output.Get(), block.data(),
                               std::min(static_cast<std::size_t>(available), block.size()));
        if (n <= 0)
            return EndOfPipe(n == 0 ? -EPIPE : n);
        // A tool that writes without pause must not keep the reader from seeing the exit event.
        if (run.exitEvent.IsSet())
            return ReaderEnd::Stopped;
        const std::size_t got = static_cast<std::size_t>(n);
        for (std::size_t at = 0; at < got; at += kChunk) {
            const std::size_t size = std::min(kChunk, got - at);
            std::memcpy(piece, block.data() + at, size);
            piece[size] = '\0';
            OnOutputText(std::string_view(piece, size));
            if (run.phase.load() == kAbandoned)
                return ReaderEnd::Abandoned;
        }
    }
}

ReaderEnd CRedirector::EndOfPipe(long error)
{
    if (error == -EPIPE) {
        OnOutputText(kEndText);
        return ReaderEnd::OutputEnded;
    }
    OnStatusText("Read stdout pipe error\r\n");
    return ReaderEnd::ReadFailed;
}
