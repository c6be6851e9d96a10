// The job's worker thread: started with the job, stopped and joined when its JobThread goes.
#include "download/job_thread.h"

#include <utility>

JobThread::JobThread(DownloadJob job)
    : m_job(std::move(job)), m_thread([this] { RunJob(m_job, m_control); })
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
