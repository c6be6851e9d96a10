// The millisecond tick: time since an arbitrary start, as unsigned 32-bit milliseconds that
// wrap after about 49.7 days. Differences of ticks are taken in unsigned arithmetic.
#pragma once

#include <cstdint>

namespace platform {

std::uint32_t TickCount();
// Seconds since 1970-01-01 UTC, low 32 bits.
std::uint32_t UnixSeconds32();

} // namespace platform
