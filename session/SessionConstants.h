#pragma once
// The numbers the instrument session depends on: its own status codes, time-outs, retry
// counts, pauses and answer sizes. Shared codes (-10, -13, -30 ...) are in common/Status.h,
// the device command library's in device/ProtocolConstants.h.
#include <cstddef>
#include <cstdint>

namespace vorn::session {

// --- status codes of this layer ---
inline constexpr int32_t kUninitialised = -36;        // the device has no name yet: nothing to save
inline constexpr int32_t kFirmwareCorrupt = -1;       // "post" reports corrupt code
inline constexpr int32_t kSettingsFileMissing = -102;
inline constexpr int32_t kSettingsFileDenied = -105;
inline constexpr int32_t kSettingsFileUnreadable = -106;

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

// --- VPConnect ---
inline constexpr int kConnectBaudCode = 2;             // what the update sequence passes: 9600
inline constexpr int kConnectTries = 3;

// --- device time ---
inline constexpr int64_t kUnixTo2000 = 946684800;      // seconds from 1970-01-01 to 2000-01-01

// --- battery ---
inline constexpr int32_t kBatteryUnknown = -1;

// Each family's save masks, and the versions that change them, are its row in
// session/FamilyTable.h.

// --- the tag of every log line of the session ---
inline constexpr const char* kLogTag = "Vorn_protocol";

}  // namespace vorn::session
