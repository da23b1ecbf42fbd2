// vornbsl-cli as scripts use it: a real process, its output and exit status, and what
// the simulated instrument holds afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "e2e/E2ESupport.h"
#include "serial/VornSerial.h"
#include "support/TestSupport.h"

using namespace vorn::test;

namespace {

// What a run printed, stdout and stderr together, and its exit status.
struct CliRun : ProgramRun {
    CliRun(ProgramRun run) : ProgramRun(std::move(run)) {}
    std::string LastLine() const {
        std::string t = output;
        while (!t.empty() && t.back() == '\n') t.pop_back();
        return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
    }
};

// The program under test, or the copy an ordinary user's run was given.
std::string CliPath() {
    const char* carried = std::getenv("VORN_CLI_PATH");
    return carried ? carried : VORN_CLI;
}

class CliTest : public ::testing::Test {
protected:
    CliRun Cli(const std::string& args) {
        return RunCommand("XDG_DATA_HOME='" + dir.File("data") + "' XDG_RUNTIME_DIR='" + dir.Path().string() + "' '" +
                          CliPath() + "' " + args);
    }
    std::string Folder() const { return dir.File("data") + "/Vornell/VornBSL"; }

    TempDir dir;
};

}  // namespace

TEST_F(CliTest, UpdatesAReadwellAndSaysSo) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    CliRun run = Cli("--port " + sim.Port() + " --firmware '" + SampleFirmwarePath() + "' --yes");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Newer Firmware: The firmware in your Readwell\n"), std::string::npos);
    EXPECT_NE(run.output.find("(answered OK: --yes)"), std::string::npos);
    EXPECT_NE(run.output.find("Successfully updated firmware in "), std::string::npos);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, ReadTiText(ReadFile(SampleFirmwarePath()))));
    EXPECT_EQ(after.settings, before.settings);
    // The window's log and settings file names, in the same per-user folder.
    EXPECT_NE(ReadFile(Folder() + "/Vornell Firmware Updater.errors.txt").find("Finished updating device in "),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/Readwell.settings.txt"));
    // Owner-only: the folder and the log hold the user's instruments and sites.
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(Folder()).permissions() & fs::perms::mask, fs::perms::owner_all);
    EXPECT_EQ(fs::status(Folder() + "/Vornell Firmware Updater.errors.txt").permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(CliTest, AQuestionWithoutATerminalOrYesIsCancelled) {
    SimInstrument sim("RW", 102);
    CliRun run = Cli("--port " + sim.Port() + " --firmware '" + SampleFirmwarePath() + "' --log '" + dir.File("own.log") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("(answered Cancel: no terminal to ask and no --yes)"), std::string::npos);
    EXPECT_EQ(run.LastLine(), "result -40");
    EXPECT_TRUE(std::filesystem::exists(dir.File("own.log")));
    EXPECT_EQ(sim.Transcript().find("boot ZELK"), std::string::npos);
}

TEST_F(CliTest, APortInUseEndsWithItsBoxAndResult) {
    SimInstrument sim("RW", 102);
    VornSerial holder(nullptr);
    ASSERT_EQ(holder.VSOpen(sim.Port(), 9600), 1);
    CliRun run = Cli("--port " + sim.Port() + " --firmware '" + SampleFirmwarePath() + "' --yes");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Connection Error: Comm Port \"" + sim.Port() + "\" is already in use by another application."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.LastLine(), "result -20");
}

TEST_F(CliTest, DumpListHelpAndBadFiles) {
    CliRun dump = Cli("--dump '" + dir.File("out.txt") + "' --firmware '" + SampleFirmwarePath() + "'");
    EXPECT_EQ(dump.status, 0) << dump.output;
    EXPECT_EQ(ReadFile(dir.File("out.txt")).rfind("@02100\n4031240040B25A80", 0), 0u);

    WriteFile(dir.File("bad.txt"), "not firmware\n");
    CliRun bad = Cli("--port ttyS0 --firmware '" + dir.File("bad.txt") + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("File Error: The file \"bad.txt\" is not a valid firmware file."), std::string::npos);
    EXPECT_EQ(bad.LastLine(), "result -100");

    // A registered simulator shows in the list as the window shows it. Its description is
    // someone else's text: escape sequences in it reach the terminal defanged.
    auto listedWith = [&](const std::string& name, const std::string& description) {
        vornsim::Options options;
        options.family = "RW";
        options.portName = name;
        options.description = description;
        setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
        auto sim = vornsim::MakeInstrument(options);
        EXPECT_TRUE(sim->Start());
        CliRun list = Cli("--list-ports");
        sim->Stop();
        unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(list.status, 0);
        return list.output;
    };
    std::string listed = listedWith("vornsim5", "");
    EXPECT_NE(listed.find("vornsim5 Simulated Readwell\n"), std::string::npos) << listed;
    listed = listedWith("vornsim6", "Evil\x1b]0;owned\x07\x1b[2J");
    EXPECT_NE(listed.find("vornsim6 Evil\\x1B]0;owned\\x07\\x1B[2J\n"), std::string::npos) << listed;
    EXPECT_EQ(listed.find('\x1b'), std::string::npos);

    EXPECT_EQ(Cli("--help").status, 0);
    EXPECT_NE(Cli("--version").output.find(VORN_VERSION_STRING), std::string::npos);
    EXPECT_EQ(Cli("--no-such-option").status, 2);
}

