// Whose settings go back into which instrument, where it takes more than one process:
// two updates at once, a bench rerun after an adapter came back under another node, a
// bench whose own process dies, another account on the same port, and a log folder other
// users can write. Judged by what the simulated instruments hold and which files are left.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>

#include "common/Timing.h"
#include "e2e/CliSupport.h"
#include "e2e/E2ESupport.h"
#include "serial/SerialPlatform.h"
#include "support/TestSupport.h"

using namespace vorn::test;

namespace {

class CliCustody : public CliFixture {
protected:
    std::string Firmware() const { return " --firmware '" + SampleFirmwarePath() + "'"; }
    // Waits until the instrument runs the firmware of the sample image again.
    bool WaitUntilUpdated(SimInstrument& sim, int ms) {
        const auto image = ReadTiText(ReadFile(SampleFirmwarePath()));
        for (int waited = 0; waited < ms; waited += 100) {
            const auto state = sim.Snapshot();
            if (state.flash.CodeGood() && FlashHolds(state, image) && !state.settings.empty()) return true;
            vorn::SleepMs(100);
        }
        return false;
    }
};

std::map<std::string, std::string> Unit(const std::string& serial, std::map<std::string, std::string> more = {}) {
    more["serial"] = serial;
    return more;
}

}  // namespace

// Two updates of one family on two ports at once, one of them cut short: each keeps its
// own file, so the other's success removes nothing of it, and its next update gets its
// settings back.
TEST_F(CliCustody, TwoUpdatesOfOneFamilyAtOnceKeepEachUnitsOwnSettings) {
    SimInstrument slow("RW", 102, Unit("RW-50001", {{"slow-ms", "20"}}));
    SimInstrument cut("RW", 102, Unit("RW-50002"));
    const auto slowBefore = slow.Snapshot(), cutBefore = cut.Snapshot();
    Background first(Environment() + "'" + CliPath() + "' --port '" + slow.Port() + "'" + Firmware() + " --yes",
                     dir.File("first.out"));
    ASSERT_TRUE(first.WaitFor("Uploading new firmware code...", 60000)) << first.Output();
    cut.Sim().WithState([](vornsim::InstrumentState& s) { s.bslPowerLossAfter = s.bslFrames + 20; });
    CliRun second = Cli("--port '" + cut.Port() + "'" + Firmware() + " --yes");
    EXPECT_EQ(second.status, 1) << second.output;
    EXPECT_EQ(first.Wait(120000), 0) << first.Output();
    EXPECT_EQ(slow.Snapshot().settings, slowBefore.settings);
    ASSERT_EQ(SettingsFilesIn(Folder()).size(), 1u);  // the cut unit's, which the other's success left alone

    vorn::SleepMs(800);  // back from its power loss, in its loader
    CliRun finished = Cli("--port '" + cut.Port() + "'" + Firmware() + " --yes --restore-from RW-50002");
    EXPECT_EQ(finished.status, 0) << finished.output;
    EXPECT_EQ(cut.Snapshot().settings, cutBefore.settings);
    EXPECT_TRUE(SettingsFilesIn(Folder()).empty());
}

// A bench names its ports by stable links (as /dev/serial/by-id does). One unit is cut
// short, and its adapter comes back under another node; the link follows it. Running the
// bench again finds the unit's file by the port's journal and restores it.
TEST_F(CliCustody, ABenchFindsAUnitWhoseAdapterCameBackUnderAnotherNode) {
    SimInstrument cut("RW", 102, Unit("RW-60001", {{"power-loss-after", "20"}}));
    SimInstrument whole("RW", 102, Unit("RW-60002"));
    const auto cutBefore = cut.Snapshot();
    std::filesystem::create_directories(dir.File("by-id"));
    const std::string linkCut = dir.File("by-id/usb-Vornell_Adapter_A1-if00-port0");
    const std::string linkWhole = dir.File("by-id/usb-Vornell_Adapter_A2-if00-port0");
    std::filesystem::create_symlink(cut.Port(), linkCut);
    std::filesystem::create_symlink(whole.Port(), linkWhole);
    const std::string bench = "--port '" + linkCut + "' --port '" + linkWhole + "'" + Firmware() + " --yes";

    CliRun first = Cli(bench);
    EXPECT_EQ(first.status, 1) << first.output;
    ASSERT_EQ(SettingsFilesIn(Folder()).size(), 1u) << first.output << ReadFile(Folder() + "/Vornell Firmware Updater.errors.txt");
    EXPECT_NE(ReadFile(SettingsFilesIn(Folder())[0]).find("stageport=\"" + linkCut + "\""), std::string::npos)
        << ReadFile(SettingsFilesIn(Folder())[0]);

    // Another adapter takes the old node while the unit is away. Other tests make and free
    // pseudo-terminals meanwhile, so hold nodes until the old one is among them, and unplug
    // again should the unit still come back under its old name.
    const std::string oldNode = cut.Port();
    std::vector<std::unique_ptr<PtyPair>> taken;
    for (int attempt = 0; attempt < 5 && cut.Port() == oldNode; ++attempt) {
        cut.Sim().Unplug(300);
        for (int i = 0; i < 100 && std::filesystem::exists(oldNode); ++i) vorn::SleepMs(20);
        while (taken.size() < 64 && !std::filesystem::exists(oldNode))
            taken.push_back(std::make_unique<PtyPair>());
        for (int i = 0; i < 100 && cut.Port() == oldNode; ++i) vorn::SleepMs(20);
    }
    ASSERT_NE(cut.Port(), oldNode);
    std::filesystem::remove(linkCut);
    std::filesystem::create_symlink(cut.Port(), linkCut);
    vorn::SleepMs(800);

    CliRun again = Cli(bench + " --restore-from RW-60001 --restore-from RW-60002");
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(cut.Snapshot().settings, cutBefore.settings);
    EXPECT_TRUE(SettingsFilesIn(Folder()).empty());
}

