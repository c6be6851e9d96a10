// The effective user id, asked of the system.
#include "platform/process_user.h"

#include <unistd.h>

namespace platform {

bool RunsAsRoot()
{
    return geteuid() == 0;
}

} // namespace platform
