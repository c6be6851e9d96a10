// Who the program runs as.
#pragma once

namespace platform {

// True when the process runs with the superuser's effective user id.
bool RunsAsRoot();

} // namespace platform
