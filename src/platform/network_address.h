// Literal network addresses.
#pragma once

#include <string>

namespace platform {

// True for a literal loopback address: 127.0.0.0/8 in dotted-quad form, ::1, or 127.0.0.0/8
// mapped into IPv6. A name ("localhost") is not a literal and gives false.
bool IsLoopbackAddress(const std::string& literal);

} // namespace platform
