// Whole updates through the window on the offscreen platform, with scripted answers.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "app/AutoSizeLabel.h"
#include "app/EventPump.h"
#include "app/TfrmMain.h"
#include "feedback/TfrmWeb.h"
#include "serial/WireTranscript.h"
#include "update/UserFolder.h"
#include "gui/UiService.h"
#include "e2e/E2ESupport.h"
#include "common/Timing.h"
#include "support/GuiTestSupport.h"
#include "support/LocaleScope.h"
#include "support/TestSupport.h"

using namespace vorn::test;

namespace {

class WindowUpdateTest : public ::testing::Test {
protected:
    void TearDown() override { window.reset(); }
    // Opens the firmware file (the demo firmware unless told), picks the instrument's port
    // and presses Start; returns when the update has ended.
    void UpdateThroughTheWindow(SimInstrument& sim, QStringList args = {},
                                const std::string& firmware = SampleFirmwarePath()) {
        ports.devices = {{sim.Port(), "Simulated instrument", ""}};
        window = std::make_unique<TfrmMain>(args);
        window->SetPortSource(&ports);
        window->show();
        ui.files = {QString::fromStdString(firmware)};
        window->OpenFirmwareFile1->trigger();
        Q_EMIT window->cbCommPort->activated(0);
        window->btnStart->click();
        ASSERT_TRUE(window->timerStart->isActive());
        // The update runs inside the timer's handler, which keeps the event loop going.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->timerStart->isActive() && !window->Busy(); }, 120000));
    }

    TempDir dir;
    ScriptedUi ui;
    IsolatedGui gui{dir, ui};
    FakePorts ports;
    std::unique_ptr<TfrmMain> window;
};

}  // namespace

TEST_F(WindowUpdateTest, AReadwellUpdatedFromTheStartButton) {
    SimInstrument sim("RW", 102);
    auto before = sim.Snapshot();
    ui.answers = {UiService::Answer::Ok};  // "Newer Firmware"
    UpdateThroughTheWindow(sim);

    TfrmMain& w = *window;
    if (qEnvironmentVariableIsSet("VORN_SCREENSHOT_DIR"))
        w.grab().save(qEnvironmentVariable("VORN_SCREENSHOT_DIR") + "/window-updated.png");
    EXPECT_TRUE(w.statusText->text().startsWith("Successfully updated firmware in ")) << w.statusText->text().toStdString();
    EXPECT_TRUE(w.statusText->text().endsWith(" seconds."));
    EXPECT_EQ(w.statusBar->value(), 100);
    EXPECT_EQ(w.lblConnect->text(), "You may disconnect your Readwell now.");
    EXPECT_TRUE(w.btnClose->isDefault());
    EXPECT_EQ(ui.Titles(), QStringList({"Please select a firmware file", "Newer Firmware"}));
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, ReadTiText(ReadFile(SampleFirmwarePath()))));
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_NE(ReadFile(w.ErrorLogPath().toStdString()).find("VornBSL Host: Finished updating device in "),
              std::string::npos);
    EXPECT_FALSE(QFile::exists(w.SettingsPath()));
}

// Settings > Record Wire Transcript: the update's bytes go into the per-user folder,
// the item is kept for the next start, and the feedback form sends the transcript.
TEST_F(WindowUpdateTest, ARecordedUpdateLeavesItsTranscriptForTheFeedbackForm) {
    SimInstrument sim("RW", 102);
    ui.answers = {UiService::Answer::Ok};  // "Newer Firmware"
    ports.devices = {{sim.Port(), "Simulated instrument", ""}};
    window = std::make_unique<TfrmMain>(QStringList{});
    window->SetPortSource(&ports);
    window->show();
    EXPECT_FALSE(window->RecordWireTranscript1->isChecked());
    window->RecordWireTranscript1->trigger();
    if (qEnvironmentVariableIsSet("VORN_SCREENSHOT_DIR")) {
        window->Edit1->popup(window->mapToGlobal(QPoint(60, 20)));
        QTest::qWait(200);
        window->Edit1->grab().save(qEnvironmentVariable("VORN_SCREENSHOT_DIR") + "/settings-menu.png");
        window->Edit1->hide();
    }
    ui.files = {QString::fromStdString(SampleFirmwarePath())};
    window->OpenFirmwareFile1->trigger();
    Q_EMIT window->cbCommPort->activated(0);
    window->btnStart->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->timerStart->isActive() && !window->Busy(); }, 120000));
    EXPECT_TRUE(window->statusText->text().startsWith("Successfully updated firmware in "));

    const std::string path = vorn::update::TranscriptPath(window->UserFolder().toStdString());
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind(std::string(vorn::serial::kTranscriptHeader) + "\n# Vornell Firmware Updater ", 0), 0u) << text;
    EXPECT_NE(text.find(" OPEN 9600 \"" + sim.Port() + "\"\n"), std::string::npos);
    EXPECT_NE(text.find(" TX 9600 \"boot ZELK\\r\""), std::string::npos);
    EXPECT_NE(text.find(" BAUD "), std::string::npos);  // the engine's speed

    TfrmWeb web(window.get());
    window->SetFeedbackWindow(&web);
    {
        QSettings feedbackPrefs("Vornell Devices, Inc", "FeedbackForm");
        feedbackPrefs.setValue("ServiceURL", "http://127.0.0.1:9");  // nobody listens: the form stays shut
    }
    window->SendFeedbacktoVornell1->trigger();
    EXPECT_EQ(web.LaunchValues().attachment2.toStdString(), path);
    window->close();
    EXPECT_EQ(QSettings("Vornell Devices, Inc", "VornBSL").value("RecordTranscript").toInt(), 1);
}

