// Events on eventfd: the counter is non-zero while the event is set. Setting writes 1; an
// auto-reset wait reads the counter back to 0, which only one waiter can win.
#include "platform/event.h"

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

bool ReadCounter(int fd)
{
    std::uint64_t value = 0;
    for (;;) {
        if (::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value))
            return true;
        if (errno != EINTR)
            return false; // EAGAIN: the counter was already 0
    }
}

// poll with a deadline that survives EINTR; returns poll's result.
int PollUntil(std::vector<pollfd>& fds, std::chrono::milliseconds timeout)
{
    const bool forever = timeout.count() < 0;
    const auto deadline = Clock::now() + (forever ? std::chrono::milliseconds(0) : timeout);
    for (;;) {
        int wait = -1;
        if (!forever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        const int n = ::poll(fds.data(), fds.size(), wait);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

Event::Event(Kind kind, bool initiallySet)
    : m_fd(::eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)), m_kind(kind)
{
    if (!m_fd)
        throw std::system_error(errno, std::system_category(), "eventfd");
}

void Event::Set()
{
    const std::uint64_t one = 1;
    // Writing only fails when the counter would overflow, which cannot happen with 1s that
    // are read back; EINTR is retried.
    while (::write(m_fd.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Event::Reset()
{
    ReadCounter(m_fd.Get());
}

bool Event::IsSet() const
{
    pollfd p{m_fd.Get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool Event::Consume()
{
    return m_kind == Kind::ManualReset || ReadCounter(m_fd.Get());
}

bool Event::Wait(std::chrono::milliseconds timeout)
{
    return WaitAny({WaitItem::Of(*this)}, timeout).has_value();
}

std::optional<std::size_t> WaitAny(std::span<const WaitItem> items,
                                   std::chrono::milliseconds timeout)
{
    std::vector<pollfd> fds;
    fds.reserve(items.size());
    for (const WaitItem& item : items)
        fds.push_back({item.event ? item.event->Fd() : item.fd, POLLIN, 0});

    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = timeout.count() < 0
                              ? timeout
                              : std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (timeout.count() >= 0 && left.count() < 0)
            return std::nullopt;
        if (PollUntil(fds, left) <= 0)
            return std::nullopt;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            // Another thread may have consumed an auto-reset event between poll and read.
            if (!items[i].event || items[i].event->Consume())
                return i;
        }
        for (pollfd& p : fds)
            p.revents = 0;
    }
}

std::optional<std::size_t> WaitAny(std::initializer_list<WaitItem> items,
                                   std::chrono::milliseconds timeout)
{
    return WaitAny(std::span<const WaitItem>(items.begin(), items.size()), timeout);
}

} // namespace platform
