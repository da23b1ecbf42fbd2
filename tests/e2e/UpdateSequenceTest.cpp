// Whole updates of simulated instruments through the update sequence, checked by what the
// instrument holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "bsl/VornBSLHost.h"
#include "e2e/E2ESupport.h"
#include "support/ScriptedPeer.h"
#include "session/SettingsFile.h"
#include "session/Vorn_protocol.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "serial/VornSerial.h"
#include "sim/BslEngine.h"
#include "support/TestSupport.h"
#include "update/ResultCodes.h"
#include "update/FirmwareFile.h"
#include "update/UpdateSequence.h"
#include "update/UpdateTexts.h"

using namespace vorn::test;
using vorn::update::UpdateRequest;
using vorn::update::UpdateSequence;

namespace {

constexpr const char* kCaption = "Vornell Firmware Updater";

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        load = vorn::update::LoadFirmwareFile(host, SampleFirmwarePath(), kCaption);
        ASSERT_EQ(load.status, 1) << SampleFirmwarePath();
        image = ReadTiText(ReadFile(SampleFirmwarePath()));
        host.SetProgressReport([this](long t, long d, int s, int c) { return ui.ReportProgress(t, d, s, c); });
    }

    void UseSixteenBitImage() {
        std::string path = dir.File("sixteen.txt");
        std::string text = WriteSixteenBitFirmware(path);
        load = vorn::update::LoadFirmwareFile(host, path, kCaption);
        ASSERT_EQ(load.status, 1);
        image = ReadTiText(text);
    }

    UpdateRequest Request(const std::string& port) {
        UpdateRequest r;
        r.caption = kCaption;
        r.deviceName = load.deviceName;
        r.portName = port;
        r.portDescription = port + " Simulated";
        r.userFolder = dir.Path().string();
        r.firmwareFamily = load.family;
        r.firmwareVersion = load.version;
        return r;
    }
    // `with` replaces the loaded firmware (an empty host: none loaded).
    int32_t Update(const UpdateRequest& request, VornBSLHost* with = nullptr) {
        UpdateSequence sequence(&log, session, with ? *with : host, ui);
        int32_t rc = sequence.Run(request);
        profile = sequence.Profile();
        return rc;
    }
    // The settings files in the folder (the log is the only other file there).
    std::vector<std::string> SettingsFiles() const { return vorn::test::SettingsFilesIn(dir.Path().string()); }
    // The one settings file an update left; empty (and a failure) when there is not one.
    std::string OnlySettingsFile() const {
        const std::vector<std::string> files = SettingsFiles();
        EXPECT_EQ(files.size(), 1u);
        return files.size() == 1 ? files[0] : std::string();
    }
    // The name a legacy release gave the family's file.
    std::string FamilyFile() const { return dir.File(load.deviceName + ".settings.txt"); }
    std::string LogText() { return ReadFile(dir.File("log.txt")); }

    TempDir dir;
    VornLog log{dir.File("log.txt"), 30};
    VornBSLHost host{&log};
    Vorn_protocol session{&log};
    RecordingUi ui;
    vorn::update::FirmwareLoad load;
    TiTextBytes image;
    DeviceProfile profile;
};

bool Sent(SimInstrument& sim, const std::string& command) { return sim.Transcript().find(command) != std::string::npos; }

}  // namespace

TEST_F(UpdateTest, AReadwellIsLoadedRestoredClockedAndErased) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    ASSERT_FALSE(before.settings.empty());
    sim.Sim().WithState([](vornsim::InstrumentState& s) { s.clockOffsetSeconds = 86400; });
    ui.answers = {true};  // "Newer Firmware": every device is newer than version 0

    ASSERT_EQ(Update(Request(sim.Port())), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);

    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_TRUE(after.flash.CodeGood());
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_LE(std::llabs(after.clockOffsetSeconds), 2);
    EXPECT_TRUE(Sent(sim, "yes\r"));
    EXPECT_TRUE(SettingsFiles().empty());  // every setting went back: its file is gone
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Newer Firmware"});
    ASSERT_FALSE(ui.statuses.empty());
    EXPECT_EQ(ui.statuses.back().rfind("Successfully updated firmware in ", 0), 0u);
    EXPECT_EQ(ui.progress, 100);
    EXPECT_EQ(ui.connectText, "You may disconnect your Readwell now.");
    EXPECT_GT(ui.uploadReports, 1);
    EXPECT_GT(ui.eraseReports, 10);  // one report every tenth segment
    // The bar's own positions (the reports in between move it through the UpdateUi).
    EXPECT_EQ(ui.progressSeen, (std::vector<int>{0, 2, 4, 6, 8, 21, 92, 94, 96, 98, 100}));
    EXPECT_NE(LogText().find("VornBSL Host: Finished updating device in "), std::string::npos);
    for (const char* status : {"Checking battery power...", "Saving settings for this Readwell...",
                               "Starting the firmware loader...", "Erasing firmware memory...",
                               "Uploading new firmware code...", "Restarting the Readwell, please wait...",
                               "Checking new firmware...", "Restoring settings...", "Erasing old data..."})
        EXPECT_TRUE(ui.SawStatus(status)) << status;
}

// The instrument loses power in the middle of the upload; the next Start finds its
// bootloader and finishes the job from the settings file the first attempt left.
class InterruptedUpdateTest : public UpdateTest {
protected:
    // Returns the settings file the cut-short update left.
    std::string Interrupt(SimInstrument& sim) {
        ui.answers = {true};
        ui.onReport = [&sim](int code, int count) {
            if (code == 'W' && count == 1)
                sim.Sim().WithState([](vornsim::InstrumentState& s) { s.bslPowerLossAfter = s.bslFrames + 1; });
        };
        EXPECT_LT(Update(Request(sim.Port())), 0);
        EXPECT_FALSE(ui.boxes.empty());
        if (!ui.boxes.empty()) {
            EXPECT_EQ(ui.boxes.back().title, "Firmware Upload Error");
        }
        EXPECT_EQ(ui.connectText, "Connect Readwell to computer comm port.");
        EXPECT_EQ(ui.progress, 0);
        const std::string left = OnlySettingsFile();
        EXPECT_EQ(JournalStage(left), "erasing");  // the file says the instrument may have lost its settings
        EXPECT_FALSE(sim.Snapshot().flash.CodeGood());
        ui = RecordingUi{};
        vorn::SleepMs(800);  // the power comes back; the instrument waits in its bootloader
        return left;
    }
};

