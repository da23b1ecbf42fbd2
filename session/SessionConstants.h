#pragma once
// The numbers the instrument session depends on: its own status codes, time-outs, retry
// counts, pauses and answer sizes. Shared codes (kMissingArgument, kNotUnderstood ...) are
// in common/Status.h, the device command library's in device/ProtocolConstants.h.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/Status.h"
#include "device/ProtocolConstants.h"

namespace vorn::session {

// --- status codes of this layer, beside the shared and the device library's ---
enum SessionCode : int32_t {
    kSettingsFileMissing = -102,
    kSettingsFileDenied = -105,
    kSettingsFileUnreadable = -106,
};
// The device library's codes as the session passes them on.
inline constexpr int32_t kUninitialised = vorn::protocol::kNameEmpty;  // the device has no name yet: nothing to save
inline constexpr int32_t kFirmwareCorrupt = vorn::kRefused;            // "post" reports corrupt code
// This layer's codes with their words; the words of one of them (empty for another number).
std::span<const CodeMeaning> SessionMeanings();
std::string_view Describe(int32_t code);

// --- the login every instrument accepts ---
inline constexpr const char* kLoginPassword = "*8405";
inline constexpr const char* kLoginConfirm = "8405";
inline constexpr const char* kLoginEnter = "\n\r";     // line feed, then carriage return
inline constexpr uint32_t kLoginAttempts = 3;
inline constexpr uint32_t kLoginCharPauseMs = 50;     // between the typed characters
inline constexpr uint32_t kLoginSettlePauseMs = 100;  // taken twice before the line end
inline constexpr uint32_t kLoginSettlePauses = 2;
inline constexpr uint32_t kLoginTimeoutMs = 4000;

// --- time-outs (ms) ---
inline constexpr uint32_t kLogoutTimeoutMs = 2000;
inline constexpr uint32_t kBatteryTimeoutMs = 2000;
inline constexpr uint32_t kPostTimeoutMs = 7000;
inline constexpr uint32_t kEraseTimeoutMs = 17000;
inline constexpr uint32_t kSetSecondsTimeoutMs = 20000;
inline constexpr uint32_t kValueTimeoutMs = 2000;      // instrument values, records, sensor type

// --- pauses (ms) ---
inline constexpr uint32_t kAfterDisconnectPauseMs = 100;

// --- retries ---
inline constexpr uint32_t kValueAttempts = 3;          // GetValueString / GetValueLong

// --- answer sizes ---
inline constexpr size_t kShortAnswerBytes = 32;        // ordinary session commands
inline constexpr size_t kValueAnswerBytes = 512;       // GetValueString / GetValueLong
inline constexpr size_t kValueCommandMax = 511;
inline constexpr size_t kRecordSetTextMax = 127;       // record text in "set -user N text"

// --- device time ---
inline constexpr int64_t kUnixTo2000 = 946684800;      // seconds from 1970-01-01 to 2000-01-01

// --- battery ---
inline constexpr int32_t kBatteryUnknown = -1;

// Each family's save masks, and the versions that change them, are its row in
// session/FamilyTable.h.

// --- the tag of every log line of the session ---
inline constexpr const char* kLogTag = "Vorn_protocol";

}  // namespace vorn::session
