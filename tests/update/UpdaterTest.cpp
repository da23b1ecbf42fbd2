// The updater's path rules, which the window and the CLI share: where the per-user folder,
// the log and the settings file are, and which firmware the next update loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/VornLog.h"
#include "support/TestSupport.h"
#include "update/Updater.h"
#include "update/UserFolder.h"

using namespace vorn::test;
using vorn::update::Updater;
using vorn::update::UpdaterSetup;

namespace {

// XDG_DATA_HOME for the life of the object.
class DataHome {
public:
    explicit DataHome(const std::string& value) {
        if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old, had_ = true;
        setenv("XDG_DATA_HOME", value.c_str(), 1);
    }
    ~DataHome() { had_ ? setenv("XDG_DATA_HOME", old_.c_str(), 1) : unsetenv("XDG_DATA_HOME"); }

private:
    std::string old_;
    bool had_ = false;
};

}  // namespace

TEST(UpdaterPaths, FolderLogAndSettingsFileFollowOneRule) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the per-user folder lies under the application-data folder, not XDG_DATA_HOME";
#endif
    TempDir dir;
    const std::string program = dir.File("program");
    struct Case {
        const char* name;
        std::string dataHome;
        std::string logOption;
        std::string folder, log;
    };
    const std::string perUser = dir.File("data") + "/Vornell/VornBSL";
    const Case cases[] = {
        {"per-user folder", dir.File("data"), "", perUser, perUser + "/Vornell Firmware Updater.errors.txt"},
        {"a log of its own", dir.File("data"), dir.File("my.log"), perUser, dir.File("my.log")},
        {"no folder to be had", "/proc/vornbsl-cannot-be-created", "", program,
         program + "/Vornell Firmware Updater.errors.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataHome home(c.dataHome);
        Updater updater(UpdaterSetup::ForThisUser(program, VornLog::kDetails, c.logOption));
        EXPECT_EQ(updater.UserFolder(), c.folder);
        EXPECT_EQ(updater.ErrorLogPath(), c.log);
        EXPECT_EQ(updater.Log().Level(), VornLog::kDetails);
        EXPECT_EQ(updater.SettingsPath(), c.folder + "/Instrument.settings.txt");
    }
    // The per-user folder is the user's own.
    EXPECT_EQ(std::filesystem::status(perUser).permissions() & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}

TEST(UpdaterFirmware, TheSettingsFileIsNamedForTheLoadedFamilyAndAFailedLoadKeepsTheLastGoodOne) {
    TempDir dir;
    DataHome home(dir.File("data"));
    Updater updater(UpdaterSetup::ForThisUser(dir.File("program"), VornLog::kDetails));
    EXPECT_EQ(updater.Firmware().family, UNKNOWN);

    WriteFile(dir.File("good.txt"), "@C000\n31 40 00 0A\n@FFFE\n00 C0\nq\n");
    ASSERT_EQ(updater.LoadFirmware(dir.File("good.txt"), "Updater").status, 1);
    EXPECT_EQ(updater.Firmware().family, RW);
#ifndef _WIN32
    EXPECT_EQ(updater.SettingsPath(), updater.UserFolder() + "/Readwell.settings.txt");
#endif

    WriteFile(dir.File("bad.txt"), "not a firmware file\n");
    EXPECT_LT(updater.LoadFirmware(dir.File("bad.txt"), "Updater").status, 0);
    EXPECT_EQ(updater.Firmware().fileName, "good.txt");
#ifndef _WIN32
    EXPECT_EQ(updater.SettingsPath(), updater.UserFolder() + "/Readwell.settings.txt");
#else
    GTEST_SKIP() << "settings file name not checked: on Windows the updater joins its paths with '\\', the names expected here with '/'";
#endif
}

// A device's text in a file name can turn into no other folder and no hidden file, and
// the folder's own settings files are told from others.
TEST(UpdaterPaths, DeviceTextsMakeSafeFileNamesAndOwnFilesAreKnown) {
#ifdef _WIN32
    GTEST_SKIP() << "the names expected here are joined with '/'";
#endif
    const std::pair<std::string, std::string> parts[] = {
        {"RW-10234", "RW-10234"},
        {"../../etc/x", "______etc_x"},
        {".hidden\r\n", "_hidden__"},
        {"", "none"},
        {std::string(60, 'S'), std::string(vorn::update::kFileNamePartMax, 'S')},
    };
    for (const auto& [text, part] : parts) EXPECT_EQ(vorn::update::FileNamePart(text), part) << text;

    TempDir dir;
    const std::string folder = dir.Path().string();
    EXPECT_TRUE(vorn::update::IsOwnSettingsFile(folder, dir.File("Readwell.settings.txt")));
    EXPECT_TRUE(vorn::update::IsOwnSettingsFile(folder + "/", dir.File("Readwell.sn-RW-1.20261210-043720.settings.txt")));
    EXPECT_FALSE(vorn::update::IsOwnSettingsFile(folder, dir.File("sub/Readwell.settings.txt")));
    EXPECT_FALSE(vorn::update::IsOwnSettingsFile(folder, dir.File("notes.txt")));
    EXPECT_FALSE(vorn::update::IsOwnSettingsFile(dir.File("other"), dir.File("Readwell.settings.txt")));
}

// The diagnostic log keeps its own limit on disk: an updater that finds it past the limit
// keeps its last part, from a line start; a log within it is left whole.
TEST(UpdaterLog, ALogPastItsLimitKeepsItsLastPart) {
    vorn::test::TempDir dir;
    const std::string path = dir.File("updater.log");
    std::string line(99, 'x');
    line += "\n";
    std::string text;
    while (text.size() <= static_cast<size_t>(vorn::update::kLogFileMaxBytes)) text += line;
    text += "the last line\n";
    vorn::test::WriteFile(path, text);
    { Updater updater(UpdaterSetup::ForThisUser(dir.File("program"), VornLog::kDetails, path)); }
    const std::string kept = vorn::test::ReadFile(path);
    EXPECT_LE(kept.size(), static_cast<size_t>(vorn::update::kLogFileKeptBytes));
    EXPECT_GT(kept.size(), static_cast<size_t>(vorn::update::kLogFileKeptBytes) - line.size());
    EXPECT_TRUE(text.ends_with(kept));
    EXPECT_EQ(kept.rfind("the last line\n"), kept.size() - 14);

    vorn::test::WriteFile(path, "short\n");
    { Updater updater(UpdaterSetup::ForThisUser(dir.File("program"), VornLog::kDetails, path)); }
    EXPECT_EQ(vorn::test::ReadFile(path), "short\n");
}
