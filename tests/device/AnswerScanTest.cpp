// Reading values out of device answers without a device: the scanners every setting and
// identity reader uses. Built for Windows too, where it runs under Wine.
#include <gtest/gtest.h>

#include <climits>

#include "device/AnswerScan.h"
#include "support/LocaleScope.h"

namespace scan = vorn::protocol::scan;

TEST(AnswerScan, ScanReadsByPatternAndStopsAtTheFirstMismatch) {
    struct Case {
        const char* text;
        const char* pattern;
        int read;
        int64_t first, second, third;
    };
    const Case cases[] = {
        {"2.04", "d.11", 3, 2, 0, 4},            // a version
        {" -17 x", "d", 1, -17, 0, 0},           // white space and a sign
        {"1.2", "d.11", 2, 1, 2, 0},             // cut short: what was read counts
        {"0x1F", "d", 1, 0, 0, 0},               // "0", then 'x' is not a digit
        {"1F 7", "x d", 2, 0x1F, 7, 0},          // hexadecimal, then decimal
        {"v1", "d", 0, 0, 0, 0},                 // nothing to read
        {"99999999999999999999999", "d", 1, int64_t{1} << 62, 0, 0},  // too long: held at 2^62, not wrapped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
        int64_t out[3] = {};
        EXPECT_EQ(scan::Scan(c.text, 0, c.pattern, out, 3), c.read);
        EXPECT_EQ(out[0], c.first);
        EXPECT_EQ(out[1], c.second);
        EXPECT_EQ(out[2], c.third);
    }
}

TEST(AnswerScan, WordsLinesAndClampsStayInsideTheAnswer) {
    EXPECT_EQ(scan::Word("  Kt72 2.04\r>", 0, 20), "Kt72");
    EXPECT_EQ(scan::Word("ABCDEFGHIJ", 0, 4), "ABCD");
    EXPECT_EQ(scan::Word("   ", 0, 4), "");
    EXPECT_EQ(scan::Word("short", 99, 4), "");  // past the end
    EXPECT_EQ(scan::UpToCR("\rRW 1.02\r>", scan::AfterFirstCR("\rRW 1.02\r>"), 64), "RW 1.02");
    EXPECT_EQ(scan::AfterFirstCR("no line end"), 0u);
    EXPECT_EQ(scan::SkipSpace(" \t\r\nx"), 4u);
    EXPECT_EQ(scan::ClampInt32(int64_t{INT32_MAX} + 1), INT32_MAX);
    EXPECT_EQ(scan::ClampInt32(int64_t{INT32_MIN} - 1), INT32_MIN);
}

TEST(AnswerScan, RealsAreReadWithAPointWhateverTheLocale) {
    vorn::test::LocaleScope locale(vorn::test::kCommaLocale);
    ASSERT_TRUE(locale.Active());
    double value = 0;
    ASSERT_TRUE(scan::Real(" +46.72000\r>", 0, &value));
    EXPECT_DOUBLE_EQ(value, 46.72);
    EXPECT_FALSE(scan::Real("north", 0, &value));
    EXPECT_DOUBLE_EQ(value, 46.72);  // left alone
}

// A refusal is a line of its own; a value that holds a '?' or the words is an answer.
TEST(AnswerScan, ARefusalIsALineThatStartsWithIt) {
    const std::pair<const char*, bool> cases[] = {
        {"\rERROR\r>", true},          {"\r\nERROR: bad value\r>", true}, {"\r?\r>", true},
        {"\rUnsupported command\r>", true}, {"\r  Error\r>", false},     {"\rwhy?not\r>", false},
        {"\rPlot ERROR-free\r>", false}, {"\rOK\r>", false},             {"", false},
        {"\rsecret?\r>", false},
    };
    for (const auto& [answer, refused] : cases)
        EXPECT_EQ(vorn::protocol::scan::IsErrorAnswer(answer), refused) << answer;
}
