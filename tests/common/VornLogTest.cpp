#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/VornLog.h"
#include "support/TestSupport.h"

using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// n bytes of numbered lines, each "line NNNNN xxxx...\r\n" of 40 bytes.
std::string Lines(size_t n) {
    std::string text;
    for (int i = 0; text.size() < n; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "line %05d %-27s\r\n", i, "xxxxxxxxxxxxxxxxxxxxxxxxxx");
        text += line;
    }
    text.resize(n);
    return text;
}

}  // namespace

TEST(VornLogFormat, TimeStampHasNoLeadingZerosButTwoDigitMinutesAndSeconds) {
    EXPECT_EQ(VornLog::FormatLine(LocalTime(2026, 3, 3, 9, 5, 7), "COM3", "VSOpen ok"),
              "3 Mar 2026 9:05:07 - COM3: VSOpen ok\r\n");
    EXPECT_EQ(VornLog::FormatLine(LocalTime(2026, 12, 8, 23, 45, 18), "ErrorOK Told User:", "Boom"),
              "8 Dec 2026 23:45:18 - ErrorOK Told User:: Boom\r\n");
}

TEST(VornLogWrite, WritesOneFormattedLinePerCallAndReturnsItsLength) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    int n = log.Log(30, "COM3", "VSOpen successfully opened and configured comm port at %d baud", 9600);
    log.Log(1, "VornBSL", "second %s", "line");
    std::string text = ReadFile(dir.File("log.txt"));
    std::regex line(R"(\d{1,2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d{1,2}:\d\d:\d\d - )"
                    R"(COM3: VSOpen successfully opened and configured comm port at 9600 baud\r\n)"
                    R"(\d{1,2} \w{3} \d{4} \d{1,2}:\d\d:\d\d - VornBSL: second line\r\n)");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    EXPECT_EQ(static_cast<size_t>(n), text.find("\r\n") + 2);
}

TEST(VornLogWrite, FiltersByLevelWithoutCreatingTheFile) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 1);
    EXPECT_EQ(log.Log(30, "t", "detail"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("log.txt")));
    EXPECT_GT(log.Log(1, "t", "failure"), 0);

    ASSERT_TRUE(log.SetLevel(0));
    EXPECT_EQ(log.Log(1, "t", "silenced"), 0);
    ASSERT_TRUE(log.SetLevel(40));
    EXPECT_GT(log.Log(40, "t", "bytes"), 0);
    EXPECT_EQ(ReadFile(dir.File("log.txt")).find("silenced"), std::string::npos);
}

TEST(VornLogLevels, OnlyTheFiveLevelsAreAccepted) {
    VornLog odd("x.txt", 5);
    EXPECT_EQ(odd.Level(), 1u);
    VornLog log("x.txt", 30);
    EXPECT_FALSE(log.SetLevel(5));
    EXPECT_EQ(log.Level(), 30u);
    for (uint32_t level : {0u, 1u, 10u, 30u, 40u}) {
        EXPECT_TRUE(log.SetLevel(level));
        EXPECT_EQ(log.Level(), level);
    }
}

TEST(VornLogWrite, WithoutAPathWritesErrorTxtInTheCurrentFolder) {
    TempDir dir;
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    VornLog log;
    log.Log(1, "t", "here");
    std::filesystem::current_path(old);
    EXPECT_NE(ReadFile(dir.File("error.txt")).find("t: here\r\n"), std::string::npos);
}

TEST(VornLogWrite, ADeletedFileIsStartedAgainAndAMissingFolderDropsTheLine) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    log.Log(1, "t", "first");
    std::filesystem::remove(dir.File("log.txt"));
    log.Log(1, "t", "second");
    std::string text = ReadFile(dir.File("log.txt"));
    EXPECT_EQ(text.find("first"), std::string::npos);
    EXPECT_NE(text.find("second"), std::string::npos);

    VornLog nowhere(dir.File("missing/folder/log.txt"), 30);
    EXPECT_EQ(nowhere.Log(1, "t", "lost"), 0);
}

TEST(VornLogSize, ReportsTheSizeOrANegativeErrorForAMissingFile) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    EXPECT_LT(log.FileSize(), 0);
    WriteFile(dir.File("log.txt"), std::string(1234, 'a'));
    EXPECT_EQ(log.FileSize(), 1234);
}

