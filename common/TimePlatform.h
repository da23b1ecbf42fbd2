#pragma once
// The host's clock in calendar terms: local and UTC broken-down times and the local zone's
// offset. One backend file per platform (TimePosix.cpp here).
#include <cstdint>
#include <ctime>

namespace vorn::platform {

// `t` in the host's local time, daylight saving included; all zero when it cannot be had.
std::tm LocalTime(std::time_t t);
// `t` in UTC; all zero when it cannot be had.
std::tm UtcTime(std::time_t t);
// Seconds to add to UTC at `t` to obtain local time, daylight saving included
// (-28800 for UTC-8 in winter).
int32_t UtcOffsetSeconds(std::time_t t);

}  // namespace vorn::platform
