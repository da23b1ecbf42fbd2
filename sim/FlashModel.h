#pragma once
// The instrument's flash as the VornBSL engine sees it: INFO segments and 512-byte main
// segments of the family's layout, each with its erase state; the protected area
// 0xFA00..0xFFFF that holds the engine itself; and the interrupt vectors.
//
// A segment starts out holding the factory firmware, which is not modelled byte by byte:
// it must be erased before anything is written into it. Writing follows flash physics
// closely enough for the updater: an erased byte takes any value, a byte takes its own
// value again (a block re-sent after a lost answer), 0xFF programs nothing; any other
// change is refused, and a refused write changes nothing.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vornsim {

struct FlashLayout {
    uint32_t mainStart = 0;         // main flash, inclusive range
    uint32_t mainEnd = 0;
    uint32_t infoStart = 0;         // INFO memory: count segments of size bytes
    uint32_t infoSegmentSize = 0;
    uint32_t infoSegmentCount = 0;
};

inline constexpr uint32_t kMainSegmentBytes = 512;
inline constexpr uint32_t kProtectedStart = 0xFA00;
inline constexpr uint32_t kProtectedEnd = 0xFFFF;
inline constexpr size_t kVectorWords = 16;
inline constexpr uint16_t kErasedWord = 0xFFFF;

class FlashModel {
public:
    using Vectors = std::array<uint16_t, kVectorWords>;

    FlashModel() { vectors.fill(kErasedWord); }

    // Lays out the segments; every one holds the factory firmware until erased.
    void Configure(const FlashLayout& layout);
    bool Configured() const { return configured_; }
    const FlashLayout& Layout() const { return layout_; }

    // Erases the segment holding `address`. False (nothing changes) when the address is
    // in no segment: outside INFO and main flash, or in the protected area.
    bool Erase(uint32_t address);
    // Writes `data` from `address` on, all or nothing (see the rules above).
    bool Write(uint32_t address, const std::vector<uint8_t>& data);
    // The engine's "V": the vector segment is rewritten as a whole.
    void WriteVectors(const Vectors& words);

    // The byte at `address` as programmed since its segment was erased; 0xFF otherwise.
    uint8_t Read(uint32_t address) const;
    // Whether the segment holding `address` still holds the factory firmware.
    bool HoldsFactoryData(uint32_t address) const;
    // Whether the address lies in a segment that "X" can erase.
    bool Erasable(uint32_t address) const { return Find(address) != nullptr; }
    // The instrument can start its firmware: the factory firmware was never touched, or
    // the vectors were written after the last erase and the reset vector points at
    // programmed flash.
    bool CodeGood() const;
    // Nothing was ever erased: the factory firmware is all there.
    bool Untouched() const { return !touched_; }

    // Programmed bytes as TI-Text (16 bytes a line) with the vectors at @FFE0, closed by "q".
    std::string ToTiText() const;

    // Programmed bytes (an absent address reads 0xFF) and the vector words, slot 0 first.
    std::map<uint32_t, uint8_t> bytes;
    Vectors vectors;

private:
    struct Segment {
        uint32_t first;
        uint32_t last;
        bool factory;
    };
    const Segment* Find(uint32_t address) const;
    Segment* Find(uint32_t address);

    FlashLayout layout_;
    std::vector<Segment> segments_;  // sorted by address
    bool configured_ = false;
    bool touched_ = false;           // something was erased since the factory
    bool vectorsWritten_ = false;    // "V" since the last erase
};

}  // namespace vornsim
