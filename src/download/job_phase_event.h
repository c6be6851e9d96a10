// The event a job posts to its owner when it moves from downloading to converting, so the
// window can show that the amount of work left is no longer known.
#pragma once

#include "platform/event_types.h"

#include <QEvent>

enum class JobPhase { Downloading, Converting };

class JobPhaseEvent : public QEvent {
public:
    explicit JobPhaseEvent(JobPhase phase) : QEvent(WM_JOB_PHASE), m_phase(phase) {}

    JobPhase Phase() const { return m_phase; }

private:
    JobPhase m_phase;
};