TEST_F(InterruptedUpdateTest, TheNextStartFindsTheBootloaderAndRestoresFromTheFile) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    const std::string left = Interrupt(sim);
    // Where it stands and what to do, in the failure's own box.
    EXPECT_NE(LogText().find("Your Readwell waits in its firmware loader without working firmware; its settings are saved in \"" +
                             left + "\". Run the same command again"),
              std::string::npos);

    ui.answers = {true};  // "Restore Saved Settings"
    ASSERT_EQ(Update(Request(sim.Port())), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_EQ(after.settings, before.settings);
    // Found in its bootloader: no checks, no saving; one question before anything is
    // loaded, whose OK only the unit's own serial number answers on the command line.
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Restore Saved Settings"});
    EXPECT_EQ(ui.consents, std::vector<UpdateUi::Consent>{UpdateUi::Consent::kWriteSavedSettings});
    EXPECT_NE(ui.boxes[0].text.find("holds the settings of the Readwell with serial number \"RW-10234\",\nsaved on Comm "
                                    "Port \"" + sim.Port() + "\" "),
              std::string::npos)
        << ui.boxes[0].text;
    EXPECT_NE(ui.boxes[0].text.find(" is waiting in its firmware loader and cannot tell which unit it is."),
              std::string::npos);
    EXPECT_FALSE(ui.SawStatus("Checking battery power..."));
    EXPECT_FALSE(ui.SawStatus("Saving settings for this Readwell..."));
    EXPECT_NE(LogText().find("BSLConnect completed the connection to the waiting VornBSL"), std::string::npos);
    EXPECT_TRUE(SettingsFiles().empty());
}

// The adapter is pulled out in the middle of the upload and plugged in again: the port
// comes back under its registered name, on a new pseudo-terminal, and the next Start
// finds the instrument in its bootloader and finishes as after a power loss.
TEST_F(UpdateTest, AfterTheAdapterIsPluggedInAgainTheNextStartFinishesTheUpdate) {
    struct OwnRuntimeFolder {  // the registration goes to this test's folder, not the user's
        const char* saved = std::getenv("XDG_RUNTIME_DIR");
        std::string value = saved ? saved : "";
        ~OwnRuntimeFolder() { saved ? setenv("XDG_RUNTIME_DIR", value.c_str(), 1) : unsetenv("XDG_RUNTIME_DIR"); }
    } restore;
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    vornsim::Options options;
    options.portName = "vornsim9";
    auto sim = vornsim::MakeInstrument(options);
    ASSERT_TRUE(sim->Start()) << sim->Error();
    const auto before = sim->WithState([](vornsim::InstrumentState& s) { return s.settings; });

    ui.answers = {true};
    ui.onReport = [&sim](int code, int count) {
        if (code != 'W' || count != 2) return;
        sim->Unplug(300);
        EXPECT_FALSE(std::filesystem::exists(sim->RegisteredPath()));  // gone from the port list while out
    };
    ASSERT_EQ(Update(Request("vornsim9")), vorn::kPortClosed);
    EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"Newer Firmware", "Firmware Upload Error"}));
    EXPECT_EQ(SettingsFiles().size(), 1u);
    EXPECT_FALSE(sim->WithState([](vornsim::InstrumentState& s) { return s.flash.CodeGood(); }));
    for (int i = 0; i < 100 && vorn::platform::OwnPseudoTerminal(sim->RegisteredPath()).empty(); ++i) vorn::SleepMs(20);

    ui = RecordingUi{};
    ui.answers = {true};  // "Restore Saved Settings"
    ASSERT_EQ(Update(Request("vornsim9")), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto after = sim->WithState([](vornsim::InstrumentState& s) { return s; });
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_EQ(after.settings, before);
    // Found in its bootloader: no checks, only the question before the file is used.
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Restore Saved Settings"});
    EXPECT_FALSE(ui.SawStatus("Saving settings for this Readwell..."));
    EXPECT_TRUE(SettingsFiles().empty());
}

// Found in its loader with no saved settings to take: the firmware is loaded, so the
// instrument works again, but without its settings that is no success.
TEST_F(InterruptedUpdateTest, WithoutTheSettingsFileTheNewFirmwareRunsButItIsNoSuccess) {
    SimInstrument sim("RW", 102);
    std::filesystem::remove(Interrupt(sim));

    ASSERT_EQ(Update(Request(sim.Port())), vorn::update::kSettingsNotRestored);
    EXPECT_TRUE(FlashHolds(sim.Snapshot(), image));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Settings Not Restored");
    EXPECT_TRUE(StartsWith(ui.boxes[0].text, "The new firmware runs in your Readwell on Comm Port \"" + sim.Port() +
                                                 " Simulated\", but its settings were not restored: no saved settings of "
                                                 "this unit were found."));
    EXPECT_NE(ui.boxes[0].text.find("Your Readwell runs the new firmware without its saved settings. To write a unit's "
                                    "settings back into it, run:\nvornbsl-cli --port " + sim.Port() + " --restore-settings FILE"),
              std::string::npos)
        << ui.boxes[0].text;
    EXPECT_FALSE(ui.SawStatus("Erasing old data..."));
    EXPECT_FALSE(Sent(sim, "yes\r"));
}

// The file an interrupted update left may be another unit's or months old: before it is
// restored into the instrument found in its loader, the user sees whose it is and its age.
// Cancel loads the firmware without it: the file stays as it was, nothing is restored,
// erased or set, and the update does not count as done.
TEST_F(InterruptedUpdateTest, TheFileIsRestoredOnlyWhenTheUserSaysWhoseItIs) {
    struct Case {
        const char* name;
        std::function<std::string(const std::string&)> edit;  // the file the first Start left
        bool ok;
        std::vector<std::string> said;  // in the question
    };
    const auto cutOrigin = [](const std::string& text) { return text.substr(0, text.find("savedsn=")); };
    const std::time_t twoMonthsAgo = std::time(nullptr) - 61 * 86400;
    const Case cases[] = {
        {"AnotherUnitsOldFileCancelled",
         [&](const std::string& text) {
             return cutOrigin(text) + vorn::settingsfile::FormatOrigin({.serialNumber = "RW-77777", .port = "ttyUSB3",
                                                                        .savedAt = twoMonthsAgo, .stage = "erasing"});
         },
         false,
         {"with serial number \"RW-77777\",\nsaved on Comm Port \"ttyUSB3\" " + vorn::settingsfile::FormatUtc(twoMonthsAgo) +
              " (61 days ago).",
          "Click CANCEL if it is not: the firmware is loaded without them, and the file stays as it is."}},
        // A file of an earlier release: no origin, no journal.
        {"FileOfOld", cutOrigin, true,
         {"with serial number \"RW-10234\",\nsaved ", "The file does not say when it was saved: that is the time it was last written."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimInstrument sim("RW", 102);
        const auto before = sim.Snapshot();
        const std::string file = Interrupt(sim);
        if (c.edit) WriteFile(file, c.edit(ReadFile(file)));
        const std::string left = ReadFile(file);

        ui.answers = {c.ok};
        const int32_t rc = Update(Request(sim.Port()));
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes[0].title, "Restore Saved Settings");
        for (const std::string& part : c.said) EXPECT_NE(ui.boxes[0].text.find(part), std::string::npos) << ui.boxes[0].text;
        const auto after = sim.Snapshot();
        EXPECT_TRUE(FlashHolds(after, image));
        if (c.ok) {
            EXPECT_EQ(rc, 1);
            EXPECT_EQ(after.settings, before.settings);
            EXPECT_TRUE(SettingsFiles().empty());
        } else {
            EXPECT_EQ(rc, vorn::update::kSettingsNotRestored);
            EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"Restore Saved Settings", "Settings Not Restored"}));
            EXPECT_NE(ui.boxes[1].text.find("the saved settings found were not this unit's, as you said."), std::string::npos);
            EXPECT_NE(after.settings, before.settings);  // the update wiped them; none written
            EXPECT_FALSE(Sent(sim, "yes\r"));           // no data erased
            EXPECT_EQ(ReadFile(file), left);
            EXPECT_EQ(ui.connectText, "Connect Readwell to computer comm port.");
        }
        for (const std::string& f : SettingsFiles()) std::filesystem::remove(f);
        ui = RecordingUi{};
    }
}

