// The numbers of the program's own posted events, all in one list: an enumerator gets the next
// number by itself, so two events can never share one unnoticed.
#pragma once

#include <QEvent>

namespace platform {

// Offsets from QEvent::User. Add a new event at the end; the numbers of the others stay.
enum class PostedEvent : int {
    JobFinished = 1, // a job's last word: the file to play (download)
    JobText,         // a line of a tool's output or of the job's own (download)
    JobPhase,        // a job moved from downloading to converting (download)
    WorkerCall,      // a call the update worker hands to its window's thread (update)
};

constexpr QEvent::Type EventType(PostedEvent event)
{
    return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(event));
}

} // namespace platform

inline constexpr QEvent::Type WM_JOB_FINISHED =
    platform::EventType(platform::PostedEvent::JobFinished);
inline constexpr QEvent::Type WM_JOB_TEXT = platform::EventType(platform::PostedEvent::JobText);
inline constexpr QEvent::Type WM_JOB_PHASE = platform::EventType(platform::PostedEvent::JobPhase);
inline constexpr QEvent::Type WM_WORKER_CALL =
    platform::EventType(platform::PostedEvent::WorkerCall);

// Registered event types (QEvent::registerEventType) are handed out from QEvent::MaxUser down.
static_assert(WM_WORKER_CALL < QEvent::MaxUser);
