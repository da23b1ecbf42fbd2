// The serial layer built for Windows, run under Wine against a simulated Readwell that the
// Linux side starts (scripts/test-windows.sh): VORN_WINE_PORT names the COM port linked to
// it, VORN_WINE_MISSING_PORT one that nothing is linked to. Without them there is nothing
// to talk to, and the tests say so.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/Status.h"
#include "common/Timing.h"
#include "serial/VornSerial.h"

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Wine keeps no second program off an open COM port, as Windows does.
bool UnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

class WineSerial : public ::testing::Test {
protected:
    void SetUp() override {
        port = Env("VORN_WINE_PORT");
        if (port.empty()) GTEST_SKIP() << "VORN_WINE_PORT is not set: no simulated instrument to talk to";
    }
    std::string Exchange(VornSerial& serial, const std::string& line) {
        serial.VSFlush(1);
        int32_t n = 0;
        EXPECT_GT(serial.VSWrite(line, &n), 0);
        EXPECT_EQ(serial.VSWait(3000, '>'), '>');
        char buffer[128];
        EXPECT_GE(serial.VSRead(buffer, sizeof buffer, &n), 0);
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }
    std::string port;
};

}  // namespace

TEST_F(WineSerial, OpensAtBaudZeroAsNineThousandSixHundredAndTalksToTheInstrument) {
    VornSerial serial;
    ASSERT_EQ(serial.VSOpen(port, 0), 1);
    EXPECT_EQ(serial.Baud(), 9600u);
    EXPECT_NE(Exchange(serial, "get -ver\r").find("RW 1.02"), std::string::npos);
    EXPECT_EQ(serial.VSClose(), 1);
}

TEST_F(WineSerial, AReadReturnsWhatHasArrivedOrWaitsNoLongerThanItsSlice) {
    VornSerial serial;
    ASSERT_EQ(serial.VSOpen(port, 9600), 1);
    (void)Exchange(serial, "get -ver\r");  // the line is quiet again after the answer
    char buffer[16];
    int32_t n = -1;
    const uint32_t start = vorn::MsTimer();
    EXPECT_EQ(serial.VSRead(buffer, sizeof buffer, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_LT(vorn::MsTimer() - start, 1000u);  // a slice is 100 ms; no blocking read
}

TEST_F(WineSerial, AWaitThatTimesOutKeepsWhatArrived) {
    VornSerial serial;
    ASSERT_EQ(serial.VSOpen(port, 9600), 1);
    int32_t n = 0;
    ASSERT_GT(serial.VSWrite("get -ver\r", &n), 0);
    const uint32_t start = vorn::MsTimer();
    EXPECT_EQ(serial.VSWait(600, '#'), 0);  // '#' never comes
    EXPECT_GE(vorn::MsTimer() - start, 600u);
    EXPECT_NE(serial.ReadBuffer().find("RW 1.02"), std::string::npos);
}

TEST_F(WineSerial, AMissingPortIsNotAvailable) {
    const std::string missing = Env("VORN_WINE_MISSING_PORT");
    if (missing.empty()) GTEST_SKIP() << "VORN_WINE_MISSING_PORT is not set";
    VornSerial serial;
    EXPECT_EQ(serial.VSOpen(missing, 9600), vorn::kPortNotFound);
    EXPECT_FALSE(serial.IsOpen());
}

TEST_F(WineSerial, ASecondOpenOfTheSamePortIsRefusedAsInUse) {
    VornSerial first;
    ASSERT_EQ(first.VSOpen(port, 9600), 1);
    VornSerial second;
    const int32_t rc = second.VSOpen(port, 9600);
    if (rc == 1 && UnderWine()) GTEST_SKIP() << "Wine does not keep a second program off an open COM port";
    EXPECT_EQ(rc, vorn::kPortInUse);
}
