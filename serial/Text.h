#pragma once
// Bounded text fields: every field with a maximum length is stored through these, so a
// long device answer or file line is cut, never written past its field.
#include <cstddef>
#include <string>
#include <string_view>

namespace vorn {

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

}  // namespace vorn