// An update that stopped partway, whatever the step, is finished by the next Start once
// the fault is gone: new firmware, and every setting the instrument had.
struct Recovery {
    const char* name;
    const char* family;
    uint32_t version;
    bool factory;  // another family than the firmware's: loaded in factory mode (16-bit image)
    std::map<std::string, std::string> switches;  // the fault, cleared before the next Start
    const char* firstTitle;                      // the first Start's box
    // The next Start finds it unable to prove which unit it is (in its loader, or its
    // serial number wiped) and asks before using the file.
    bool askedWhose;
};
void PrintTo(const Recovery& r, std::ostream* os) { *os << r.name; }

class RecoveryTest : public InterruptedUpdateTest, public ::testing::WithParamInterface<Recovery> {};

TEST_P(RecoveryTest, TheNextStartFinishesTheUpdate) {
    const Recovery& r = GetParam();
    if (r.factory) UseSixteenBitImage();
    SimInstrument sim(r.family, r.version, r.switches);
    auto before = sim.Snapshot();
    auto request = Request(sim.Port());
    request.factoryMode = r.factory;
    ui.answers = {true};  // Newer Firmware, or Wrong Device in factory mode
    if (r.switches.empty())  // the power goes in the middle of the upload
        ui.onReport = [&sim](int code, int count) {
            if (code == 'W' && count == 1)
                sim.Sim().WithState([](vornsim::InstrumentState& s) { s.bslPowerLossAfter = s.bslFrames + 1; });
        };
    ASSERT_LT(Update(request), 0);
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().title, r.firstTitle);
    EXPECT_EQ(SettingsFiles().size(), 1u);

    for (const auto& [name, value] : r.switches) sim.Sim().ClearSwitch(name);
    vorn::SleepMs(800);  // the power comes back
    ui = RecordingUi{};
    ui.answers = {true, true};
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    EXPECT_EQ(ui.SawTitle("Restore Saved Settings"), r.askedWhose);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    for (auto* settings : {&before.settings, &after.settings}) settings->erase("-build");  // the new firmware's own
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_EQ(after.records, before.records);
    EXPECT_TRUE(SettingsFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Recoveries, RecoveryTest,
    ::testing::Values(
        // A logger's loader listens at 9600, not at the firmware family's 57600: the
        // settings file the first Start left says which family was being loaded.
        Recovery{"LoggerLoadedInFactoryModeLosesPower", "KT72", 204, true, {}, "Firmware Upload Error", true},
        Recovery{"LabInstrumentLoadedInFactoryModeLosesPower", "CF22", 210, true, {}, "Firmware Upload Error", true},
        // The new firmware runs without its settings: what it says now must not replace
        // the file that holds them.
        Recovery{"NewFirmwareCheckGoesWrong", "RW", 102, false, {{"error-command", "post"}}, "Firmware Error", true},
        Recovery{"RestoreRefused", "RW", 102, false, {{"error-command", "set -contr 7"}}, "Settings Error", false},
        Recovery{"RecordsNotRestored", "HN9", 230, true, {{"error-command", "set -user 0 Clay_Loam 12 30"}},
                 "Settings Error", false},
        // Half restored: the serial number came back, a value did not, and the next save
        // fails on it. The serial number still tells whose file it is.
        Recovery{"HalfRestoredInstrumentAnswersOnlyInPart", "HN9", 230, true, {{"error-command", "set -tadj 0.25 -0.10"}},
                 "Settings Error", false}),
    [](const ::testing::TestParamInfo<Recovery>& info) { return std::string(info.param.name); });

TEST_F(UpdateTest, WrongHardwareRevisionIsRefused) {
    SimInstrument sim("RW", 102, {{"hver", "B"}});
    ui.answers = {true};
    EXPECT_EQ(Update(Request(sim.Port())), -120);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].title, "Wrong Hardware Revision");
    EXPECT_TRUE(StartsWith(ui.boxes[1].text, "The hardware revision of the connected Readwell is 'B'.\n\n"
                                             "This updater only works with Readwell hardware revision 'C'.\n\n"
                                             "Your Readwell still runs its old firmware"));
    EXPECT_FALSE(Sent(sim, "boot ZELK"));
}

TEST_F(UpdateTest, LowBatteryIsRefused) {
    SimInstrument sim("RW", 102, {{"low-battery", ""}});
    ui.answers = {true};
    EXPECT_EQ(Update(Request(sim.Port())), -130);
    EXPECT_EQ(ui.boxes.back().title, "Batteries Too Low");
    EXPECT_FALSE(Sent(sim, "boot ZELK"));
}

TEST_F(UpdateTest, AnotherFamilyIsTheWrongDeviceOutsideFactoryMode) {
    SimInstrument sim("KT72", 204);
    EXPECT_EQ(Update(Request(sim.Port())), -121);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, "error");
    EXPECT_TRUE(StartsWith(ui.boxes[0].text, "The Vornell Firmware Updater expected to find a Readwell;\nhowever, it found "
                                             "a Kt72.\n\nThis updater can not update a Kt72.\n\n"));
    EXPECT_FALSE(Sent(sim, "boot ZELK"));
}

TEST_F(UpdateTest, CancellingTheNewerFirmwareQuestionChangesNothing) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    ui.answers = {false};
    EXPECT_EQ(Update(Request(sim.Port())), -40);
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Newer Firmware"});
    EXPECT_FALSE(Sent(sim, "boot ZELK"));
    EXPECT_EQ(sim.Snapshot().settings, before.settings);
}

TEST_F(UpdateTest, AVersionOutsideTheWindowCanBeRefused) {
    SimInstrument sim("HN9", 201);
    auto request = Request(sim.Port());
    request.factoryMode = true;
    ui.answers = {true, false};  // load into another family: yes; outside the window: no
    EXPECT_EQ(Update(request), -120);
    ASSERT_EQ(ui.Titles(), (std::vector<std::string>{"Wrong Device", "Wrong Firmware Version"}));
    EXPECT_EQ(ui.boxes[1].text, "The Vornell Firmware Updater doesn't support this Readwell\nrunning version 2.01.\n\n"
                                "This updater only works with firmware version 2.02 (or newer).\n\n"
                                "Click OK to force the update anyway.\nClick CANCEL to quit the updater.");
}

