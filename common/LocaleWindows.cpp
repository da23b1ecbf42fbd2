// The "C" locale scope on Windows. Where the C runtime can give each thread its own locale
// (_configthreadlocale), the scope changes only the calling thread's numbers. The system
// msvcrt.dll that mingw-w64 links against cannot (its _configthreadlocale always answers
// -1): there the process's numeric locale itself is "C" for the scope and given back at its
// end. That is safe because the updater's core runs on one thread; nothing else formats
// numbers while it does.
#include "common/Locale.h"

#include <locale.h>

#include <cstring>
#include <string>

namespace vorn {
namespace {

// What the scope gives back.
struct Previous {
    int threadMode;           // what _configthreadlocale reported before; -1: not per thread
    std::string numericName;  // LC_NUMERIC before
};

}  // namespace

CLocaleScope::CLocaleScope() {
    const int mode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    const char* name = setlocale(LC_NUMERIC, nullptr);
    if (name && std::strcmp(name, "C") == 0) {  // nothing to change
        if (mode != -1) _configthreadlocale(mode);
        return;
    }
    auto* previous = new Previous{mode, name ? name : "C"};
    if (!setlocale(LC_NUMERIC, "C")) {
        if (mode != -1) _configthreadlocale(mode);
        delete previous;
        return;
    }
    previous_ = previous;
}

CLocaleScope::~CLocaleScope() {
    auto* previous = static_cast<Previous*>(previous_);
    if (!previous) return;
    setlocale(LC_NUMERIC, previous->numericName.c_str());
    if (previous->threadMode != -1) _configthreadlocale(previous->threadMode);
    delete previous;
}

}  // namespace vorn
