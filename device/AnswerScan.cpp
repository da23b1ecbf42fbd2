#include "device/AnswerScan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Text.h"

namespace vorn::protocol::scan {

namespace {
constexpr int64_t kMagnitudeCap = int64_t{1} << 62;  // far beyond any 32-bit field
constexpr size_t kRealTextMax = 64;
}  // namespace

size_t SkipSpace(std::string_view text, size_t pos) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    return pos < text.size() ? pos : text.size();
}

bool ALineStartsWith(std::string_view answer, std::string_view word) {
    size_t start = 0;
    while (start <= answer.size()) {
        size_t end = answer.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = answer.size();
        std::string_view line = answer.substr(start, end - start);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '>')) line.remove_prefix(1);
        if (line.rfind(word, 0) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool IsErrorAnswer(std::string_view answer) {
    return ALineStartsWith(answer, "ERROR") || ALineStartsWith(answer, "Unsupported") || ALineStartsWith(answer, "?");
}

size_t AfterFirstCR(std::string_view text) {
    size_t cr = text.find('\r');
    return cr == std::string_view::npos ? 0 : cr + 1;
}

std::string UpToCR(std::string_view text, size_t pos, size_t max) {
    if (pos >= text.size()) return {};
    std::string_view rest = text.substr(pos);
    size_t end = rest.find('\r');
    if (end == std::string_view::npos) end = rest.size();
    return std::string(rest.substr(0, std::min(end, max)));
}

std::string Word(std::string_view text, size_t pos, size_t max) {
    pos = SkipSpace(text, pos);
    size_t end = pos;
    while (end < text.size() && end - pos < max && !IsSpace(text[end])) ++end;
    return std::string(text.substr(pos, end - pos));
}

int Scan(std::string_view text, size_t start, std::string_view pattern, int64_t* out, int maxOut, size_t* pos) {
    size_t at = std::min(start, text.size());
    int count = 0;
    for (char p : pattern) {
        if (p == ' ') {
            at = SkipSpace(text, at);
            continue;
        }
        if (p != 'd' && p != '1' && p != 'x') {
            if (at >= text.size() || text[at] != p) break;
            ++at;
            continue;
        }
        if (count >= maxOut) break;
        at = SkipSpace(text, at);
        if (p == '1') {
            if (at >= text.size() || !IsDigit(text[at])) break;
            out[count++] = text[at++] - '0';
            continue;
        }
        bool negative = false;
        size_t i = at;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        const int base = p == 'x' ? 16 : 10;
        if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            i + 2 < text.size() && HexValue(text[i + 2]) >= 0)
            i += 2;
        size_t digitsStart = i;
        int64_t value = 0;
        while (i < text.size()) {
            int d = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
            if (d < 0) break;
            // Clamped before the multiplication, which could otherwise overflow.
            value = value > (kMagnitudeCap - d) / base ? kMagnitudeCap : value * base + d;
            ++i;
        }
        if (i == digitsStart) break;
        out[count++] = negative ? -value : value;
        at = i;
    }
    if (pos) *pos = at;
    return count;
}

bool Real(std::string_view text, size_t start, double* out) {
    double value = 0;
    if (vorn::ParseReal(text.substr(SkipSpace(text, start), kRealTextMax), &value) == 0 || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

int32_t ClampInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace vorn::protocol::scan
