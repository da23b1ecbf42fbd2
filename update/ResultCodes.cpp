#include "update/ResultCodes.h"

#include "common/Status.h"
#include "device/ProtocolConstants.h"
#include "session/SessionConstants.h"
#include "update/UpdateSequence.h"

namespace vorn::update {

const std::vector<ResultMeaning>& ResultMeanings() {
    namespace p = vorn::protocol;
    namespace s = vorn::session;
    // Several layers share a number (-1, -10, -11, -36): the words cover each of them.
    static const std::vector<ResultMeaning> table = {
        {kRefused, "the instrument or its loader refused a command or did not answer it, or its firmware is corrupt"},
        {kPortNotFound, "the port does not exist (unplugged, or another name)"},
        {kPortInUse, "the port is in use by another program or update"},
        {kNoPortName, "no port was chosen"},
        {kNoFirmware, "no firmware file was opened"},
        {kImageDoesNotFit, "the firmware does not fit this instrument"},
        {p::kRefusedNow, "the instrument cannot take that setting now"},
        {kNotApplicable, "not possible for this instrument's family"},
        {kConnectFailed, "no connection: the port could not be used, or no instrument answered on it"},
        {kPortClosed, "the instrument stopped answering"},
        {kTriesUsedUp, "the instrument did not answer, however often it was asked"},
        {p::kRadioCommandMode, "the radio modem did not take its command mode"},
        {kLoginRefused, "the instrument refused the login"},
        {kNotUnderstood, "the instrument's answer was not understood, or a file is not the kind asked for"},
        {kEmptyAnswer, "the instrument answered nothing"},
        {kEchoed, "everything sent came back: something on the line repeats it"},
        {kRelayActive, "a radio relay is on the line"},
        {kDeviceError, "the instrument answered ERROR"},
        {kPartlyDone, "some of the settings were not saved or not restored"},
        {s::kUninitialised, "the instrument has no name yet: it was never set up"},
        {p::kIdentityMismatch, "another instrument answered than the one connected"},
        {kCancelled, "stopped: a question was answered Cancel"},
        {kNoRadio, "the logger has no radio"},
        {p::kNameBadCharacter, "the logger's name holds a character it cannot keep"},
        {p::kNameForbiddenCharacter, "the logger's name holds a character it cannot keep"},
        {p::kNameReserved, "the logger's name is a reserved word"},
        {p::kNameMissing, "the logger has no name"},
        {p::kNameTooLong, "the logger's name is too long"},
        {p::kNameHighCharacter, "the logger's name holds a character it cannot keep"},
        {kOutOfMemory, "the computer ran out of memory"},
        {p::kBrokenDataFlash, "the instrument's data storage chip reports errors"},
        {kBslActive, "the instrument waits in its firmware loader"},
        {kBslWaiting, "the instrument's firmware loader waits for a connection"},
        {kBadTiText, "the firmware file is not a TI-Text file"},
        {s::kSettingsFileMissing, "the settings file was not found"},
        {kSettingsFileFailed, "the settings file could not be written, or does not read back"},
        {s::kSettingsFileDenied, "the settings file may not be read (permissions)"},
        {s::kSettingsFileUnreadable, "the settings file could not be read"},
        {kLoaderSilent, "the firmware loader did not answer, or refused"},
        {kNoBootloader, "the instrument has no firmware loader"},
        {kNotSupported, "this instrument or its firmware version is not supported"},
        {kWrongDevice, "the firmware or the settings are another instrument's"},
        {kUnitNotIdentified, "a unit waits in its loader that this run cannot tell"},
        {kBatteryLow, "the instrument's battery is too low"},
        {kSettingsNotRestored, "the new firmware runs without the unit's saved settings"},
        {kPortNoPermission, "this account may not open the port"},
        {kNotSerialPort, "the name is not a serial port"},
    };
    return table;
}

std::string ResultLine(int32_t code) {
    for (const ResultMeaning& m : ResultMeanings())
        if (m.code == code) return "result " + std::to_string(code) + ": " + m.meaning;
    return "result " + std::to_string(code) + ": error " + std::to_string(-code) + " from the system";
}

}  // namespace vorn::update
