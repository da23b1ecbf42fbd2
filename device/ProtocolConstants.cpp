#include "device/ProtocolConstants.h"

namespace vorn::protocol {

std::span<const CodeMeaning> DeviceMeanings() {
    static constexpr CodeMeaning kTable[] = {
        {kRefusedNow, "the instrument cannot take that setting now"},
        {kRadioCommandMode, "the radio modem did not take its command mode"},
        {kNameEmpty, "the instrument has no name yet: it was never set up"},
        {kIdentityMismatch, "another instrument answered than the one connected"},
        {kNameBadCharacter, "the logger's name holds a character it cannot keep"},
        {kNameForbiddenCharacter, "the logger's name holds a character it cannot keep"},
        {kNameReserved, "the logger's name is a reserved word"},
        {kNameMissing, "the logger has no name"},
        {kNameTooLong, "the logger's name is too long"},
        {kNameHighCharacter, "the logger's name holds a character it cannot keep"},
        {kBrokenDataFlash, "the instrument's data storage chip reports errors"},
    };
    return kTable;
}

std::string_view Describe(int32_t code) { return MeaningIn(DeviceMeanings(), code); }

}  // namespace vorn::protocol
