#include "common/Status.h"

namespace vorn {

std::span<const CodeMeaning> StatusMeanings() {
    static constexpr CodeMeaning kTable[] = {
        {kRefused, "the instrument or its loader refused a command or did not answer it, or its firmware is corrupt"},
        {kPortNotFound, "the port does not exist (unplugged, or another name)"},
        {kPortInUse, "the port is in use by another program or update"},
        {kPortNoPermission, "this account may not open the port"},
        {kNotSerialPort, "the name is not a serial port"},
        {kNoPortName, "no port was chosen"},
        {kMissingArgument, "a value the command needs is missing"},
        {kOutOfRange, "a value is out of its range"},
        {kNotApplicable, "not possible for this instrument's family"},
        {kNoConnection, "no connection: the port could not be used, or no instrument answered on it"},
        {kPortClosed, "the instrument stopped answering"},
        {kTriesUsedUp, "the instrument did not answer, however often it was asked"},
        {kLoginRefused, "the instrument refused the login"},
        {kNotUnderstood, "the instrument's answer was not understood, or a file is not the kind asked for"},
        {kEmptyAnswer, "the instrument answered nothing"},
        {kEchoed, "everything sent came back: something on the line repeats it"},
        {kRelayActive, "a radio relay is on the line"},
        {kDeviceError, "the instrument answered ERROR"},
        {kPartlyDone, "some of the settings were not saved or not restored"},
        {kCancelled, "stopped: a question was answered Cancel"},
        {kNoRadio, "the logger has no radio"},
        {kOutOfMemory, "the computer ran out of memory"},
        {kBslActive, "the instrument waits in its firmware loader"},
        {kBslWaiting, "the instrument's firmware loader waits for a connection"},
        {kBadTiText, "the firmware file is not a TI-Text file"},
        {kBslRefused, "the firmware loader did not answer, or refused"},
        {kNoBootloader, "the instrument has no firmware loader"},
        {kNotSupported, "this instrument or its firmware version is not supported"},
    };
    return kTable;
}

std::string_view Describe(int32_t code) { return MeaningIn(StatusMeanings(), code); }

}  // namespace vorn