TEST_F(UpdateTest, FactoryModeLoadsAKt72AndRestoresItsLoggerSettings) {
    UseSixteenBitImage();
    SimInstrument sim("KT72", 204);
    auto before = sim.Snapshot();
    // A cellular Kt72: its APN password and authentication key are credentials.
    const std::string password = before.settings.at("-passwd"), key = before.settings.at("-authkey");
    ASSERT_FALSE(password.empty());
    ASSERT_EQ(key.size(), 32u);
    auto request = Request(sim.Port());
    request.factoryMode = true;
    ui.answers = {true};  // Wrong Device: load anyway
    log.SetLevel(VornLog::kBytes);
    std::string savedFile;
    ui.onReport = [&](int code, int count) {
        if (code == 'W' && count == 1) savedFile = ReadFile(OnlySettingsFile());
    };
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Wrong Device"});  // no Newer Firmware question
    // Everything comes back; the new firmware reports its own build.
    auto expected = before.settings;
    expected["-build"] = "B999-NEW";
    EXPECT_EQ(after.settings, expected);
    EXPECT_TRUE(Sent(sim, "yes\r"));  // the Kt72's data is erased through the library
    // The settings file keeps the values to restore; the log, at every level, only masks.
    EXPECT_NE(savedFile.find("passwd=\"" + password + "\""), std::string::npos) << savedFile;
    const std::string text = LogText();
    EXPECT_EQ(text.find(password), std::string::npos);
    EXPECT_EQ(text.find(key), std::string::npos);
    EXPECT_EQ(text.find(key.substr(0, 12)), std::string::npos);
    for (const char* masked : {"APNPasswdCommand found APN password \"********\"", "APNPasswdCommand set APN password to \"********\"",
                               "AuthKeyCommand found authkey \"********\"", "AuthKeyCommand set authkey to \"********\""})
        EXPECT_NE(text.find(masked), std::string::npos) << masked;
}

TEST_F(UpdateTest, FactoryModeLoadsAHeron9AndRestoresItsRecordsKeepingData) {
    SimInstrument sim("HN9", 230);
    auto before = sim.Snapshot();
    ASSERT_FALSE(before.records.empty());
    auto request = Request(sim.Port());
    request.factoryMode = true;
    ui.keepData = true;
    ui.answers = {true};
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_EQ(after.records, before.records);
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_FALSE(Sent(sim, "yes\r"));
    EXPECT_FALSE(ui.SawStatus("Erasing old data..."));
}

TEST_F(UpdateTest, ANewSerialNumberReplacesTheSavedOne) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    auto request = Request(sim.Port());
    request.factoryMode = true;
    ui.replaceSerialNumber = true;
    ui.newSerialNumber = "RW-77777";
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto expected = before.settings;
    expected["-sn"] = "RW-77777";
    EXPECT_EQ(sim.Snapshot().settings, expected);

    // Filled in but not asked for: the serial number stays.
    SimInstrument other("RW", 102);
    auto kept = other.Snapshot();
    auto plain = Request(other.Port());
    plain.factoryMode = true;
    ui = RecordingUi{};
    ui.newSerialNumber = "RW-77777";
    ASSERT_EQ(Update(plain), 1);
    EXPECT_EQ(other.Snapshot().settings, kept.settings);
}

