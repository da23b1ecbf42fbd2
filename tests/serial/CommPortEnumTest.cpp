#include <gtest/gtest.h>

#include <map>
#include <set>

#include "serial/CommPortEnum.h"
#include "common/FilesPlatform.h"
#include "serial/SerialPlatform.h"
#include "common/VornLog.h"
#include "sim/Instrument.h"
#include "support/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include "common/Status.h"

namespace {

// A system with the given devices; ports named in `busy` are held by another program,
// probe slots answer from `probeable`.
class FakeSource : public PortSource {
public:
    std::vector<SerialDeviceInfo> devices;
    std::set<std::string> busy;
    std::map<std::string, Probe> probeable;
    bool listAvailable = true;
    std::vector<std::pair<std::string, std::string>> renamed;
    std::vector<std::string> opened;

    bool DeviceListAvailable() override { return listAvailable; }
    std::vector<SerialDeviceInfo> Devices() override { return devices; }
    bool IsFree(const std::string& name) override {
        opened.push_back(name);
        return busy.count(name) == 0;
    }
    Probe ProbePort(const std::string& name) override {
        auto it = probeable.find(name);
        return it == probeable.end() ? Probe::Absent : it->second;
    }
    void SetFriendlyName(const SerialDeviceInfo& dev, const std::string& name) override {
        renamed.emplace_back(dev.portName, name);
    }
};

std::vector<CommPortEntry> Enumerate(FakeSource& source, bool probe, int32_t capacity = 16, int32_t* status = nullptr) {
    std::vector<CommPortEntry> entries(static_cast<size_t>(capacity));
    int32_t count = capacity;
    int32_t s = CommPortEnum(entries.data(), &count, probe, source);
    if (status) *status = s;
    entries.resize(static_cast<size_t>(count));
    return entries;
}

std::vector<std::string> Names(const std::vector<CommPortEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
}

}  // namespace

TEST(CommPortEnum, SortsByNamePrefixThenNumber) {
    FakeSource src;
    src.devices = {{"COM10", "", ""}, {"COM3", "", ""}, {"COM4", "", ""}};
    int32_t status = 0;
    EXPECT_EQ(Names(Enumerate(src, false, 16, &status)), (std::vector<std::string>{"COM3", "COM4", "COM10"}));
    EXPECT_EQ(status, 3);

    src.devices = {{"ttyUSB0", "", ""}, {"ttyS10", "", ""}, {"ttyS2", "", ""}, {"ttyACM1", "", ""}};
    EXPECT_EQ(Names(Enumerate(src, false)), (std::vector<std::string>{"ttyACM1", "ttyS2", "ttyS10", "ttyUSB0"}));
}

TEST(CommPortEnum, DescriptionsComeFromTheFriendlyName) {
    FakeSource src;
    src.devices = {{"COM3", "USB Serial Port (COM3)", ""}, {"ttyS0", "", ""}, {"ttyUSB0", "FT232R USB UART", ""}};
    auto entries = Enumerate(src, false);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].description, "COM3 USB Serial Port");
    EXPECT_EQ(entries[1].description, "ttyS0 Communications Port");
    EXPECT_EQ(entries[2].description, "ttyUSB0 FT232R USB UART");
}

TEST(CommPortEnum, APortHeldElsewhereIsMarkedBusy) {
    FakeSource src;
    src.devices = {{"ttyUSB0", "USB Serial", ""}, {"ttyUSB1", "USB Serial", ""}};
    src.busy = {"ttyUSB1"};
    auto entries = Enumerate(src, false);
    EXPECT_EQ(entries[0].description, "ttyUSB0 USB Serial");
    EXPECT_EQ(entries[1].description, "ttyUSB1 USB Serial (busy)");
}

TEST(CommPortEnum, BusyMarkStaysWithinTheDescriptionField) {
    FakeSource src;
    src.devices = {{"ttyUSB0", std::string(80, 'n'), ""}};
    src.busy = {"ttyUSB0"};
    auto entries = Enumerate(src, false);
    EXPECT_EQ(entries[0].description.size(), CommPortEntry::kDescriptionMax);
}

