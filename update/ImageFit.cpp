#include "update/ImageFit.h"

#include <charconv>

#include "bsl/BslConstants.h"
#include "common/Text.h"

namespace vorn::update {
namespace {

constexpr size_t kHeaderChars = vorn::bsl::kSegmentHeaderChars;  // "@" and five digits
constexpr size_t kWordChars = 4;

std::string Range(const ImageSegment& s) { return vorn::Format("0x%05X to 0x%05X", s.first, s.last); }

// The INFO segments the loader erases before the upload (BSLEraseINFO from infoStart,
// infoSegmentCount segments infoSegmentSize apart); empty (first > last) when there are none.
ImageSegment InfoMemory(const DeviceProfile& p) {
    if (p.infoSegmentCount == 0 || p.infoSegmentSize == 0) return {1, 0};
    return {p.infoStart, p.infoStart + p.infoSegmentCount * p.infoSegmentSize - 1};
}

bool Inside(const ImageSegment& s, uint32_t first, uint32_t last) { return s.first >= first && s.last <= last; }

}  // namespace

std::vector<ImageSegment> ImageSegments(const std::string& imageText) {
    std::vector<ImageSegment> segments;
    for (size_t at = imageText.find('@'); at != std::string::npos;) {
        const size_t next = imageText.find('@', at + 1);
        const size_t end = next == std::string::npos ? imageText.size() : next;
        uint32_t first = 0;
        const char* digits = imageText.data() + at + 1;
        if (at + kHeaderChars <= end &&
            std::from_chars(digits, digits + kHeaderChars - 1, first, 16).ec == std::errc{}) {
            const size_t bytes = (end - at - kHeaderChars) / kWordChars * 2;
            if (bytes > 0) segments.push_back({first, first + static_cast<uint32_t>(bytes) - 1});
        }
        at = next;
    }
    return segments;
}

const ImageSegment* AboveFourDigits(const std::vector<ImageSegment>& segments) {
    for (const ImageSegment& s : segments)
        if (s.last > vorn::bsl::kMaxFourDigitAddress) return &s;
    return nullptr;
}

std::string ImageMisfit(const std::vector<ImageSegment>& segments, uint32_t resetVector, const DeviceProfile& profile) {
    using namespace vorn::bsl;
    if (segments.empty()) return "it holds no program code.";
    if (!profile.extendedAddressing) {
        if (const ImageSegment* s = AboveFourDigits(segments))
            return "it holds code at " + Range(*s) + ", above 0xFFFF, where the firmware loader of this device cannot write.";
    }
    const ImageSegment info = InfoMemory(profile);
    const bool hasInfo = info.first <= info.last;
    for (const ImageSegment& s : segments) {
        if (s.first <= kProtectedEnd && s.last >= kProtectedStart)
            return "it holds code at " + Range(s) + ", in the firmware loader's own area 0x0FA00 to 0x0FFFF.";
        // Each block lies wholly in main flash or wholly in the erased INFO memory.
        if (!Inside(s, profile.flashStart, profile.flashEnd) && !(hasInfo && Inside(s, info.first, info.last)))
            return "it holds code at " + Range(s) + ", outside the program memory 0x" + vorn::Format("%05X", profile.flashStart) +
                   " to 0x" + vorn::Format("%05X", profile.flashEnd) +
                   (hasInfo ? " and the INFO memory " + Range(info) : std::string()) + ".";
    }
    if (resetVector == kErasedWord) return "it has no reset vector, so the device could never start it.";
    for (const ImageSegment& s : segments)
        if (resetVector >= s.first && resetVector <= s.last) return {};
    return vorn::Format("its reset vector 0x%04X points outside its code, so the device could never start it.", resetVector);
}

}  // namespace vorn::update
