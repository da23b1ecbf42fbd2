#include "sim/UpdateReport.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "bsl/TiText.h"

namespace vornsim {
namespace {

// The firmware's own build text: new firmware brings its own, it is no setting.
constexpr const char* kFirmwareBuildKey = "-build";

// The records of each list that hold a text, in text order. The updater writes a list
// back in the order of the records' names, as the instruments keep them: a unit whose
// records were in another order holds the same records afterwards, not the same order.
// An empty record holds nothing.
std::map<std::string, std::vector<std::string>> HeldRecords(const InstrumentState& s) {
    std::map<std::string, std::vector<std::string>> held;
    for (const auto& [list, records] : s.records) {
        std::vector<std::string>& texts = held[list];
        for (const std::string& r : records)
            if (!r.empty()) texts.push_back(r);
        std::sort(texts.begin(), texts.end());
        if (texts.empty()) held.erase(list);
    }
    return held;
}

}  // namespace

UpdateReport CompareAfterUpdate(const InstrumentState& state, const std::string& imageText,
                                const InstrumentState& before) {
    UpdateReport report;
    std::string image;
    vorn::bsl::VectorWords vectors{};
    if (vorn::bsl::ConvertTiText(imageText, &image, &vectors) == vorn::bsl::TiTextVerdict::kImage) {
        report.imageRead = true;
        // Image text: "@AAAAA" headers, then words "HHLL" for the bytes LL, HH.
        uint32_t address = 0;
        for (size_t i = 0; i < image.size();) {
            if (image[i] == '@') {
                address = static_cast<uint32_t>(std::strtoul(image.substr(i + 1, 5).c_str(), nullptr, 16));
                i += 6;
                continue;
            }
            unsigned word = static_cast<unsigned>(std::strtoul(image.substr(i, 4).c_str(), nullptr, 16));
            for (uint8_t b : {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)}) {
                if (state.flash.Read(address) != b) ++report.flashDifferences;
                ++address;
                ++report.imageBytes;
            }
            i += 4;
        }
        for (size_t slot = 0; slot < vectors.size(); ++slot)
            if (state.flash.vectors[slot] != vectors[slot]) ++report.flashDifferences;
    }
    for (const auto& [key, value] : before.settings) {
        if (key == kFirmwareBuildKey) continue;
        auto it = state.settings.find(key);
        if (it == state.settings.end() || it->second != value) report.settingsDifferences.push_back(key);
    }
    for (const auto& [key, value] : state.settings)
        if (key != kFirmwareBuildKey && !before.settings.count(key)) report.settingsDifferences.push_back(key);
    if (HeldRecords(state) != HeldRecords(before)) report.settingsDifferences.push_back("records");
    report.settingsEqual = report.settingsDifferences.empty();
    report.factoryFirmware = state.flash.Untouched();
    report.loaderFrames = state.bslFrames;
    report.clockOffset = state.clockOffsetSeconds;
    report.clockOffsetBefore = before.clockOffsetSeconds;
    return report;
}

std::string UpdateReport::Text(const std::string& imagePath) const {
    std::string text;
    if (!imageRead) {
        text += "flash: " + imagePath + " is not a TI-Text image\n";
    } else {
        text += "flash equals the firmware image (" + std::to_string(imageBytes) + " bytes and the vectors): " +
                (flashDifferences == 0 ? "yes" : "NO, " + std::to_string(flashDifferences) + " differences") + "\n";
    }
    text += "settings restored: ";
    if (settingsEqual) {
        text += "yes\n";
    } else {
        text += "NO, differing:";
        for (const std::string& key : settingsDifferences) text += " " + key;
        text += "\n";
    }
    text += std::string("old firmware untouched: ") + (factoryFirmware ? "yes" : "no") + "\n";
    text += "loader frames: " + std::to_string(loaderFrames) + "\n";
    text += "clock against local time: " + std::to_string(clockOffset) + " s (" + std::to_string(clockOffsetBefore) +
            " s at the start)\n";
    if (!doing.empty()) text += "instrument: " + doing + "\n";
    return text;
}

}  // namespace vornsim
