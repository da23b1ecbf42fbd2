#pragma once
// The records of the device command library: what is known about the device on the other
// end (DeviceInfo), the library's own type codes (LoggerType), and the option and request
// records of a connection.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/VornSerial.h"

// The library's own type codes, set from the identity word of the "get -ver" answer.
// Not the catalogue's DeviceFamily.
enum LoggerType : uint8_t {
    LT_UNKNOWN = 0,
    LT_UNKNOWN_LOGGER = 1,
    LT_KT7 = 2,
    LT_KT72 = 3,
    LT_QV = 4,
    LT_RL = 5,
    LT_KT7R = 6,
    LT_GENERIC = 7,
    LT_GLX = 8,
    LT_MOSSY_CAL = 9,
    LT_RW = 10,
    LT_ZQ8 = 11,
    LT_MYR = 12,
};

// "Unknown", "Kt7", "Kt72", ... by LoggerType; "Unknown" for codes outside the table.
std::string_view LoggerTypeName(uint8_t type);

namespace vorn::protocol {

// Setting bits: one per DeviceInfo field that holds a device value. They are also the
// request and result masks of DeviceSettings.
namespace setting {
inline constexpr uint32_t kName = 0x1;
inline constexpr uint32_t kSerialNumber = 0x2;
inline constexpr uint32_t kVersion = 0x4;
inline constexpr uint32_t kTrait = 0x8;
inline constexpr uint32_t kWake = 0x10;
inline constexpr uint32_t kPorts = 0x20;
inline constexpr uint32_t kPadc = 0x40;
inline constexpr uint32_t kDeviceID = 0x80;
inline constexpr uint32_t kDataParameter = 0x100;
inline constexpr uint32_t kRadioMode = 0x200;
inline constexpr uint32_t kRadioChannel = 0x400;
inline constexpr uint32_t kRadioSubchannel = 0x800;
inline constexpr uint32_t kRadioVersion = 0x1000;
inline constexpr uint32_t kRadioAll = kRadioChannel | kRadioSubchannel | kRadioVersion;
inline constexpr uint32_t kDepths = 0x2000;
inline constexpr uint32_t kSite = 0x4000;
inline constexpr uint32_t kLatitude = 0x8000;
inline constexpr uint32_t kLongitude = 0x10000;
inline constexpr uint32_t kTimeZone = 0x20000;
inline constexpr uint32_t kApn = 0x40000;
inline constexpr uint32_t kApnUser = 0x80000;
inline constexpr uint32_t kApnPassword = 0x100000;
inline constexpr uint32_t kHost = 0x200000;
inline constexpr uint32_t kAuthKey = 0x400000;
inline constexpr uint32_t kIpPort = 0x800000;
inline constexpr uint32_t kReportMode = 0x1000000;
inline constexpr uint32_t kAdc30 = 0x2000000;
inline constexpr uint32_t kAdc15 = 0x4000000;
inline constexpr uint32_t kBuildInfo = 0x8000000;
// What "show" reads from old firmware: name, version, measurement interval, radio mode.
inline constexpr uint32_t kShowRead = kName | kVersion | kWake | kRadioMode;
}  // namespace setting

// Capability bits, computed from type and version; they gate the setting commands.
namespace capability {
inline constexpr uint32_t kBaudChange = 0x1;
inline constexpr uint32_t kWakePadc = 0x10;
inline constexpr uint32_t kPorts = 0x20;
inline constexpr uint32_t kTrait = 0x40;          // native trait command
inline constexpr uint32_t kRadio = 0x100;         // radio module settings
inline constexpr uint32_t kRadioMode = 0x200;
inline constexpr uint32_t kClock = 0x1000;
inline constexpr uint32_t kAdcCal = 0x10000;
inline constexpr uint32_t kDataParameter = 0x20000;
inline constexpr uint32_t kBuildInfo = 0x40000;
inline constexpr uint32_t kClockSeconds = 0x80000;
inline constexpr uint32_t kAdcShort = 0x100000;
inline constexpr uint32_t kSiteSettings = 0x1000000;  // device ID, report, depths, site, zone, set trait
inline constexpr uint32_t kCoordinates = 0x4000000;
}  // namespace capability

// Bits of the trait word.
namespace trait {
inline constexpr uint32_t kKnown = 0x4000;
inline constexpr uint32_t kRadioFitted = 0x1;
inline constexpr uint32_t kCellular = 0x8;
inline constexpr uint32_t kBitsMask = 0xFF;
}  // namespace trait

}  // namespace vorn::protocol

