// The platform seams behind the shared helpers (common/FilesPlatform.h, TimePlatform.h):
// what every backend must answer, checked on this platform's one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "common/FilesPlatform.h"
#include "common/TimePlatform.h"
#include "support/TestSupport.h"

using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;
namespace platform = vorn::platform;

namespace {

// Sets an environment variable (or removes it, for nullopt) for the life of the object.
class EnvScope {
public:
    EnvScope(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
        tzset();
    }
    ~EnvScope() {
        if (saved_)
            setenv(name_, saved_->c_str(), 1);
        else
            unsetenv(name_);
        tzset();
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST(PlatformFiles, WritesPrivatelyAndAnswersZero) {
    TempDir dir;
    const std::string path = dir.File("settings.txt");
    WriteFile(path, "old");
    ASSERT_EQ(platform::WriteFilePrivately(path, "new text\r\n"), 0);
    EXPECT_EQ(ReadFile(path), "new text\r\n");
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
#ifndef _WIN32
    EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
    // Nothing but the file itself is left in the folder.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1u);
#ifdef _WIN32
    GTEST_SKIP() << "owner-only mode not checked: Windows file modes have no group or others bits (the access list keeps others out)";
#endif
}

TEST(PlatformFiles, AFailedWriteAnswersTheNegatedError) {
    TempDir dir;
    EXPECT_EQ(platform::WriteFilePrivately(dir.File("no/such/folder.txt"), "x"), -ENOENT);
}

TEST(PlatformFiles, UserDataFolderBaseFollowsXdgThenHome) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the base is the application-data folder; XDG_DATA_HOME and HOME are not asked";
#endif
    {
        EnvScope xdg("XDG_DATA_HOME", "/data/xdg");
        EnvScope home("HOME", "/home/someone");
        EXPECT_EQ(platform::UserDataFolderBase(), "/data/xdg");
    }
    {
        // A relative XDG_DATA_HOME is not to be used.
        EnvScope xdg("XDG_DATA_HOME", "relative/data");
        EnvScope home("HOME", "/home/someone");
        EXPECT_EQ(platform::UserDataFolderBase(), "/home/someone/.local/share");
    }
    {
        EnvScope xdg("XDG_DATA_HOME", std::nullopt);
        EnvScope home("HOME", "");
        EXPECT_EQ(platform::UserDataFolderBase(), "");
    }
}

TEST(PlatformFiles, FolderIsWritable) {
    TempDir dir;
    EXPECT_TRUE(platform::FolderIsWritable(dir.Path().string()));
    EXPECT_FALSE(platform::FolderIsWritable(dir.File("missing")));
}

TEST(PlatformTime, LocalAndUtcTimesFollowTheZone) {
    EnvScope tz("TZ", "EST5");  // UTC-5 all year
    const std::time_t t = 946684800 + 12 * 3600;  // 2000-01-01 12:00:00 UTC
    const std::tm utc = platform::UtcTime(t);
    EXPECT_EQ(utc.tm_year, 100);
    EXPECT_EQ(utc.tm_mon, 0);
    EXPECT_EQ(utc.tm_mday, 1);
    EXPECT_EQ(utc.tm_hour, 12);
    const std::tm local = platform::LocalTime(t);
    EXPECT_EQ(local.tm_mday, 1);
    EXPECT_EQ(local.tm_hour, 7);
    EXPECT_EQ(platform::UtcOffsetSeconds(t), -5 * 3600);
}

TEST(PlatformTime, OffsetIncludesDaylightSaving) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows C runtime's TZ takes no POSIX daylight-saving rules (M3.5.0,M10.5.0/3)";
#endif
    EnvScope tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    const std::time_t winter = 946684800;            // 2000-01-01
    const std::time_t summer = 946684800 + 182 * 86400;  // 2000-07-01
    EXPECT_EQ(platform::UtcOffsetSeconds(winter), 3600);
    EXPECT_EQ(platform::UtcOffsetSeconds(summer), 7200);
    EXPECT_EQ(platform::LocalTime(summer).tm_isdst, 1);
}
