#include "download/job_control.h"

void JobControl::Stop()
{
    m_stop.store(true);
    m_stopEvent.Set();
}