TEST_F(WindowUpdateTest, TheCloseGuardHoldsWhileTheFirmwareUploads) {
    SimInstrument sim("RW", 102);
    ui.answers = {UiService::Answer::Ok};
    bool closedMidUpdate = false;
    ui.onShow = [&](const ScriptedUi::Shown& box) {
        if (box.title == "Newer Firmware")
            // Once the update is under way, the user presses Alt+F4.
            QTimer::singleShot(1500, window.get(), [&] {
                window->close();
                closedMidUpdate = !window->isVisible();
            });
    };
    UpdateThroughTheWindow(sim);
    EXPECT_FALSE(closedMidUpdate);
    EXPECT_TRUE(ui.Titles().contains("Don't Quit Now!"));
    EXPECT_TRUE(window->statusText->text().startsWith("Successfully updated firmware in "));
}

TEST_F(WindowUpdateTest, AWrongDeviceIsRefusedInOneBox) {
    SimInstrument sim("KT72", 204);
    UpdateThroughTheWindow(sim);
    TfrmMain& w = *window;
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].title, "Wrong Device");
    EXPECT_EQ(ui.shown[1].kind, UiService::Kind::Error);
    EXPECT_FALSE(w.statusText->isVisible());
    EXPECT_EQ(w.statusBar->value(), 0);
    EXPECT_EQ(w.lblConnect->text(), "Connect Readwell to computer comm port.");
    EXPECT_TRUE(w.btnStart->isEnabled());
    EXPECT_NE(ReadFile(w.ErrorLogPath().toStdString()).find("ErrorOK Told User:: The Vornell Firmware Updater expected"),
              std::string::npos);
}

// "Don't Erase Data" stays a menu item during the update: ticked while the firmware loads,
// it is what decides the data erase.
TEST_F(WindowUpdateTest, DontEraseDataTickedDuringTheUpdateIsHonoured) {
    const std::string firmware = dir.File("sixteen.txt");
    WriteSixteenBitFirmware(firmware);
    SimInstrument sim("KT72", 204);
    ui.answers = {UiService::Answer::Ok};  // "Wrong Device": load it anyway
    ui.onShow = [&](const ScriptedUi::Shown& box) {
        if (box.title == "Wrong Device") window->DontEraseData1->trigger();
    };
    UpdateThroughTheWindow(sim, {"-factory"}, firmware);
    EXPECT_TRUE(window->statusText->text().startsWith("Successfully updated firmware in "))
        << window->statusText->text().toStdString();
    EXPECT_TRUE(window->DontEraseData1->isChecked());
    EXPECT_EQ(sim.Transcript().find("yes\r"), std::string::npos);
}

