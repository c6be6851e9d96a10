// The job's worker thread: started with the job, stopped and joined when its JobThread goes.
#include "download/job_thread.h"

#include <utility>

namespace download {

JobThread::JobThread(DownloadJob job, QObject* owner, JobEvents events)
    : m_job(std::move(job)), m_owner(owner), m_events(std::move(events)),
      m_thread([this] { RunJob(m_job, m_owner, m_events, m_control); })
{
}

JobThread::~JobThread()
{
    Stop();
    if (m_thread.joinable())
        m_thread.join();
}

void JobThread::Stop()
{
    m_control.Stop();
}

bool JobThread::Finished() const
{
    return m_control.Finished();
}

} // namespace download