TEST_F(UpdateTest, ReconnectionRetriesAfterZeroAndFifteenHundredMilliseconds) {
    SimInstrument sim("RW", 102);
    ui.answers = {true};
    // The instrument goes dark during the restart wait and comes back when the updater
    // starts its second pause between reconnection attempts; the pump sees every
    // pumping wait with the time it has left.
    std::vector<uint32_t> waits;
    int phase = 0;
    vorn::SetEventPump([&](uint32_t ms) {
        waits.push_back(ms);
        if (phase == 0 && ms == 2000) phase = 1;  // the Readwell's restart wait begins
        if (phase == 1 && ms < 1000) {             // it has restarted by now: cut the power
            sim.Sim().Call([](vornsim::Simulator& s) { s.PowerOff(); });
            phase = 2;
        } else if (phase == 2 && ms == 1500) {
            sim.Sim().Call([](vornsim::Simulator& s) { vornsim::BootFirmware(s); });
            phase = 3;
        }
        vorn::SleepMs(std::min<uint32_t>(ms, 50));
    });
    int32_t rc = Update(Request(sim.Port()));
    vorn::SetEventPump(nullptr);
    ASSERT_EQ(rc, 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    // Waits that started a pause: 1500 after the second attempt, never 3000.
    EXPECT_NE(std::find(waits.begin(), waits.end(), 1500u), waits.end());
    EXPECT_EQ(std::find(waits.begin(), waits.end(), 3000u), waits.end());
    EXPECT_EQ(phase, 3);
    size_t failed = 0;
    std::string text = LogText();
    for (size_t at = 0; (at = text.find("VPConnect couldn't connect.", at)) != std::string::npos; ++at) ++failed;
    EXPECT_EQ(failed, 2u);
}

TEST_F(UpdateTest, CalibrationNoticesFollowASuccessfulUpdate) {
    struct Case {
        const char* family;
        uint32_t version;
        const char* title;
    } cases[] = {{"CF22", 150, "Please Calibrate Your CF-22"}, {"TL", 100, "Tallis 8 Calibration"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        UseSixteenBitImage();
        SimInstrument sim(c.family, c.version);
        // The Tallis 8's calibration is at its factory default: it is reminded too.
        sim.Sim().WithState([](vornsim::InstrumentState& s) {
            if (s.settings.count("-adc")) s.settings["-adc"] = "50.98";
        });
        ui = RecordingUi{};
        ui.answers = {true};
        auto request = Request(sim.Port());
        request.factoryMode = true;
        ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes.back().title, c.title);
        EXPECT_EQ(ui.boxes.back().kind, "warning");
    }
}

TEST_F(UpdateTest, AVellumMeterIsRemindedWithTheLiteratureAddress) {
    UseSixteenBitImage();
    SimInstrument sim("VM", 100);
    ui.answers = {true};
    auto request = Request(sim.Port());
    request.factoryMode = true;
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    EXPECT_EQ(ui.boxes.back().title, "Please Calibrate Your Vellum");
    EXPECT_NE(ui.boxes.back().text.find(vorn::update::texts::SupportLiteratureAddress()), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// How every way an update can end looks: one simulated instrument per row, a fault switch
// or a hook that strikes at a chosen step, and what the user saw and what was left.

namespace {

// How far the update got with the instrument.
enum class Reached {
    kNothing,     // not a byte reached the instrument
    kInstrument,  // its firmware was talked to, its loader took no frame
    kLoader,      // the loader took frames (erase, upload ...)
};

class UpdateEndingTest;

struct Ending {
    const char* name;
    const char* family;
    uint32_t version;
    std::map<std::string, std::string> switches;
    std::function<void(UpdateEndingTest&)> arrange;  // request, answers, image, hooks
    int32_t result;
    const char* title;  // a failure's box (the last one); for a success, a box that was shown
    const char* text;   // part of that box's text
    bool settingsFileKept;
    Reached reached;
    std::function<void(UpdateEndingTest&)> check;  // anything more to see afterwards
};
void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

class UpdateEndingTest : public UpdateTest, public ::testing::WithParamInterface<Ending> {
public:
    using UpdateTest::dir;
    using UpdateTest::host;
    using UpdateTest::ui;
    using UpdateTest::FamilyFile;

    void LoadImage(const std::string& text) {
        std::string path = dir.File("image.txt");
        WriteFile(path, text);
        load = vorn::update::LoadFirmwareFile(host, path, kCaption);
        ASSERT_EQ(load.status, 1) << text;
    }
    void SixteenBit() { UseSixteenBitImage(); }
    // Every answer of the loader from now on arrives damaged.
    void GarbleLoader() { sim->Sim().WithState([](vornsim::InstrumentState& s) { s.bslCorruptRate = 1.0; }); }
    // The instrument's firmware stops answering command lines, or answers again.
    // `answered` more lines are answered first.
    void Quiet(bool on, long answered = 0) {
        sim->Sim().WithState([on, answered](vornsim::InstrumentState& s) {
            s.quietAfter = on ? s.linesHeard + answered : -1;
            s.quietLines = 1000000;
        });
    }
    bool Sent(const std::string& command) { return sim->Transcript().find(command) != std::string::npos; }
    std::vector<std::string> Files() const { return SettingsFiles(); }

    std::unique_ptr<SimInstrument> sim;
    UpdateRequest request;
    VornBSLHost* replacement = nullptr;  // another host for the update (no firmware loaded)
    std::unique_ptr<VornBSLHost> emptyHost;
    std::unique_ptr<PtyPair> silentPort;
    std::unique_ptr<VornSerial> holder;
    std::unique_ptr<ScriptedPeer> peer;
    // A device of our own making on the port, answering "get -ver" with `identity`.
    void Peer(const std::string& identity) {
        peer = std::make_unique<ScriptedPeer>(
            [identity](const std::string& command) { return command == "get -ver" ? identity : std::string(); });
        request.portName = peer->SlavePath();
        request.portDescription = "ttyPEER";
    }
};

constexpr const char* kWork = "encountered an error working with your Readwell.\n\nPlease try again.\n\n[Error ";
const std::string kCode = std::string("@2100\n") + "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\n";
// The same code with a block in INFO memory, which the loader erases before the upload.
const std::string kWithInfoBlock =
    "@1000\nF0 E1 D2 C3 B4 A5 96 87 78 69 5A 4B 3C 2D 1E 0F\n" + kCode + "@FFFE\n00 21\nq\n";

void NewerFirmwareOk(UpdateEndingTest& t) { t.ui.answers = {true}; }
void Factory(UpdateEndingTest& t) {
    t.request.factoryMode = true;
    t.ui.answers = {true, true};  // "Wrong Device" where asked, then the next question
}
// A factory update of a Kt72 that was never set up: its settings cannot be read.
void BlankKt72(UpdateEndingTest& t, bool goOn) {
    t.SixteenBit();
    t.request.factoryMode = true;
    t.ui.answers = {true, goOn};  // "Wrong Device", "Settings Retrieve Error"
    // Without saved settings the logger's data erase has no name to check it by (-37).
    t.ui.keepData = true;
}
std::function<void(UpdateEndingTest&)> GarbleAtStatus(std::string status) {
    return [status](UpdateEndingTest& t) {
        NewerFirmwareOk(t);
        t.ui.onStatus = [&t, status](const std::string& s) {
            if (s == status) t.GarbleLoader();
        };
    };
}
std::function<void(UpdateEndingTest&)> GarbleAtReport(int code) {
    return [code](UpdateEndingTest& t) {
        NewerFirmwareOk(t);
        t.ui.onReport = [&t, code](int c, int count) {
            if (c == code && count == 1) t.GarbleLoader();
        };
    };
}
// Changes a factory choice once the new firmware runs, long after Start.
std::function<void(UpdateEndingTest&)> WhileUpdating(std::function<void(RecordingUi&)> change) {
    return [change](UpdateEndingTest& t) {
        t.ui.onStatus = [&t, change](const std::string& s) {
            if (s == "Checking new firmware...") change(t.ui);
        };
    };
}

const std::vector<Ending>& Endings() {
    using R = Reached;
    static const std::vector<Ending> endings = {
        // Refused before connecting.
        {"NoFirmwareLoaded", "RW", 102, {},
         [](UpdateEndingTest& t) {
             Factory(t);
             t.emptyHost = std::make_unique<VornBSLHost>(nullptr);
             t.replacement = t.emptyHost.get();
         },
         -10, "No Firmware Loaded", "no firmware file is open", false, R::kNothing, {}},
        {"ImageWithoutCode", "RW", 102, {}, [](UpdateEndingTest& t) { t.LoadImage("@FFFE\n00 21\nq\n"); },
         -11, "Firmware File Error", "holds no program code, only interrupt vectors", false, R::kNothing, {}},
        {"FourDigitFamilyGivenCodeAboveFFFF", "RW", 102, {},
         [](UpdateEndingTest& t) { t.request.firmwareFamily = KT72; },
         -11, "Firmware Does Not Fit", "at 0x10000 to 0x", false, R::kNothing, {}},
        {"SerialNumberWithALineBreak", "RW", 102, {},
         [](UpdateEndingTest& t) {
             Factory(t);
             t.ui.replaceSerialNumber = true;
             t.ui.newSerialNumber = "RW-1\rboot ZELK";
         },
         -11, "Serial Number Error", "holds a line break or another control character", false, R::kNothing, {}},
        // Refused once the instrument is known, before its loader is started.
        {"BlockRunningIntoTheLoaderArea", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             std::string block;  // 32 bytes: 0xF9F0 to 0xFA0F
             for (int i = 0; i < 32; ++i) block += "5A ";
             t.LoadImage(kCode + "@F9F0\n" + block + "\n@FFFE\n00 21\nq\n");
         },
         -11, "Firmware Does Not Fit", "in the firmware loader's own area 0x0FA00 to 0x0FFFF", false, R::kInstrument, {}},
        {"CodeInRam", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.LoadImage("@0200\n00 11 22 33\n" + kCode + "@FFFE\n00 21\nq\n");
         },
         -11, "Firmware Does Not Fit",
         "0x00200 to 0x00203, outside the program memory 0x02100 to 0x1FF00 and the INFO memory 0x01000 to 0x010BF",
         false, R::kInstrument, {}},
        {"ABlockInInfoMemoryIsLoaded", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.LoadImage(kWithInfoBlock);
         },
         1, "", "", false, R::kLoader,
         [](UpdateEndingTest& t) {
             const auto state = t.sim->Snapshot();
             EXPECT_TRUE(FlashHolds(state, ReadTiText(kWithInfoBlock)));
             EXPECT_EQ(state.flash.Read(0x1000), 0xF0);
             EXPECT_TRUE(state.flash.CodeGood());
         }},
        {"NoResetVector", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.LoadImage(kCode + "@FFE0\n00 21\nq\n");
         },
         -11, "Firmware Does Not Fit", "it has no reset vector", false, R::kInstrument, {}},
        {"ResetVectorOutsideTheCode", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.LoadImage(kCode + "@FFFE\n00 30\nq\n");
         },
         -11, "Firmware Does Not Fit", "its reset vector 0x3000 points outside its code", false, R::kInstrument, {}},
        {"FourDigitLoaderGivenCodeAboveFFFF", "KT72", 204, {}, Factory,
         -11, "Firmware Does Not Fit", "your Kt72: it holds code at 0x10000", false, R::kInstrument, {}},
        {"FoundInItsLoaderAndStillChecked", "RW", 102, {{"in-bootloader", ""}},
         [](UpdateEndingTest& t) { t.LoadImage(kCode + "@FFFE\n00 30\nq\n"); },
         -11, "Firmware Does Not Fit", "points outside its code", false, R::kInstrument, {}},
        // The settings must be safe in their file before anything is erased.
        {"SettingsFileCannotBeWritten", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.request.userFolder = "/proc/self";  // a folder where nobody, root included, creates a file
         },
         -104, "Settings File Error", "could not keep the settings of your Readwell in the file\n\"/proc/self/Readwell.sn-RW-10234.",
         false, R::kInstrument, {}},
        {"SettingsRetrieveErrorCancelled", "KT72", 204, {{"uninitialised", ""}},
         [](UpdateEndingTest& t) { BlankKt72(t, false); },
         -40, "Settings Retrieve Error", "Click CANCEL to try retrieving the settings again.", false, R::kInstrument, {}},
        // Some settings did not come over the line: the update would wipe them. Cancel
        // leaves the instrument as it was and no file behind; OK goes on without them.
        {"SomeSettingsUnreadCancelled", "RW", 102, {{"error-command", "get -contr"}}, NewerFirmwareOk,
         -40, "Settings Retrieve Error", "could not retrieve all the settings from your Readwell", false,
         R::kInstrument, {}},
        {"SomeSettingsUnreadAccepted", "RW", 102, {{"error-command", "get -contr"}},
         [](UpdateEndingTest& t) { t.ui.answers = {true, true}; },
         1, "Settings Retrieve Error", "The settings it could not read will be lost.", false, R::kLoader, {}},
        // Settings files that updates which did not finish left behind. Another unit's is
        // neither restored onto this one nor touched.
        {"AnotherUnitsFileIsLeftAsItIs", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             WriteFile(t.FamilyFile(), "type=\"RW\"\r\nsn=\"RW-99999\"\r\ncontr=\"1\"\r\n");
         },
         1, "", "", true, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_EQ(t.sim->Snapshot().settings.at("-sn"), "RW-10234");
             EXPECT_EQ(t.sim->Snapshot().settings.at("-contr"), "7");
             EXPECT_EQ(ReadFile(t.FamilyFile()), "type=\"RW\"\r\nsn=\"RW-99999\"\r\ncontr=\"1\"\r\n");
             EXPECT_EQ(t.Files(), std::vector<std::string>{t.FamilyFile()});
         }},
        // This unit's own file, from an update that was stopped before it started the
        // loader: the instrument kept its settings, and the user changed one since. What
        // it holds now goes back, not the old file, which is set aside and kept.
        {"AFileOfThisUnitWhoseUpdateNeverErasedIsSetAside", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             WriteFile(t.dir.File("Readwell.sn-RW-10234.20261201-080000.settings.txt"),
                       "type=\"RW\"\r\nsn=\"RW-10234\"\r\ncontr=\"1\"\r\nsavedsn=\"RW-10234\"\r\nsavedport=\"ttyUSB0\"\r\n"
                       "stage=\"saved\"\r\n");
         },
         1, "Settings Set Aside", "Its update stopped before the firmware loader was started", true, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_EQ(t.sim->Snapshot().settings.at("-contr"), "7");
             const std::string aside = t.dir.File("Readwell.sn-RW-10234.20261201-080000.settings.txt");
             EXPECT_EQ(t.Files(), std::vector<std::string>{aside});
             EXPECT_EQ(JournalStage(aside), "set-aside");
             EXPECT_NE(ReadFile(aside).find("contr=\"1\""), std::string::npos);
         }},
        // A unit that tells no serial number while another unit's file waits: the user
        // says it is not that unit, and the update goes on with what it holds, the other
        // file untouched.
        {"NoSerialNumberToTellAndAnotherUnitsFileDeclined", "RW", 102, {},
         [](UpdateEndingTest& t) {
             // "Newer Firmware"; "Restore Saved Settings": not that unit; its serial number
             // was not read: go on without it.
             t.ui.answers = {true, false, true};
             WriteFile(t.FamilyFile(), "type=\"RW\"\r\nsn=\"RW-99999\"\r\ncontr=\"1\"\r\n");
             t.sim->Sim().WithState([](vornsim::InstrumentState& s) { s.settings.erase("-sn"); });
         },
         1, "Restore Saved Settings", "with serial number \"RW-99999\"", true, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_EQ(t.ui.consents[1], UpdateUi::Consent::kWriteSavedSettings);
             EXPECT_EQ(ReadFile(t.FamilyFile()), "type=\"RW\"\r\nsn=\"RW-99999\"\r\ncontr=\"1\"\r\n");
             EXPECT_EQ(t.sim->Snapshot().settings.count("-sn"), 0u);  // nothing of RW-99999 written
             EXPECT_EQ(t.sim->Snapshot().settings.at("-contr"), "7");
         }},
        // The loader.
        {"NoWorkingLoader", "RW", 102, {{"bsl-missing", ""}}, NewerFirmwareOk,
         -112, "Firmware Loader Error", "This Readwell does not have a working firmware loader.", true, R::kInstrument, {}},
        {"LoaderAnswersDamaged", "RW", 102, {}, GarbleAtStatus("Starting the firmware loader..."),
         -110, "Firmware Loader Error", "is unable to connect to the firmware loader in your Readwell.\n\nPlease try again.",
         true, R::kLoader, {}},
        // After the erase: the instrument has no firmware; the file must stay for the next Start.
        {"InfoEraseFails", "RW", 102, {}, GarbleAtStatus("Erasing firmware memory..."),
         -1, "INFO Memory Erase Error", kWork, true, R::kLoader, {}},
        {"FlashEraseFails", "RW", 102, {}, GarbleAtReport('X'), -1, "Firmware Erase Error", kWork, true, R::kLoader, {}},
        {"UploadFails", "RW", 102, {}, GarbleAtReport('W'), -1, "Firmware Upload Error", kWork, true, R::kLoader, {}},
        // The adapter is pulled out while a frame waits for its answer: the hang-up ends
        // the upload at once, and the log says what happened.
        {"AdapterUnpluggedDuringTheUpload", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.ui.onReport = [&t](int code, int count) {
                 if (code == 'W' && count == 1)
                     t.sim->Sim().WithState([](vornsim::InstrumentState& s) { s.bslUnplugAfter = s.bslFrames + 1; });
             };
         },
         -21, "Firmware Upload Error", kWork, true, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_NE(ReadFile(t.dir.File("log.txt")).find("VSWait port hung up: its device was unplugged or went away"),
                       std::string::npos);
         }},
        {"VectorsUnanswered", "RW", 102, {}, GarbleAtStatus("Restarting the Readwell, please wait..."),
         -21, "Firmware Upload Error", kWork, true, R::kLoader, {}},
        {"ReconnectionFailsThreeTimes", "RW", 102, {},
         [](UpdateEndingTest& t) {
             NewerFirmwareOk(t);
             t.ui.onProgress = [&t](int position) {
                 if (position == 92) t.sim->Sim().Call([](vornsim::Simulator& s) { s.PowerOff(); });
             };
         },
         -20, "Connection Error", kWork, true, R::kLoader, {}},
        {"NewFirmwareCorrupt", "RW", 102, {{"code-corrupt", ""}}, NewerFirmwareOk,
         -1, "Firmware Error", "The new firmware for your Readwell is corrupt!\n\nPlease try again or contact Vornell.", true,
         R::kLoader, {}},
        {"DataChipReportsErrors", "RW", 102, {{"dataflash-fail", ""}}, NewerFirmwareOk,
         -65, "Data Erase Error", "in your Readwellbecause the data storage chip is reporting errors.\n\nPlease contact Vornell",
         false, R::kLoader, {}},
        {"DataEraseRefused", "RW", 102, {{"error-command", "yes"}}, NewerFirmwareOk,
         -34, "Data Erase Error", "unable to erase the data in your Readwell.\nPlease try again.\n[Error: -34]", false,
         R::kLoader, {}},
        // Going on without the settings, and the serial number alone.
        {"SettingsRetrieveErrorOk", "KT72", 204, {{"uninitialised", ""}},
         [](UpdateEndingTest& t) { BlankKt72(t, true); },
         1, "Settings Retrieve Error", "Click OK to continue loading new firmware.", false, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_FALSE(t.ui.SawStatus("Restoring settings...") && t.Sent("set -sn"));
             EXPECT_FALSE(t.Sent("set -i "));
         }},
        {"SerialNumberAloneRestored", "KT72", 204, {{"uninitialised", ""}},
         [](UpdateEndingTest& t) {
             BlankKt72(t, true);
             WhileUpdating([](RecordingUi& ui) {
                 ui.replaceSerialNumber = true;
                 ui.newSerialNumber = "KT-0042";
             })(t);
         },
         1, "Settings Retrieve Error", "Click OK", false, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_EQ(t.sim->Snapshot().settings["-sn"], "KT-0042");
             EXPECT_FALSE(t.Sent("set -i "));
         }},
        // Login refused before the settings are saved, and after the upload.
        {"LoginRefusedBeforeSaving", "HN9", 230, {},
         [](UpdateEndingTest& t) {
             Factory(t);
             t.ui.onStatus = [&t](const std::string& s) {
                 if (s == "Saving settings for this Readwell...") t.Quiet(true);
             };
         },
         -25, "Login Error", "could not retrieve the settings from your Readwell", false, R::kInstrument, {}},
        // Found in its loader, so the first login is the one after the restart; the firmware
        // answers the reconnection's identity question, then nothing until the login is over.
        {"LoginRefusedAfterTheUpload", "HN9", 230, {{"in-bootloader", ""}},
         [](UpdateEndingTest& t) {
             t.ui.onProgress = [&t](int position) {
                 if (position == 92) t.Quiet(true, 1);
             };
             t.ui.onStatus = [&t](const std::string& s) {
                 if (s == "Checking new firmware...") t.Quiet(false);
             };
         },
         // No saved settings of it are in the folder: loaded, but not a success.
         vorn::update::kSettingsNotRestored, "Settings Not Restored", "no saved settings of this unit were found", false,
         R::kLoader,
         [](UpdateEndingTest& t) {
             ASSERT_TRUE(t.ui.SawTitle("Login Error"));
             EXPECT_NE(t.ui.boxes[0].text.find("failed to log into your Readwell.\nPlease check the settings on your instrument"),
                       std::string::npos);
         }},
        // The factory choices as they are when their step comes, not when Start was pressed.
        {"KeepDataTickedDuringTheUpdate", "RW", 102, {},
         [](UpdateEndingTest& t) {
             Factory(t);
             WhileUpdating([](RecordingUi& ui) { ui.keepData = true; })(t);
         },
         1, "", "", false, R::kLoader,
         [](UpdateEndingTest& t) {
             EXPECT_FALSE(t.Sent("yes\r"));
             EXPECT_FALSE(t.ui.SawStatus("Erasing old data..."));
         }},
        {"KeepDataClearedDuringTheUpdate", "RW", 102, {},
         [](UpdateEndingTest& t) {
             Factory(t);
             t.ui.keepData = true;
             WhileUpdating([](RecordingUi& ui) { ui.keepData = false; })(t);
         },
         1, "", "", false, R::kLoader, [](UpdateEndingTest& t) { EXPECT_TRUE(t.Sent("yes\r")); }},
        {"SerialNumberTypedDuringTheUpdate", "RW", 102, {},
         [](UpdateEndingTest& t) {
             Factory(t);
             WhileUpdating([](RecordingUi& ui) {
                 ui.replaceSerialNumber = true;
                 ui.newSerialNumber = "RW-55555";
             })(t);
         },
         1, "", "", false, R::kLoader,
         [](UpdateEndingTest& t) { EXPECT_EQ(t.sim->Snapshot().settings["-sn"], "RW-55555"); }},
        // The first connection.
        {"PortMissing", "RW", 102, {},
         [](UpdateEndingTest& t) {
             t.request.portName = t.dir.File("no-such-port");
             t.request.portDescription = "ttyNONE";
         },
         -20, "Connection Error", "Comm Port \"ttyNONE\" isn't available.\nPlease choose a new Comm Port to use.", false,
         R::kNothing, {}},
        {"PortInUse", "RW", 102, {},
         [](UpdateEndingTest& t) {
             t.holder = std::make_unique<VornSerial>(nullptr);
             ASSERT_EQ(t.holder->VSOpen(t.sim->Port(), 9600), 1);
         },
         -20, "Connection Error",
         "\" is already in use by another application.\n"
         "Please choose a new Comm Port to use or quit the application using this port.",
         false, R::kNothing,
         [](UpdateEndingTest& t) {
             ASSERT_EQ(t.ui.boxes.size(), 1u);
             EXPECT_EQ(t.ui.boxes[0].text, "Comm Port \"" + t.sim->Port() +
                                               " Simulated\" is already in use by another application.\n"
                                               "Please choose a new Comm Port to use or quit the application using this port."
                                               "\n\nYour Readwell still runs its old firmware with its settings: nothing was "
                                               "changed. Run the same command again when you are ready.");
         }},
        {"NoInstrumentOnThePort", "RW", 102, {},
         [](UpdateEndingTest& t) {
             t.silentPort = std::make_unique<PtyPair>();
             t.request.portName = t.silentPort->SlavePath();
             t.request.portDescription = "ttySILENT";
         },
         -20, "Connection Error",
         "The Vornell Firmware Updater is unable to connect to your Readwell\n on Comm Port \"ttySILENT\".\n\n"
         "Please check your serial cable and Comm Port choice.",
         false, R::kNothing,
         [](UpdateEndingTest& t) {
             ASSERT_EQ(t.ui.boxes.size(), 1u);
             EXPECT_TRUE(StartsWith(t.ui.boxes[0].text,
                       "The Vornell Firmware Updater is unable to connect to your Readwell\n on Comm Port \"ttySILENT\".\n\n"
                       "Please check your serial cable and Comm Port choice.\n\nYour Readwell still runs"));
         }},
        {"NotASerialPort", "RW", 102, {},
         [](UpdateEndingTest& t) {
             t.request.portName = "/dev/null";
             t.request.portDescription = "null";
         },
         -20, "Connection Error", "Comm Port \"null\" is not a serial port.\nPlease choose a new Comm Port to use.", false,
         R::kNothing, {}},
        {"UnknownDevice", "RW", 102, {}, [](UpdateEndingTest& t) { t.Peer(Reply("ZZ9 1.00")); },
         -20, "Connection Error",
         "is unable to connect to your unknown device\n on Comm Port \"ttyPEER\".\n\n"
         "Please check your serial cable and Comm Port choice.\n\n"
         "Please verify the device connected is a \"Readwell\" and has a version of\nfirmware that supports updates.",
         false, R::kNothing, {}},
        {"DeviceAnswersWithAnError", "RW", 102, {}, [](UpdateEndingTest& t) { t.Peer(Reply("ERROR")); },
         -20, "Connection Error", "Please check your serial cable and Comm Port choice.\nError -", false, R::kNothing, {}},
        {"VersionNotSupported", "KT72", 101, {}, {},
         -20, "Connection Error", "The Vornell Firmware Updater does not support your Kt72\nrunning version 101.", false,
         R::kInstrument, {}},
    };
    return endings;
}