// QApplication gives the C library the user's locale; a German one has a decimal comma.
// The logger's coordinates still go out, into the settings file and back with ".".
TEST_F(WindowUpdateTest, ALoggerKeepsItsCoordinatesUnderADecimalCommaLocale) {
    const std::string firmware = dir.File("sixteen.txt");
    const std::string image = WriteSixteenBitFirmware(firmware);
    LocaleScope locale(kCommaLocale);  // before the simulator's thread starts
    ASSERT_TRUE(locale.Active());
    SimInstrument sim("KT72", 204);
    auto before = sim.Snapshot();
    ASSERT_EQ(before.settings["-lat"], "+46.72000");
    ui.answers = {UiService::Answer::Ok};  // "Wrong Device": load it anyway
    UpdateThroughTheWindow(sim, {"-factory"}, firmware);

    EXPECT_TRUE(window->statusText->text().startsWith("Successfully updated firmware in "))
        << window->statusText->text().toStdString();
    auto after = sim.Snapshot();
    EXPECT_TRUE(FlashHolds(after, ReadTiText(image)));
    auto expected = before.settings;
    expected["-build"] = "B999-NEW";  // the new firmware reports its own build
    EXPECT_EQ(after.settings, expected);
    const std::string transcript = sim.Transcript();
    for (const std::string key : {"-lat", "-long"}) {
        const std::string line = "set " + key + " " + before.settings[key] + "\r";
        EXPECT_NE(transcript.find(line), std::string::npos) << "never sent: " << line;
    }
}

// The window's update as an ordinary user runs it: the port opened and closed several
// times while the simulated instrument keeps its end open.
TEST(WindowOrdinaryUser, UpdatesAReadwell) {
    if (!RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(PassedEveryTest(RunAgainAsOrdinaryUser("WindowUpdateTest.AReadwellUpdatedFromTheStartButton",
                                                       {{"VORN_SAMPLE_FIRMWARE", SampleFirmwarePath()}})));
}

// An update cut short, then a Start that finds the instrument in its loader: the user
// says the saved settings are not its own (Cancel is the question's default), the
// firmware is loaded without them, and the box says how to write them back. File >
// Restore Settings... then does, with the saved file, and the file goes.
TEST_F(WindowUpdateTest, SettingsLeftInTheirFileGoBackThroughRestoreSettings) {
    SimInstrument sim("RW", 102, {{"power-loss-after", "20"}});
    const auto before = sim.Snapshot();
    ui.answers = {UiService::Answer::Ok};  // "Newer Firmware"
    UpdateThroughTheWindow(sim);
    TfrmMain& w = *window;
    const std::vector<std::string> left = SettingsFilesIn(w.UserFolder().toStdString());
    ASSERT_EQ(left.size(), 1u);
    vorn::SleepMs(800);  // the power comes back: the instrument waits in its loader

    ui.shown.clear();
    ui.answers = {UiService::Answer::Cancel};  // "Restore Saved Settings"
    w.btnStart->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.timerStart->isActive() && !w.Busy(); }, 120000));
    ASSERT_EQ(ui.Titles(), QStringList({"Restore Saved Settings", "Settings Not Restored"}));
    EXPECT_TRUE(ui.shown[0].cancelByDefault);
    EXPECT_TRUE(ui.shown[1].text.contains("choose File > Restore Settings... and open")) << ui.shown[1].text.toStdString();
    EXPECT_TRUE(FlashHolds(sim.Snapshot(), ReadTiText(ReadFile(SampleFirmwarePath()))));
    EXPECT_NE(sim.Snapshot().settings, before.settings);
    EXPECT_EQ(SettingsFilesIn(w.UserFolder().toStdString()), left);

    ui.shown.clear();
    ui.files = {QString::fromStdString(left[0])};
    ui.answers = {UiService::Answer::Ok};  // "Restore Saved Settings"
    w.RestoreSettings1->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Busy(); }, 60000));
    EXPECT_EQ(ui.Titles(), QStringList({"Please select a settings file", "Restore Saved Settings"}));
    EXPECT_TRUE(ui.shown[1].cancelByDefault);  // the instrument tells no serial number to prove whose they are
    EXPECT_EQ(sim.Snapshot().settings, before.settings);
    EXPECT_TRUE(w.statusText->text().startsWith("Settings restored from ")) << w.statusText->text().toStdString();
    EXPECT_FALSE(std::filesystem::exists(left[0]));
}

// Asked for its help or version, the window's program answers and exits; without a display
// it says so in one line instead of the toolkit's abort.
TEST(WindowProgram, HelpVersionAndNoDisplayAreAnsweredWithoutAWindow) {
    const std::string program = std::string("'") + VORN_WINDOW_PROGRAM + "'";
    vorn::test::ProgramRun version = vorn::test::RunCommand(program + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, std::string("vornbsl ") + VORN_VERSION_STRING + "\n");
    vorn::test::ProgramRun help = vorn::test::RunCommand(program + " -h");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("-factory"), std::string::npos);
    vorn::test::ProgramRun headless = vorn::test::RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program);
    EXPECT_EQ(headless.status, 1);
    EXPECT_EQ(headless.output,
              "vornbsl: no display to show the window on (DISPLAY is not set); vornbsl-cli updates without one\n");
}
