// The job list: threads started and joined on the owner's thread, and the jobs' news handed on.
#include "download/job_list.h"

#include "download/job_thread.h"

#include <algorithm>
#include <utility>

namespace download {

JobList::JobList(JobEvents listener, QObject* parent)
    : QObject(parent), m_listener(std::move(listener))
{
}

JobList::~JobList()
{
    EndAll();
}

void JobList::Start(DownloadJob job)
{
    // The calls are posted to this object, so a job's news is dropped once the list has gone.
    JobEvents events = m_listener;
    events.onFinished = [this](const QString& path, const QStringList& saved) {
        OnFinished(path, saved);
    };
    ++m_running;
    m_jobs.push_back(std::make_unique<JobThread>(std::move(job), this, std::move(events)));
}

void JobList::StopAll()
{
    for (const auto& job : m_jobs)
        job->Stop();
}

void JobList::EndAll()
{
    StopAll();
    m_jobs.clear(); // each waits for its thread
}

void JobList::OnFinished(const QString& path, const QStringList& saved)
{
    // A job marks itself finished before it posts its end, so its thread is on its way out.
    std::erase_if(m_jobs, [](const std::unique_ptr<JobThread>& job) { return job->Finished(); });
    m_running = std::max(0, m_running - 1);
    if (m_listener.onFinished)
        m_listener.onFinished(path, saved);
}

} // namespace download
