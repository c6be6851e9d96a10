// A waitable event on an eventfd, in the two flavours the program needs: auto-reset (a wait
// that sees it set also clears it) and manual-reset (stays set until Reset). Events and other
// descriptors (a pidfd, a pipe) can be waited on together with WaitAny.
#pragma once

#include "platform/unique_fd.h"

#include <chrono>
#include <initializer_list>
#include <optional>
#include <span>

namespace platform {

class Event {
public:
    enum class Kind { AutoReset, ManualReset };

    // Throws std::system_error when the system cannot make an eventfd.
    explicit Event(Kind kind = Kind::AutoReset, bool initiallySet = false);

    void Set();
    void Reset();
    // Waits until the event is set or the time-out passes; true when it was set (an auto-reset
    // event is cleared by a wait that returns true). A negative time-out waits forever.
    bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));
    // True when set, without waiting (and, for an auto-reset event, without clearing it).
    bool IsSet() const;

    int Fd() const { return m_fd.Get(); }
    Kind GetKind() const { return m_kind; }
    // Called after poll reported the descriptor readable: clears an auto-reset event.
    // Returns false when another waiter took the signal first.
    bool Consume();

private:
    UniqueFd m_fd;
    Kind m_kind;
};

// What WaitAny waits for: an event, or any descriptor that becomes readable (a pidfd becomes
// readable when its process ends).
struct WaitItem {
    Event* event = nullptr;
    int fd = -1;
    static WaitItem Of(Event& e) { return {&e, -1}; }
    static WaitItem OfFd(int descriptor) { return {nullptr, descriptor}; }
};

// Waits until one of the items is signalled and returns the index of the first one that is
// (consuming it when it is an auto-reset event), or nullopt on time-out. A negative time-out
// waits forever.
std::optional<std::size_t> WaitAny(std::span<const WaitItem> items,
                                   std::chrono::milliseconds timeout);
std::optional<std::size_t> WaitAny(std::initializer_list<WaitItem> items,
                                   std::chrono::milliseconds timeout);

} // namespace platform
