#pragma once
// The host's clock in calendar terms: local and UTC broken-down times and the local zone's
// offset. One backend file per platform (TimePosix.cpp, TimeWindows.cpp).
#include <cstdint>
#include <ctime>

namespace vorn::platform {

// `t` in the host's local time, daylight saving included; all zero when it cannot be had.
std::tm LocalTime(std::time_t t);
// `t` in UTC; all zero when it cannot be had.
std::tm UtcTime(std::time_t t);
// Seconds to add to UTC at `t` to obtain local time, daylight saving included (-28800 for
// UTC-8 in winter), as the C library's zone rules give it: +37800 on Lord Howe Island in
// winter, +39600 in summer; 0 in Dublin in winter, although that is flagged as daylight
// saving. 0 when the local time cannot be had.
int32_t UtcOffsetSeconds(std::time_t t);

}  // namespace vorn::platform
