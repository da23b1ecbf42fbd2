// vornbsl-cli as scripts use it: a real process, its output and exit status, and what
// the simulated instrument holds afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "catalogue/DeviceCatalogue.h"
#include "common/Timing.h"
#include "e2e/CliSupport.h"
#include "e2e/E2ESupport.h"
#include "common/FilesPlatform.h"
#include "serial/SerialPlatform.h"
#include "serial/VornSerial.h"
#include "support/TestSupport.h"
#include "update/ResultCodes.h"
#include "update/UserFolder.h"

using namespace vorn::test;

using CliTest = CliFixture;

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
    EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-40));
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
    EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-20));
}

TEST_F(CliTest, DumpListHelpAndBadFiles) {
    CliRun dump = Cli("--dump '" + dir.File("out.txt") + "' --firmware '" + SampleFirmwarePath() + "'");
    EXPECT_EQ(dump.status, 0) << dump.output;
    EXPECT_EQ(ReadFile(dir.File("out.txt")).rfind("@02100\n4031240040B25A80", 0), 0u);

    WriteFile(dir.File("bad.txt"), "not firmware\n");
    CliRun bad = Cli("--port ttyS0 --firmware '" + dir.File("bad.txt") + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("File Error: The file \"bad.txt\" is not a valid firmware file."), std::string::npos);
    EXPECT_EQ(bad.LastLine(), vorn::update::ResultLine(-100));

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
    // The runs of their own: the first of the table given runs, whatever else is there.
    EXPECT_EQ(Cli("--version --help").output.rfind("usage:", 0), 0u);
    std::string families;
    for (int family = UNKNOWN + 1; family < END; ++family)
        families += std::string(vorn::catalogue::FamilyCode(family)) + " " + vorn::catalogue::FamilyDisplayName(family).data() + "\n";
    std::string familiesListed = Cli("--list-families").output;
    // One line a family: its code, the padding, its name.
    for (size_t at = 0; (at = familiesListed.find("  ", at)) != std::string::npos;) familiesListed.erase(at, 1);
    EXPECT_EQ(familiesListed, families);
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
    EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-20));
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
    EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-20));
    EXPECT_EQ(sim.Transcript(), "");  // nothing reached the instrument
}

TEST_F(CliTest, ANameThatIsNotASerialPortIsToldApart) {
    CliRun run = Cli("--port /dev/null --firmware '" + SampleFirmwarePath() + "' --yes");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Connection Error: Comm Port \"/dev/null\" is not a serial port."), std::string::npos)
        << run.output;
    // Nobody is named as its holder: every process has /dev/null open.
    EXPECT_EQ(run.output.find(" is held by "), std::string::npos) << run.output;
    EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-20));
}

// The README's first command without a display, as an ordinary user would run it: the
// simulated instrument and the updater both belong to that user, the port is opened
// and closed several times while the simulator keeps its end open.
TEST(CliOrdinaryUser, UpdatesAndIsToldAboutPortsItCannotHave) {
    if (!RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(PassedEveryTest(RunAgainAsOrdinaryUser(
        "CliTest.UpdatesAReadwellAndSaysSo:CliTest.APortTheUserMayNotOpenSaysWhatToDo:CliTest.APortAnotherProgram*:"
        "CliTest.InfoAndSaveSettings*:"
        "CliTest.AnInterruptedUnitsSettingsSurvive*:CliTest.ABench*:CliCustody.TwoUpdates*:CliCustody.ABenchFinds*",
        {{"VORN_CLI_PATH", VORN_CLI}, {"VORN_SAMPLE_FIRMWARE", SampleFirmwarePath()}})));
}

TEST_F(CliTest, FactoryChoicesWithoutFactoryModeAndUnsafeSerialNumbersAreUsageErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"--keep-data", " is a factory-mode choice: add --factory"},
        {"--new-serial KT-0042", " is a factory-mode choice: add --factory"},
        // A line end would run the rest as a command of its own ("boot ZELK": the loader).
        {"--factory --new-serial \"$(printf 'KT-0042\\rboot ZELK')\"", "--new-serial holds a line break"},
        // One serial number for two units would give both the same one.
        {"--port vornsim1 --factory --new-serial NEW-1", "--new-serial gives one instrument its serial number"},
    };
    for (const auto& [args, said] : cases) {
        SCOPED_TRACE(args);
        CliRun run = Cli("--port vornsim0 --firmware '" + SampleFirmwarePath() + "' " + args);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find(said), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("usage:"), std::string::npos);
    }
}

