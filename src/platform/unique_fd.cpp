// Closing a descriptor: EINTR is not retried, because Linux has released the descriptor already.
#include "platform/unique_fd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::Reset(int fd)
{
    const int old = std::exchange(m_fd, fd);
    if (old >= 0)
        ::close(old);
}

} // namespace platform
