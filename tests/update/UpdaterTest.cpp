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

// Kept settings files of other units: a name per serial number that no device text can
// turn into another folder or a hidden file, found again by family.
TEST(UpdaterPaths, KeptSettingsFilesAreNamedForTheirSerialNumberAndFoundAgain) {
#ifdef _WIN32
    GTEST_SKIP() << "the names expected here are joined with '/'";
#endif
    TempDir dir;
    const std::string folder = dir.Path().string();
    struct Case {
        std::string serial;
        int copy;
        std::string name;
    };
    const Case cases[] = {
        {"RW-10234", 1, "Readwell.sn-RW-10234.settings.txt"},
        {"RW-10234", 2, "Readwell.sn-RW-10234-2.settings.txt"},
        {"../../etc/x", 1, "Readwell.sn-______etc_x.settings.txt"},
        {".hidden\r\n", 1, "Readwell.sn-_hidden__.settings.txt"},
        {"", 1, "Readwell.sn-none.settings.txt"},
        {std::string(60, 'S'), 1, "Readwell.sn-" + std::string(vorn::update::kKeptSerialMax, 'S') + ".settings.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        EXPECT_EQ(vorn::update::KeptSettingsFilePath(folder, "Readwell", c.serial, c.copy), folder + "/" + c.name);
        WriteFile(folder + "/" + c.name, "kept");
    }
    WriteFile(dir.File("Readwell.settings.txt"), "the family's own");
    WriteFile(dir.File("Kt72.sn-VL-1.settings.txt"), "another family");
    const std::vector<std::string> kept = vorn::update::KeptSettingsFiles(folder, "Readwell");
    ASSERT_EQ(kept.size(), std::size(cases));
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));
    EXPECT_EQ(kept.front(), folder + "/Readwell.sn-RW-10234-2.settings.txt");

    EXPECT_TRUE(vorn::update::IsOwnSettingsFile(folder, dir.File("Readwell.settings.txt")));
    EXPECT_TRUE(vorn::update::IsOwnSettingsFile(folder + "/", kept.back()));
    EXPECT_FALSE(vorn::update::IsOwnSettingsFile(folder, dir.File("sub/Readwell.settings.txt")));
    EXPECT_FALSE(vorn::update::IsOwnSettingsFile(folder, dir.File("notes.txt")));
    EXPECT_FALSE(vorn::update::IsOwnSettingsFile(dir.File("other"), dir.File("Readwell.settings.txt")));
}
