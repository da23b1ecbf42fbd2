#pragma once
// The numbers the device command library's conversation depends on: its own status codes,
// time-outs, retry counts and pauses. Shared codes (kRefused, kPortClosed ...) are in
// common/Status.h.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/Status.h"

namespace vorn::protocol {

// --- status codes of this layer, beside the shared ones ---
enum DeviceCode : int32_t {
    kRefusedNow = -12,          // setting not possible now
    kRadioCommandMode = -23,    // radio module command mode failed
    kNameEmpty = -36,           // name query answered with an empty answer
    kIdentityMismatch = -37,    // EraseData: not the device we connected to
    kNameBadCharacter = -50,    // control character, space, 127 or 255
    kNameForbiddenCharacter = -51,
    kNameReserved = -52,
    kNameMissing = -53,
    kNameTooLong = -54,
    kNameHighCharacter = -56,   // code 128 or above
    kBrokenDataFlash = -65,
};
// This layer's codes with their words; the words of one of them (empty for another number).
std::span<const CodeMeaning> DeviceMeanings();
std::string_view Describe(int32_t code);

// --- connection types and directions ---
inline constexpr uint8_t kConnectionNone = 0;
inline constexpr uint8_t kConnectionSerial = 10;
inline constexpr uint8_t kConnectionRadio = 30;

// Which way a setting goes: kGet reads the device into the value, kSet writes the value
// to the device. Out-of-range values (an enum class can still hold one) are handled where
// a command checks them: DeviceSettings refuses them, the single commands treat anything
// but kSet as a read and Options anything but kGet as a write.
enum class Direction { kGet = 0, kSet = 1 };

// --- tries ---
inline constexpr uint32_t kDefaultSerialTries = 3;
inline constexpr uint32_t kDefaultRadioTries = 5;
inline constexpr uint32_t kMaxTries = 12;
inline constexpr uint32_t kMaxExtraWaitMs = 30000;
inline constexpr int8_t kMaxTrace = 3;
inline constexpr uint32_t kVerExtraAttempts = 3;     // VerCommand tries tries + 3 times
inline constexpr uint32_t kVerMaxBadAnswers = 2;
inline constexpr uint32_t kPlusAttempts = 2;         // "+++" before giving up on AT mode
inline constexpr uint32_t kRadioConfigTries = 3;     // tries while Connect configures the modem

// --- sizes ---
inline constexpr size_t kAnswerMax = 2048;           // the answer buffer holds at most this
inline constexpr size_t kSettingAnswerBytes = 32;
inline constexpr size_t kLongAnswerBytes = 64;
inline constexpr size_t kHostAnswerBytes = 96;
inline constexpr size_t kAdcAnswerBytes = 128;
inline constexpr size_t kShowAnswerBytes = 180;
inline constexpr size_t kQueryAnswerBytes = 180;
inline constexpr size_t kLoginAnswerBytes = 10;
inline constexpr size_t kTimeAnswerBytes = 48;
inline constexpr size_t kEraseAnswerBytes = 32;
inline constexpr size_t kDisconnectReadBytes = 31;

// --- time-outs (ms) ---
inline constexpr uint32_t kCommandTimeoutMs = 1100;
inline constexpr uint32_t kVerTimeoutSerialMs = 360;
inline constexpr uint32_t kVerTimeoutRadioMs = 720;
inline constexpr uint32_t kQueryTimeoutMs = 3000;
inline constexpr uint32_t kRadioValueTimeoutMs = 2000;
inline constexpr uint32_t kPlusTimeoutMs = 1500;
inline constexpr uint32_t kAtWriteTimeoutMs = 2000;
inline constexpr uint32_t kTimeGetTimeoutMs = 2200;
inline constexpr uint32_t kEraseTimeoutMs = 17000;

// --- pauses (ms) ---
inline constexpr uint32_t kEmptyReadPauseMs = 50;
// An answer later than this after its command is taken as lost: until then it is waited
// for and dropped, so that it is never read as the answer to a later command.
inline constexpr uint32_t kLateAnswerMs = 2500;
inline constexpr uint32_t kQueryHeardPauseMs = 2500;
inline constexpr uint32_t kBootloaderWaitingPauseMs = 3000;
inline constexpr uint32_t kVerRetryPauseMs = 360;
inline constexpr uint32_t kSettingsRetryPauseMs = 100;
inline constexpr uint32_t kBaudSettlePauseMs = 100;
inline constexpr uint32_t kLogoutPauseMs = 100;
inline constexpr uint32_t kTermSwitchPauseMs = 500;
inline constexpr uint32_t kRadioConfigDonePauseMs = 100;

// --- wake ---
inline constexpr uint32_t kWakePackets = 909;
inline constexpr uint32_t kWakePacketPauseMs = 55;
inline constexpr uint32_t kWakeReportEvery = 18;

// --- progress hook phases ---
inline constexpr int kPhaseRunning = 1;
inline constexpr int kPhaseFinished = 2;
inline constexpr int kPhaseQueryTry = 4;

// --- device time ---
inline constexpr int64_t kUnixTo2000 = 946684800;    // seconds from 1970-01-01 to 2000-01-01

// --- radio values ---
inline constexpr uint32_t kMaxRadioChannel = 6;
inline constexpr uint32_t kMaxRadioSubchannel = 0xFFFF;

// Shown in the log and the trace instead of a credential's value (the APN password, the
// authentication key); the same whatever its length, so the length is not told either.
inline constexpr const char* kSecretMask = "********";

}  // namespace vorn::protocol
