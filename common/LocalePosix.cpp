// The "C" locale scope on POSIX: a per-thread locale, so other threads (the simulator's, in
// the tests) keep theirs and setlocale is never called.
#include "common/Locale.h"

#include <locale.h>

namespace vorn {
namespace {

// Made once and kept for the life of the process; uselocale only reads it.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

}  // namespace

CLocaleScope::CLocaleScope() {
    if (locale_t c = CLocale()) previous_ = uselocale(c);  // null when uselocale fails
}

CLocaleScope::~CLocaleScope() {
    if (previous_) uselocale(static_cast<locale_t>(previous_));
}

}  // namespace vorn