TEST_F(CliTest, APortTheUserMayNotOpenSaysWhatToDo) {
    if (RunningAsRoot()) GTEST_SKIP() << "root may open any port; the ordinary user's run has this case";
    SimInstrument sim("RW", 102);
    ASSERT_EQ(chmod(sim.Port().c_str(), 0), 0);
    CliRun run = Cli("--port " + sim.Port() + " --firmware '" + SampleFirmwarePath() + "' --yes");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Connection Error: You do not have permission to use Comm Port \"" + sim.Port() + "\"."),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\"dialout\" group"), std::string::npos);
    EXPECT_EQ(run.LastLine(), "result -20");
}

TEST_F(CliTest, APortAnotherProgramHoldsIsRefusedWithTheHolderNamedAndAHint) {
    SimInstrument sim("RW", 102);
    // A copy of sleep under the name of the service that most often takes adapters.
    std::filesystem::copy_file("/bin/sleep", dir.File("ModemManager"));
    PortHeldElsewhere holder(sim.Port(), dir.File("ModemManager"));
    ASSERT_TRUE(holder.Ok());
    CliRun run = Cli("--port " + sim.Port() + " --firmware '" + SampleFirmwarePath() + "' --yes");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Connection Error: Comm Port \"" + sim.Port() + "\" is already in use by another application."),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("is held by ModemManager (pid " + std::to_string(holder.Pid()) + ")."), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Hint: ModemManager "), std::string::npos);
    EXPECT_EQ(run.LastLine(), "result -20");
    EXPECT_EQ(sim.Transcript(), "");  // nothing reached the instrument
}

TEST_F(CliTest, ANameThatIsNotASerialPortIsToldApart) {
    CliRun run = Cli("--port /dev/null --firmware '" + SampleFirmwarePath() + "' --yes");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Connection Error: Comm Port \"/dev/null\" is not a serial port."), std::string::npos)
        << run.output;
    EXPECT_EQ(run.LastLine(), "result -20");
}

// The README's first command without a display, as an ordinary user would run it: the
// simulated instrument and the updater both belong to that user, the port is opened
// and closed several times while the simulator keeps its end open.
TEST(CliOrdinaryUser, UpdatesAndIsToldAboutPortsItCannotHave) {
    if (!RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(PassedEveryTest(RunAgainAsOrdinaryUser(
        "CliTest.UpdatesAReadwellAndSaysSo:CliTest.APortTheUserMayNotOpenSaysWhatToDo:CliTest.APortAnotherProgram*",
        {{"VORN_CLI_PATH", VORN_CLI}, {"VORN_SAMPLE_FIRMWARE", SampleFirmwarePath()}})));
}

TEST_F(CliTest, FactoryChoicesWithoutFactoryModeAndUnsafeSerialNumbersAreUsageErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"--keep-data", " is a factory-mode choice: add --factory"},
        {"--new-serial KT-0042", " is a factory-mode choice: add --factory"},
        // A line end would run the rest as a command of its own ("boot ZELK": the loader).
        {"--factory --new-serial \"$(printf 'KT-0042\\rboot ZELK')\"", "--new-serial holds a line break"},
    };
    for (const auto& [args, said] : cases) {
        SCOPED_TRACE(args);
        CliRun run = Cli("--port vornsim0 --firmware '" + SampleFirmwarePath() + "' " + args);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find(said), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("usage:"), std::string::npos);
    }
}

// "--yes" confirms; it does not give up an instrument's settings. That takes its own option.
TEST_F(CliTest, GoingOnWithoutTheSettingsTakesItsOwnOption) {
    const std::string firmware = dir.File("sixteen.txt");
    WriteSixteenBitFirmware(firmware);
    SimInstrument refused("KT72", 204, {{"uninitialised", ""}});
    CliRun run = Cli("--port " + refused.Port() + " --firmware '" + firmware + "' --factory --keep-data --yes");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("(answered OK: --yes)"), std::string::npos);  // "Wrong Device"
    EXPECT_NE(run.output.find("Settings Retrieve Error: "), std::string::npos);
    EXPECT_NE(run.output.find("--yes does not answer this question"), std::string::npos);
    EXPECT_EQ(run.LastLine(), "result -40");
    EXPECT_EQ(refused.Transcript().find("boot ZELK"), std::string::npos);

    SimInstrument accepted("KT72", 204, {{"uninitialised", ""}});
    run = Cli("--port " + accepted.Port() + " --firmware '" + firmware +
              "' --factory --keep-data --yes --accept-settings-loss");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("(answered OK: --accept-settings-loss)"), std::string::npos);
    EXPECT_TRUE(FlashHolds(accepted.Snapshot(), ReadTiText(ReadFile(firmware))));
}
