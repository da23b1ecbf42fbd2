#include "window/ComputerInfo.h"

namespace vorn::feedback {

std::string FormatComputerInformation(const std::string& name, const std::string& servicePack, unsigned major,
                                      unsigned minor, unsigned build) {
    return name + servicePack + " (Version " + std::to_string(major) + "." + std::to_string(minor) + " build " +
           std::to_string(build) + ")";
}

KernelRelease ParseKernelRelease(std::string_view release) {
    // Only the leading dotted numbers count: "6.1.0-18-amd64" stops at the hyphen.
    KernelRelease out;
    unsigned* parts[] = {&out.major, &out.minor, &out.patch};
    int part = 0;
    std::string digits;
    auto flush = [&] {
        if (part < 3) *parts[part] = digits.empty() || digits.size() > 9 ? 0 : static_cast<unsigned>(std::stoul(digits));
        digits.clear();
        ++part;
    };
    for (char c : release) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' && !digits.empty()) {
            flush();
            if (part >= 3) return out;
        } else {
            break;
        }
    }
    if (!digits.empty()) flush();
    return out;
}

std::string PrettyName(std::string_view osRelease) {
    constexpr std::string_view kKey = "PRETTY_NAME=";
    while (!osRelease.empty()) {
        const size_t end = osRelease.find('\n');
        std::string_view line = osRelease.substr(0, end);
        osRelease = end == std::string_view::npos ? std::string_view{} : osRelease.substr(end + 1);
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') && line.back() == line.front())
            line = line.substr(1, line.size() - 2);
        return std::string(line);
    }
    return {};
}

}  // namespace vorn::feedback
