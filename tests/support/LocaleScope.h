#pragma once
// The C library's locale for the length of a test, as QApplication sets it from the user's
// environment: numbers on the wire, in the settings file and in the log must not follow it.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace vorn::test {

// A locale whose decimal sign is a comma; scripts/setup.sh generates it (Windows has it).
#ifdef _WIN32
inline constexpr const char* kCommaLocale = "German_Germany.1252";
#else
inline constexpr const char* kCommaLocale = "de_DE.UTF-8";
#endif

// Sets LC_ALL to `name` and restores the previous locale when it goes. Set it before any
// simulator thread starts and let it go after they stop (declare it first): setlocale is
// not safe against other threads formatting at the same time. A null name keeps the
// process's own locale, so tables can run a case both ways.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : name_(name ? name : "") {
        const char* current = std::setlocale(LC_ALL, nullptr);
        previous_ = current ? current : "C";
        active_ = !name || std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_ALL, previous_.c_str()); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

    // Fails, rather than skips, when the locale is missing: a skipped case would hide the very
    // fault it is there to catch.
    ::testing::AssertionResult Active() const {
        if (active_) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the C library has no locale \"" << name_
                                             << "\": run scripts/setup.sh, which generates it";
    }
    // For SCOPED_TRACE and test names.
    std::string Name() const { return name_.empty() ? std::string("process locale") : name_; }

private:
    std::string name_;
    std::string previous_;
    bool active_ = false;
};

}  // namespace vorn::test
