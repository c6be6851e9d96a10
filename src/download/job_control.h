// What a job's worker shares with whoever may want the job to end: the stop request, and
// whether the job has posted its end.
#pragma once

#include "platform/event.h"

#include <atomic>

namespace download {

class JobControl {
public:
    JobControl() = default;
    JobControl(const JobControl&) = delete;
    JobControl& operator=(const JobControl&) = delete;

    // Asks the job to end: the running tool and its whole process group get SIGTERM (SIGKILL
    // when still alive about 3 s later), and no further step starts. Thread-safe, idempotent,
    // and it never blocks: the job's worker does the signalling.
    void Stop();
    bool StopRequested() const { return m_stop.load(); }
    // Manual-reset; set by Stop. The worker waits on it beside its tool.
    platform::Event& StopEvent() { return m_stopEvent; }

    // Set by the worker just before it posts the job's end.
    void MarkFinished() { m_finished.store(true); }
    bool Finished() const { return m_finished.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    platform::Event m_stopEvent{platform::Event::Kind::ManualReset};
};

} // namespace download