// One device's identity and every logger setting. Text fields are bounded at their field
// size (the "Max" constants); a get never stores more than its command reads.
struct DeviceInfo {
    static constexpr size_t kTypeNameMax = 31;
    static constexpr size_t kDeviceIDMax = 8;
    static constexpr size_t kDeviceNameMax = 8;
    static constexpr size_t kSerialNumberMax = 15;
    static constexpr size_t kVersionTextMax = 22;   // field of 23; a get stores at most 20
    static constexpr size_t kBuildInfoMax = 19;     // field of 20; a get stores at most 16
    static constexpr size_t kSiteMax = 31;          // field of 32; a get stores at most 25
    static constexpr size_t kRadioVersionMax = 8;
    static constexpr size_t kApnMax = 35;
    static constexpr size_t kAuthKeyMax = 32;
    static constexpr size_t kHostMax = 63;

    using Bytes5 = std::array<uint8_t, 5>;

    uint32_t valid = 0;          // setting bits of the fields that hold device values
    uint32_t capabilities = 0;
    uint8_t type = LT_UNKNOWN;   // LoggerType
    std::string typeName;
    bool newFirmware = false;    // answers "get -ver"; false: old firmware that knows "show"
    std::string deviceID;
    std::string deviceName;
    std::string serialNumber;
    std::string versionText;
    int32_t version = 0;         // major * 100 + minor * 10 + patch
    uint32_t trait = 0;          // bit 14 known, low byte the trait bits
    std::string buildInfo;
    int32_t measurementInterval = 0;
    Bytes5 ports{};
    Bytes5 depths{};
    int32_t padc = 0;            // Hz
    std::string site;
    double latitude = 0.0;       // degrees
    double longitude = 0.0;
    int32_t timeZone = 0;        // quarter hours
    Bytes5 adc30Slopes{};
    Bytes5 adc30Offsets{};
    Bytes5 adc15Slopes{};
    Bytes5 adc15Offsets{};
    int32_t dataParameter = 0;
    int32_t reportMode = 0;
    int32_t radioMode = 0;
    int32_t radioChannel = 0;    // RCH
    int32_t radioSubchannel = 0; // RSCH
    std::string radioVersion;    // RVER
    std::string apn;
    std::string apnUser;
    std::string apnPassword;
    std::string authKey;
    std::string host;
    int32_t ipPort = 0;

    void Clear() { *this = DeviceInfo{}; }
    bool operator==(const DeviceInfo&) const = default;
};

// Options of a connection, set or read as a whole through MOSSY_Protocol::Options.
struct ConnectOptions {
    bool keepPortOpen = false;     // a failed connect or a disconnect leaves the port open at 9600
    uint32_t serialTries = 0;      // 0..12, 0 means 3
    uint32_t radioTries = 0;       // 0..12, 0 means 5
    bool progressReporting = false;
    int8_t trace = 0;              // 1 answers, 2 commands, 3 both go to the trace hook
    uint32_t extraWaitMs = 0;      // 0..30000, added to every DeviceCommand time-out
};

// What Connect is asked to do. The port name is a platform port name or path, so it is
// bounded by the serial layer's limit rather than by a "COMnn" field.
struct ConnectRequest {
    static constexpr size_t kPortNameMax = VornSerial::kPortNameMax;
    static constexpr size_t kDeviceNameMax = DeviceInfo::kDeviceNameMax;
    static constexpr size_t kReservedMax = 23;

    std::string portName;
    uint8_t connectionType = 0;    // 10 direct serial, 30 radio
    uint8_t baudCode = 0;          // index into the baud table; 0 means 2 (9600)
    std::string deviceName;        // radio login name; empty: learn it with QueryCommand
    std::string reserved;          // passed along, not used
    int32_t radioChannel = 0;      // RCH for the host-side radio module
    int32_t radioSubchannel = 0;   // RSCH for the host-side radio module
    bool radioKnown = false;       // the two values above are valid
};

namespace vorn::protocol {
// Baud table: index = baud code.
inline constexpr std::array<uint32_t, 9> kBaudTable{0, 1200, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
inline constexpr uint8_t kBaudCode9600 = 2;
}  // namespace vorn::protocol
