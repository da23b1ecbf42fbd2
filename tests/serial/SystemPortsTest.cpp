// The Linux port list from the system's own folders: each USB adapter with its serial
// number and its /dev/serial/by-id name, over a fake sysfs tree; and the busy check of the
// list, which looks at a real UART instead of opening it (an open raises DTR).
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "serial/CommPortEnum.h"
#include "serial/SerialPlatform.h"
#include "serial/SystemPorts.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using vorn::test::EnvScope;
using vorn::test::PortHeldElsewhere;
using vorn::test::PtyPair;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

// /sys/class/tty and /dev/serial/by-id as the kernel and udev lay them out: each tty's
// `device` links to its port's folder under devices/, inside the folder of the USB device
// that has idVendor; the by-id links are relative ("../../ttyUSB0").
class FakeSystem {
public:
    FakeSystem() {
        fs::create_directories(ClassTty());
        fs::create_directories(ById());
        fs::create_directories(Devices());
    }
    std::string ClassTty() const { return dir_.File("sys/class/tty"); }
    std::string ById() const { return dir_.File("dev/serial/by-id"); }
    std::string Devices() const { return dir_.File("sys/devices"); }

    // A USB adapter with one port; returns the port's folder, which a tty's `device` names.
    std::string Adapter(const std::string& usb, const std::string& product, const std::string& serial) {
        const fs::path folder = fs::path(Devices()) / "pci0000:00" / "usb1" / usb;
        const fs::path port = folder / (usb + ":1.0") / "port0";
        fs::create_directories(port);
        WriteFile((folder / "idVendor").string(), "0403\n");
        WriteFile((folder / "idProduct").string(), "6001\n");
        WriteFile((folder / "product").string(), product + "\n");
        if (!serial.empty()) WriteFile((folder / "serial").string(), serial + "\n");
        return port.string();
    }
    // The tty `name` on the port folder `port` (a fresh link each time: the node moves).
    void Tty(const std::string& name, const std::string& port, const char* type = nullptr) {
        const fs::path entry = fs::path(ClassTty()) / name;
        fs::create_directories(entry);
        fs::remove(entry / "device");
        if (!port.empty()) fs::create_symlink(fs::relative(port, entry), entry / "device");
        if (type) WriteFile((entry / "type").string(), std::string(type) + "\n");
    }
    void Link(const std::string& name, const std::string& tty) {
        fs::remove(fs::path(ById()) / name);
        fs::create_symlink("../../" + tty, fs::path(ById()) / name);
    }

private:
    TempDir dir_;
};

// The system's source over the fake folders, with every port free: its busy check is
// tested on its own below.
class FakeSystemSource : public SystemPortSource {
public:
    explicit FakeSystemSource(const FakeSystem& system) : SystemPortSource(nullptr, system.ClassTty(), system.ById()) {}
    bool IsFree(const std::string&) override { return true; }
};

std::vector<CommPortEntry> List(PortSource& source) {
    std::vector<CommPortEntry> entries(16);
    int32_t count = 16;
    CommPortEnum(entries.data(), &count, false, source);
    entries.resize(static_cast<size_t>(count));
    return entries;
}

// How often the file at `path` has been opened, by anyone, since the last look.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) watch_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN);
    }
    ~OpenWatch() {
        if (fd_ >= 0) close(fd_);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    bool Ok() const { return watch_ >= 0; }
    int Opens() {
        int opens = 0;
        alignas(inotify_event) char events[4096];
        ssize_t n;
        while ((n = read(fd_, events, sizeof events)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->mask & IN_OPEN) ++opens;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens;
    }

private:
    int fd_;
    int watch_ = -1;
};

// One port as the system would list it, looked at through `sysClassTty`.
class OnePort : public PortSource {
public:
    OnePort(const std::string& sysClassTty, std::string port) : PortSource(sysClassTty), port_(std::move(port)) {}
    std::vector<SerialDeviceInfo> Devices() override { return {{port_, "FT232R USB UART", "", "A10K3XYZ", ""}}; }

private:
    std::string port_;
};

}  // namespace

