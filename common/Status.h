#pragma once
// Status codes shared by every layer. Zero or positive is success (often a count or a
// value); negative is a failure. Platform and C library failures travel as their error
// number, negated.
#include <cstdint>
#include <span>
#include <string_view>

namespace vorn {

// The codes of this layer. Layers above add their own (device/ProtocolConstants.h,
// session/SessionConstants.h, update/ResultCodes.h), each with its words.
enum StatusCode : int32_t {
    kRefused = -1,            // refused or not supported by this device
    // Opening a port: the codes the update tells its users apart by. The first two are the
    // numbers Windows reports (file not found; access denied, which is how it reports a port
    // another program holds); the third has no Windows counterpart.
    kPortNotFound = -2,
    kPortInUse = -5,
    kPortNoPermission = -1001,
    kNotSerialPort = -1002,  // the name is a device, but not a serial port
    kNoPortName = -6,         // VSHostBaud before any port name was stored
    kMissingArgument = -10,
    kOutOfRange = -11,
    kNotApplicable = -13,     // not applicable to this family
    kNoConnection = -20,
    kPortClosed = -21,        // port closed or no answer
    kTriesUsedUp = -22,
    kLoginRefused = -25,
    kNotUnderstood = -30,
    kEmptyAnswer = -31,
    kEchoed = -32,
    kRelayActive = -33,
    kDeviceError = -34,
    kPartlyDone = -35,
    kCancelled = -40,
    kNoRadio = -45,
    kOutOfMemory = -60,
    kBslActive = -80,         // bootloader already active
    kBslWaiting = -81,        // bootloader waiting for a connection
    kBadTiText = -100,
    kBslRefused = -110,       // bootloader refused or wrong handshake
    kNoBootloader = -112,
    kNotSupported = -120,     // device or version not supported
};

// A code and what it means to the user ("the instrument stopped answering").
struct CodeMeaning {
    int32_t code;
    const char* meaning;
};

// This layer's codes with their words, in the order of the enumeration.
std::span<const CodeMeaning> StatusMeanings();
// The words of one of this layer's codes; empty for any other number.
std::string_view Describe(int32_t code);

// The words of `code` in a layer's table; empty when it has none.
inline std::string_view MeaningIn(std::span<const CodeMeaning> table, int32_t code) {
    for (const CodeMeaning& m : table)
        if (m.code == code) return m.meaning;
    return {};
}

}  // namespace vorn