// What a technician types: short options beside the long ones, and an option that wants a
// value refuses another option in its place (a dump into a file named "--help").
TEST_F(CliTest, ShortOptionsAndAValueThatIsAnotherOption) {
    SimInstrument sim("RW", 102);
    CliRun run = Cli("-p " + sim.Port() + " -f '" + SampleFirmwarePath() + "' -y -v");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Successfully updated firmware in "), std::string::npos) << run.output;
    // It ends with what it did.
    const std::string summary = run.output.substr(run.output.find("Summary of the update on " + sim.Port() + ":\n"));
    for (const char* line : {"  instrument:  Readwell, serial number RW-10234\n",
                             "  firmware:    1.02 -> 1.02, flash written and checked\n", "  settings:    restored (",
                             "  clock:       ", "  data:        erased\n", "  time:        "})
        EXPECT_NE(summary.find(line), std::string::npos) << line << "\n" << summary;
    EXPECT_EQ(Cli("-h").status, 0);
    EXPECT_EQ(Cli("-V").output.rfind("vornbsl-cli ", 0), 0u);

    const std::pair<const char*, const char*> refused[] = {
        {"--dump --help --firmware x.txt", "--dump needs a value, not the option --help"},
        {"-f -y -p vornsim0", "-f needs a value, not the option -y"},
        {"--port --info", "--port needs a value, not the option --info"},
        {"--log", "--log needs a value"},
        {"-x", "unknown option -x"},
        {"--info --save-settings b.txt -p vornsim0", "--save-settings and --info exclude each other"},
        {"--info -p vornsim0 -f x.txt", "--info only identifies the instrument: leave out --firmware"},
        {"--save-settings b.txt", "--save-settings needs --port"},
    };
    for (const auto& [args, said] : refused) {
        SCOPED_TRACE(args);
        CliRun bad = Cli(args);
        EXPECT_EQ(bad.status, 2) << bad.output;
        EXPECT_NE(bad.output.find(said), std::string::npos) << bad.output;
    }
    EXPECT_FALSE(std::filesystem::exists("--help"));
}

