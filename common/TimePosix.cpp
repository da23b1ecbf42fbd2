// POSIX backend of the calendar time: the reentrant conversions and the zone offset.
#include "common/TimePlatform.h"

#include <time.h>

namespace vorn::platform {

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

std::tm UtcTime(std::time_t t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    return utc;
}

// The C library's own offset: whatever the zone's rules make it (a half-hour shift, a
// winter time flagged as daylight saving), never "standard time plus an hour".
int32_t UtcOffsetSeconds(std::time_t t) {
    std::tm local{};
    if (!localtime_r(&t, &local)) return 0;
    return static_cast<int32_t>(local.tm_gmtoff);
}

}  // namespace vorn::platform
