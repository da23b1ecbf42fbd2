#pragma once
// Timing helpers shared by every protocol layer.
#include <cstdint>
#include <functional>

namespace vorn {

// Milliseconds from an arbitrary origin (monotonic). Measure durations as differences.
uint32_t MsTimer();

// Waits `ms` milliseconds and returns 0. Waits shorter than kPumpThresholdMs block the
// thread; longer ones run the installed event pump so the window stays alive.
int32_t MsDelay(uint32_t ms);
inline constexpr uint32_t kPumpThresholdMs = 170;

// Seconds to add to UTC to obtain local time, daylight saving included
// (-28800 for UTC-8 in winter).
int32_t LocalUtcOffset();

// The event pump: called with the longest time it may take, it processes window events
// and returns early or on time. The window installs one that runs its event loop; without
// one (command line, tests) a plain sleep is used. Installing an empty function restores
// the plain sleep.
using EventPump = std::function<void(uint32_t maxMs)>;
void SetEventPump(EventPump pump);

// A plain sleep that never pumps events.
void SleepMs(uint32_t ms);

}  // namespace vorn
