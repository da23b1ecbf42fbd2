#pragma once
// The "C" locale for the calling thread while numbers are formatted. QApplication gives the
// C library the user's locale, whose decimal sign may be a comma; numbers on the wire, in
// files and in the log always use ".". One implementation file per platform.

namespace vorn {

class CLocaleScope {
public:
    CLocaleScope();   // the calling thread uses the "C" locale from here
    ~CLocaleScope();  // and the locale it had before from here on
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    void* previous_ = nullptr;  // the platform's handle of the locale to give back; null: none taken
};

}  // namespace vorn
