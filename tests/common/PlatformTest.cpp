// The platform seams behind the shared helpers (common/FilesPlatform.h, TimePlatform.h):
// what every backend must answer, checked on this platform's one.
#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/FilesPlatform.h"
#include "common/TimePlatform.h"
#include "support/TestSupport.h"
#include "support/ZoneCases.h"

using vorn::test::EnvScope;
using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;
namespace platform = vorn::platform;

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

TEST(PlatformLock, ALockIsOneHoldersAndItsFileGoesWithIt) {
    TempDir dir;
    const std::string path = dir.File("ttyUSB0.lock");
    const intptr_t held = platform::LockFileExclusive(path, "an update holds this\n");
    ASSERT_GE(held, 0);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(platform::LockFileExclusive(path, "a second update\n"), -EBUSY);
    platform::UnlockFile(held, path);
    EXPECT_FALSE(std::filesystem::exists(path));
    const intptr_t again = platform::LockFileExclusive(path, "the next update\n");
    EXPECT_GE(again, 0);
    platform::UnlockFile(again, path);
    EXPECT_FALSE(std::filesystem::exists(path));
}

#ifndef _WIN32
// A file that took the name after ours lost it belongs to whoever made it.
TEST(PlatformLock, ReleasingLeavesANewerFileOfTheSameName) {
    TempDir dir;
    const std::string path = dir.File("ttyUSB0.lock");
    const intptr_t held = platform::LockFileExclusive(path, "first\n");
    ASSERT_GE(held, 0);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    WriteFile(path, "someone else's\n");
    platform::UnlockFile(held, path);
    EXPECT_EQ(ReadFile(path), "someone else's\n");
}
#endif

namespace {

// Takes the lock at `path` `rounds` times, each time proving that nobody else holds it
// meanwhile: only one holder at a time can create the marker. 0 when all went well; 1
// when the lock was held twice at once, 2 when it failed, 3 when the rounds took too long.
int TakeTurns(const std::string& path, const std::string& marker, int rounds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int taken = 0; taken < rounds;) {
        if (std::chrono::steady_clock::now() > deadline) return 3;
        const intptr_t held = platform::LockFileExclusive(path, "a turn\n");
        if (held == -EBUSY) {
            std::this_thread::yield();
            continue;
        }
        if (held < 0) return 2;
        std::FILE* inside = platform::CreatePrivateExclusive(marker);
        if (!inside) {
            platform::UnlockFile(held, path);
            return 1;
        }
        std::fclose(inside);
        std::remove(marker.c_str());
        platform::UnlockFile(held, path);
        ++taken;
    }
    return 0;
}

}  // namespace

// The holder removes the file as it lets go, while the other may have it open already:
// the other must then find the name gone instead of holding a lock on a removed file.
TEST(PlatformLock, TwoTakingTurnsNeverHoldItAtOnce) {
    TempDir dir;
    const std::string path = dir.File("port.lock");
    const std::string marker = dir.File("inside");
    constexpr int kRounds = 200;
    std::vector<int> outcomes;
#ifdef _WIN32
    // A second open of the file is refused whichever process makes it: threads will do.
    int first = -1, second = -1;
    std::thread a([&] { first = TakeTurns(path, marker, kRounds); });
    std::thread b([&] { second = TakeTurns(path, marker, kRounds); });
    a.join();
    b.join();
    outcomes = {first, second};
#else
    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(TakeTurns(path, marker, kRounds));
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        outcomes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
#endif
    EXPECT_EQ(outcomes, (std::vector<int>{0, 0})) << "1: held twice at once, 2: failed, 3: too slow";
    EXPECT_FALSE(std::filesystem::exists(path));
}

// What OpenPrivateAppend finds at the path: only a regular file of this user (or none)
// is written, and whatever else is there, or behind it, stays as it was.
TEST(PlatformAppend, OnlyAFileOfThisUserIsAppendedTo) {
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string elsewhere = dir.File("elsewhere.txt");
    WriteFile(elsewhere, "not the log\n");
    // A link: false when this system cannot make one (Wine has no symbolic links).
    auto link = [](const std::string& target, const std::string& at) {
        std::error_code ec;
        fs::create_symlink(target, at, ec);
        return !ec;
    };
    struct Case {
        const char* what;
        std::function<bool(const std::string&)> make;  // false when it cannot be made here
        std::string before;                            // the log's text before, when it opens
        bool opens;
        bool needsRoot;
    };
    const std::vector<Case> cases = {
        {"nothing there", [](const std::string&) { return true; }, "", true, false},
        {"an older log of ours, open to others",
         [](const std::string& log) {
             WriteFile(log, "older\n");
             fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                      fs::perms::others_read);
             return true;
         },
         "older\n", true, false},
        {"a link to another file", [&](const std::string& log) { return link(elsewhere, log); }, "", false, false},
        {"a link to nothing yet", [&](const std::string& log) { return link(dir.File("planted.txt"), log); }, "", false,
         false},
        {"a folder", [](const std::string& log) { return fs::create_directory(log); }, "", false, false},
#ifndef _WIN32
        {"a FIFO", [](const std::string& log) { return mkfifo(log.c_str(), 0600) == 0; }, "", false, false},
        {"another user's file",
         [](const std::string& log) {
             WriteFile(log, "theirs\n");
             return chmod(log.c_str(), 0666) == 0 && chown(log.c_str(), 65534, 65534) == 0;
         },
         "", false, true},
#endif
    };
    std::string notMade;
    int n = 0;
    for (const Case& c : cases) {
#ifndef _WIN32
        if (c.needsRoot && geteuid() != 0) continue;
#endif
        const std::string log = dir.File("log" + std::to_string(++n) + ".txt");
        if (!c.make(log)) {
            notMade += std::string(notMade.empty() ? "" : ", ") + c.what;
            continue;
        }
        std::FILE* file = platform::OpenPrivateAppend(log);
        EXPECT_EQ(file != nullptr, c.opens) << c.what;
        if (file) {
            std::fputs("appended\n", file);
            std::fclose(file);
            EXPECT_EQ(ReadFile(log), c.before + "appended\n") << c.what;
#ifndef _WIN32
            struct stat st{};
            ASSERT_EQ(stat(log.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u) << c.what;
#endif
        }
        EXPECT_EQ(ReadFile(elsewhere), "not the log\n") << c.what;
        EXPECT_FALSE(fs::exists(dir.File("planted.txt"))) << c.what;
    }
    if (notMade.empty()) return;
#ifdef _WIN32
    GTEST_SKIP() << "cannot be made here, so not tried: " << notMade;
#else
    ADD_FAILURE() << "cannot be made: " << notMade;
#endif
}

#ifndef _WIN32
TEST(OrdinaryUser, PassesEveryLockAndAppendTest) {
    if (!vorn::test::RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(vorn::test::PassedEveryTest(vorn::test::RunAgainAsOrdinaryUser("PlatformLock.*:PlatformAppend.*")));
}
#endif

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

TEST(PlatformTime, OffsetIsWhatTheZoneDatabaseSays) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows C runtime's TZ takes no zone names (Europe/Dublin)";
#endif
    for (const vorn::test::ZoneOffset& z : vorn::test::kZoneOffsets) {
        SCOPED_TRACE(std::string(z.zone) + " at " + std::to_string(z.at));
        if (!vorn::test::HaveZone(z.zone)) continue;
        EnvScope tz("TZ", z.zone);
        EXPECT_EQ(platform::UtcOffsetSeconds(z.at), z.offset);
    }
}