TEST(VornLogKeepLast, AFileThatFitsIsLeftWhole) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    for (size_t size : {size_t(10000), size_t(32768)}) {
        std::string text = Lines(size);
        WriteFile(dir.File("log.txt"), text);
        EXPECT_TRUE(log.KeepLast(32768));
        EXPECT_EQ(ReadFile(dir.File("log.txt")), text) << size;
    }
}

TEST(VornLogKeepLast, ALargeFileKeepsItsTailFromALineStart) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    std::string text = Lines(100000);
    WriteFile(dir.File("log.txt"), text);
    ASSERT_TRUE(log.KeepLast(32768));
    std::string kept = ReadFile(dir.File("log.txt"));
    EXPECT_LE(kept.size(), 32768u);
    EXPECT_GT(kept.size(), 32768u - 40u);  // nothing more than the partial first line is lost
    EXPECT_EQ(kept.rfind("line ", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - kept.size()), kept);
    EXPECT_FALSE(std::filesystem::exists(dir.File("log.txt.temp")));
}

TEST(VornLogKeepLast, ACutThatFallsOnALineStartKeepsThatLine) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    std::string text = Lines(400);  // ten lines of 40 bytes
    WriteFile(dir.File("log.txt"), text);
    ASSERT_TRUE(log.KeepLast(120));
    EXPECT_EQ(ReadFile(dir.File("log.txt")), text.substr(280));
}

TEST(VornLogKeepLast, AStaleTemporaryFileIsNotPrepended) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    WriteFile(dir.File("log.txt.temp"), "stale leftovers\r\n");
    WriteFile(dir.File("log.txt"), Lines(4000));
    ASSERT_TRUE(log.KeepLast(1000));
    EXPECT_EQ(ReadFile(dir.File("log.txt")).find("stale"), std::string::npos);
}

TEST(VornLogKeepLast, AMissingFileAnswersFalse) {
    TempDir dir;
    VornLog log(dir.File("none.txt"), 30);
    EXPECT_FALSE(log.KeepLast(32768));
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));
}

// The log holds details of the user's instruments and sites: only its owner may read it,
// also when an older program left it readable by everyone.
TEST(VornLogPrivacy, TheLogIsOwnerOnlyFreshAppendedAndShortened) {
#ifdef _WIN32
    GTEST_SKIP() << "file modes and symbolic links are POSIX matters: on Windows the access list keeps the log private";
#endif
    TempDir dir;
    const std::string path = dir.File("log.txt");
    auto mode = [&] { return std::filesystem::status(path).permissions() & std::filesystem::perms::mask; };
    const auto ownerOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    const auto everyone = ownerOnly | std::filesystem::perms::group_read | std::filesystem::perms::others_read;
    VornLog log(path, 30);

    log.Log(1, "COM3", "fresh");
    EXPECT_EQ(mode(), ownerOnly);

    std::filesystem::permissions(path, everyone);
    log.Log(1, "COM3", "appended to an older log");
    EXPECT_EQ(mode(), ownerOnly);

    // The shortened copy must not land in a file someone else prepared under its name.
    WriteFile(path, Lines(4000));
    std::filesystem::permissions(path, everyone);
    WriteFile(dir.File("victim.txt"), "untouched");
    std::filesystem::create_symlink(dir.File("victim.txt"), path + ".temp");
    ASSERT_TRUE(log.KeepLast(1000));
    EXPECT_EQ(mode(), ownerOnly);
    EXPECT_EQ(ReadFile(dir.File("victim.txt")), "untouched");
    EXPECT_EQ(ReadFile(path), Lines(4000).substr(3000));
}

TEST(VornLogWrite, TextWithLineBreaksOrControlBytesCannotStartALineOfItsOwn) {
    TempDir dir;
    VornLog log(dir.File("log.txt"), 30);
    log.Log(1, "COM3", "answer %s", "OK\r\n9 Dec 2026 1:00:00 - Host: forged\x1b[31m\x7f\tend");
    const std::string text = ReadFile(dir.File("log.txt"));
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;  // one line
    EXPECT_NE(text.find("answer OK\\r\\n9 Dec 2026 1:00:00 - Host: forged\\x1B[31m\\x7F\tend\r\n"), std::string::npos)
        << text;
}
