#include <gtest/gtest.h>

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QShortcut>
#include <QTimer>
#include <sstream>

#include "app/AutoSizeLabel.h"
#include "app/EventPump.h"
#include "app/TfrmMain.h"
#include "app/WindowUpdateUi.h"
#include "gui/UiService.h"
#include "bsl/VornBSLHost.h"
#include "feedback/TfrmWeb.h"
#include <filesystem>
#include "common/Timing.h"
#include "common/VornLog.h"
#include "support/GuiTestSupport.h"
#include "support/TestSupport.h"

using vorn::test::ReadFile;
using vorn::test::TempDir;

namespace {

// Each test gets its own preferences and per-user folder, and scripted dialogs.
// The ports of this process alone: an update locks its port for the whole system, and
// CTest runs the cases side by side.
QString PortA() { return QString("ttyUSB3p%1").arg(getpid()); }
QString PortB() { return QString("ttyUSB5p%1").arg(getpid()); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports.devices = {{PortA().toStdString(), "USB Serial", ""}, {PortB().toStdString(), "USB Serial", ""}};
    }
    void TearDown() override { window.reset(); }
    TfrmMain& Show(QStringList args = {}) {
        window = std::make_unique<TfrmMain>(args);
        window->SetPortSource(&ports);
        window->show();
        return *window;
    }
    // Lets the started update run and end (it runs whole in the timer's slot), however
    // busy the machine is.
    static void WaitForTheUpdate(TfrmMain& w) {
        QElapsedTimer clock;
        clock.start();
        while ((w.timerStart->isActive() || w.Busy()) && clock.elapsed() < 20000) QTest::qWait(10);
        EXPECT_FALSE(w.timerStart->isActive() || w.Busy()) << "the update did not end";
    }
    QVariant Pref(const char* key) {
        QSettings prefs("Vornell Devices, Inc", "VornBSL");
        return prefs.value(key);
    }
    void SetPref(const char* key, const QVariant& value) {
        QSettings prefs("Vornell Devices, Inc", "VornBSL");
        prefs.setValue(key, value);
    }

    TempDir dir;
    ScriptedUi ui;
    vorn::test::IsolatedGui gui{dir, ui};
    vorn::test::FakePorts ports;
    std::unique_ptr<TfrmMain> window;
};

}  // namespace

