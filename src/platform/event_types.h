// The numbers of the program's own posted events, all in one list: an enumerator gets the next
// number by itself, so two events can never share one unnoticed.
#pragma once

#include <QEvent>

namespace platform {

// Offsets from QEvent::User. Add a new event at the end; the numbers of the others stay.
enum class PostedEvent : int {
    FrameReady = 1, // a rendered frame waits for the window (ui/host)
    ElementCommand, // a button element was pressed (ui/controls)
};

constexpr QEvent::Type EventType(PostedEvent event)
{
    return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(event));
}

} // namespace platform

inline constexpr QEvent::Type WM_FRAME_READY =
    platform::EventType(platform::PostedEvent::FrameReady);
inline constexpr QEvent::Type WM_ELEMENT_COMMAND =
    platform::EventType(platform::PostedEvent::ElementCommand);

// Registered event types (QEvent::registerEventType) are handed out from QEvent::MaxUser down.
static_assert(WM_ELEMENT_COMMAND < QEvent::MaxUser);
