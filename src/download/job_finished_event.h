// The event a job posts as its last act on its owner: the file to play, or an empty path when
// there is none (nothing reported, play not asked, the job stopped or failed). The event owns
// the path, so it is freed with the event whether or not the receiver uses it.
#pragma once

#include <QEvent>
#include <QString>

#include <utility>

inline constexpr QEvent::Type WM_JOB_FINISHED = static_cast<QEvent::Type>(QEvent::User + 3);

class JobFinishedEvent : public QEvent {
public:
    explicit JobFinishedEvent(QString path) : QEvent(WM_JOB_FINISHED), m_path(std::move(path)) {}

    const QString& Path() const { return m_path; }

private:
    QString m_path;
};