TEST_F(MainWindowTest, StartsWithTheLayoutTextsAndMenuStates) {
    TfrmMain& w = Show();
    EXPECT_EQ(w.windowTitle(), "Vornell Firmware Updater");
    EXPECT_EQ(w.centralWidget()->size(), QSize(313, 262));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // fixed size
    EXPECT_EQ(w.btnStart->geometry(), QRect(225, 120, 75, 25));
    EXPECT_EQ(w.cbCommPort->geometry(), QRect(12, 24, 288, 21));
    EXPECT_EQ(w.cbCommPort->toolTip(), "Pick your comm port from this list.");
    EXPECT_EQ(w.newSNstr->maxLength(), 15);
    EXPECT_EQ(w.userText1->text(), "Please select a firmware file to load");
    EXPECT_TRUE(w.userText2->text().isEmpty());
    EXPECT_TRUE(w.lblConnect->text().isEmpty());
    EXPECT_FALSE(w.statusText->isVisible());
    EXPECT_FALSE(w.btnStart->isEnabled());
    EXPECT_TRUE(w.btnStart->isDefault());
    EXPECT_FALSE(w.UpdateFirmware1->isEnabled());
    EXPECT_TRUE(w.OpenFirmwareFile1->isEnabled());
    EXPECT_EQ(w.OpenFirmwareFile1->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(w.UpdateFirmware1->shortcut(), QKeySequence("Ctrl+F"));
    EXPECT_EQ(w.Exit1->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(w.Help2->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_FALSE(w.DumpFirmwareImage1->isVisible());
    EXPECT_TRUE(w.VerboseErrorFile1->isChecked());
    EXPECT_FALSE(w.VerboseErrorFile1->isEnabled());
    EXPECT_FALSE(w.DontEraseData1->isVisible());
    EXPECT_FALSE(w.PromptforSerialNumber1->isVisible());
    EXPECT_FALSE(w.FactoryMode());
    EXPECT_EQ(w.DeviceName(), "Instrument");
    // Components are found by their names.
    EXPECT_NE(w.findChild<QTimer*>("timerStart"), nullptr);
    EXPECT_NE(w.findChild<QPushButton*>("btnClose"), nullptr);
    EXPECT_NE(w.findChild<QAction*>("SendFeedbacktoVornell1"), nullptr);
}

TEST_F(MainWindowTest, FactoryModeNeedsTheExactOption) {
    TfrmMain& upper = Show({"-FACTORY"});
    EXPECT_FALSE(upper.FactoryMode());
    EXPECT_FALSE(upper.PromptforSerialNumber1->isVisible());
    window.reset();
    TfrmMain& w = Show({"-factory", "-rep", "whatever"});
    EXPECT_TRUE(w.FactoryMode());
    EXPECT_TRUE(w.PromptforSerialNumber1->isVisible());
    EXPECT_TRUE(w.DontEraseData1->isVisible());
}

TEST_F(MainWindowTest, WithoutASavedPortTheFirstIsSelectedAndWrittenBackAtClose) {
    TfrmMain& w = Show();
    EXPECT_EQ(w.cbCommPort->count(), 2);
    EXPECT_EQ(w.cbCommPort->currentText(), PortA() + " USB Serial");
    EXPECT_EQ(w.SelectedPortName(), PortA());
    w.close();
    EXPECT_EQ(Pref("CommPort").toString(), PortA());
    EXPECT_EQ(Pref("FindAllComms").toInt(), 0);
    EXPECT_EQ(Pref("VerboseLog").toInt(), 1);
}

TEST_F(MainWindowTest, ASavedPortThatIsPresentIsSelected) {
    SetPref("CommPort", PortB());
    SetPref("FindAllComms", 1);
    TfrmMain& w = Show();
    EXPECT_EQ(w.cbCommPort->currentIndex(), 1);
    EXPECT_EQ(w.SelectedPortName(), PortB());
    EXPECT_TRUE(w.FindAllPorts());
    EXPECT_TRUE(w.ForceFindAllCommPorts1->isChecked());
}

TEST_F(MainWindowTest, ASavedPortThatIsGoneGivesWayToTheFirst) {
    SetPref("CommPort", "ttyUSB9");
    TfrmMain& w = Show();
    EXPECT_EQ(w.cbCommPort->currentIndex(), 0);
    EXPECT_EQ(w.SelectedPortName(), PortA());
    w.close();
    EXPECT_EQ(Pref("CommPort").toString(), PortA());
}

TEST_F(MainWindowTest, NoPortsLeavesStartDisabledAndAnEmptyPortName) {
    ports.devices.clear();
    TfrmMain& w = Show();
    EXPECT_EQ(w.cbCommPort->count(), 1);
    EXPECT_EQ(w.cbCommPort->itemText(0), "No Comm Ports Found");
    EXPECT_TRUE(w.SelectedPortName().isEmpty());
    EXPECT_FALSE(w.btnStart->isEnabled());
    // Choosing the placeholder does not enable Start.
    Q_EMIT w.cbCommPort->activated(0);
    EXPECT_FALSE(w.btnStart->isEnabled());
}

TEST_F(MainWindowTest, ChoosingAPortEnablesStartEvenBeforeAFirmwareFile) {
    TfrmMain& w = Show();
    w.cbCommPort->setCurrentIndex(1);
    Q_EMIT w.cbCommPort->activated(1);
    EXPECT_TRUE(w.btnStart->isEnabled());
    EXPECT_EQ(w.SelectedPortName(), PortB());
    EXPECT_EQ(w.SelectedPortDescription(), PortB() + " USB Serial");
}

TEST_F(MainWindowTest, OpeningTheListReadsThePortsAgainAndKeepsTheChoice) {
    TfrmMain& w = Show();
    Q_EMIT w.cbCommPort->activated(1);
    ports.devices.push_back({"ttyACM0", "Modem", ""});
    w.cbCommPort->showPopup();
    EXPECT_EQ(w.cbCommPort->count(), 3);
    EXPECT_EQ(w.cbCommPort->itemText(0), "ttyACM0 Modem");
    EXPECT_EQ(w.cbCommPort->currentIndex(), 1);  // the remembered index, not the name
    EXPECT_EQ(w.SelectedPortName(), PortB());
    w.cbCommPort->hidePopup();
    ports.devices.clear();
    w.cbCommPort->showPopup();
    EXPECT_EQ(w.cbCommPort->count(), 1);
    EXPECT_EQ(w.cbCommPort->itemText(0), "No Comm Ports Found");
    w.cbCommPort->hidePopup();
    // Choosing it leaves no port to open (nor to remember at close).
    Q_EMIT w.cbCommPort->activated(0);
    EXPECT_TRUE(w.SelectedPortName().isEmpty());
}

TEST_F(MainWindowTest, ASavedQuietLogDoesNotLowerTheLevel) {
    SetPref("VerboseLog", 0);
    TfrmMain& w = Show();
    EXPECT_TRUE(w.VerboseLog());
    EXPECT_EQ(w.Log()->Level(), 30u);
}

TEST_F(MainWindowTest, LogAndSettingsFilesLiveInThePerUserFolder) {
    TfrmMain& w = Show();
    QString folder = QString::fromStdString(dir.File("data")) + "/Vornell/VornBSL";
    EXPECT_EQ(w.UserFolder(), folder);
    EXPECT_EQ(w.ErrorLogPath(), folder + "/Vornell Firmware Updater.errors.txt");
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(MainWindowTest, AnUnwritableDataFolderFallsBackToTheProgramFolder) {
    qputenv("XDG_DATA_HOME", "/proc/vornbsl-cannot-be-created");
    TfrmMain& w = Show();
    EXPECT_EQ(w.UserFolder(), QCoreApplication::applicationDirPath());
}

TEST_F(MainWindowTest, ErrorOKShowsBeepsAndLogsTheText) {
    TfrmMain& w = Show();
    w.ErrorOK("Something went wrong.", "Connection Error", 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].title, "Connection Error");
    EXPECT_EQ(ui.shown[0].kind, UiService::Kind::Error);
    ASSERT_EQ(ui.beeps.size(), 1u);
    EXPECT_EQ(ui.beeps[0], UiService::Kind::Error);
    std::string log = ReadFile(w.ErrorLogPath().toStdString());
    EXPECT_NE(log.find(" - ErrorOK Told User:: Something went wrong.\r\n"), std::string::npos) << log;
    w.ErrorOK("odd", "t", 9);
    EXPECT_EQ(ui.beeps.back(), UiService::Kind::Warning);
    ui.answers = {UiService::Answer::Cancel};
    EXPECT_EQ(w.AskOkCancel("Go on?", "Newer Firmware"), 2);
    ui.answers = {UiService::Answer::Ok};
    EXPECT_EQ(w.AskOkCancel("Go on?", "Newer Firmware"), 1);
}

TEST_F(MainWindowTest, StartingFromTheButtonDisablesStartAndCloseTheMenuDoesNot) {
    TfrmMain& w = Show();
    Q_EMIT w.cbCommPort->activated(0);
    bool startEnabled = true, closeEnabled = true, busy = false;
    w.SetUpdateBody([&] {
        startEnabled = w.btnStart->isEnabled();
        closeEnabled = w.btnClose->isEnabled();
        busy = w.Busy();
        return 1;
    });
    w.btnStart->click();
    EXPECT_FALSE(w.btnStart->isEnabled());
    EXPECT_TRUE(w.timerStart->isActive());
    WaitForTheUpdate(w);
    EXPECT_TRUE(busy);
    EXPECT_FALSE(startEnabled);
    EXPECT_FALSE(closeEnabled);
    // After the update: both enabled, Close the default, not busy.
    EXPECT_TRUE(w.btnStart->isEnabled());
    EXPECT_TRUE(w.btnClose->isDefault());
    EXPECT_FALSE(w.btnStart->isDefault());
    EXPECT_FALSE(w.Busy());
    EXPECT_EQ(w.statusBar->value(), 100);

    w.UpdateFirmware1->setEnabled(true);
    w.UpdateFirmware1->trigger();
    EXPECT_FALSE(w.UpdateFirmware1->isEnabled());
    WaitForTheUpdate(w);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(startEnabled);
    EXPECT_TRUE(closeEnabled);
}

TEST_F(MainWindowTest, AFailedUpdateResetsTheBarAndTheConnectText) {
    TfrmMain& w = Show();
    w.SetUpdateBody([&] {
        w.statusBar->setValue(40);
        return -20;
    });
    w.btnStart->setEnabled(true);
    w.btnStart->click();
    WaitForTheUpdate(w);
    EXPECT_EQ(w.statusBar->value(), 0);
    EXPECT_FALSE(w.statusText->isVisible());
    EXPECT_EQ(w.lblConnect->text(), "Connect Instrument to computer comm port.");
    EXPECT_EQ(w.SettingsPath(), w.UserFolder() + "/Instrument.settings.txt");
}

TEST_F(MainWindowTest, TheCloseGuardKeepsTheWindowOpenDuringAnUpdate) {
    TfrmMain& w = Show();
    bool closedDuringUpdate = true;
    w.SetUpdateBody([&] {
        // The user presses Alt+F4, chooses Exit and clicks Close while the update waits.
        QTimer::singleShot(50, &w, [&] { w.close(); });
        QTimer::singleShot(100, &w, [&] { w.Exit1->trigger(); });
        QTimer::singleShot(150, &w, [&] { w.btnClose->click(); });
        vorn::MsDelay(400);
        closedDuringUpdate = !w.isVisible();
        return 1;
    });
    w.UpdateFirmware1->setEnabled(true);
    w.UpdateFirmware1->trigger();
    WaitForTheUpdate(w);
    EXPECT_FALSE(closedDuringUpdate);
    ASSERT_EQ(ui.shown.size(), 3u);
    for (const auto& box : ui.shown) {
        EXPECT_EQ(box.title, "Don't Quit Now!");
        EXPECT_TRUE(box.text.startsWith("The Vornell Firmware Updater is updating your Instrument!\n"));
        EXPECT_TRUE(box.text.endsWith("Click OK to continue updating yourInstrument.\n"));
    }
    EXPECT_TRUE(w.KeepRunning());
    // After the update, Exit closes and tells the loader to stop.
    w.Exit1->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.KeepRunning());
}

TEST_F(MainWindowTest, TogglesFlipTheirState) {
    TfrmMain& w = Show({"-factory"});
    w.PromptforSerialNumber1->trigger();
    EXPECT_TRUE(w.ReplaceSerialNumber());
    EXPECT_TRUE(w.newSNstr->isVisible());
    EXPECT_TRUE(w.newSN->isVisible());
    w.PromptforSerialNumber1->trigger();
    EXPECT_FALSE(w.newSNstr->isVisible());
    w.DontEraseData1->trigger();
    EXPECT_TRUE(w.KeepData());
    w.ForceFindAllCommPorts1->trigger();
    EXPECT_TRUE(w.FindAllPorts());
    w.close();
    EXPECT_EQ(Pref("FindAllComms").toInt(), 1);
}

TEST_F(MainWindowTest, ProgressReportsMoveTheBar) {
    TfrmMain& w = Show();
    w.statusBar->setValue(10);
    EXPECT_TRUE(w.ReportProgress(0, 0, 1, 'X'));
    EXPECT_EQ(w.statusBar->value(), 11);
    w.ProgressPosition() = 21.0f;
    // With no image the increment is 0 and the bar stays at the rounded position.
    EXPECT_TRUE(w.ReportProgress(0, 0, 1, 'W'));
    EXPECT_EQ(w.statusBar->value(), 21);
    EXPECT_TRUE(w.ReportProgress(0, 0, 1, 'Q'));
    EXPECT_EQ(w.statusBar->value(), 21);
    w.close();
    EXPECT_FALSE(w.ReportProgress(0, 0, 1, 'W'));
}

namespace {
// A small image: one 8-byte segment and the reset vector.
constexpr const char* kSmallImage = "@C000\n31 40 00 04 3C 40 00 02\n@FFFE\n00 C0\nq\n";
}  // namespace

TEST_F(MainWindowTest, OpeningAFirmwareFileNamesTheDeviceAndEnablesStart) {
    TfrmMain& w = Show();
    std::string path = dir.File("readwell-2.00.txt");
    vorn::test::WriteFile(path, kSmallImage);
    ui.files = {QString::fromStdString(path)};
    w.OpenFirmwareFile1->trigger();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].what, "open");
    EXPECT_EQ(ui.shown[0].title, "Please select a firmware file");
    EXPECT_EQ(w.userText1->text(), "This utility updates Readwell firmware to");
    EXPECT_EQ(w.commLabel->text(), "Connect to Readwell with Comm Port");
    EXPECT_EQ(w.lblConnect->text(), "Connect Readwell to computer comm port.");
    EXPECT_EQ(w.userText2->text(), "readwell-2.00.txt");
    EXPECT_EQ(w.DeviceName(), "Readwell");
    EXPECT_EQ(w.SettingsPath(), w.UserFolder() + "/Readwell.settings.txt");
    EXPECT_EQ(w.FirmwareVersion(), 0u);
    if (qEnvironmentVariableIsSet("VORN_SCREENSHOT_DIR"))
        w.grab().save(qEnvironmentVariable("VORN_SCREENSHOT_DIR") + "/window-loaded.png");
    EXPECT_TRUE(w.btnStart->isEnabled());
    EXPECT_TRUE(w.UpdateFirmware1->isEnabled());
    ASSERT_FALSE(ui.beeps.empty());
    EXPECT_EQ(ui.beeps.back(), UiService::Kind::Information);
    EXPECT_EQ(w.ProgressStep(), 1);
    float first = w.ProgressIncrement();
    EXPECT_FLOAT_EQ(first, 35328.0f / static_cast<float>(w.BslHost()->ImageLength()));

    // A second, longer file replaces the image and the scale.
    std::string longer = dir.File("second.txt");
    vorn::test::WriteFile(longer, "@C000\n" + std::string("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\n") +
                                      "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\n@FFFE\n00 C0\nq\n");
    ui.files = {QString::fromStdString(longer)};
    w.OpenFirmwareFile1->trigger();
    EXPECT_EQ(w.userText2->text(), "second.txt") << ui.LastText().toStdString();
    EXPECT_LT(w.ProgressIncrement(), first);
}

