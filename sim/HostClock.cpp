#include "sim/HostClock.h"

#include <time.h>

namespace vornsim {

long long DaysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

long long HostVornSeconds(std::time_t t) {
    std::tm local{};
    if (!localtime_r(&t, &local)) return static_cast<long long>(t) - kUnixTo2000;
    const long long days = DaysFromCivil(local.tm_year + 1900LL, local.tm_mon + 1LL, local.tm_mday);
    return days * kSecondsPerDay - kUnixTo2000 + local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
}

long long HostVornNow() { return HostVornSeconds(std::time(nullptr)); }

}  // namespace vornsim
