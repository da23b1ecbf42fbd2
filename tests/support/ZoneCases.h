#pragma once
// Instants in time zones whose rules trip an offset worked out as "standard time plus an
// hour in summer": a winter time flagged as daylight saving (Europe/Dublin), a shift of
// half an hour (Australia/Lord_Howe) or of two hours (Antarctica/Troll), an hour back
// during Ramadan (Africa/Casablanca). Each instant lies weeks away from a change; the
// offset is what the zone database gives.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace vorn::test {

struct ZoneOffset {
    const char* zone;  // value of TZ
    std::time_t at;    // seconds since 1970-01-01 00:00 UTC
    int32_t offset;    // local time minus UTC at `at`, in seconds
};

inline constexpr std::time_t kMidJanuary2026 = 1768478400;  // 2026-01-15 12:00:00 UTC
inline constexpr std::time_t kMarch2026 = 1772366400;       // 2026-03-01 12:00:00 UTC
inline constexpr std::time_t kMidJuly2026 = 1784116800;     // 2026-07-15 12:00:00 UTC

inline constexpr ZoneOffset kZoneOffsets[] = {
    {"UTC", kMidJanuary2026, 0},
    {"Europe/Dublin", kMidJanuary2026, 0},  // GMT, flagged as daylight saving
    {"Europe/Dublin", kMidJuly2026, 3600},  // IST, the standard time
    {"Australia/Lord_Howe", kMidJanuary2026, 11 * 3600},
    {"Australia/Lord_Howe", kMidJuly2026, 10 * 3600 + 1800},
    {"Antarctica/Troll", kMidJanuary2026, 0},
    {"Antarctica/Troll", kMidJuly2026, 2 * 3600},
    {"Africa/Casablanca", kMarch2026, 0},  // Ramadan
    {"Africa/Casablanca", kMidJuly2026, 3600},
    {"America/Denver", kMidJanuary2026, -7 * 3600},
    {"America/Denver", kMidJuly2026, -6 * 3600},
};

// Whether the zone database holds `zone` (without it the C library quietly keeps UTC); a
// zone that is missing is a failure of the test that wanted it.
inline bool HaveZone(const std::string& zone) {
    const char* dir = std::getenv("TZDIR");
    if (std::filesystem::exists(std::filesystem::path(dir && *dir ? dir : "/usr/share/zoneinfo") / zone)) return true;
    ADD_FAILURE() << "no zone data for " << zone << ": install the package tzdata (scripts/setup.sh does)";
    return false;
}

}  // namespace vorn::test
