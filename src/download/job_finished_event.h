// The event a job posts as its last act on its owner: the file to play, or an empty path when
// there is none (nothing reported, play not asked, the job stopped or failed), and the files
// the job left in the folder, in order. The event owns both, so they are freed with the event
// whether or not the receiver uses them.
#pragma once

#include "platform/event_types.h"

#include <QEvent>
#include <QString>
#include <QStringList>

#include <utility>

class JobFinishedEvent : public QEvent {
public:
    explicit JobFinishedEvent(QString path, QStringList saved = {})
        : QEvent(WM_JOB_FINISHED), m_path(std::move(path)), m_saved(std::move(saved))
    {
    }

    const QString& Path() const { return m_path; }
    // Absolute paths of the files the job made or found and kept (a converted file, or the
    // download where no conversion was asked or the conversion failed); empty when nothing was
    // saved. What a stopped job had not finished is not among them.
    const QStringList& Saved() const { return m_saved; }

private:
    QString m_path;
    QStringList m_saved;
};
