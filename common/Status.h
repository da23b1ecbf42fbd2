#pragma once
// Status codes shared by every layer. Zero or positive is success (often a count or a
// value); negative is a failure. Platform and C library failures travel as their error
// number, negated.
#include <cstdint>

namespace vorn {

inline constexpr int32_t kRefused = -1;            // refused or not supported by this device
// Opening a port: the codes the update tells its users apart by. The first two are the
// numbers Windows reports (file not found; access denied, which is how it reports a port
// another program holds); the third has no Windows counterpart.
inline constexpr int32_t kPortNotFound = -2;
inline constexpr int32_t kPortInUse = -5;
inline constexpr int32_t kPortNoPermission = -1001;
inline constexpr int32_t kNotSerialPort = -1002;  // the name is a device, but not a serial port
inline constexpr int32_t kNoPortName = -6;         // VSHostBaud before any port name was stored
inline constexpr int32_t kMissingArgument = -10;
inline constexpr int32_t kOutOfRange = -11;
inline constexpr int32_t kNotApplicable = -13;     // not applicable to this family
inline constexpr int32_t kNoConnection = -20;
inline constexpr int32_t kPortClosed = -21;        // port closed or no answer
inline constexpr int32_t kTriesUsedUp = -22;
inline constexpr int32_t kLoginRefused = -25;
inline constexpr int32_t kNotUnderstood = -30;
inline constexpr int32_t kEmptyAnswer = -31;
inline constexpr int32_t kEchoed = -32;
inline constexpr int32_t kRelayActive = -33;
inline constexpr int32_t kDeviceError = -34;
inline constexpr int32_t kPartlyDone = -35;
inline constexpr int32_t kCancelled = -40;
inline constexpr int32_t kNoRadio = -45;
inline constexpr int32_t kOutOfMemory = -60;
inline constexpr int32_t kBslActive = -80;         // bootloader already active
inline constexpr int32_t kBslWaiting = -81;        // bootloader waiting for a connection
inline constexpr int32_t kBadTiText = -100;
inline constexpr int32_t kBslRefused = -110;       // bootloader refused or wrong handshake
inline constexpr int32_t kNoBootloader = -112;
inline constexpr int32_t kNotSupported = -120;     // device or version not supported

}  // namespace vorn
