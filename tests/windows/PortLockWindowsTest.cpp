// The Windows side of the port lock every program honours (a named mutex per COM port) and
// of the port name that outlives a re-enumerated adapter: no serial peer needed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <string>

#include "serial/SerialPlatform.h"

namespace platform = vorn::platform;

namespace {

// Whether the mutex of that name exists now: what another program's lock finds.
bool MutexExists(const char* name) {
    HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (!h) return false;
    CloseHandle(h);
    return true;
}

}  // namespace

TEST(SystemPortLockWindows, OneGlobalLockPerComPortWhicheverWayItIsSpelt) {
    long holder = -1;
    const intptr_t held = platform::LockPortForSystem("com7", &holder);
    ASSERT_GE(held, 0);
    EXPECT_EQ(holder, 0);
    EXPECT_TRUE(MutexExists("Global\\VornBSL-COM7"));
    for (const char* spelling : {"COM7", "com7", "\\\\.\\COM7", "\\\\.\\com7"})
        EXPECT_EQ(platform::LockPortForSystem(spelling, &holder), -EBUSY) << spelling;
    const intptr_t other = platform::LockPortForSystem("COM17", nullptr);
    EXPECT_GE(other, 0);  // another port, another lock
    platform::UnlockPortForSystem(other);
    platform::UnlockPortForSystem(held);
    EXPECT_FALSE(MutexExists("Global\\VornBSL-COM7"));
    const intptr_t again = platform::LockPortForSystem("\\\\.\\COM7", nullptr);
    EXPECT_GE(again, 0);
    platform::UnlockPortForSystem(again);
    EXPECT_EQ(platform::LockPortForSystem("", nullptr), -ENOENT);
}

TEST(StablePortNameWindows, IsTheComName) {
    struct Case {
        const char* port;
        const char* stable;
    };
    const Case cases[] = {{"COM3", "COM3"}, {"com3", "COM3"}, {"\\\\.\\COM10", "COM10"}, {"\\\\.\\", "\\\\.\\"}, {"", ""}};
    for (const Case& c : cases) EXPECT_EQ(platform::StablePortName(c.port), c.stable) << c.port;
}