TEST_F(MainWindowTest, ABadFirmwareFileIsReportedAndChangesNothing) {
    TfrmMain& w = Show();
    std::string bad = dir.File("notes.txt");
    vorn::test::WriteFile(bad, "These are not the hex bytes you are looking for.\n");
    ui.files = {QString::fromStdString(bad)};
    w.OpenFirmwareFile1->trigger();
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].title, "File Error");
    EXPECT_EQ(ui.shown[1].text,
              "The file \"notes.txt\" is not a valid firmware file.\nPlease choose a new firmware file to open.");
    EXPECT_EQ(w.DeviceName(), "Instrument");
    EXPECT_FALSE(w.btnStart->isEnabled());
    EXPECT_EQ(w.userText1->text(), "Please select a firmware file to load");
    EXPECT_NE(ReadFile(w.ErrorLogPath().toStdString()).find("ErrorOK Told User:: The file \"notes.txt\""),
              std::string::npos);

    // A file that cannot be read gives the error number.
    ui.files = {QString::fromStdString(dir.File(""))};
    w.OpenFirmwareFile1->trigger();
    EXPECT_TRUE(ui.LastText().startsWith("The Vornell Firmware Updater could not opening \""));
    EXPECT_TRUE(ui.LastText().contains("\".\nPlease try again.\nError -"));

    // Cancelling the dialog changes nothing and shows nothing more.
    size_t shown = ui.shown.size();
    w.OpenFirmwareFile1->trigger();
    EXPECT_EQ(ui.shown.size(), shown + 1);  // only the dialog itself
    EXPECT_EQ(w.DeviceName(), "Instrument");
}