// --info tells what is on a port and --save-settings keeps what a unit holds, changing
// nothing; the saved file is a backup no update takes up, which --restore-settings
// writes back into that unit. A file that exists is never replaced.
TEST_F(CliTest, InfoAndSaveSettingsTellAndKeepWithoutChangingAnything) {
    SimInstrument logger("KT72", 210, {{"battery", "64"}, {"serial", "VL-0077"}});
    const auto before = logger.Snapshot();
    CliRun info = Cli("--port " + logger.Port() + " --info --json '" + dir.File("info.json") + "'");
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(ReadFile(dir.File("info.json")),
              "{\n  \"port\": \"" + logger.Port() + "\",\n  \"in_loader\": false,\n  \"family\": \"Kt72\",\n"
              "  \"firmware_version\": \"2.10\",\n  \"hardware_revision\": \"C\",\n  \"battery_percent\": 64,\n"
              "  \"serial_number\": \"VL-0077\"\n}\n");
    for (const char* line : {"family:            Kt72\n", "firmware version:  2.10\n", "hardware revision: C\n",
                             "battery:           64 %\n", "serial number:     VL-0077\n"})
        EXPECT_NE(info.output.find(line), std::string::npos) << line << info.output;

    const std::string backup = dir.File("VL-0077 before the field trip.txt");
    CliRun saved = Cli("--port " + logger.Port() + " --save-settings '" + backup + "'");
    ASSERT_EQ(saved.status, 0) << saved.output;
    EXPECT_NE(saved.output.find("Settings saved in \"" + backup + "\"."), std::string::npos) << saved.output;
    const std::string text = ReadFile(backup);
    EXPECT_NE(text.find("savedsn=\"VL-0077\""), std::string::npos);
    EXPECT_NE(text.find("stage=\"backup\""), std::string::npos);
    EXPECT_EQ(logger.Snapshot().settings, before.settings);
    EXPECT_EQ(logger.Transcript().find("set "), std::string::npos);  // only read

    CliRun again = Cli("--port " + logger.Port() + " --save-settings '" + backup + "'");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("exists already"), std::string::npos) << again.output;
    EXPECT_EQ(ReadFile(backup), text);

    // The unit loses its settings; the backup goes back into it, every value.
    logger.Sim().WithState([](vornsim::InstrumentState& s) { s.WipeForUpdate(); });
    CliRun restored = Cli("--port " + logger.Port() + " --restore-settings '" + backup + "' --yes --restore-from VL-0077");
    ASSERT_EQ(restored.status, 0) << restored.output;
    auto back = logger.Snapshot().settings, held = before.settings;
    held.erase("-build");  // the firmware's own, not a setting
    EXPECT_EQ(back, held);

    SimInstrument loader("RW", 102, {{"in-bootloader", ""}});
    CliRun waiting = Cli("--port " + loader.Port() + " --info");
    EXPECT_EQ(waiting.status, 0) << waiting.output;
    EXPECT_NE(waiting.output.find("waiting in its firmware loader"), std::string::npos) << waiting.output;
    CliRun nothing = Cli("--port " + loader.Port() + " --save-settings '" + dir.File("none.txt") + "'");
    EXPECT_EQ(nothing.status, 1);
    EXPECT_EQ(nothing.LastLine(), vorn::update::ResultLine(-80));
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));
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
    EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-40));
    EXPECT_EQ(refused.Transcript().find("boot ZELK"), std::string::npos);

    SimInstrument accepted("KT72", 204, {{"uninitialised", ""}});
    run = Cli("--port " + accepted.Port() + " --firmware '" + firmware +
              "' --factory --keep-data --yes --accept-settings-loss");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("(answered OK: --accept-settings-loss)"), std::string::npos);
    EXPECT_TRUE(FlashHolds(accepted.Snapshot(), ReadTiText(ReadFile(firmware))));
}

