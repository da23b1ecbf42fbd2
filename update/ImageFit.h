#pragma once
// Whether a loaded firmware image can go into a device: checked before anything is erased,
// because the loader would refuse a misplaced block only after the old firmware is gone.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"

namespace vorn::update {

// One run of image bytes, inclusive.
struct ImageSegment {
    uint32_t first = 0;
    uint32_t last = 0;
};

// The segments of an image text as the bootloader client holds it ("@%05X" headers, each
// followed by four hexadecimal digits per 16-bit word). A header without data is left out.
std::vector<ImageSegment> ImageSegments(const std::string& imageText);

// Why the image cannot be loaded into a device of `profile`'s layout, as one sentence for
// the user ("it holds code at ..."); empty when it fits. `resetVector` is the image's
// slot 15. Rules: no segment above 0xFFFF for a loader with four-digit addresses; no
// segment in the loader's protected area 0xFA00..0xFFFF; every segment wholly inside main
// flash (flashStart..flashEnd) or wholly inside the INFO memory the loader erases
// (infoSegmentCount segments of infoSegmentSize from infoStart); a reset vector that is set
// and points into a segment.
std::string ImageMisfit(const std::vector<ImageSegment>& segments, uint32_t resetVector, const DeviceProfile& profile);

// The first segment that a four-digit loader cannot address, or null.
const ImageSegment* AboveFourDigits(const std::vector<ImageSegment>& segments);

}  // namespace vorn::update