TEST_F(MainWindowTest, NoNewImageWhileAnUpdateRuns) {
    TfrmMain& w = Show();
    bool openEnabled = true;
    w.SetUpdateBody([&] {
        openEnabled = w.OpenFirmwareFile1->isEnabled();
        return 1;
    });
    w.btnStart->setEnabled(true);
    w.btnStart->click();
    WaitForTheUpdate(w);
    EXPECT_FALSE(openEnabled);
    EXPECT_TRUE(w.OpenFirmwareFile1->isEnabled());
}

TEST_F(MainWindowTest, SendFeedbackHandsTheLogToTheFeedbackWindow) {
    {
        // A service nobody listens on: the opening check fails at once.
        QSettings feedbackPrefs("Vornell Devices, Inc", "FeedbackForm");
        feedbackPrefs.setValue("ServiceURL", "http://127.0.0.1:9");
    }
    TfrmMain& w = Show();
    TfrmWeb web(&w);
    w.SetFeedbackWindow(&web);
    std::filesystem::remove(w.ErrorLogPath().toStdString());
    w.SendFeedbacktoVornell1->trigger();
    EXPECT_NE(ReadFile(w.ErrorLogPath().toStdString()).find("Launching web feedback with an empty error file."),
              std::string::npos);
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().title, "Internet Access Error");
    EXPECT_FALSE(web.isVisible());
}

