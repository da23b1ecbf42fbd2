// Whole updates of simulated instruments through the update sequence, checked by what the
// instrument holds afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "bsl/VornBSLHost.h"
#include "e2e/E2ESupport.h"
#include "protocol/Vorn_protocol.h"
#include "serial/Timing.h"
#include "serial/VornLog.h"
#include "serial/VornSerial.h"
#include "sim/BslEngine.h"
#include "support/TestSupport.h"
#include "update/FirmwareFile.h"
#include "update/UpdateSequence.h"

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
        r.firmwareVersion = host.firmwareVersion;
        return r;
    }
    int32_t Update(const UpdateRequest& request) {
        UpdateSequence sequence(&log, session, host, ui);
        int32_t rc = sequence.Run(request);
        profile = sequence.Profile();
        return rc;
    }
    std::string SettingsFile() const { return dir.File(load.deviceName + ".settings.txt"); }
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
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Newer Firmware"});
    ASSERT_FALSE(ui.statuses.empty());
    EXPECT_EQ(ui.statuses.back().rfind("Successfully updated firmware in ", 0), 0u);
    EXPECT_EQ(ui.progress, 100);
    EXPECT_EQ(ui.connectText, "You may disconnect your Readwell now.");
    EXPECT_GT(ui.uploadReports, 1);
    EXPECT_GT(ui.eraseReports, 10);  // one report every tenth segment
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
    void Interrupt(SimInstrument& sim) {
        ui.answers = {true};
        ui.onReport = [&sim](int code, int count) {
            if (code == 'W' && count == 1)
                sim.Sim().WithState([](vornsim::InstrumentState& s) { s.bslPowerLossAfter = s.bslFrames + 1; });
        };
        ASSERT_LT(Update(Request(sim.Port())), 0);
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes.back().title, "Firmware Upload Error");
        EXPECT_EQ(ui.connectText, "Connect Readwell to computer comm port.");
        EXPECT_EQ(ui.progress, 0);
        EXPECT_TRUE(std::filesystem::exists(SettingsFile()));
        EXPECT_FALSE(sim.Snapshot().flash.CodeGood());
        ui = RecordingUi{};
        vorn::SleepMs(800);  // the power comes back; the instrument waits in its bootloader
    }
};

TEST_F(InterruptedUpdateTest, TheNextStartFindsTheBootloaderAndRestoresFromTheFile) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    Interrupt(sim);

    ASSERT_EQ(Update(Request(sim.Port())), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_EQ(after.settings, before.settings);
    // Found in its bootloader: no questions, no checks, no saving.
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(ui.SawStatus("Checking battery power..."));
    EXPECT_FALSE(ui.SawStatus("Saving settings for this Readwell..."));
    EXPECT_NE(LogText().find("BSLConnect completed the connection to the waiting VornBSL"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

TEST_F(InterruptedUpdateTest, WithoutTheSettingsFileTheUpdateStillSucceeds) {
    SimInstrument sim("RW", 102);
    Interrupt(sim);
    std::filesystem::remove(SettingsFile());

    ASSERT_EQ(Update(Request(sim.Port())), 1);
    EXPECT_TRUE(FlashHolds(sim.Snapshot(), image));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Settings Error");
    EXPECT_EQ(ui.boxes[0].text, "The Vornell Firmware Updater couldn't find the settings file for your Readwell.\n\n"
                                "Please try again or contact Vornell for help.");
    EXPECT_EQ(ui.statuses.back().rfind("Successfully updated firmware in ", 0), 0u);
}

TEST_F(UpdateTest, WrongHardwareRevisionIsRefused) {
    SimInstrument sim("RW", 102, {{"hver", "B"}});
    ui.answers = {true};
    EXPECT_EQ(Update(Request(sim.Port())), -120);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].title, "Wrong Hardware Revision");
    EXPECT_EQ(ui.boxes[1].text, "The hardware revision of the connected Readwell is 'B'.\n\n"
                                "This updater only works with Readwell hardware revision 'C'.");
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
    EXPECT_EQ(ui.boxes[0].text, "The Vornell Firmware Updater expected to find a Readwell;\nhowever, it found a Kt72.\n\n"
                                "This updater can not update a Kt72.");
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

TEST_F(UpdateTest, APortInUseIsReportedAsSuch) {
    SimInstrument sim("RW", 102);
    VornSerial holder(nullptr);
    ASSERT_EQ(holder.VSOpen(sim.Port(), 9600), 1);
    EXPECT_EQ(Update(Request(sim.Port())), -20);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Connection Error");
    EXPECT_EQ(ui.boxes[0].text, "Comm Port \"" + sim.Port() + " Simulated\" is already in use by another application.\n"
                                "Please choose a new Comm Port to use or quit the application using this port.");
}

TEST_F(UpdateTest, NoInstrumentOnThePort) {
    PtyPair silent;
    EXPECT_EQ(Update(Request(silent.SlavePath())), -20);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "The Vornell Firmware Updater is unable to connect to your Readwell\n on Comm Port \"" +
                                    silent.SlavePath() + " Simulated\".\n\nPlease check your serial cable and Comm Port choice.");
}

TEST_F(UpdateTest, FactoryModeLoadsAKt72AndRestoresItsLoggerSettings) {
    UseSixteenBitImage();
    SimInstrument sim("KT72", 204);
    auto before = sim.Snapshot();
    auto request = Request(sim.Port());
    request.factoryMode = true;
    ui.answers = {true};  // Wrong Device: load anyway
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, image));
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Wrong Device"});  // no Newer Firmware question
    // Everything comes back; the new firmware reports its own build.
    auto expected = before.settings;
    expected["-build"] = "B999-NEW";
    EXPECT_EQ(after.settings, expected);
    EXPECT_TRUE(Sent(sim, "yes\r"));  // the Kt72's data is erased through the library
}

TEST_F(UpdateTest, FactoryModeLoadsAHeron9AndRestoresItsRecordsKeepingData) {
    SimInstrument sim("HN9", 230);
    auto before = sim.Snapshot();
    ASSERT_FALSE(before.records.empty());
    auto request = Request(sim.Port());
    request.factoryMode = true;
    request.keepData = true;
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
    request.replaceSerialNumber = true;
    request.newSerialNumber = "RW-77777";
    ASSERT_EQ(Update(request), 1) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    auto expected = before.settings;
    expected["-sn"] = "RW-77777";
    EXPECT_EQ(sim.Snapshot().settings, expected);

    // Filled in but not asked for: the serial number stays.
    SimInstrument other("RW", 102);
    auto kept = other.Snapshot();
    auto plain = Request(other.Port());
    plain.factoryMode = true;
    plain.newSerialNumber = "RW-77777";
    ui = RecordingUi{};
    ASSERT_EQ(Update(plain), 1);
    EXPECT_EQ(other.Snapshot().settings, kept.settings);
}

TEST_F(UpdateTest, ARestoreErrorIsReportedAndTheUpdateStillSucceeds) {
    SimInstrument sim("RW", 102, {{"error-command", "set -contr 7"}});
    ui.answers = {true};
    ASSERT_EQ(Update(Request(sim.Port())), 1);
    ASSERT_EQ(ui.Titles(), (std::vector<std::string>{"Newer Firmware", "Settings Error"}));
    EXPECT_EQ(ui.statuses.back().rfind("Successfully updated firmware in ", 0), 0u);
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
    EXPECT_NE(ui.boxes.back().text.find(UpdateSequence::SupportLiteratureAddress()), std::string::npos);
}
