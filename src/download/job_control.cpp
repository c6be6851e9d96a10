// The stop request of a job: the flag its steps look at and the event its tool waits are woken by.
#include "download/job_control.h"

namespace download {

void JobControl::Stop()
{
    m_stop.store(true);
    m_stopEvent.Set();
}

} // namespace download