TEST_F(MainWindowTest, HelpSpeaksOfTheDeviceAndWarnsAboutStoredData) {
    TfrmMain& w = Show();
    w.Help2->trigger();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].title, "Help");
    EXPECT_EQ(ui.shown[0].kind, UiService::Kind::Plain);
    EXPECT_EQ(ui.beeps.back(), UiService::Kind::Warning);
    const QString text = ui.shown[0].text;
    EXPECT_TRUE(text.startsWith("The Vornell Firmware Updater replaces the firmware that operates your Instrument.\n"));
    EXPECT_TRUE(text.contains("WARNING: Updating the firmware in your Instrument will erase any stored measurement data.\n"
                              "Please download any measurement data stored in your Instrument that you want to save.\n\n"));
    EXPECT_TRUE(text.contains("WARNING: Do not quit the Instrument Firmware Updater while the updater is running.\n"));
    EXPECT_TRUE(text.contains("an authorized Vornell Distributor for help:\n\n"));
    EXPECT_TRUE(text.contains("vornell.example"));
    EXPECT_NE(ReadFile(w.ErrorLogPath().toStdString()).find("ErrorOK Told User:: The Vornell Firmware Updater replaces"),
              std::string::npos);
}

TEST_F(MainWindowTest, AboutNamesTheEngineAndProtocolVersions) {
    TfrmMain& w = Show();
    w.About1->trigger();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].title, "About Instrument Firmware Updater");
    EXPECT_EQ(ui.shown[0].kind, UiService::Kind::Information);
    EXPECT_TRUE(ui.shown[0].text.startsWith("Vornell Universal Firmware Updater for Linux\n\nVornBSL Engine version " +
                                            QStringLiteral(VORN_VERSION_STRING) +
                                            "\nCommunication Protocol version 1.7.9\n\n\u00A9 "));
}

