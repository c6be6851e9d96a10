// The tool's run: pipes and child from platform, and one wait over the child's end, the stop
// event and the output, all on the thread that runs the job.
#include "download/tool_run.h"

#include "platform/file_name.h"
#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace download {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBlock = 64 * 1024;
// A child closes its output as it exits, a moment before its end can be collected: waiting
// this long for it keeps its exit code. A child that closed its output and goes on running is
// not waited for beyond this.
constexpr std::chrono::milliseconds kExitGrace{250};

QString Reason(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

// The output pipe of one run and the block it is read in.
class Output {
public:
    explicit Output(platform::UniqueFd fd) : m_fd(std::move(fd)) {}

    // -1 once the output has ended (no writer left) or can no longer be read.
    int Fd() const { return m_fd.Get(); }

    // Reads one block of what is buffered and hands it on: one block, so a tool that writes
    // without pause never keeps the wait from seeing its end or a stop.
    void ReadBlock(const std::function<void(std::string_view)>& onOutput)
    {
        const long available = platform::PeekPipe(m_fd.Get());
        if (available == 0)
            return;
        const long n =
            available < 0
                ? available
                : platform::ReadPipe(m_fd.Get(), m_block.data(),
                                     std::min(static_cast<std::size_t>(available), m_block.size()));
        if (n <= 0) {
            m_fd.Close();
            return;
        }
        onOutput(std::string_view(m_block.data(), static_cast<std::size_t>(n)));
    }

    // Hands on what the pipe holds now; what a helper that outlives the tool writes later is
    // not waited for.
    void Drain(const std::function<void(std::string_view)>& onOutput)
    {
        long left = m_fd ? platform::PeekPipe(m_fd.Get()) : 0;
        while (left > 0 && m_fd) {
            const long n =
                platform::ReadPipe(m_fd.Get(), m_block.data(),
                                   std::min(static_cast<std::size_t>(left), m_block.size()));
            if (n <= 0)
                break;
            onOutput(std::string_view(m_block.data(), static_cast<std::size_t>(n)));
            left -= n;
        }
        m_fd.Close();
    }

private:
    platform::UniqueFd m_fd;
    std::vector<char> m_block = std::vector<char>(kReadBlock);
};

} // namespace

platform::Expected<int> ToolRun::Run(const std::function<void(std::string_view)>& onOutput,
                                     platform::Event& stop) const
{
    std::vector<std::string> words;
    words.reserve(static_cast<std::size_t>(argv.size()));
    for (const QString& word : argv)
        words.push_back(platform::EncodeFileName(word).toStdString());
    if (words.empty())
        return platform::Fail(Reason(ENOENT), ENOENT);

    platform::PipeEnds out, in;
    platform::ChildProcess child;
    int error = -platform::MakePipe(out);
    if (!error)
        error = -platform::MakePipe(in);
    if (!error)
        error = -child.Spawn(words, in.read.Get(), out.write.Get(), out.write.Get(),
                             platform::EncodeFileName(workingDirectory).toStdString());
    if (error)
        return platform::Fail(Reason(error), error);
    // The child now holds the only writers of its output pipe, so the pipe ends when the child
    // (and whatever it passed the pipe to) is gone. Its input stays an empty pipe, not an end.
    out.write.Close();
    in.read.Close();

    Output output(std::move(out.read));
    bool stopping = false;
    std::optional<Clock::time_point> killAt;   // SIGKILL for a group that ignored SIGTERM
    std::optional<Clock::time_point> giveUpAt; // the output has ended; the child should follow
    for (;;) {
        const platform::WaitItem items[] = {
            platform::WaitItem::OfFd(child.PidFd()),
            stopping ? platform::WaitItem{} : platform::WaitItem::Of(stop),
            platform::WaitItem::OfFd(output.Fd()),
        };
        std::chrono::milliseconds timeout{-1};
        for (const auto& at : {killAt, giveUpAt}) {
            if (at) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*at - Clock::now());
                timeout = std::max(std::chrono::milliseconds(0),
                                   timeout.count() < 0 ? left : std::min(timeout, left));
            }
        }
        const std::optional<std::size_t> hit = platform::WaitAny(items, timeout);
        if (hit == std::size_t{0}) {
            output.Drain(onOutput); // the child has ended: hand on what it left in the pipe
            break;
        }
        if (hit == std::size_t{1}) {
            stopping = true;
            child.TerminateGroup(false);
            killAt = Clock::now() + termGrace;
        } else if (hit == std::size_t{2}) {
            output.ReadBlock(onOutput);
            if (output.Fd() < 0)
                giveUpAt = Clock::now() + kExitGrace;
        }
        // Checked whatever woke the wait: a tool that writes without pause still meets them.
        if (killAt && Clock::now() >= *killAt) {
            child.TerminateGroup(true);
            killAt.reset();
        }
        if (giveUpAt && Clock::now() >= *giveUpAt)
            break;
    }
    child.Release();
    return child.ExitStatus();
}

} // namespace download