// Two adapters of one kind differ only in their serial numbers: each line shows its own,
// and each by-id name follows its adapter when the two come back on each other's nodes.
TEST(PortList, TwoAdaptersOfOneKindAreToldApartAndKeepTheirNamesAcrossNodes) {
    FakeSystem system;
    EnvScope noSimulators("XDG_RUNTIME_DIR", system.Devices());  // no vornsim folder there
    const std::string portA = system.Adapter("1-1", "FT232R USB UART", "A10K3XYZ");
    const std::string portB = system.Adapter("1-2", "FT232R USB UART", "A10K3XZZ");
    const std::string linkA = "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
    const std::string linkB = "usb-FTDI_FT232R_USB_UART_A10K3XZZ-if00-port0";
    // A board's own UART, a legacy node no UART answered on, a virtual terminal.
    const std::string uart = system.Devices() + "/platform/serial8250/port0";
    fs::create_directories(uart);
    system.Tty("ttyS0", uart, "4");
    system.Tty("ttyS1", uart, "0");
    system.Tty("tty1", "");
    // Links that must not be taken for ttyUSB1's: another node whose name starts alike.
    system.Link("usb-Another_Adapter-if00-port0", "ttyUSB10");

    struct State {
        const char* what;
        std::string usb0, usb1;  // the adapters on ttyUSB0 and ttyUSB1
        std::string serial0, serial1, link0, link1;
    };
    const State states[] = {
        {"as first plugged in", portA, portB, "A10K3XYZ", "A10K3XZZ", linkA, linkB},
        {"each on the other's node", portB, portA, "A10K3XZZ", "A10K3XYZ", linkB, linkA},
    };
    for (const State& s : states) {
        SCOPED_TRACE(s.what);
        system.Tty("ttyUSB0", s.usb0);
        system.Tty("ttyUSB1", s.usb1);
        system.Link(s.link0, "ttyUSB0");
        system.Link(s.link1, "ttyUSB1");

        std::map<std::string, SerialDeviceInfo> devices;
        for (const SerialDeviceInfo& d : LinuxSerialDevices(system.ClassTty(), system.ById())) devices[d.portName] = d;
        ASSERT_EQ(devices.size(), 3u);  // ttyS0, ttyUSB0, ttyUSB1
        EXPECT_EQ(devices["ttyUSB0"].serialNumber, s.serial0);
        EXPECT_EQ(devices["ttyUSB0"].instanceId, "USB\\VID_0403&PID_6001\\" + s.serial0);
        EXPECT_EQ(devices["ttyUSB1"].stableName, system.ById() + "/" + s.link1);
        EXPECT_EQ(devices["ttyS0"].friendlyName, "");
        EXPECT_EQ(devices["ttyS0"].stableName, "");

        FakeSystemSource source(system);
        const std::vector<CommPortEntry> entries = List(source);
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].description, "ttyS0 Communications Port");
        EXPECT_EQ(entries[0].stableName, "");
        EXPECT_EQ(entries[1].description, "ttyUSB0 FT232R USB UART [" + s.serial0 + "]");
        EXPECT_EQ(entries[1].stableName, system.ById() + "/" + s.link0);
        EXPECT_EQ(entries[1].serialNumber, s.serial0);
        EXPECT_EQ(entries[2].description, "ttyUSB1 FT232R USB UART [" + s.serial1 + "]");
        EXPECT_EQ(entries[2].stableName, system.ById() + "/" + s.link1);
    }

    // Several links to one node: the first by name.
    system.Link("usb-zz-another-name-for-it", "ttyUSB0");
    EXPECT_EQ(ByIdLinkOf("ttyUSB0", system.ById()), system.ById() + "/" + linkB);
    system.Link("usb-00-first-name-for-it", "ttyUSB0");
    EXPECT_EQ(ByIdLinkOf("ttyUSB0", system.ById()), system.ById() + "/usb-00-first-name-for-it");
    EXPECT_EQ(ByIdLinkOf("ttyUSB7", system.ById()), "");
    EXPECT_EQ(ByIdLinkOf("ttyUSB0", system.ById() + "/missing"), "");
}