TEST_F(MainWindowTest, CtrlAltDDumpsTheHeldImageInWords) {
    TfrmMain& w = Show();
    // Without an image the dump reports the writer's error.
    std::string out = dir.File("dump.txt");
    ui.files = {QString::fromStdString(out)};
    QShortcut* shortcut = w.findChild<QShortcut*>("DumpShortcut");
    ASSERT_NE(shortcut, nullptr);
    EXPECT_EQ(shortcut->key(), QKeySequence("Ctrl+Alt+D"));
    Q_EMIT shortcut->activated();
    EXPECT_EQ(ui.shown.back().title, "Error");
    EXPECT_EQ(ui.shown.back().text, "Error saving firmware image: -10");

    std::string path = dir.File("fw.txt");
    vorn::test::WriteFile(path, "@C000\n31 40 00 04 3C 40 00 02 55\n@FFE0\n11 22 33 44\n@FFFE\n00 C0\nq\n");
    ui.files = {QString::fromStdString(path)};
    w.OpenFirmwareFile1->trigger();
    ui.files = {QString::fromStdString(out)};
    Q_EMIT shortcut->activated();
    EXPECT_EQ(ui.shown.back().what, "save");
    EXPECT_EQ(ui.shown.back().title, "Save Firmware Image");

    // The dump is written for people: compare its words with the image the host holds.
    std::string dump = ReadFile(out);
    std::istringstream words(dump);
    std::string word, data, vectors;
    bool inVectors = false;
    while (words >> word) {
        if (word == "@FFE0") {
            inVectors = true;
            continue;
        }
        (inVectors ? vectors : data) += word;
    }
    EXPECT_EQ(data, w.BslHost()->ImageText());
    std::string expectedVectors;
    for (uint32_t v : w.BslHost()->Vectors()) expectedVectors += QString::asprintf("%04X", v).toStdString();
    EXPECT_EQ(vectors, expectedVectors);
    EXPECT_EQ(vectors.substr(0, 8), "22114433");

    // Cancelling writes nothing and shows nothing more.
    std::filesystem::remove(out);
    size_t shown = ui.shown.size();
    Q_EMIT shortcut->activated();
    EXPECT_EQ(ui.shown.size(), shown + 1);  // the dialog only
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(MainWindowTest, UnreadablePreferencesGiveTheDefaults) {
    // A folder where the preferences file should be: nothing can be read from it.
    std::filesystem::create_directories(dir.File("config") + "/Vornell Devices, Inc/VornBSL.conf");
    TfrmMain& w = Show();
    EXPECT_FALSE(w.FindAllPorts());
    EXPECT_EQ(w.SelectedPortName(), PortA());
    EXPECT_TRUE(w.VerboseLog());
}

// Every question whose OK risks the instrument's settings has Cancel as its default
// button; the questions that only confirm keep OK.
TEST_F(MainWindowTest, QuestionsThatRiskTheSettingsDefaultToCancel) {
    using Consent = UpdateUi::Consent;
    WindowUpdateUi updateUi(Show());
    const struct {
        Consent consent;
        bool cancelByDefault;
    } cases[] = {{Consent::kConfirm, false}, {Consent::kGiveUpSettings, true}, {Consent::kWriteSavedSettings, true}};
    for (const auto& c : cases) {
        ui.answers = {UiService::Answer::Ok};
        const size_t before = ui.shown.size();
        EXPECT_TRUE(updateUi.Ask({"Whose?", "Restore Saved Settings", c.consent, "RW-10234"}));
        ASSERT_EQ(ui.shown.size(), before + 1);
        EXPECT_EQ(ui.shown.back().cancelByDefault, c.cancelByDefault) << static_cast<int>(c.consent);
        EXPECT_EQ(ui.shown.back().title, "Restore Saved Settings");
    }
}