TEST(CommPortEnum, ProbedPortsAreAppendedAfterTheListedOnes) {
    FakeSource src;
    src.devices = {{"ttyS2", "", ""}};
    src.probeable = {{"ttyS0", PortSource::Probe::Free}, {"ttyS1", PortSource::Probe::Busy}, {"ttyS2", PortSource::Probe::Free}};
    int32_t status = 0;
    auto entries = Enumerate(src, true, 16, &status);
    ASSERT_EQ(Names(entries), (std::vector<std::string>{"ttyS2", "ttyS0", "ttyS1"}));
    EXPECT_EQ(entries[1].description, "ttyS0 Communications Port");
    EXPECT_EQ(entries[2].description, "ttyS1 Communications Port (busy)");
    EXPECT_EQ(status, 1);
    // Without probing nothing is added.
    EXPECT_EQ(Enumerate(src, false).size(), 1u);
}

TEST(CommPortEnum, WithoutADeviceListProbingIsForced) {
    FakeSource src;
    src.listAvailable = false;
    src.devices = {{"ttyUSB0", "", ""}};
    src.probeable = {{"ttyS3", PortSource::Probe::Free}};
    int32_t status = 0;
    EXPECT_EQ(Names(Enumerate(src, false, 16, &status)), (std::vector<std::string>{"ttyS3"}));
    EXPECT_EQ(status, 1);
}

TEST(CommPortEnum, TheMakersAdapterIsNamedAndRenamed) {
    FakeSource src;
    src.devices = {{"COM7", "Vornell USB Adapter (COM7)", "FTDIBUS\\VID_0403+PID_8414\\VORNELL_PXA[12345]"},
                   {"COM8", "Vornell USB Adapter (COM8)", "FTDIBUS\\VID_0403+PID_8414\\VORNELL_PXA"},
                   {"COM9", "Vornell USB Adapter", "FTDIBUS\\VID_0403+PID_6001\\VORNELL_PXA[1]"}};
    auto entries = Enumerate(src, false);
    EXPECT_EQ(entries[0].description, "COM7 Vornell PXA [12345]");
    EXPECT_EQ(entries[1].description, "COM8 Vornell PXA");
    EXPECT_EQ(entries[2].description, "COM9 Vornell USB Adapter");  // another product id
    ASSERT_EQ(src.renamed.size(), 2u);
    EXPECT_EQ(src.renamed[0].second, "Vornell PXA [12345] (COM7)");
    EXPECT_EQ(src.renamed[1].second, "Vornell PXA (COM8)");
}

TEST(CommPortEnum, RadioModemsAreListedUnderTheMakersName) {
    FakeSource src;
    src.devices = {{"ttyUSB0", "Digi PKG-U Radio", ""}, {"ttyUSB1", "MaxStream PKG-U", ""}, {"ttyUSB2", "Other", ""}};
    auto entries = Enumerate(src, false);
    EXPECT_EQ(entries[0].description, "ttyUSB0 Vornell USB Qr4");
    EXPECT_EQ(entries[1].description, "ttyUSB1 Vornell USB Qr4");
    EXPECT_EQ(entries[2].description, "ttyUSB2 Other");
}

