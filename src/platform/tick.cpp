// The tick from the steady clock and the Unix time from the system clock, cut to 32 bits.
#include "platform/tick.h"

#include <chrono>

namespace platform {

std::uint32_t TickCount()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::uint32_t UnixSeconds32()
{
    using namespace std::chrono;
    const auto s = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(s));
}

} // namespace platform
