// One job on a thread of its own. The thread never outlives its JobThread: the destructor stops
// the job and joins it, so the owner that destroys its JobThreads first is never posted to
// after it has gone.
#pragma once

#include "download/download_job.h"
#include "download/job_control.h"

#include <thread>

class JobThread {
public:
    explicit JobThread(DownloadJob job);
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Asks the job to end (see JobControl::Stop). Thread-safe, idempotent.
    void Stop();
    // True once the job's JobFinishedEvent has been (or is just being) posted.
    bool Finished() const;

private:
    const DownloadJob m_job;
    JobControl m_control;
    std::jthread m_thread; // last: started after, and joined before, what it uses
};
