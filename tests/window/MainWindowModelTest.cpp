// The main window's rules as a window follows them: what is enabled and shown after each
// thing the user does, the port choice and its preference, the close guard.
#include <gtest/gtest.h>

#include "window/MainWindowModel.h"

namespace w = vorn::window;

namespace {

std::vector<CommPortEntry> Ports(std::initializer_list<const char*> names) {
    std::vector<CommPortEntry> ports;
    for (const char* n : names) ports.push_back({n, std::string(n) + " USB Serial Port", 0});
    return ports;
}

vorn::update::FirmwareLoad Readwell() {
    vorn::update::FirmwareLoad load;
    load.fileName = "readwell-2.00.txt";
    load.deviceName = "Readwell";
    load.progressStep = 1;
    load.progressIncrement = 0.5f;
    return load;
}

// Start, Close, the port box, Open, Update and Restore, in that order.
std::string Enabled(const w::View& v) {
    std::string s;
    for (bool on : {v.startEnabled, v.closeEnabled, v.portBoxEnabled, v.openItemEnabled, v.updateItemEnabled,
                    v.restoreItemEnabled})
        s += on ? '1' : '0';
    return s;
}

}  // namespace

TEST(MainWindowModel, TheFirstShowPicksTheSavedPortWhileItIsListed) {
    struct Case {
        const char* what;
        std::vector<CommPortEntry> ports;
        std::optional<std::string> saved;
        std::string selected;
        std::vector<std::string> items;
        int index;
    };
    const Case cases[] = {
        {"the saved port is listed", Ports({"ttyUSB0", "ttyUSB1"}), "ttyUSB1", "ttyUSB1",
         {"ttyUSB0 USB Serial Port", "ttyUSB1 USB Serial Port"}, 1},
        {"the saved port is gone", Ports({"ttyUSB0", "ttyUSB1"}), "ttyACM3", "ttyUSB0",
         {"ttyUSB0 USB Serial Port", "ttyUSB1 USB Serial Port"}, 0},
        {"nothing saved", Ports({"ttyS0"}), std::nullopt, "ttyS0", {"ttyS0 USB Serial Port"}, 0},
        {"no port at all", {}, "ttyUSB0", "", {w::kNoPorts}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        w::MainWindowModel model({});
        model.RestorePreferences({std::nullopt, std::nullopt, c.saved, std::nullopt});
        model.Show(c.ports);
        EXPECT_EQ(model.SelectedPortName(), c.selected);
        EXPECT_EQ(model.Now().portItems, c.items);
        EXPECT_EQ(model.Now().portIndex, c.index);
        EXPECT_EQ(model.ToSave().commPort, c.selected);
        // Nothing to start before a firmware file is opened; Open is there from now on.
        EXPECT_EQ(Enabled(model.Now()), "011101");
        EXPECT_EQ(model.Now().userText1, "Please select a firmware file to load");
        EXPECT_EQ(model.Now().lblConnect, "");
        // The "No Comm Ports Found" line is no port.
        model.ChoosePort(0);
        EXPECT_EQ(model.Now().startEnabled, !c.ports.empty());
    }
}

// Two adapters of one kind, told apart by their serial numbers: the one chosen is found
// again by its by-id name when the two come back on each other's nodes. A port without
// such a name, and a preference of an earlier release, go by the node's name.
TEST(MainWindowModel, TheSavedAdapterIsFoundAgainUnderAnotherNode) {
    auto adapter = [](const std::string& node, const std::string& serial) {
        return CommPortEntry{node, node + " FT232R USB UART [" + serial + "]", 0,
                             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0", serial};
    };
    const CommPortEntry simulator{"vornsim0", "vornsim0 Simulated Readwell", 0};
    const std::vector<CommPortEntry> first = {adapter("ttyUSB0", "A10K3XYZ"), adapter("ttyUSB1", "A10K3XZZ"), simulator};
    const std::vector<CommPortEntry> swapped = {adapter("ttyUSB0", "A10K3XZZ"), adapter("ttyUSB1", "A10K3XYZ"), simulator};
    struct Case {
        const char* what;
        std::optional<int> chosen;  // the line chosen in the first run, if there was one
        std::optional<std::string> saved;  // else what the preferences hold
        std::string kept;
        int index;  // the line shown at the next start
        std::string keptNext;
    };
    const Case cases[] = {
        {"the second adapter, now on the first's node", 1, std::nullopt, first[1].stableName, 0, first[1].stableName},
        {"the first adapter, now on the second's node", 0, std::nullopt, first[0].stableName, 1, first[0].stableName},
        {"a port without a stable name", 2, std::nullopt, "vornsim0", 2, "vornsim0"},
        // Found by the node once, then kept by the stable name of what was found there.
        {"an earlier release's node name", std::nullopt, "ttyUSB1", "ttyUSB1", 1, swapped[1].stableName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<std::string> saved = c.saved;
        if (c.chosen) {
            w::MainWindowModel model({});
            model.RestorePreferences({});
            model.Show(first);
            EXPECT_NE(model.Now().portItems[0], model.Now().portItems[1]);
            model.ChoosePort(*c.chosen);
            saved = model.ToSave().commPort;
        }
        EXPECT_EQ(saved, c.kept);
        w::MainWindowModel next({});
        w::Preferences kept;
        kept.commPort = saved;
        next.RestorePreferences(kept);
        next.Show(swapped);
        EXPECT_EQ(next.Now().portIndex, c.index);
        EXPECT_EQ(next.SelectedPortName(), swapped[static_cast<size_t>(c.index)].name);
        EXPECT_EQ(next.SelectedPortDescription(), swapped[static_cast<size_t>(c.index)].description);
        if (c.chosen) {
            EXPECT_EQ(swapped[static_cast<size_t>(c.index)].serialNumber,
                      first[static_cast<size_t>(*c.chosen)].serialNumber);
        }
        // The next save names the same adapter again.
        EXPECT_EQ(next.ToSave().commPort, c.keptNext);
    }
}

TEST(MainWindowModel, FactoryItemsOnlyWithTheFactoryArgumentAndTheLogStartsVerbose) {
    for (const auto& [arguments, factory] : std::vector<std::pair<std::vector<std::string>, bool>>{
             {{}, false}, {{"-rep"}, false}, {{"-rep", "-factory"}, true}, {{"factory"}, false}}) {
        w::MainWindowModel model(arguments);
        model.RestorePreferences({true, false, std::nullopt, std::nullopt});
        model.Show(Ports({"ttyUSB0"}));
        EXPECT_EQ(model.FactoryMode(), factory);
        EXPECT_EQ(model.Now().factoryItemsVisible, factory);
        EXPECT_TRUE(model.FindAllPorts());
        EXPECT_TRUE(model.VerboseLog());
    }
}

TEST(MainWindowModel, AnUpdateRunsOnceFromStartAndTheWindowComesBackAfterIt) {
    w::MainWindowModel model({"-factory"});
    model.RestorePreferences({});
    model.Show(Ports({"ttyUSB0", "ttyUSB1"}));
    model.FirmwareOpened(Readwell());
    EXPECT_EQ(model.Now().userText1, "This utility updates Readwell firmware to");
    EXPECT_EQ(model.Now().userText2, "readwell-2.00.txt");
    EXPECT_EQ(model.Now().commLabel, "Connect to Readwell with Comm Port");
    EXPECT_EQ(model.Now().lblConnect, "Connect Readwell to computer comm port.");
    EXPECT_EQ(model.Progress().increment, 0.5f);
    EXPECT_EQ(Enabled(model.Now()), "111111");
    model.ChoosePort(1);
    model.SetReplaceSerialNumber(true);
    EXPECT_TRUE(model.Now().newSerialVisible);

    ASSERT_TRUE(model.PressStart());
    EXPECT_EQ(Enabled(model.Now()), "001101");  // Start, Close and Update wait for the timer
    ASSERT_TRUE(model.TimerFired());
    EXPECT_TRUE(model.Busy());
    EXPECT_EQ(Enabled(model.Now()), "000000");
    EXPECT_TRUE(model.Now().waitCursor);
    const vorn::update::UpdateRequest request = model.Request("Vornell Firmware Updater");
    EXPECT_EQ(request.portName, "ttyUSB1");
    EXPECT_EQ(request.portDescription, "ttyUSB1 USB Serial Port");
    EXPECT_TRUE(request.factoryMode);
    // A second press, a second menu choice or a late timer while it runs start nothing.
    EXPECT_FALSE(model.PressStart());
    EXPECT_FALSE(model.ChooseUpdate());
    EXPECT_FALSE(model.TimerFired());
    EXPECT_FALSE(model.MayRestore());
    EXPECT_FALSE(model.MayOpenFirmware());

    model.Finish();
    EXPECT_FALSE(model.Busy());
    EXPECT_EQ(Enabled(model.Now()), "111111");
    EXPECT_TRUE(model.Now().closeIsDefault);
    EXPECT_FALSE(model.Now().waitCursor);
    // A new serial number is for one update only.
    EXPECT_FALSE(model.ReplaceSerialNumber());
    EXPECT_FALSE(model.Now().replaceSerialChecked);
    EXPECT_FALSE(model.Now().newSerialVisible);
}

TEST(MainWindowModel, TheCloseGuardHoldsWhileAnUpdateRunsFromTheMenu) {
    w::MainWindowModel model({});
    model.RestorePreferences({});
    model.Show(Ports({"ttyUSB0"}));
    model.FirmwareOpened(Readwell());
    // The menu path leaves Close enabled: the guard is what keeps the update going.
    ASSERT_TRUE(model.ChooseUpdate());
    EXPECT_TRUE(model.Now().closeEnabled);
    ASSERT_TRUE(model.TimerFired());
    const w::CloseDecision guard = model.RequestClose(false, "Vornell Firmware Updater");
    EXPECT_FALSE(guard.close);
    EXPECT_EQ(guard.title, "Don't Quit Now!");
    EXPECT_EQ(guard.text.rfind("The Vornell Firmware Updater is updating your Readwell!\n", 0), 0u) << guard.text;
    EXPECT_TRUE(model.KeepRunning());
    model.Finish();
    EXPECT_TRUE(model.RequestClose(false, "Vornell Firmware Updater").close);
    EXPECT_FALSE(model.KeepRunning());  // a bar report after this stops the loader's work
    EXPECT_TRUE(model.RequestClose(true, "Vornell Firmware Updater").close);
}

TEST(MainWindowModel, ARestoreBeforeAnyFirmwareLeavesStartDisabled) {
    for (bool firmware : {false, true}) {
        w::MainWindowModel model({});
        model.RestorePreferences({});
        model.Show(Ports({"ttyUSB0"}));
        ASSERT_TRUE(model.MayRestore());
        model.BeginRestore();
        EXPECT_TRUE(model.Busy());
        EXPECT_EQ(Enabled(model.Now()), "000000");
        model.FinishRestore(firmware);
        EXPECT_EQ(Enabled(model.Now()), firmware ? "111111" : "011101");
    }
    w::MainWindowModel none({});
    none.RestorePreferences({});
    none.Show({});
    EXPECT_FALSE(none.MayRestore());  // no port to restore into
}

TEST(MainWindowModel, TheDropDownListsAgainAndKeepsTheChoiceWhileTheListReachesIt) {
    w::MainWindowModel model({});
    model.RestorePreferences({});
    model.Show(Ports({"ttyUSB0", "ttyUSB1", "ttyUSB2"}));
    model.ChoosePort(2);
    model.Relist(Ports({"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"}));
    EXPECT_EQ(model.Now().portIndex, 2);
    model.Relist(Ports({"ttyUSB0"}));  // unplugged: the first line is shown
    EXPECT_EQ(model.Now().portIndex, 0);
    model.Relist({});
    EXPECT_EQ(model.Now().portItems, std::vector<std::string>{w::kNoPorts});
    model.ChoosePort(0);
    EXPECT_EQ(model.SelectedPortName(), "");
    EXPECT_EQ(model.SelectedPortDescription(), "");
}

// Settings > Record Wire Transcript is off until the user turns it on, is kept, and asks
// each run for its transcript.
TEST(MainWindowModel, RecordingTheWireIsKeptAndAskedOfEveryRun) {
    for (const std::optional<bool> kept : {std::optional<bool>(), std::optional<bool>(false), std::optional<bool>(true)}) {
        w::MainWindowModel model({});
        w::Preferences saved;
        saved.recordTranscript = kept;
        model.RestorePreferences(saved);
        model.Show(Ports({"ttyUSB0"}));
        const bool on = kept.value_or(false);
        EXPECT_EQ(model.RecordTranscript(), on);
        EXPECT_EQ(model.Request("caption").recordTranscript, on);
        model.SetRecordTranscript(!on);
        EXPECT_EQ(model.Request("caption").recordTranscript, !on);
        EXPECT_EQ(model.ToSave().recordTranscript, std::optional<bool>(!on));
    }
}
