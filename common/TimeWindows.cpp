// Windows backend of the calendar time: the C runtime's checked conversions.
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

}  // namespace vorn::platform