// Unit A is cut short in the middle of its erase; unit B of the same family is updated
// next: each has its own settings file, so B's update neither uses nor touches A's. A's
// next update finds it in its loader and --yes alone does not write A's saved settings
// into an instrument that cannot say which unit it is: the firmware is loaded, the update
// says the settings did not go back, and the file stays. --restore-settings then writes
// them back into A once the serial number they were saved from is given with --yes.
TEST_F(CliTest, AnInterruptedUnitsSettingsSurviveTheNextUnitAndAreRestoredIntoIt) {
    const std::string firmware = "' --firmware '" + SampleFirmwarePath() + "' --yes";
    SimInstrument a("RW", 102, {{"power-loss-after", "20"}});  // in the middle of the erase
    SimInstrument b("RW", 102);
    b.Sim().WithState([](vornsim::InstrumentState& s) { s.settings["-sn"] = "RW-20002"; });
    const auto aBefore = a.Snapshot();
    const auto bBefore = b.Snapshot();
    ASSERT_EQ(aBefore.settings.at("-sn"), "RW-10234");

    CliRun cut = Cli("--port '" + a.Port() + firmware);
    ASSERT_EQ(cut.status, 1) << cut.output;
    const std::vector<std::string> left = SettingsFilesIn(Folder());
    ASSERT_EQ(left.size(), 1u);
    const std::string kept = left[0];
    EXPECT_NE(kept.find("/Readwell.sn-RW-10234."), std::string::npos) << kept;
    const std::string keptText = ReadFile(kept);
    EXPECT_NE(keptText.find("\r\nsn=\"RW-10234\"\r\n"), std::string::npos);
    // The port as it stays when its adapter comes back (a pseudo-terminal: its node).
    const std::string aPort = vorn::platform::StablePortName(a.Port());
    EXPECT_NE(keptText.find("\r\nsavedsn=\"RW-10234\"\r\nsavedport=\"" + aPort + "\"\r\nsavedat=\""), std::string::npos);
    EXPECT_EQ(JournalStage(kept), "erasing");

    CliRun other = Cli("--port '" + b.Port() + firmware);
    ASSERT_EQ(other.status, 0) << other.output;
    EXPECT_EQ(b.Snapshot().settings, bBefore.settings);
    EXPECT_EQ(ReadFile(kept), keptText);
    EXPECT_EQ(SettingsFilesIn(Folder()), left);  // B's own file went when its settings were back

    // A, back from its power loss, waits in its loader.
    vorn::SleepMs(800);
    CliRun mended = Cli("--port '" + a.Port() + firmware);
    EXPECT_EQ(mended.status, 1) << mended.output;
    EXPECT_NE(mended.output.find("(answered Cancel: OK would write these settings, serial number included, into the "
                                 "instrument; --yes alone does not answer this question. Run again with --yes "
                                 "--restore-from \"RW-10234\" if it is that unit"),
              std::string::npos)
        << mended.output;
    EXPECT_NE(mended.output.find("Settings Not Restored: The new firmware runs in your Readwell"), std::string::npos);
    EXPECT_NE(mended.output.find("\"" + kept + "\" (with serial number \"RW-10234\")"), std::string::npos);
    EXPECT_EQ(mended.LastLine(), vorn::update::ResultLine(-140));
    EXPECT_TRUE(FlashHolds(a.Snapshot(), ReadTiText(ReadFile(SampleFirmwarePath()))));
    ASSERT_NE(a.Snapshot().settings, aBefore.settings);  // the update wiped them
    EXPECT_EQ(ReadFile(kept), keptText);

    // Only the serial number the file was saved from lets --yes say OK.
    const std::string restore = "--port '" + a.Port() + "' --restore-settings '" + kept + "'";
    const std::pair<std::string, std::string> refused[] = {
        {" --yes", "--yes alone does not answer this question. Run again with --yes --restore-from \"RW-10234\""},
        {" --yes --restore-from RW-20002", "(answered Cancel: the file was saved from serial number \"RW-10234\", not from "
                                           "\"RW-20002\" as --restore-from says)"},
        {" --restore-from RW-10234", "--restore-from names the unit; --yes says OK to it."},
    };
    for (const auto& [options, said] : refused) {
        SCOPED_TRACE(options);
        CliRun run = Cli(restore + options);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.output.find("Restore Saved Settings: The settings file\n\"" + kept +
                                  "\"\nholds the settings of the Readwell with serial number \"RW-10234\",\n"
                                  "saved on Comm Port \"" + aPort + "\" "),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find(" tells no serial number."), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(said), std::string::npos) << run.output;
        EXPECT_EQ(run.LastLine(), vorn::update::ResultLine(-40));
        EXPECT_EQ(ReadFile(kept), keptText);
    }
    EXPECT_NE(a.Snapshot().settings, aBefore.settings);

    CliRun restored = Cli(restore + " --yes --restore-from RW-10234");
    ASSERT_EQ(restored.status, 0) << restored.output;
    EXPECT_NE(restored.output.find("(answered OK: --yes --restore-from)"), std::string::npos);
    EXPECT_NE(restored.output.find("Settings restored from \"" + kept + "\"; the file is removed."), std::string::npos);
    const auto aAfter = a.Snapshot();
    EXPECT_EQ(aAfter.settings, aBefore.settings);  // serial number included
    EXPECT_LE(std::llabs(aAfter.clockOffsetSeconds), 2);
    EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST_F(CliTest, RestoringRefusesWhatCannotBeRestored) {
    SimInstrument sim("RW", 102);
    SimInstrument loader("RW", 102, {{"in-bootloader", ""}});
    WriteFile(dir.File("kt72.settings.txt"), "type=\"Kt72\"\r\nsn=\"VL-1\"\r\n");
    WriteFile(dir.File("rw.settings.txt"), "type=\"RW\"\r\nsn=\"RW-1\"\r\n");
    WriteFile(dir.File("nothing.txt"), "no settings here\r\n");
    struct Case {
        std::string args;
        int status;
        std::string said;
    };
    const Case cases[] = {
        {"--port '" + sim.Port() + "' --restore-settings '" + dir.File("nothing.txt") + "' --yes", 1,
         "Settings File Error: The file\n\"" + dir.File("nothing.txt") + "\"\nis not a settings file"},
        {"--port '" + sim.Port() + "' --restore-settings '" + dir.File("kt72.settings.txt") + "' --yes", 1,
         "Wrong Device: The settings file\n\"" + dir.File("kt72.settings.txt") + "\"\nholds the settings of a Kt72;"},
        {"--port '" + loader.Port() + "' --restore-settings '" + dir.File("rw.settings.txt") + "' --yes", 1,
         "Firmware Loader Active: Your Readwell on Comm Port \"" + loader.Port() + "\" is waiting in its firmware loader"},
        {"--restore-settings x.txt --yes", 2, "--restore-settings needs --port"},
        {"--port ttyS0 --restore-settings x.txt --firmware '" + SampleFirmwarePath() + "'", 2, "leave out --firmware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
    }
    EXPECT_EQ(sim.Transcript().find("set -"), std::string::npos);  // nothing was written into it
}

// A bench: three Readwells updated at once, each in a process of its own with its own
// settings file (named after its serial number), each ending with its own settings,
// serial number included. The summary names each unit; its log is a section of the one log.
TEST_F(CliTest, ABenchOfThreeUnitsOfOneFamilyIsUpdatedAtOnce) {
    std::vector<std::unique_ptr<SimInstrument>> units;
    std::vector<vornsim::InstrumentState> before;
    std::string ports;
    for (int i = 0; i < 3; ++i) {
        units.push_back(std::make_unique<SimInstrument>(
            "RW", 102, std::map<std::string, std::string>{{"serial", "RW-3000" + std::to_string(i)}}));
        before.push_back(units.back()->Snapshot());
        ports += " --port '" + units.back()->Port() + "'";
    }
    const std::string json = dir.File("bench.json");
    CliRun run = Cli(ports + " --firmware '" + SampleFirmwarePath() + "' --yes --json '" + json + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string summary = ReadFile(json);
    EXPECT_NE(summary.find("\"updated\": 3,\n  \"failed\": 0,"), std::string::npos) << summary;
    const std::string log = ReadFile(Folder() + "/Vornell Firmware Updater.errors.txt");
    const auto image = ReadTiText(ReadFile(SampleFirmwarePath()));
    for (int i = 0; i < 3; ++i) {
        const std::string serial = "RW-3000" + std::to_string(i);
        SCOPED_TRACE(serial);
        const auto after = units[i]->Snapshot();
        EXPECT_TRUE(FlashHolds(after, image));
        EXPECT_EQ(after.settings, before[i].settings);
        EXPECT_EQ(after.settings.at("-sn"), serial);
        EXPECT_NE(summary.find("\"port\": \"" + units[i]->Port() + "\", \"serial\": \"" + serial +
                               "\", \"family\": \"Readwell\", \"old_version\": \"1.02\""),
                  std::string::npos);
        EXPECT_NE(run.output.find(serial + "  Readwell  1.02  1.02  updated"), std::string::npos) << run.output;
        const std::string section = "==== Bench update on " + units[i]->Port() + " (serial number " + serial + "): its log ====";
        EXPECT_NE(log.find(section), std::string::npos);
        EXPECT_NE(log.find("Settings files are kept in " + Folder()), std::string::npos);
    }
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
        EXPECT_EQ(entry.path().string().find(".settings.txt"), std::string::npos) << entry.path();
}

// A unit of a bench cut short keeps its settings in a file of its own, whose journal names
// its port; a single update of that port finds it, with the loader waiting, and restores
// them once told whose they are. While one update has a port, another is refused it.
TEST_F(CliTest, ABenchUnitCutShortIsFinishedOnItsPortAndAPortIsUpdatedByOneAtATime) {
    SimInstrument cut("RW", 102, {{"serial", "RW-40001"}, {"power-loss-after", "20"}});
    SimInstrument whole("RW", 102, {{"serial", "RW-40002"}});
    const auto cutBefore = cut.Snapshot();
    const std::string firmware = " --firmware '" + SampleFirmwarePath() + "' --yes";
    CliRun bench = Cli("--port '" + cut.Port() + "' --port '" + whole.Port() + "'" + firmware);
    EXPECT_EQ(bench.status, 1) << bench.output;
    EXPECT_NE(bench.output.find("RW-40002  Readwell  1.02  1.02  updated"), std::string::npos) << bench.output;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
        if (entry.path().string().find(".settings.txt") != std::string::npos) left.push_back(entry.path().string());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].find("/Readwell.sn-RW-40001."), std::string::npos);
    EXPECT_NE(ReadFile(left[0]).find("savedsn=\"RW-40001\""), std::string::npos);

    // The port is someone else's while their update holds its lock.
    const std::string lockPath = vorn::update::PortLockPath(Folder(), vorn::platform::PortFileKey(cut.Port()));
    const intptr_t held = vorn::platform::LockFileExclusive(lockPath, "test\n");
    ASSERT_GE(held, 0);
    CliRun refused = Cli("--port '" + cut.Port() + "'" + firmware + " --restore-from RW-40001");
    vorn::platform::UnlockFile(held, lockPath);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("Comm Port Busy: Comm Port \"" + cut.Port() + "\" is being updated by another"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.LastLine(), vorn::update::ResultLine(-5));

    vorn::SleepMs(800);  // back from its power loss, in its loader
    // The bench's serial numbers, as its command would name them: the unit takes its own.
    CliRun finished = Cli("--port '" + cut.Port() + "'" + firmware + " --restore-from RW-40002 --restore-from RW-40001");
    ASSERT_EQ(finished.status, 0) << finished.output;
    EXPECT_EQ(cut.Snapshot().settings, cutBefore.settings);
    EXPECT_FALSE(std::filesystem::exists(left[0]));
    EXPECT_FALSE(std::filesystem::exists(lockPath));  // an update's lock goes with it
}

