// Whose settings go back into which instrument: scenarios of several units of one family,
// updates cut short, blank units and stale files, each answered as the command line
// answers (--yes, --accept-settings-loss, --restore-from), and judged by what each
// simulated instrument holds at the end and which settings files are left.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "bsl/VornBSLHost.h"
#include "cli/TerminalUi.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "e2e/E2ESupport.h"
#include "session/SettingsFile.h"
#include "session/Vorn_protocol.h"
#include "support/TestSupport.h"
#include "update/FirmwareFile.h"
#include "update/UpdateSequence.h"

using namespace vorn::test;
using vorn::update::UpdateRequest;
using vorn::update::UpdateSequence;

namespace {

constexpr const char* kCaption = "Vornell Firmware Updater";

// The command line's answers, with hooks into the update's steps.
class HookedTerminalUi : public TerminalUi {
public:
    HookedTerminalUi(VornLog* log, bool yes, std::FILE* out, std::FILE* in) : TerminalUi(log, yes, out, in) {}
    std::function<void(const std::string&)> onStatus;
    std::function<void(int code)> onReport;
    void ShowStatus(const std::string& text) override {
        TerminalUi::ShowStatus(text);
        if (onStatus) onStatus(text);
    }
    bool ReportProgress(long total, long done, int stage, int code) override {
        const bool go = TerminalUi::ReportProgress(total, done, stage, code);
        if (onReport) onReport(code);
        return go;
    }
};

// What the technician typed.
struct Options {
    bool yes = true;
    bool acceptSettingsLoss = false;
    std::vector<std::string> restoreFrom;
    bool factory = false;
    std::string newSerial;
    bool keepData = false;
    bool bench = false;
};

class Custody : public ::testing::Test {
protected:
    void SetUp() override {
        sixteenPath = dir.File("sixteen.txt");
        WriteSixteenBitFirmware(sixteenPath);
    }

    std::string Folder() const { return dir.File("user"); }
    std::vector<std::string> Files() const { return SettingsFilesIn(Folder()); }

    // One update (or, with `restoreFile`, one --restore-settings) of `sim`, answered as
    // the command line would be. What it printed is kept in `said`.
    int32_t Run(SimInstrument& sim, const Options& o, const std::function<void(HookedTerminalUi&)>& hook = {},
                const std::string& restoreFile = {}) {
        std::filesystem::create_directories(Folder());
        std::FILE* out = std::tmpfile();
        std::FILE* in = std::fopen("/dev/null", "r");
        int32_t rc = 0;
        {
            HookedTerminalUi ui(&log, o.yes, out, in);
            ui.SetAcceptSettingsLoss(o.acceptSettingsLoss);
            ui.SetRestoreFrom(o.restoreFrom);
            ui.SetFactoryChoices(o.keepData, o.newSerial);
            if (hook) hook(ui);
            host.SetProgressReport([&ui](long t, long d, int s, int c) { return ui.ReportProgress(t, d, s, c); });
            // Another family in factory mode takes the 16-bit image, as the fault campaign does.
            const bool sixteen = o.factory && sim.Snapshot().family != "RW";
            const vorn::update::FirmwareLoad load =
                vorn::update::LoadFirmwareFile(host, sixteen ? sixteenPath : SampleFirmwarePath(), kCaption);
            UpdateRequest r;
            r.caption = kCaption;
            r.deviceName = load.deviceName;
            r.portName = sim.Port();
            r.portDescription = sim.Port();
            r.userFolder = Folder();
            r.firmwareFamily = load.family;
            r.firmwareVersion = load.version;
            r.firmwarePath = load.path;
            r.factoryMode = o.factory;
            r.bench = o.bench;
            UpdateSequence sequence(&log, session, host, ui);
            rc = restoreFile.empty() ? sequence.Run(r) : sequence.RunRestore(r, restoreFile);
            ui.EndLine();
        }
        std::rewind(out);
        said.clear();
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) said.append(chunk, n);
        std::fclose(out);
        std::fclose(in);
        return rc;
    }
    // An update cut short by a power loss in the middle of the erase; the instrument then
    // waits in its loader, its settings in the file the update left.
    void CutDuringErase(SimInstrument& sim, const Options& o = {}) {
        sim.Sim().WithState([](vornsim::InstrumentState& s) { s.bslPowerLossAfter = s.bslFrames + 3; });
        ASSERT_LT(Run(sim, o), 0) << said;
        vorn::SleepMs(800);
    }

