#pragma once
// The fuzz build's port and clock: the serial platform and the timing helpers are replaced
// (FakeWorld.cpp) by a device that plays its answers from the fuzz input and a clock that
// only moves when the code waits, so a conversation with long time-outs runs in microseconds.
#include <cstdint>
#include <string_view>

namespace vorn::fuzz {

// Separates the device's answers in an input: every write to the port releases the next
// answer into the receive queue, and the same answer may arrive in pieces.
inline constexpr char kAnswerSeparator = '\x1e';

// Starts a conversation: `answers` stays owned by the caller for as long as it runs.
void ResetWorld(std::string_view answers);
// Everything the host wrote since the last reset.
std::string_view Written();

}  // namespace vorn::fuzz