// Units as they come from the field: values never set, a logger without a radio, a
// family whose last value is empty. Each is updated as a technician would, without a
// question about its settings, and comes back with every value it held.
TEST_F(CliTest, OrdinaryUnitsComeBackWithEveryValueAndNoQuestion) {
    struct Unit {
        const char* what;
        const char* family;
        uint32_t version;
        std::map<std::string, std::string> switches;
        std::vector<std::pair<std::string, std::string>> values;
    };
    const std::vector<Unit> units = {
        {"a Kt72 whose device ID was never set", "KT72", 210, {}, {{"-devid", ""}}},
        {"a zQ8", "ZQ8", 210, {}, {}},
        {"a Kt72 without a radio", "KT72", 210, {{"trait", "8"}}, {{"-site", "Plot \"B\" east?"}}},
        {"a Kt72 without a radio or a modem, of old firmware", "KT72", 201, {{"trait", "0"}}, {}},
        {"a Lumex CF-22 whose last value is empty", "CF22", 200, {}, {{"-ext", ""}}},
        {"a Heron 9 whose last value is empty", "HN9", 205, {}, {{"-tadj", ""}}},
        {"a Readwell with an empty calibration slot between two others", "RW", 102, {}, {{"-cal 1", ""}}},
        {"a Heron KSR with one of its pressure pair empty", "KSR", 102, {}, {{"-p", ""}}},
        {"a fieldpt with its calibration", "FIELDPT", 102, {}, {{"-cal2", "pH7 0.0021"}, {"-calA", "A 1"}}},
    };
    const std::string sixteenBit = dir.File("classic.txt");
    WriteSixteenBitFirmware(sixteenBit);
    for (const Unit& u : units) {
        SCOPED_TRACE(u.what);
        SimInstrument sim(u.family, u.version, u.switches, u.values);
        const auto before = sim.Snapshot();
        const bool wide = std::string(u.family) == "RW" || std::string(u.family) == "HN9" ||
                          std::string(u.family) == "FIELDPT";
        const std::string firmware = wide ? SampleFirmwarePath() : sixteenBit;
        CliRun run = Cli("--port " + sim.Port() + " --firmware '" + firmware + "' --factory --yes");
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.find("lost"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("could not"), std::string::npos) << run.output;
        auto after = sim.Snapshot();
        after.settings.erase("-build");  // the new firmware's own
        auto held = before.settings;
        held.erase("-build");
        EXPECT_EQ(after.settings, held);
        EXPECT_EQ(after.records, before.records);
    }
}

