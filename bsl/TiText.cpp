#include "bsl/TiText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vorn::bsl {
namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

uint32_t HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    return static_cast<uint32_t>(c - 'A' + 10);
}

// Reads a block address the way "%x" does after the "@": leading white space (line ends
// included), an optional sign, an optional 0x, then hexadecimal digits. Values above
// kMaxAddress come back as kMaxAddress + 1 so a long number can never wrap into range.
bool ScanAddress(std::string_view text, size_t pos, uint32_t* address) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        IsHex(text[pos + 2]))
        pos += 2;
    uint64_t value = 0;
    size_t digits = 0;
    for (; pos < text.size() && IsHex(text[pos]); ++pos, ++digits)
        value = std::min<uint64_t>(value * 16 + HexValue(text[pos]), uint64_t{kMaxAddress} + 1);
    if (digits == 0) return false;
    // A negative number scans as a huge unsigned one: out of range either way.
    *address = negative && value != 0 ? kMaxAddress + 1 : static_cast<uint32_t>(value);
    return true;
}

}  // namespace

TiTextVerdict ConvertTiText(std::string_view file, std::string* image, VectorWords* vectors) {
    // The text ends at the first zero byte, as it would for any C string reader.
    std::string_view text = file.substr(0, file.find('\0'));
    if (text.empty() || text.front() != '@') return TiTextVerdict::kNotTiText;
    const size_t end = text.find('q');
    if (end == std::string_view::npos) return TiTextVerdict::kNotTiText;

    std::string out;
    VectorWords table;
    table.fill(kErasedWord);
    bool sawVectors = false;
    std::string digits;

    size_t at = 0;  // the "@" that starts the current block
    while (at < end) {
        size_t next = text.find('@', at + 1);
        const size_t blockEnd = next == std::string_view::npos || next > end ? end : next;

        uint32_t address = 0;
        if (!ScanAddress(text, at + 1, &address) || address > kMaxAddress) return TiTextVerdict::kInvalid;
        const size_t lineFeed = text.find('\n', at);
        if (lineFeed == std::string_view::npos) return TiTextVerdict::kInvalid;

        digits.clear();
        for (size_t i = lineFeed + 1; i < blockEnd; ++i)
            if (IsHex(text[i])) digits += text[i];

        if (address >= kVectorStart && address <= kVectorLast) {
            sawVectors = true;
            if (digits.size() % 4 != 0) return TiTextVerdict::kInvalid;
            const size_t slot = (address - kVectorStart) / 2;
            const size_t words = digits.size() / 4;
            if (slot + words > kVectorCount) return TiTextVerdict::kInvalid;  // never past the table
            for (size_t w = 0; w < words; ++w) {
                const char* d = digits.data() + 4 * w;  // low byte first in the file
                table[slot + w] = HexValue(d[2]) << 12 | HexValue(d[3]) << 8 | HexValue(d[0]) << 4 | HexValue(d[1]);
            }
        } else if (address >= kProtectedStart && address <= kSkippedBlockEnd) {
            // The engine's own area: nothing from here is ever uploaded.
        } else {
            char header[8];
            std::snprintf(header, sizeof header, "@%05X", address);
            out += header;
            // An odd byte count leaves a word without its high byte: fill it with F.
            while (digits.size() % 4 != 0) digits += 'F';
            for (size_t w = 0; w < digits.size(); w += 4) {
                out += digits[w + 2];
                out += digits[w + 3];
                out += digits[w];
                out += digits[w + 1];
            }
        }
        at = blockEnd;
    }
    if (!sawVectors) return TiTextVerdict::kInvalid;
    *image = std::move(out);
    *vectors = table;
    return TiTextVerdict::kImage;
}

std::string FormatTiTextDump(const std::string& image, const VectorWords& vectors) {
    constexpr size_t kCharsPerLine = kDumpWordsPerLine * 4;
    std::string out;
    out.reserve(image.size() + image.size() / kCharsPerLine + 128);
    size_t onLine = 0;
    for (size_t i = 0; i < image.size(); ++i) {
        if (image[i] == '@') {
            if (onLine > 0) out += '\n';
            out.append(image, i, kSegmentHeaderChars);
            out += '\n';
            i += kSegmentHeaderChars - 1;
            onLine = 0;
            continue;
        }
        out += image[i];
        if (++onLine == kCharsPerLine) {
            out += '\n';
            onLine = 0;
        }
    }
    char line[64];
    std::snprintf(line, sizeof line, "\n@%X\n", kVectorStart);
    out += line;
    for (size_t row = 0; row < 2; ++row) {
        for (size_t w = 0; w < kDumpWordsPerLine; ++w) {
            std::snprintf(line, sizeof line, "%04X", vectors[row * kDumpWordsPerLine + w] & 0xFFFF);
            out += line;
        }
        out += '\n';
    }
    return out;
}

}  // namespace vorn::bsl
