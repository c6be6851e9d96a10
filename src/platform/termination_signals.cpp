// The self-pipe behind TerminationSignals: an async-signal-safe handler that writes one byte,
// and the GUI-thread notifier that reads it and calls the one handler.
#include "platform/termination_signals.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

// What the handler touches: lock-free atomics only, which are safe in a signal handler.
std::atomic<int> g_writeEnd{-1};
std::atomic<bool> g_received{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

extern "C" void OnTerminationSignal(int)
{
    const int savedErrno = errno;
    g_received.store(true);
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        // A full pipe already holds a wake-up: the byte may be dropped.
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals& TerminationSignals::Instance()
{
    static TerminationSignals s_instance;
    return s_instance;
}

bool TerminationSignals::Install()
{
    if (m_installed)
        return true;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    m_readEnd.Reset(fds[0]);
    m_writeEnd.Reset(fds[1]);
    g_writeEnd.store(m_writeEnd.Get());

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int s : kSignals)
        sigaddset(&action.sa_mask, s);
    // Interrupted reads and writes go on by themselves; waits (poll) retry on EINTR.
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals) {
        if (::sigaction(s, &action, nullptr) != 0) {
            struct sigaction defaults {};
            defaults.sa_handler = SIG_DFL;
            for (const int t : kSignals)
                ::sigaction(t, &defaults, nullptr);
            g_writeEnd.store(-1);
            m_writeEnd.Close();
            m_readEnd.Close();
            return false;
        }
    }
    m_installed = true;
    return true;
}

bool TerminationSignals::Received() const
{
    return g_received.load();
}

void TerminationSignals::SetHandler(QObject* context, std::function<void()> handler)
{
    m_context = context;
    m_handler = context ? std::move(handler) : nullptr;
    if (!m_installed)
        return;
    if (!m_notifier) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        // Owned by the application, so it never outlives the event dispatcher it is registered
        // with; the next SetHandler after a new application makes a new one.
        m_notifier = new QSocketNotifier(m_readEnd.Get(), QSocketNotifier::Read, app);
        QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier,
                         [this] { OnReadable(); });
    }
    // Without a handler the bytes stay in the pipe for the next one; a disabled notifier does
    // not fire for them over and over.
    m_notifier->setEnabled(m_context && m_handler);
}

void TerminationSignals::OnReadable()
{
    if (!m_context || !m_handler) {
        m_handler = nullptr;
        if (m_notifier)
            m_notifier->setEnabled(false);
        return;
    }
    std::array<char, 64> drain{};
    while (::read(m_readEnd.Get(), drain.data(), drain.size()) > 0) {
    }
    // A copy: the handler may set another one.
    const std::function<void()> handler = m_handler;
    handler();
}

TerminationSignals::~TerminationSignals()
{
    // The handlers stay installed until the process ends: they must find no descriptor that a
    // later open could have reused.
    g_writeEnd.store(-1);
}

} // namespace platform