// A setting the new firmware keeps refusing: --yes alone stops with the settings kept, and
// every run would end the same way. Given up on its own consent, the update finishes
// without just that setting, named, its clock set, and the file stays for the user.
TEST_F(CliTest, ASettingTheInstrumentKeepsRefusingIsLeftOutOnlyWhenTheUserGivesItUp) {
    struct Unit {
        const char* family;
        uint32_t version;
        const char* refused;  // the set command's key
        const char* named;    // the file line's key, as the user is told
        bool wide;
    };
    const Unit units[] = {{"KT72", 210, "-site", "site", false}, {"HN9", 205, "-tadj", "tadj", true}};
    const std::string sixteenBit = dir.File("classic.txt");
    WriteSixteenBitFirmware(sixteenBit);
    auto files = [this] {
        std::vector<std::string> found;
        std::error_code none;
        for (const auto& entry : std::filesystem::directory_iterator(Folder(), none))
            if (entry.path().string().find(".settings.txt") != std::string::npos) found.push_back(entry.path().string());
        return found;
    };
    for (const Unit& u : units) {
        SCOPED_TRACE(u.family);
        for (const std::string& f : files()) std::filesystem::remove(f);
        SimInstrument sim(u.family, u.version, {{"refuse-set", u.refused}, {"clock-offset", "5000"}});
        const auto before = sim.Snapshot();
        const std::string update =
            "--port " + sim.Port() + " --firmware '" + (u.wide ? SampleFirmwarePath() : sixteenBit) + "' --factory --yes";
        const std::string question = "did not take back this setting: \"" + std::string(u.named) + "\".";

        CliRun stopped = Cli(update);
        EXPECT_EQ(stopped.status, 1) << stopped.output;
        EXPECT_NE(stopped.output.find(question), std::string::npos) << stopped.output;
        EXPECT_NE(stopped.output.find("--yes does not answer this question"), std::string::npos) << stopped.output;
        EXPECT_EQ(stopped.LastLine(), vorn::update::ResultLine(-35));
        ASSERT_EQ(files().size(), 1u);
        const std::string kept = files()[0];
        EXPECT_NE(ReadFile(kept).find("stage=\"restored-in-part\""), std::string::npos);
        EXPECT_GT(std::llabs(sim.Snapshot().clockOffsetSeconds), 1000);  // stopped before the clock

        CliRun finished = Cli(update + " --accept-settings-loss");
        ASSERT_EQ(finished.status, 0) << finished.output;
        EXPECT_NE(finished.output.find("(answered OK: --accept-settings-loss)"), std::string::npos) << finished.output;
        EXPECT_NE(finished.output.find("was updated without this setting, which it did not take: \"" +
                                       std::string(u.named) + "\".\nThe saved settings are kept in \"" + kept + "\""),
                  std::string::npos)
            << finished.output;
        ASSERT_TRUE(std::filesystem::exists(kept));
        EXPECT_NE(ReadFile(kept).find("stage=\"set-aside\""), std::string::npos);
        const auto after = sim.Snapshot();
        EXPECT_LE(std::llabs(after.clockOffsetSeconds), 2);
        auto held = before.settings, back = after.settings;
        for (auto* m : {&held, &back}) {
            m->erase("-build");
            m->erase(u.refused);
        }
        EXPECT_EQ(back, held);  // every other value
        EXPECT_EQ(after.settings.count(u.refused), 0u);
        EXPECT_EQ(after.records, before.records);

        // Set aside, the file is not taken up again: the next update saves what the unit holds.
        if (u.wide) continue;  // once is enough
        CliRun again = Cli(update);
        EXPECT_EQ(again.status, 0) << again.output;
        EXPECT_TRUE(std::filesystem::exists(kept));
    }
}

