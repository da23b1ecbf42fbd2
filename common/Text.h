#pragma once
// Bounded text fields: every field with a maximum length is stored through these, so a
// long device answer or file line is cut, never written past its field. And numbers as
// text: formatted and read with "." as the decimal sign whatever the C library's locale.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/PrintfCheck.h"
#include "common/Locale.h"

namespace vorn {

// The value of a hex digit of either case, -1 for any other character.
inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The first `maxChars` characters of `text`.
inline std::string Bounded(std::string_view text, size_t maxChars) {
    return std::string(text.substr(0, maxChars));
}

// Stores `text` into `field`, cut to `maxChars`.
inline void StoreBounded(std::string& field, std::string_view text, size_t maxChars) {
    field.assign(text.substr(0, maxChars));
}

// Appends `suffix` to `field` without letting it grow past `maxChars`.
inline void AppendBounded(std::string& field, std::string_view suffix, size_t maxChars) {
    if (field.size() >= maxChars) return;
    field.append(suffix.substr(0, maxChars - field.size()));
}

// printf-style formatting into a std::string: no fixed buffer, so a long value is never
// cut or overrun. Always in the "C" locale: every printf-style text of the core goes
// through here, and "%f" must not write the user's decimal comma to a device or a file.
inline std::string FormatV(const char* format, va_list args) VORN_PRINTF(1, 0);
inline std::string FormatV(const char* format, va_list args) {
    CLocaleScope cLocale;
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

inline std::string Format(const char* format, ...) VORN_PRINTF(1, 2);
inline std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

// True when `text` holds no control character (below 0x20, or 0x7F). A value with one
// would end a command line early and start another: such text is never sent.
inline bool IsPrintableLine(std::string_view text) {
    for (char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) return false;
    }
    return true;
}

// True when `text` holds only printable ASCII (0x20 to 0x7E), as every value an instrument
// sends does. Other bytes in a value are line noise (a burst at the wrong speed): such a
// value is damaged and is never kept as a setting.
inline bool IsPlainText(std::string_view text) {
    for (char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (code < 0x20 || code > 0x7E) return false;
    }
    return true;
}

// `text` made fit to be part of a file name on every platform: ASCII letters, digits, '-'
// and '_' stay, anything else (a path separator, a dot, a space, a byte from the line)
// becomes '_'. Empty stays empty.
std::string FileNameSafe(std::string_view text);

// `text` with line breaks and other control bytes written as escapes ("\\r", "\\n",
// "\\x1B"; tabs stay, and line feeds too when `keepLineFeeds`): text from devices, files
// or users shown on a terminal or written to the log can then neither start a line of its
// own nor drive the terminal.
std::string EscapeControls(std::string_view text, bool keepLineFeeds = false);
// `text` as a JSON string, quotes included: '"' and '\' escaped, control bytes as \u00XX.
std::string JsonString(std::string_view text);

// Reads a real number the way strtod does in the "C" locale, whatever the process's locale:
// white space, an optional sign, then decimal digits with "." and an exponent, "0x" and
// hexadecimal digits, "inf" or "nan". Returns how many characters of `text` it read; 0 when
// no number starts there, and then `value` is left alone. Out of range reads as +-HUGE_VAL
// or +-0, as strtod gives.
size_t ParseReal(std::string_view text, double* value);

}  // namespace vorn