    TempDir dir;
    VornLog log{dir.File("log.txt"), 30};
    VornBSLHost host{&log};
    Vorn_protocol session{&log};
    std::string sixteenPath;
    std::string said;
};

std::map<std::string, std::string> Unit(const std::string& serial) { return {{"serial", serial}}; }

}  // namespace

// A blank unit (no serial number) is updated while another unit's settings wait for it:
// --yes alone never writes them into the blank one; it is updated with what it holds, and
// the other unit's file stays until its own unit takes it back.
TEST_F(Custody, YesAloneNeverGivesABlankUnitAnotherUnitsSettings) {
    SimInstrument a("RW", 102, Unit("RW-70001"));
    SimInstrument b("RW", 102, Unit(""));
    const auto aBefore = a.Snapshot(), bBefore = b.Snapshot();
    CutDuringErase(a);
    const std::vector<std::string> aFile = Files();
    ASSERT_EQ(aFile.size(), 1u);
    const std::string aText = ReadFile(aFile[0]);

    // (An empty serial number still reads as a setting the line failed to deliver, so B
    // is let go without it.)
    EXPECT_EQ(Run(b, {.acceptSettingsLoss = true}), 1) << said;
    EXPECT_NE(said.find("Restore Saved Settings: "), std::string::npos) << said;
    EXPECT_NE(said.find("--yes alone does not answer this question"), std::string::npos) << said;
    // Its own settings; its empty serial number stays without one (the update wipes the
    // empty value, and no other unit's takes its place).
    auto expected = bBefore.settings;
    expected.erase("-sn");
    auto after = b.Snapshot().settings;
    EXPECT_EQ(after.count("-sn") ? after.at("-sn") : std::string(), "");
    after.erase("-sn");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(Files(), aFile);
    EXPECT_EQ(ReadFile(aFile[0]), aText);

    // A takes its own back once its serial number is named.
    EXPECT_EQ(Run(a, {.restoreFrom = {"RW-70001"}}), 1) << said;
    EXPECT_EQ(a.Snapshot().settings, aBefore.settings);
    EXPECT_TRUE(Files().empty());
}

// Killed after its settings were saved, before the loader was started: the instrument
// kept its settings, and the user changed one since. The next update keeps what it holds
// now; the old file is set aside, not restored over it.
TEST_F(Custody, AFileOfAnUpdateKilledBeforeTheLoaderNeverOverridesLiveSettings) {
    SimInstrument sim("RW", 102);
    std::map<std::string, std::string> atDeath;  // the folder's settings files when the process died
    auto dieAtTheLoader = [&](HookedTerminalUi& ui) {
        ui.onStatus = [&](const std::string& status) {
            if (status != "Starting the firmware loader...") return;
            for (const std::string& f : Files()) atDeath[f] = ReadFile(f);
            sim.Sim().Unplug(300);  // nothing reaches the instrument: its loader is never started
        };
    };
    ASSERT_LT(Run(sim, {}, dieAtTheLoader), 0) << said;
    ASSERT_EQ(atDeath.size(), 1u);
    for (const std::string& f : Files()) std::filesystem::remove(f);
    for (const auto& [path, text] : atDeath) WriteFile(path, text);
    vorn::SleepMs(500);
    ASSERT_TRUE(sim.Snapshot().flash.CodeGood());
    sim.Sim().WithState([](vornsim::InstrumentState& s) { s.settings["-contr"] = "9"; });
    const auto changed = sim.Snapshot();

    EXPECT_EQ(Run(sim, {}), 1) << said;
    EXPECT_EQ(sim.Snapshot().settings, changed.settings);
    EXPECT_NE(said.find("Settings Set Aside: "), std::string::npos) << said;
    ASSERT_EQ(Files().size(), 1u);  // the old file, kept
    EXPECT_EQ(JournalStage(Files()[0]), "set-aside");
}