// --all: every listed port whose instrument answers as the firmware's family. Another
// family's instrument, and ports where nothing answers, are passed over and said so.
TEST_F(CliTest, AllTakesThePortsOfTheFirmwaresFamilyAndPassesOverTheRest) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);  // where the simulators register, as Cli() runs
    auto registered = [](const std::string& family, uint32_t version, const std::string& name,
                         std::map<std::string, std::string> switches = {}) {
        vornsim::Options options;
        options.family = family;
        options.version = version;
        options.portName = name;
        options.switches = std::move(switches);
        auto sim = vornsim::MakeInstrument(options);
        EXPECT_TRUE(sim->Start()) << sim->Error();
        return sim;
    };
    auto readwell = registered("RW", 102, "bench-rw");
    auto logger = registered("KT72", 210, "bench-kt72");
    // Waiting in its loader, which listens as a Readwell's does, with nothing to say which
    // unit or family it is: not one the firmware may go into.
    auto stranger = registered("HN9", 230, "bench-hn9", {{"in-bootloader", ""}});
    if (saved) setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
    const auto before = readwell->WithState([](vornsim::InstrumentState& s) { return s.settings; });

    const std::string json = dir.File("all.json");
    CliRun run = Cli("--all --firmware '" + SampleFirmwarePath() + "' --yes --json '" + json + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("bench-rw    RW-10234  Readwell  1.02  1.02  updated"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("bench-kt72  -         Kt72      2.10  -     skipped (Kt72)"), std::string::npos) << run.output;
    EXPECT_EQ(readwell->WithState([](vornsim::InstrumentState& s) { return s.settings; }), before);
    EXPECT_EQ(logger->HostTranscript().find("boot ZELK"), std::string::npos);  // never handed to its loader
    EXPECT_NE(run.output.find("bench-hn9   -         -         -     -     skipped (not identified)"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("bench-hn9: Unit Not Identified: "), std::string::npos) << run.output;
    EXPECT_EQ(stranger->WithState([](vornsim::InstrumentState& s) { return s.bslWrites; }), 0);
    EXPECT_NE(ReadFile(json).find("\"updated\": 1,\n  \"failed\": 0,"), std::string::npos) << ReadFile(json);

    // Chosen by what answers, factory mode would load the firmware into the other family.
    CliRun factory = Cli("--all --factory --firmware '" + SampleFirmwarePath() + "' --yes");
    EXPECT_EQ(factory.status, 2);
    EXPECT_NE(factory.output.find("--all picks the ports by the firmware's family"), std::string::npos);
}
