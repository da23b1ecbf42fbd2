#pragma once
// Reading values out of device answers. Every reader works on a string_view and an index,
// so an answer of any length or content is read without running past its end; numbers
// that do not fit are clamped rather than wrapped.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::protocol::scan {

inline bool IsSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\v' || c == '\f'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Index of the first character at or after `pos` that is not white space.
size_t SkipSpace(std::string_view text, size_t pos = 0);
// Index just after the first CR, or 0 when there is none.
size_t AfterFirstCR(std::string_view text);
// The characters from `pos` up to the next CR (or the end), at most `max`.
std::string UpToCR(std::string_view text, size_t pos, size_t max);
// A word the way "%<max>s" reads one: white space skipped, then up to `max` characters
// that are not white space. Empty when there is none.
std::string Word(std::string_view text, size_t pos, size_t max);

// Reads conversions the way sscanf would, by a small pattern: 'd' a decimal integer
// (white space, sign, digits), '1' a one-digit integer ("%1d"), 'x' a hexadecimal
// integer, ' ' any white space, anything else a literal that must match. Returns how
// many conversions were read before the first mismatch; values go to `out` in order.
// `pos`, when given, receives the index after the last character read.
int Scan(std::string_view text, size_t start, std::string_view pattern, int64_t* out, int maxOut,
         size_t* pos = nullptr);

// A real number the way "%lf" reads one in the "C" locale, whatever the process's locale
// (finite values only).
bool Real(std::string_view text, size_t start, double* out);

// Whether a line of `answer` starts (after white space and a prompt) with `word`.
bool ALineStartsWith(std::string_view answer, std::string_view word);
// Whether an answer is the device's refusal: a line of it that starts with "ERROR",
// "Unsupported" or "?". A value that merely holds a '?' ("why?not") or those words further
// on is an answer, not a refusal.
bool IsErrorAnswer(std::string_view answer);

// Clamp helpers for the 32-bit fields.
int32_t ClampInt32(int64_t value);

}  // namespace vorn::protocol::scan
