#pragma once
// The list of serial ports the user picks from: each entry has the name to open and the
// text to show. The logic is pure over a PortSource, so every case can be fed in tests;
// the window supplies a source backed by the system's device list.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class VornLog;

struct CommPortEntry {
    static constexpr size_t kNameMax = 24;
    static constexpr size_t kDescriptionMax = 64;
    static constexpr size_t kSerialNumberMax = 64;
    // A longer path is left out rather than cut: a cut one would name nothing.
    static constexpr size_t kStableNameMax = 255;
    // What the description shows of a serial number at most: a longer one keeps its end,
    // after "...", since units of one batch differ in their last characters.
    static constexpr size_t kSerialShownMax = 20;
    std::string name;         // to open: "ttyUSB0", "vornsim0" (COM3 on Windows)
    // To show: "ttyUSB0 USB Serial Port", "COM3 Communications Port (busy)", and with the
    // adapter's USB serial number "ttyUSB0 FT232R USB UART [A10K3XYZ]".
    std::string description;
    int32_t number = 0;       // trailing number of the name; sorts within a name prefix
    // What a preference or a script keeps to find this adapter again after it came back
    // under another node: its /dev/serial/by-id path; empty when it has none (use `name`).
    // (Defaults given: the lists built with braces may leave these two out.)
    std::string stableName = {};
    std::string serialNumber = {};  // the USB serial number, empty when none
};

// One serial device as the system reports it.
struct SerialDeviceInfo {
    std::string portName;       // must be a port name the layer can open
    std::string friendlyName;   // empty when the system has none
    std::string instanceId;     // USB\VID_xxxx&PID_xxxx\<serial number>, or empty
    std::string serialNumber = {};  // the USB device's serial number (iSerial), empty when none
    std::string stableName = {};    // the /dev/serial/by-id link to this node, empty when none
};

// The serial number in a Windows device instance id of the plain USB form
// ("USB\VID_2341&PID_0043\8573531373535171A1B0"); empty for any other form, and for the
// id Windows makes up for a device without a serial number (it has '&' in it:
// "USB\VID_2341&PID_0043\5&2A3B4C&0&1").
std::string UsbSerialOfInstanceId(const std::string& instanceId);

// Where the port list comes from. The default busy check and probe look at the port
// through the serial platform layer (LookAtPort: a real UART is not opened) and leave it
// as they found it.
class PortSource {
public:
    enum class Probe { Absent, Free, Busy };
    static constexpr const char* kSysClassTty = "/sys/class/tty";
    // `sysClassTty`: where Linux shows the ttys with hardware behind them (a fake folder
    // in tests); unused elsewhere.
    explicit PortSource(std::string sysClassTty = kSysClassTty) : sysClassTty_(std::move(sysClassTty)) {}
    virtual ~PortSource() = default;
    // False where the system cannot list its serial devices; probing is then forced on.
    virtual bool DeviceListAvailable() { return true; }
    virtual std::vector<SerialDeviceInfo> Devices() = 0;
    // False when another program holds the port right now.
    virtual bool IsFree(const std::string& portName);
    // The name of probe slot n (1..16): ttyS0..ttyS15 (COM1..COM16 on Windows).
    virtual std::string ProbeName(int n);
    virtual Probe ProbePort(const std::string& portName);
    // Rewrites the system-wide friendly name where the system keeps one (not on Linux).
    virtual void SetFriendlyName(const SerialDeviceInfo&, const std::string&) {}

protected:
    const std::string& SysClassTty() const { return sysClassTty_; }

private:
    std::string sysClassTty_;
};

// Fills `entries` (capacity in *count on entry, entries filled on return). Returns the
// number of ports the device list gave, 1 when probing added ports or the list was not
// used, kMissingArgument without entries or count, kOutOfRange for a capacity of 0.
int32_t CommPortEnum(CommPortEntry* entries, int32_t* count, bool probe, PortSource& source);

// The ports that simulated instruments have registered: links in the simulator folder
// (see SerialPlatform.h) to this user's pseudo-terminals, with a one-line description
// beside each. A folder that is not private is ignored, with a line in `log`.
std::vector<SerialDeviceInfo> SimulatedPorts(VornLog* log = nullptr);
