#pragma once
// The list of serial ports the user picks from: each entry has the name to open and the
// text to show. The logic is pure over a PortSource, so every case can be fed in tests;
// the window supplies a source backed by the system's device list.
#include <cstdint>
#include <string>
#include <vector>

class VornLog;

struct CommPortEntry {
    static constexpr size_t kNameMax = 24;
    static constexpr size_t kDescriptionMax = 64;
    std::string name;         // to open: "ttyUSB0", "vornsim0" (COM3 on Windows)
    std::string description;  // to show: "ttyUSB0 USB Serial Port", "COM3 Communications Port (busy)"
    int32_t number = 0;       // trailing number of the name; sorts within a name prefix
};

// One serial device as the system reports it.
struct SerialDeviceInfo {
    std::string portName;       // must be a port name the layer can open
    std::string friendlyName;   // empty when the system has none
    std::string instanceId;     // USB\VID_xxxx&PID_xxxx\<serial number>, or empty
};

// Where the port list comes from. The default busy check and probe try the port through
// the serial platform layer and leave it as they found it.
class PortSource {
public:
    enum class Probe { Absent, Free, Busy };
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
};

// Fills `entries` (capacity in *count on entry, entries filled on return). Returns the
// number of ports the device list gave, 1 when probing added ports or the list was not
// used, kMissingArgument without entries or count, kOutOfRange for a capacity of 0.
int32_t CommPortEnum(CommPortEntry* entries, int32_t* count, bool probe, PortSource& source);

// The ports that simulated instruments have registered: links in the simulator folder
// (see SerialPlatform.h) to this user's pseudo-terminals, with a one-line description
// beside each. A folder that is not private is ignored, with a line in `log`.
std::vector<SerialDeviceInfo> SimulatedPorts(VornLog* log = nullptr);
