#include "common/Text.h"

#include <cstdlib>

namespace vorn {

std::string EscapeControls(std::string_view text, bool keepLineFeeds) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += keepLineFeeds ? "\n" : "\\n";
        else if ((code < 0x20 && c != '\t') || code == 0x7F) out += Format("\\x%02X", code);
        else out += c;
    }
    return out;
}

size_t ParseReal(std::string_view text, double* value) {
    const std::string bounded(text);  // strtod reads up to a terminating zero
    CLocaleScope cLocale;
    char* end = nullptr;
    const double parsed = std::strtod(bounded.c_str(), &end);
    if (end == bounded.c_str()) return 0;
    *value = parsed;
    return static_cast<size_t>(end - bounded.c_str());
}

std::string FileNameSafe(std::string_view text) {
    std::string name(text);
    for (char& c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (!plain) c = '_';
    }
    return name;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += Format("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace vorn
