#pragma once
// The host's wall clock as the simulated instruments keep time: VornSeconds, the local
// wall-clock seconds since 2000-01-01 00:00.
//
// Worked out from the C library's local broken-down time alone, never from the offset
// helper the updater sets an instrument's clock with: a wrong offset there then shows as
// an instrument clock that is off, instead of cancelling out.
#include <ctime>

namespace vornsim {

inline constexpr long long kUnixTo2000 = 946684800;
inline constexpr long long kSecondsPerDay = 86400;

// Days from 1970-01-01 to `year`-`month`-`day` (proleptic Gregorian, month 1 to 12).
long long DaysFromCivil(long long year, long long month, long long day);

// The host's local wall clock at `t`, in VornSeconds; UTC when the local time cannot be had.
long long HostVornSeconds(std::time_t t);
// The same for now.
long long HostVornNow();

}  // namespace vornsim
