#include "update/ResultCodes.h"

#include <algorithm>

#include "device/ProtocolConstants.h"
#include "session/SessionConstants.h"

namespace vorn::update {

std::span<const CodeMeaning> UpdateMeanings() {
    static constexpr CodeMeaning kTable[] = {
        {kNoFirmware, "no firmware file was opened"},
        {kImageDoesNotFit, "the firmware does not fit this instrument"},
        {kSettingsFileFailed, "the settings file could not be written, or does not read back"},
        {kWrongDevice, "the firmware or the settings are another instrument's"},
        {kUnitNotIdentified, "a unit waits in its loader that this run cannot tell"},
        {kBatteryLow, "the instrument's battery is too low"},
        {kSettingsNotRestored, "the new firmware runs without the unit's saved settings"},
    };
    return kTable;
}

std::string_view Describe(int32_t code) { return MeaningIn(UpdateMeanings(), code); }

const std::vector<ResultMeaning>& ResultMeanings() {
    static const std::vector<ResultMeaning> table = [] {
        std::vector<ResultMeaning> all;
        // The update's first: its words stand for a number the layers below use otherwise.
        for (std::span<const CodeMeaning> layer : {UpdateMeanings(), session::SessionMeanings(),
                                                   protocol::DeviceMeanings(), StatusMeanings()})
            for (const CodeMeaning& m : layer)
                if (std::none_of(all.begin(), all.end(), [&](const ResultMeaning& r) { return r.code == m.code; }))
                    all.push_back(m);
        std::stable_sort(all.begin(), all.end(), [](const ResultMeaning& a, const ResultMeaning& b) {
            return a.code > b.code;
        });
        return all;
    }();
    return table;
}

std::string ResultLine(int32_t code) {
    for (const ResultMeaning& m : ResultMeanings())
        if (m.code == code) return "result " + std::to_string(code) + ": " + m.meaning;
    return "result " + std::to_string(code) + ": error " + std::to_string(-code) + " from the system";
}

}  // namespace vorn::update