// The USB serial number tells two adapters of one kind apart, so it shows in full (up to
// its shown length) whatever else must be cut, with room left for the busy mark.
TEST(CommPortEnum, TheSerialNumberShowsAndTheProductGivesWayToIt) {
    const std::string name24(CommPortEntry::kNameMax, 'n');
    const std::string longSerial = "0123456789ABCDEFGHIJKLMNOPQRST";  // 30: its end is shown
    const std::string serial20 = "S0123456789ABCDEFGHI";
    struct Case {
        const char* what;
        SerialDeviceInfo dev;
        bool busy;
        std::string description;
    };
    const Case cases[] = {
        {"one of two alike", {"ttyUSB0", "FT232R USB UART", "", "A10K3XYZ"}, false, "ttyUSB0 FT232R USB UART [A10K3XYZ]"},
        {"the other", {"ttyUSB1", "FT232R USB UART", "", "A10K3XZZ"}, false, "ttyUSB1 FT232R USB UART [A10K3XZZ]"},
        {"busy", {"ttyUSB1", "FT232R USB UART", "", "A10K3XZZ"}, true, "ttyUSB1 FT232R USB UART [A10K3XZZ] (busy)"},
        {"without a serial number", {"ttyUSB2", "FT232R USB UART", "", ""}, false, "ttyUSB2 FT232R USB UART"},
        {"a long product is cut", {"ttyUSB0", std::string(80, 'p'), "", "A10K3XYZ"}, true,
         "ttyUSB0 " + std::string(38, 'p') + " [A10K3XYZ] (busy)"},
        {"the longest name and a serial of the shown length", {name24, std::string(80, 'p'), "", serial20}, true,
         name24 + " ppppppppp [" + serial20 + "] (busy)"},
        {"a long serial number keeps its end", {"ttyUSB0", "FT232R USB UART", "", longSerial}, false,
         "ttyUSB0 FT232R USB UART [...DEFGHIJKLMNOPQRST]"},
        {"the longest name and a long serial number", {name24, std::string(80, 'p'), "", "X" + longSerial + "X"}, true,
         name24 + " ppppppppp [...EFGHIJKLMNOPQRSTX] (busy)"},
        {"a cut never splits a character", {"ttyUSB0", std::string(43, 'a') + "\xC3\xA9zzz", "", "S1"}, false,
         "ttyUSB0 " + std::string(43, 'a') + " [S1]"},
        {"a cut leaves no space before the number", {"ttyUSB0", std::string(43, 'a') + " bbbb", "", "S1"}, false,
         "ttyUSB0 " + std::string(43, 'a') + " [S1]"},
        {"no product", {"ttyACM0", "", "", "X1"}, false, "ttyACM0 Communications Port [X1]"},
        {"a Windows name", {"COM3", "USB Serial Port (COM3)", "USB\\VID_2341&PID_0043\\8573", "8573"}, false,
         "COM3 USB Serial Port [8573]"},
        {"the maker's adapter shows its own id",
         {"ttyUSB3", "Vornell USB Adapter", "USB\\VID_0403&PID_8414\\VORNELL_PXA[12345]", "VORNELL_PXA[12345]"}, false,
         "ttyUSB3 Vornell PXA [12345]"},
        {"a radio modem", {"ttyUSB4", "Digi PKG-U Radio", "", "DG123"}, false, "ttyUSB4 Vornell USB Qr4 [DG123]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSource src;
        src.devices = {c.dev};
        if (c.busy) src.busy = {c.dev.portName.substr(0, CommPortEntry::kNameMax)};
        auto entries = Enumerate(src, false);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].description, c.description);
        EXPECT_LE(entries[0].description.size(), CommPortEntry::kDescriptionMax);
        EXPECT_EQ(entries[0].serialNumber, c.dev.serialNumber);
    }

    // The stable name is kept as it is, or not at all; the serial number within its field.
    FakeSource src;
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
    src.devices = {{"ttyUSB0", "FT232R USB UART", "", std::string(100, 's'), byId},
                   {"ttyUSB1", "FT232R USB UART", "", "B", "/" + std::string(CommPortEntry::kStableNameMax, 'l')}};
    auto entries = Enumerate(src, false);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].stableName, byId);
    EXPECT_EQ(entries[0].serialNumber, std::string(CommPortEntry::kSerialNumberMax, 's'));
    EXPECT_EQ(entries[1].stableName, "");
}

TEST(UsbSerialOfInstanceId, OnlyThePlainUsbFormNamesASerialNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_2341&PID_0043\\8573531373535171A1B0", "8573531373535171A1B0"},
        {"USB\\VID_2341&PID_0043\\5&2A3B4C&0&1", ""},           // made up by Windows
        {"USB\\VID_1234&PID_5678&MI_02\\ABC", ""},              // one interface of a composite device
        {"FTDIBUS\\VID_0403+PID_6001+A10K3XYZA\\0000", ""},     // the FTDI driver's own bus
        {"ACPI\\PNP0501\\1", ""},
        {"USB\\VID_2341\\ABC", ""},
        {"USB\\VID_2341&PID_0043\\ABC\\DEF", ""},
        {"USB\\VID_2341&PID_0043\\", ""},
        {"", ""},
    };
    for (const auto& [id, serial] : cases) EXPECT_EQ(UsbSerialOfInstanceId(id), serial) << id;
}

