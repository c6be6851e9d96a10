// The jobs an owner runs: each on a thread of its own, counted from its start until its end has
// been heard, stopped on request, and joined once it has ended. What the jobs say reaches the
// owner through plain callbacks on the list's thread, so the owner keeps only its reaction.
#pragma once

#include "download/download_job.h"

#include <QObject>

#include <memory>
#include <vector>

namespace download {

class JobThread;

class JobList : public QObject {
public:
    // listener's calls run on this object's thread, its onFinished after the count has dropped.
    explicit JobList(JobEvents listener, QObject* parent = nullptr);
    // Stops the running jobs and waits for them: nothing is heard after.
    ~JobList() override;
    JobList(const JobList&) = delete;
    JobList& operator=(const JobList&) = delete;

    void Start(DownloadJob job);
    // Jobs started whose end has not been heard yet.
    int Running() const { return m_running; }

    // Asks every running job to end (its tool with its process group); each still finishes as
    // usual, after it has removed its unfinished files, and its end is heard. Does not wait.
    void StopAll();
    // Stops every job and waits for it, for an owner that is going away: the jobs' ends are
    // still heard if the event loop runs again.
    void EndAll();

private:
    void OnFinished(const QString& path, const QStringList& saved);

    JobEvents m_listener;
    int m_running = 0;
    std::vector<std::unique_ptr<JobThread>> m_jobs;
};

} // namespace download
