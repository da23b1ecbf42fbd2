// POSIX backend of the calendar time: the reentrant conversions.
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

}  // namespace vorn::platform
