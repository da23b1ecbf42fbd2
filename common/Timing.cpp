#include "common/Timing.h"

#include "common/TimePlatform.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace vorn {
namespace {
EventPump& Pump() {
    static EventPump pump;
    return pump;
}
}  // namespace

uint32_t MsTimer() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void SetEventPump(EventPump pump) { Pump() = std::move(pump); }

int32_t MsDelay(uint32_t ms) {
    if (ms < kPumpThresholdMs || !Pump()) {
        SleepMs(ms);
        return 0;
    }
    uint32_t start = MsTimer();
    uint32_t remaining = ms;
    for (;;) {
        Pump()(remaining);
        uint32_t now = MsTimer();
        uint32_t elapsed = now - start;
        if (elapsed >= ms) return 0;
        remaining = ms - elapsed;
    }
}

int32_t LocalUtcOffset() { return platform::UtcOffsetSeconds(std::time(nullptr)); }

}  // namespace vorn
