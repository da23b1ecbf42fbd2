#pragma once
// The codes an update or a restore ends with, and what each means in words. Each layer
// keeps its own codes with their words (common/Status.h, device/ProtocolConstants.h,
// session/SessionConstants.h, and the update's below); the table of every code a run can
// end with is made from them, and the command line's closing line, the diagnostic log,
// --results and the manual page (whose test compares it) all read it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Status.h"

namespace vorn::update {

// The update's own codes, beside those of the layers below.
enum ResultCode : int32_t {
    kUpdated = 1,
    kNoFirmware = -10,            // Start without a firmware image
    kImageDoesNotFit = -11,       // the image cannot go into the device
    kSettingsFileFailed = -104,   // the settings file was not written or does not read back
    kWrongDevice = -121,
    kUnitNotIdentified = -122,    // a bench will not load a unit in its loader it cannot tell
    kBatteryLow = -130,
    kSettingsNotRestored = -140,  // the new firmware runs without the unit's saved settings
};
// The update's codes with their words; the words of one of them (empty for another number).
std::span<const CodeMeaning> UpdateMeanings();
std::string_view Describe(int32_t code);

using ResultMeaning = CodeMeaning;
// Every code a run can end with, in order of the code (-1 first): the update's words for
// a number it gives a meaning of its own (-10 is a missing firmware to the update, a
// missing argument below it), else the words of the layer that has the code.
const std::vector<ResultMeaning>& ResultMeanings();
// "result -21: the instrument stopped answering"; a code outside the table is a system
// error number, and says so.
std::string ResultLine(int32_t code);

}  // namespace vorn::update