TEST_P(UpdateEndingTest, EndsAsItShould) {
    const Ending& e = GetParam();
    sim = std::make_unique<SimInstrument>(e.family, e.version, e.switches);
    request = Request(sim->Port());
    if (e.arrange) e.arrange(*this);
    if (HasFatalFailure()) return;

    const int32_t rc = Update(request, replacement);
    ui.onStatus = nullptr;
    ui.onProgress = nullptr;
    ui.onReport = nullptr;

    EXPECT_EQ(rc, e.result) << (ui.boxes.empty() ? "no box" : ui.boxes.back().title + ": " + ui.boxes.back().text);
    const std::string title = e.title;
    if (e.result < 0) {
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes.back().title, title);
        EXPECT_NE(ui.boxes.back().text.find(e.text), std::string::npos) << ui.boxes.back().text;
        // Exactly one error box that ended the update; questions answered before it, and a
        // failure the update passed over (a login after the restart), do not count.
        EXPECT_EQ(std::count_if(ui.boxes.begin(), ui.boxes.end() - 1,
                                [](const RecordingUi::Box& b) { return b.kind == "error" && b.title != "Login Error"; }) +
                      (ui.boxes.back().kind == "error" ? 1 : 0),
                  ui.boxes.back().kind == "error" ? 1 : 0);
        // It says where the instrument stands: in that box, or on its own after a Cancel.
        const std::string where = ui.boxes.back().kind == "error" ? ui.boxes.back().text
                                  : ui.standings.empty()         ? std::string()
                                                                 : ui.standings.back();
        // Named as it answered (a Kt72 found for a Readwell's firmware is "your Kt72"), or as
        // the firmware's when it did not.
        std::string answered = load.deviceName;
        for (int f = 1; f < 64 && vorn::catalogue::FamilyCode(f) != std::string_view("UNKNOWN"); ++f)
            if (vorn::catalogue::FamilyCode(f) == std::string_view(e.family)) answered = vorn::catalogue::FamilyDisplayName(f);
        EXPECT_TRUE(where.find("Your " + load.deviceName + " ") != std::string::npos ||
                    where.find("Your " + answered + " ") != std::string::npos)
            << where;
        EXPECT_EQ(ui.progress, 0);
        EXPECT_EQ(ui.connectText, "Connect " + load.deviceName + " to computer comm port.");
        // The log's last word on it: the code and what it means.
        EXPECT_NE(LogText().find("Ended with " + vorn::update::ResultLine(rc) + "\r\n"), std::string::npos);
    } else {
        EXPECT_EQ(ui.statuses.back().rfind("Successfully updated firmware in ", 0), 0u);
        if (!title.empty()) {
            auto shown = std::find_if(ui.boxes.begin(), ui.boxes.end(),
                                      [&](const RecordingUi::Box& b) { return b.title == title; });
            ASSERT_NE(shown, ui.boxes.end()) << title;
            EXPECT_NE(shown->text.find(e.text), std::string::npos) << shown->text;
        }
    }
    EXPECT_EQ(!SettingsFiles().empty(), e.settingsFileKept);

    auto state = sim->Snapshot();
    const Reached reached = state.bslFrames > 0          ? Reached::kLoader
                            : sim->Transcript().empty() ? Reached::kNothing
                                                        : Reached::kInstrument;
    EXPECT_EQ(static_cast<int>(reached), static_cast<int>(e.reached)) << "0 nothing, 1 instrument, 2 loader";
    if (e.reached != Reached::kLoader) {
        EXPECT_TRUE(state.flash.CodeGood()) << "the instrument's firmware was touched";
    }
    if (e.check) e.check(*this);
}

INSTANTIATE_TEST_SUITE_P(Endings, UpdateEndingTest, ::testing::ValuesIn(Endings()),
                         [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

}  // namespace