// A factory update that gives a blank logger only its new serial number leaves another
// unit's waiting settings file where it is.
TEST_F(Custody, ASerialNumberAloneRemovesNoFile) {
    SimInstrument a("RW", 102, Unit("RW-70001"));
    SimInstrument blank("KT72", 204, {{"uninitialised", ""}});
    CutDuringErase(a);
    const std::vector<std::string> aFile = Files();
    ASSERT_EQ(aFile.size(), 1u);

    // Without saved settings the logger's data erase has no name to check it by: data kept.
    EXPECT_EQ(Run(blank, {.acceptSettingsLoss = true, .factory = true, .newSerial = "KT-0042", .keepData = true}), 1)
        << said;
    EXPECT_EQ(blank.Snapshot().settings.at("-sn"), "KT-0042");
    EXPECT_EQ(Files(), aFile);
}

// --restore-settings into an instrument that says it is another unit: its own settings
// are kept first, the question says whose is which, and --yes alone does not write them.
TEST_F(Custody, RestoringAnotherUnitsFileKeepsTheInstrumentsOwnFirst) {
    SimInstrument a("RW", 102, Unit("AAA-1"));
    SimInstrument b("RW", 102, Unit("BBB-2"));
    const auto aBefore = a.Snapshot(), bBefore = b.Snapshot();
    CutDuringErase(a);
    const std::string aFile = Files().at(0);

    EXPECT_EQ(Run(b, {}, {}, aFile), vorn::kCancelled) << said;
    EXPECT_NE(said.find("answers serial number \"BBB-2\": it is another unit."), std::string::npos) << said;
    EXPECT_EQ(b.Snapshot().settings, bBefore.settings);

    EXPECT_EQ(Run(b, {.restoreFrom = {"AAA-1"}}, {}, aFile), 1) << said;
    auto expected = aBefore.settings;
    EXPECT_EQ(b.Snapshot().settings, expected);  // as the user said: AAA-1's, serial number included
    // B's own are kept, and the file of A stays: it went into another unit than its own.
    EXPECT_TRUE(std::filesystem::exists(aFile));
    const std::string keptIn = "The settings the instrument held before are kept in \"";
    const size_t at = said.find(keptIn);
    ASSERT_NE(at, std::string::npos) << said;
    const std::string backup = said.substr(at + keptIn.size(), said.find('"', at + keptIn.size()) - at - keptIn.size());
    EXPECT_EQ(JournalStage(backup), "backup");
    EXPECT_NE(ReadFile(backup).find("sn=\"BBB-2\""), std::string::npos);
    EXPECT_NE(ReadFile(backup).find("contr=\"7\""), std::string::npos);
    // The first Cancel kept a copy too: every run that read B kept what it read.
    EXPECT_EQ(Files().size(), 3u);
}

// A unit waiting in its loader on a bench is loaded only when the journal of its port
// names the firmware, and gets back only what that port's journal recorded.
TEST_F(Custody, ABenchLoadsOnlyUnitsItCanTell) {
    SimInstrument a("RW", 102, Unit("RW-1"));
    SimInstrument stranger("HN9", 230, {{"in-bootloader", ""}});  // its loader listens as a Readwell's does
    CutDuringErase(a);
    EXPECT_EQ(Run(stranger, {.restoreFrom = {"RW-1"}, .bench = true}), vorn::update::kUnitNotIdentified) << said;
    EXPECT_NE(said.find("Unit Not Identified: "), std::string::npos);
    EXPECT_NE(said.find("vornbsl-cli --port " + stranger.Port() + " --firmware \""), std::string::npos) << said;
    EXPECT_EQ(stranger.Snapshot().bslWrites, 0);  // nothing was written into it
    EXPECT_EQ(Files().size(), 1u);

    // The unit of this port, named: it gets its own back.
    EXPECT_EQ(Run(a, {.restoreFrom = {"RW-1"}, .bench = true}), 1) << said;
    EXPECT_TRUE(Files().empty());
}