TEST(CommPortEnum, ArgumentsAndCapacity) {
    FakeSource src;
    src.devices = {{"ttyS1", "", ""}, {"ttyS0", "", ""}, {"ttyS2", "", ""}};
    int32_t count = 0;
    CommPortEntry one[1];
    EXPECT_EQ(CommPortEnum(one, &count, false, src), vorn::kOutOfRange);
    EXPECT_TRUE(src.opened.empty());
    EXPECT_EQ(CommPortEnum(nullptr, &count, false, src), vorn::kMissingArgument);
    EXPECT_EQ(CommPortEnum(one, nullptr, false, src), vorn::kMissingArgument);

    // More devices than room: the walk stops when the list is full.
    int32_t status = 0;
    auto entries = Enumerate(src, true, 2, &status);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"ttyS0", "ttyS1"}));
    EXPECT_EQ(status, 2);
}

// Another user can create /tmp/vornsim-<uid> before us and fill it: registrations count
// only from a private folder, only as links to our own pseudo-terminals, and a hostile
// description can neither hang nor break the list.
TEST(SimulatedPorts, OnlyAPrivateFolderOfOwnPseudoTerminalsIsTrusted) {
    namespace fs = std::filesystem;
    vorn::test::TempDir dir;
    vorn::test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    const std::string folder = dir.File("vornsim");
    VornLog log(dir.File("log.txt"), 30);
    std::string why;
    ASSERT_TRUE(vorn::platform::MakePrivateFolder(folder, &why)) << why;
    fs::create_symlink(pty.SlavePath(), folder + "/sim0");
    ASSERT_EQ(mkfifo((folder + "/sim0.desc").c_str(), 0600), 0);  // would block a plain read
    fs::create_symlink(pty.SlavePath(), folder + "/sim1");
    fs::create_symlink("/dev/zero", folder + "/sim1.desc");
    fs::create_symlink("/dev/null", folder + "/notapty");
    vorn::test::WriteFile(folder + "/notapty.desc", "Not a port\n");

    auto names = [&] {
        std::vector<std::string> out;
        for (const SerialDeviceInfo& d : SimulatedPorts(&log)) out.push_back(d.portName + "=" + d.friendlyName);
        return out;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"sim0=", "sim1="}));
    EXPECT_EQ(vorn::platform::PortPath("sim0"), folder + "/sim0");
    // The files kept per port take one name whichever way the port is spelt: a simulator's
    // registered name, the device path, a link to it (as /dev/serial/by-id has).
    EXPECT_EQ(vorn::platform::PortFileKey("sim0"), "sim0");
    const std::string ptyKey = vorn::platform::PortFileKey(pty.SlavePath());
    EXPECT_EQ(ptyKey, "pts_" + pty.SlavePath().substr(9));
    fs::create_symlink(pty.SlavePath(), dir.File("by-id-link"));
    EXPECT_EQ(vorn::platform::PortFileKey(dir.File("by-id-link")), ptyKey);
    EXPECT_EQ(vorn::platform::PortFileKey("ttyS0"), vorn::platform::PortFileKey("/dev/ttyS0"));

    struct Case {
        const char* what;
        std::function<void()> spoil;
        bool needsRoot;
        bool simulatorRegisters;  // a folder of ours it closes up; anyone else's it refuses
    };
    const Case cases[] = {
        {"open to others", [&] { fs::permissions(folder, fs::perms::all); }, false, true},
        {"another user's", [&] { ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0); }, true, false},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && !vorn::test::RunningAsRoot()) continue;
        c.spoil();
        EXPECT_TRUE(names().empty()) << c.what;
        EXPECT_EQ(vorn::platform::PortPath("sim0"), "/dev/sim0") << c.what;
        // A simulator will not register there either.
        vornsim::Options options;
        options.family = "RW";
        options.portName = "sim9";
        auto sim = vornsim::MakeInstrument(options);
        EXPECT_EQ(sim->Start(), c.simulatorRegisters) << c.what;
        if (c.simulatorRegisters) {
            EXPECT_TRUE(vorn::platform::IsPrivateFolder(folder, nullptr)) << c.what;
        } else {
            EXPECT_NE(sim->Error().find("cannot register"), std::string::npos) << sim->Error();
        }
        sim.reset();
        ASSERT_EQ(chown(folder.c_str(), getuid(), getgid()), 0);
        fs::permissions(folder, fs::perms::owner_all);
    }
    EXPECT_NE(vorn::test::ReadFile(dir.File("log.txt")).find("SimulatedPorts: Ignoring simulated ports in " + folder), std::string::npos);
    if (saved) setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
}
