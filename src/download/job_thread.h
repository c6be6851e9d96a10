// One job on a thread of its own. The thread never outlives its JobThread: the destructor stops
// the job and joins it, so an owner that destroys its JobThreads first is never called after it
// has gone.
#pragma once

#include "download/download_job.h"
#include "download/job_control.h"

#include <thread>

namespace download {

class JobThread {
public:
    // owner and events as RunJob takes them; owner must be alive while the thread runs.
    JobThread(DownloadJob job, QObject* owner, JobEvents events);
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Asks the job to end (see JobControl::Stop). Thread-safe, idempotent.
    void Stop();
    // True once the job's onFinished has been (or is just being) posted.
    bool Finished() const;

private:
    const DownloadJob m_job;
    QObject* const m_owner;
    const JobEvents m_events;
    JobControl m_control;
    std::jthread m_thread; // last: started after, and joined before, what it uses
};

} // namespace download
