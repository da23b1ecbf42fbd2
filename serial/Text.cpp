#include "serial/Text.h"

#include <cstdlib>

namespace vorn {

size_t ParseReal(std::string_view text, double* value) {
    const std::string bounded(text);  // strtod reads up to a terminating zero
    CLocaleScope cLocale;
    char* end = nullptr;
    const double parsed = std::strtod(bounded.c_str(), &end);
    if (end == bounded.c_str()) return 0;
    *value = parsed;
    return static_cast<size_t>(end - bounded.c_str());
}

}  // namespace vorn
