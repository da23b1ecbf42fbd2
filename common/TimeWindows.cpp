// Windows backend of the calendar time: the C runtime's checked conversions and the zone
// offset.
#include "common/TimePlatform.h"

#include <time.h>

namespace vorn::platform {

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    if (localtime_s(&local, &t) != 0) local = std::tm{};
    return local;
}

std::tm UtcTime(std::time_t t) {
    std::tm utc{};
    if (gmtime_s(&utc, &t) != 0) utc = std::tm{};
    return utc;
}

// The C runtime keeps no offset in its broken-down time: the local fields of `t` read as
// if they were UTC, less `t` itself. Whatever the zone's rules, never a fixed hour.
int32_t UtcOffsetSeconds(std::time_t t) {
    std::tm local{};
    if (localtime_s(&local, &t) != 0) return 0;
    const std::time_t localAsUtc = _mkgmtime(&local);
    if (localAsUtc == static_cast<std::time_t>(-1)) return 0;
    return static_cast<int32_t>(localAsUtc - t);
}

}  // namespace vorn::platform
