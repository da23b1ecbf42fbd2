#pragma once
// The instrument's flash as the VornBSL engine sees it: segments with erase state, the
// protected area and the interrupt vectors. Filled in with the bootloader engine.
#include <cstdint>
#include <map>

namespace vornsim {

struct FlashModel {
    std::map<uint32_t, uint8_t> bytes;  // programmed bytes; an absent address reads 0xFF
};

}  // namespace vornsim