// The list's busy check answers for a real UART from what the system shows (the node, its
// holders, its permissions) and never opens it; anything else it may still open. A
// pseudo-terminal plays the UART through a fake sysfs entry for its node.
TEST(PortList, AHardwarePortIsLookedAtWithoutBeingOpened) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir dir;
    const std::string node = fs::path(pty.SlavePath()).filename().string();
    const std::string hardware = dir.File("hardware"), none = dir.File("none");
    fs::create_directories(hardware + "/" + node + "/device");
    fs::create_directories(none);
    const std::string link = dir.File("usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");
    fs::create_symlink(pty.SlavePath(), link);
    OpenWatch watch(pty.SlavePath());
    ASSERT_TRUE(watch.Ok());

    struct Case {
        const char* what;
        bool asHardware, held;
    };
    const Case cases[] = {
        {"a free UART", true, false},
        {"a held UART", true, true},
        {"a free pseudo-terminal", false, false},
        {"a held pseudo-terminal", false, true},
    };
    for (const Case& c : cases) {
        for (const std::string& port : {pty.SlavePath(), link}) {
            SCOPED_TRACE(std::string(c.what) + " as " + port);
            std::optional<PortHeldElsewhere> holder;
            if (c.held) {
                holder.emplace(pty.SlavePath());
                ASSERT_TRUE(holder->Ok());
            }
            watch.Opens();  // the holder's own open
            const std::string& sys = c.asHardware ? hardware : none;
            std::string holders;
            EXPECT_EQ(vorn::platform::LookAtPort(port, &holders, sys), c.held ? EBUSY : 0);
            // (Its program's name may still be ours: the holder opens the port before its exec.)
            const std::string pid = c.held ? " (pid " + std::to_string(holder->Pid()) + ")" : "";
            EXPECT_TRUE(c.held ? holders.find(pid) != std::string::npos : holders.empty()) << holders;
            OnePort source(sys, port);
            EXPECT_EQ(source.IsFree(port), !c.held);
            EXPECT_EQ(source.ProbePort(port), c.held ? PortSource::Probe::Busy : PortSource::Probe::Free);
            if (port == pty.SlavePath()) {  // the link's long path is no name a list entry holds
                const std::vector<CommPortEntry> entries = List(source);
                ASSERT_EQ(entries.size(), 1u);
                EXPECT_EQ(entries[0].description, port + " FT232R USB UART [A10K3XYZ]" + (c.held ? " (busy)" : ""));
            }
            const int opens = watch.Opens();
            EXPECT_EQ(opens > 0, !c.asHardware) << opens << " opens";
        }
    }

    // What else a look tells without an open: a node that is gone, a file that is no tty,
    // a node this user may not use (root may use any).
    const std::string file = dir.File("ttyNotATty");
    WriteFile(file, "");
    fs::create_directories(hardware + "/ttyNotATty/device");
    fs::create_directories(hardware + "/ttyGone/device");
    OpenWatch fileWatch(file);
    ASSERT_TRUE(fileWatch.Ok());
    EXPECT_EQ(vorn::platform::LookAtPort(dir.File("ttyGone"), nullptr, hardware), ENOENT);
    EXPECT_EQ(vorn::platform::LookAtPort(file, nullptr, hardware), ENOTTY);
    EXPECT_EQ(fileWatch.Opens(), 0);
    EXPECT_EQ(vorn::platform::LookAtPort("", nullptr, hardware), ENOENT);
    if (!vorn::test::RunningAsRoot()) {
        struct stat st{};
        ASSERT_EQ(stat(pty.SlavePath().c_str(), &st), 0);
        ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
        EXPECT_EQ(vorn::platform::LookAtPort(pty.SlavePath(), nullptr, hardware), EACCES);
        OnePort source(hardware, pty.SlavePath());
        EXPECT_TRUE(source.IsFree(pty.SlavePath()));  // nobody holds it: the update tells why not
        chmod(pty.SlavePath().c_str(), st.st_mode & 07777);
    }
    EXPECT_EQ(watch.Opens(), 0);
}

TEST(OrdinaryUser, PassesEveryPortListTest) {
    if (!vorn::test::RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(vorn::test::PassedEveryTest(vorn::test::RunAgainAsOrdinaryUser("PortList.*")));
}