// The bench's own process dies while its units are updating: each unit still finishes its
// update (its reports go nowhere), and its log waits for the next bench to take it in.
TEST_F(CliCustody, ABenchUnitFinishesWhenItsBenchProcessDies) {
    SimInstrument sim("RW", 102, Unit("RW-61001"));
    const auto before = sim.Snapshot();
    Background bench(Environment() + "'" + CliPath() + "' --port '" + sim.Port() + "'" + Firmware() + " --yes --json '" +
                         dir.File("bench.json") + "'",
                     dir.File("bench.out"));
    for (int i = 0; i < 600 && sim.Snapshot().bslFrames < 30; ++i) vorn::SleepMs(50);
    ASSERT_GE(sim.Snapshot().bslFrames, 30);  // its loader is at work
    kill(static_cast<pid_t>(bench.Pid()), SIGKILL);  // the bench alone: its unit lives on
    EXPECT_EQ(bench.Wait(5000), -1);
    EXPECT_TRUE(WaitUntilUpdated(sim, 60000));
    EXPECT_TRUE(bench.WaitForItsGroup(60000));  // the unit's own process ends by itself
    EXPECT_EQ(sim.Snapshot().settings, before.settings);
    EXPECT_TRUE(SettingsFilesIn(Folder()).empty());
    // The unit's own log waits in the private folder; the next bench adds it to the log.
    bool left = false;
    for (const auto& e : std::filesystem::directory_iterator(Folder())) left |= e.path().filename().string().rfind("bench-", 0) == 0;
    EXPECT_TRUE(left);
}

// --log in a folder others can write: a link planted where the bench kept a unit's log
// of old leads nowhere now, and a link at the log's own name is not written through.
TEST_F(CliCustody, ABenchsLogsNeverGoThroughLinksInAFolderOthersCanWrite) {
    SimInstrument a("RW", 102, Unit("RW-62001"));
    SimInstrument b("RW", 102, Unit("RW-62002"));
    const std::string shared = dir.File("shared");
    std::filesystem::create_directories(shared);
    const std::string victim = dir.File("victim.txt");
    WriteFile(victim, "the victim's own\n");
    for (const SimInstrument* sim : {&a, &b})
        std::filesystem::create_symlink(victim, shared + "/bench.log." + vorn::platform::PortFileKey(sim->Port()));
    std::filesystem::create_symlink(victim, shared + "/linked.log");

    CliRun run = Cli("--port '" + a.Port() + "' --port '" + b.Port() + "'" + Firmware() + " --yes --log '" + shared +
                     "/bench.log'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadFile(victim), "the victim's own\n");
    const std::string log = ReadFile(shared + "/bench.log");
    EXPECT_NE(log.find("==== Bench update on " + a.Port()), std::string::npos) << log;

    CliRun linked = Cli("--port '" + a.Port() + "'" + Firmware() + " --yes --log '" + shared + "/linked.log'");
    EXPECT_EQ(linked.status, 0) << linked.output;
    EXPECT_EQ(ReadFile(victim), "the victim's own\n");
}

// Another account cannot start an update of a port in the middle of one, not even while
// the first has the port closed for the instrument's restart.
TEST_F(CliCustody, AnotherAccountIsKeptOffAPortForTheWholeUpdate) {
    if (!RunningAsRoot()) GTEST_SKIP() << "needs root to run the second account";
    SimInstrument sim("RW", 102, Unit("RW-63001"));
    ASSERT_EQ(chmod(sim.Port().c_str(), 0666), 0);  // both accounts may open the line itself
    // A copy of the program and the firmware that the other account can reach.
    TempDir reachable;
    std::filesystem::permissions(reachable.Path(), std::filesystem::perms::all);
    const std::string cli = reachable.File("vornbsl-cli"), firmware = reachable.File("firmware.txt");
    std::filesystem::copy_file(CliPath(), cli);
    std::filesystem::copy_file(SampleFirmwarePath(), firmware);
    chmod(firmware.c_str(), 0644);
    std::filesystem::create_directories(reachable.File("home"));
    ASSERT_EQ(chown(reachable.File("home").c_str(), 65534, 65534), 0);

    Background first(Environment() + "'" + CliPath() + "' --port '" + sim.Port() + "'" + Firmware() + " --yes",
                     dir.File("first.out"));
    ASSERT_TRUE(first.WaitFor("Restarting the Readwell, please wait...", 60000)) << first.Output();
    vorn::SleepMs(300);  // the port is closed now, for the restart wait
    CliRun other = RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_RUNTIME_DIR HOME='" +
                              reachable.File("home") + "' XDG_DATA_HOME='" + reachable.File("home") + "/data' '" + cli +
                              "' --port '" + sim.Port() + "' --firmware '" + firmware + "' --yes");
    EXPECT_EQ(other.status, 1) << other.output;
    EXPECT_NE(other.output.find("is already in use by another application."), std::string::npos) << other.output;
    EXPECT_EQ(other.output.find("Starting the firmware loader..."), std::string::npos);
    EXPECT_EQ(first.Wait(60000), 0) << first.Output();
}
