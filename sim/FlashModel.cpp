#include "sim/FlashModel.h"

#include <algorithm>
#include <cstdio>

namespace vornsim {

void FlashModel::Configure(const FlashLayout& layout) {
    layout_ = layout;
    segments_.clear();
    bytes.clear();
    for (uint32_t i = 0; i < layout.infoSegmentCount; ++i) {
        const uint32_t first = layout.infoStart + i * layout.infoSegmentSize;
        segments_.push_back({first, first + layout.infoSegmentSize - 1, true});
    }
    if (layout.mainEnd >= layout.mainStart) {
        for (uint32_t aligned = layout.mainStart & ~(kMainSegmentBytes - 1); aligned <= layout.mainEnd;
             aligned += kMainSegmentBytes) {
            if (aligned >= kProtectedStart && aligned <= kProtectedEnd) continue;
            segments_.push_back({std::max(aligned, layout.mainStart),
                                 std::min(aligned + kMainSegmentBytes - 1, layout.mainEnd), true});
        }
    }
    std::sort(segments_.begin(), segments_.end(), [](const Segment& a, const Segment& b) { return a.first < b.first; });
    configured_ = true;
    touched_ = false;
    vectorsWritten_ = false;
}

const FlashModel::Segment* FlashModel::Find(uint32_t address) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), address,
                               [](uint32_t a, const Segment& s) { return a < s.first; });
    if (it == segments_.begin()) return nullptr;
    --it;
    return address <= it->last ? &*it : nullptr;
}

FlashModel::Segment* FlashModel::Find(uint32_t address) {
    return const_cast<Segment*>(static_cast<const FlashModel*>(this)->Find(address));
}

bool FlashModel::Erase(uint32_t address) {
    Segment* segment = Find(address);
    if (!segment) return false;
    segment->factory = false;
    bytes.erase(bytes.lower_bound(segment->first), bytes.upper_bound(segment->last));
    touched_ = true;
    vectorsWritten_ = false;
    return true;
}

bool FlashModel::Write(uint32_t address, const std::vector<uint8_t>& data) {
    for (size_t i = 0; i < data.size(); ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        const Segment* segment = Find(at);
        if (!segment || segment->factory) return false;
        const uint8_t now = Read(at);
        if (data[i] != 0xFF && now != 0xFF && now != data[i]) return false;
    }
    for (size_t i = 0; i < data.size(); ++i)
        if (data[i] != 0xFF) bytes[address + static_cast<uint32_t>(i)] = data[i];
    return true;
}

void FlashModel::WriteVectors(const Vectors& words) {
    vectors = words;
    vectorsWritten_ = true;
}

uint8_t FlashModel::Read(uint32_t address) const {
    auto it = bytes.find(address);
    return it == bytes.end() ? 0xFF : it->second;
}

bool FlashModel::HoldsFactoryData(uint32_t address) const {
    const Segment* segment = Find(address);
    return segment && segment->factory;
}

bool FlashModel::CodeGood() const {
    if (!touched_) return true;
    const uint16_t reset = vectors[kVectorWords - 1];
    return vectorsWritten_ && reset != kErasedWord && bytes.count(reset) != 0;
}

std::string FlashModel::ToTiText() const {
    std::string out;
    char text[16];
    uint32_t expected = 0;
    int onLine = 0;
    bool first = true;
    for (const auto& [address, value] : bytes) {
        if (first || address != expected) {
            if (!first && onLine) out += '\n';
            std::snprintf(text, sizeof text, address > 0xFFFF ? "@%05X\n" : "@%04X\n", address);
            out += text;
            onLine = 0;
            first = false;
        }
        std::snprintf(text, sizeof text, onLine ? " %02X" : "%02X", value);
        out += text;
        if (++onLine == 16) {
            out += '\n';
            onLine = 0;
        }
        expected = address + 1;
    }
    if (onLine) out += '\n';
    out += "@FFE0\n";
    for (size_t i = 0; i < kVectorWords; ++i) {
        std::snprintf(text, sizeof text, "%02X %02X", vectors[i] & 0xFF, vectors[i] >> 8);
        out += text;
        out += i % 8 == 7 ? '\n' : ' ';
    }
    out += "q\n";
    return out;
}

}  // namespace vornsim
