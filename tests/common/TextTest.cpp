// Numbers as text in a locale whose decimal sign is a comma, as the window's process has on a
// German desktop: formatted and read with "." all the same.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "common/TableFormat.h"
#include "common/Text.h"
#include "support/LocaleScope.h"

using vorn::test::kCommaLocale;
using vorn::test::LocaleScope;

namespace {

// The C library's own formatting in the thread's locale, as the reference the tests
// compare with. Here, and in the test below, the formats come from the tests' tables.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string CLibraryFormat(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

TEST(FormatInTheCLocale, DecimalPointWhateverTheLocaleAndTheLocaleIsGivenBack) {
    struct Case {
        const char* format;
        double value;
        const char* expected;
    };
    const Case cases[] = {
        {"%+.5f", 46.72, "+46.72000"},
        {"%+.5f", -117.015, "-117.01500"},
        {"%.2f", -0.5, "-0.50"},
        {"%g", 1.5e-7, "1.5e-07"},
        {"lat=\"%+.5f\"", 0.0, "lat=\"+0.00000\""},
    };
    LocaleScope locale(kCommaLocale);
    ASSERT_TRUE(locale.Active());
    ASSERT_EQ(CLibraryFormat("%.1f", 0.5), "0,5");  // the locale really has a decimal comma
    for (const Case& c : cases) {
        EXPECT_EQ(vorn::Format(c.format, c.value), c.expected) << c.format;
        // The thread keeps its own locale outside the formatter.
        EXPECT_EQ(CLibraryFormat("%.1f", 0.5), "0,5") << c.format;
    }
}
#pragma GCC diagnostic pop

// A table's format filled as printf would, in the "C" locale, and never past its arguments.
TEST(TableFormatFill, FillsEachConversionWithItsArgumentWhateverTheLocale) {
    constexpr vorn::TableFormat kLatitude = "set -lat %+.5f\r";
    constexpr vorn::TableFormat kFound = "SiteCommand found site name \"%s\" (%d ms)";
    constexpr vorn::TableFormat kFive = "set -ports %d %d %d %d %d\r";
    constexpr vorn::TableFormat kLong = "set tau to \"%ld\" (%d ms), 100%% done";
    static_assert(kLatitude.Args() == "f" && kFound.Args() == "sd" && kFive.Args() == "ddddd" && kLong.Args() == "dd");
    static_assert(!vorn::TableFormat().Present());
    const uint8_t port = 255;
    LocaleScope locale(kCommaLocale);
    ASSERT_TRUE(locale.Active());
    struct Case {
        std::string got, expected;
    };
    const Case cases[] = {
        {kLatitude.Fill({-117.015}), "set -lat -117.01500\r"},
        {kLatitude.Fill({0.0}), "set -lat +0.00000\r"},
        {kFound.Fill({std::string("North 5% \"A\""), 12}), "SiteCommand found site name \"North 5% \"A\"\" (12 ms)"},
        {kFive.Fill({1, 2, 3, 4, port}), "set -ports 1 2 3 4 255\r"},
        {kLong.Fill({int64_t{-2147483648LL}, 7}), "set tau to \"-2147483648\" (7 ms), 100% done"},
        // Fewer arguments than conversions: the rest stay empty, nothing is read past them.
        {kFound.Fill({"x"}), "SiteCommand found site name \"x\" ( ms)"},
        // An argument of another kind is written as what it is.
        {kFound.Fill({3, 4}), "SiteCommand found site name \"3\" (4 ms)"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
    const vorn::FormatOf<int, int> typed = "set rch to %d (%d ms)";
    EXPECT_EQ(typed(7, 30), "set rch to 7 (30 ms)");
}

TEST(ParseRealInTheCLocale, ReadsAPointWhateverTheLocale) {
    struct Case {
        const char* text;
        size_t used;      // 0: no number
        double expected;  // when a number was read
    };
    const Case cases[] = {
        {"+46.72000", 9, 46.72},
        {"-0.5", 4, -0.5},
        {" 12.25", 6, 12.25},
        {"-117.01500\r>", 10, -117.015},
        {"+46.73000\"\r\n", 9, 46.73},  // a settings file value ends at its quote
        {"46,72", 2, 46},               // a comma ends the number, as in the C locale
        {"1e3x", 3, 1000},
        {"north", 0, 0},
        {"", 0, 0},
        {"+", 0, 0},
    };
    LocaleScope locale(kCommaLocale);
    ASSERT_TRUE(locale.Active());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        double value = -12345;
        const size_t used = vorn::ParseReal(c.text, &value);
        EXPECT_EQ(used, c.used);
        EXPECT_DOUBLE_EQ(value, used == 0 ? -12345 : c.expected);  // left alone without a number
    }
}
