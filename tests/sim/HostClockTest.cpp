// The simulator's own reading of the host's wall clock, which the clock an update sets is
// checked against.
#include <gtest/gtest.h>

#include <string>

#include "sim/HostClock.h"
#include "support/TestSupport.h"
#include "support/ZoneCases.h"

using vorn::test::ZoneOffset;

TEST(HostClock, ReadsTheLocalWallClockOfTheZone) {
    for (const ZoneOffset& z : vorn::test::kZoneOffsets) {
        SCOPED_TRACE(std::string(z.zone) + " at " + std::to_string(z.at));
        if (!vorn::test::HaveZone(z.zone)) continue;
        vorn::test::EnvScope tz("TZ", z.zone);
        EXPECT_EQ(vornsim::HostVornSeconds(z.at), z.at + z.offset - vornsim::kUnixTo2000);
    }
}
