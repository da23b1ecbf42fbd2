#include "serial/CommPortEnum.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "common/FilesPlatform.h"
#include "serial/SerialPlatform.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/VornLog.h"

namespace {

constexpr int kProbeSlots = 16;
constexpr const char* kPxaName = "Vornell PXA";
constexpr const char* kQr4Name = "Vornell USB Qr4";

// "ttyUSB12" -> ("ttyUSB", 12); a name without a trailing number sorts as 0.
std::string NamePrefix(const std::string& name) {
    size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1]))) --end;
    return name.substr(0, end);
}

int32_t TrailingNumber(const std::string& name) {
    std::string digits = name.substr(NamePrefix(name).size());
    if (digits.empty() || digits.size() > 9) return 0;
    return static_cast<int32_t>(std::strtol(digits.c_str(), nullptr, 10));
}

bool SortsAfter(const CommPortEntry& a, const CommPortEntry& b) {
    std::string pa = NamePrefix(a.name), pb = NamePrefix(b.name);
    if (pa != pb) return pa > pb;
    return a.number > b.number;
}

std::string Format(const std::string& a, const std::string& b) { return a + " " + b; }

constexpr std::string_view kBusyMark = " (busy)";

// At most `max` bytes of `text`, not cut inside a UTF-8 character, without the spaces a
// cut leaves at its end.
std::string CutText(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    std::string cut = text.substr(0, end);
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    return cut;
}

// A serial number as the description shows it: a long one keeps its end after "...", as
// the units of one batch differ in their last characters.
std::string ShownSerial(const std::string& serial) {
    constexpr size_t kMax = CommPortEntry::kSerialShownMax;
    if (serial.size() <= kMax) return serial;
    size_t from = serial.size() - (kMax - 3);
    while (from < serial.size() && (static_cast<unsigned char>(serial[from]) & 0xC0) == 0x80) ++from;
    return std::string("...").append(serial, from);
}

// "<name> <product>", and with a serial number "<name> <product> [<serial>]", within the
// description with room left for the busy mark: the product is cut, never the serial
// number, which is what tells two adapters of one kind apart.
std::string Described(const std::string& name, const std::string& product, const std::string& serial) {
    if (serial.empty()) return Format(name, product);
    const std::string tail = std::string("[").append(ShownSerial(serial)).append("]");
    constexpr size_t kRoom = CommPortEntry::kDescriptionMax - kBusyMark.size();
    // The name, the number and the spaces always fit, with some of the product.
    static_assert(CommPortEntry::kNameMax + 1 + (CommPortEntry::kSerialShownMax + 2) + 1 < kRoom);
    const size_t fixed = name.size() + 1 + tail.size() + 1;
    std::string text = name + " ";
    if (std::string cut = CutText(product, kRoom - fixed); !cut.empty()) text += cut + " ";
    return text + tail;
}

// One device of the system's list as an entry, with the maker's adapter recognised.
CommPortEntry MakeEntry(const SerialDeviceInfo& dev, PortSource& source) {
    CommPortEntry e;
    vorn::StoreBounded(e.name, dev.portName, CommPortEntry::kNameMax);
    e.number = TrailingNumber(e.name);
    vorn::StoreBounded(e.serialNumber, dev.serialNumber, CommPortEntry::kSerialNumberMax);
    if (dev.stableName.size() <= CommPortEntry::kStableNameMax) e.stableName = dev.stableName;
    if (dev.friendlyName.empty()) {
        vorn::StoreBounded(e.description, Described(e.name, "Communications Port", dev.serialNumber),
                           CommPortEntry::kDescriptionMax);
        return e;
    }
    // "USB Serial Port (COM3)" -> "USB Serial Port"
    std::string friendly = dev.friendlyName;
    if (size_t at = friendly.find("(COM"); at != std::string::npos) friendly.erase(at > 0 ? at - 1 : 0);
    vorn::StoreBounded(e.description, Described(e.name, friendly, dev.serialNumber), CommPortEntry::kDescriptionMax);

    // The maker's adapter carries its own bracketed id instead of the serial number.
    if (dev.friendlyName.find("Vornell USB") == std::string::npos) return e;
    size_t pid = dev.instanceId.find("PID_8414\\");
    if (pid == std::string::npos) return e;
    std::string rest = dev.instanceId.substr(pid + 9);
    if (rest.find("VORNELL_PXA") == std::string::npos) return e;
    std::string newFriendly;
    if (size_t bracket = rest.find('['); bracket != std::string::npos) {
        std::string s = rest.substr(bracket);
        vorn::StoreBounded(e.description, e.name + " " + kPxaName + " " + s, CommPortEntry::kDescriptionMax);
        newFriendly = std::string(kPxaName) + " " + s + " (" + e.name + ")";
    } else {
        vorn::StoreBounded(e.description, Format(e.name, kPxaName), CommPortEntry::kDescriptionMax);
        newFriendly = std::string(kPxaName) + " (" + e.name + ")";
    }
    source.SetFriendlyName(dev, vorn::Bounded(newFriendly, 64));
    return e;
}

}  // namespace

std::string UsbSerialOfInstanceId(const std::string& instanceId) {
    constexpr std::string_view kUsb = "USB\\VID_";
    if (instanceId.rfind(kUsb, 0) != 0) return {};
    const size_t last = instanceId.find('\\', kUsb.size());
    if (last == std::string::npos || instanceId.find('\\', last + 1) != std::string::npos) return {};
    // One interface of a composite device ("&MI_00") is named after its parent, not a serial.
    const std::string hardware = instanceId.substr(0, last);
    if (hardware.find("&PID_") == std::string::npos || hardware.find("&MI_") != std::string::npos) return {};
    std::string serial = instanceId.substr(last + 1);
    if (serial.find('&') != std::string::npos) return {};
    return serial;
}

// The holders as the log and the CLI name them; the same on every platform.
std::string vorn::platform::DescribeHolders(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& h : holders) {
        if (!text.empty()) text += ", ";
        text += h.program + " (pid " + std::to_string(h.pid) + ")";
    }
    return text;
}

// A port the user may not open is there and held by nobody: it is not "busy" (opening it
// tells the user about permissions instead). A real UART is looked at, not opened: an
// open raises DTR, which resets some instruments.
bool PortSource::IsFree(const std::string& portName) {
    return vorn::platform::CheckFindsFree(vorn::platform::LookAtPort(portName, nullptr, sysClassTty_));
}

std::string PortSource::ProbeName(int n) { return vorn::platform::ProbeSlotName(n); }

PortSource::Probe PortSource::ProbePort(const std::string& portName) {
    // Every ttyS node exists whether a UART answers behind it or not.
    if (vorn::platform::KnownWithoutHardware(portName)) return Probe::Absent;
    const int err = vorn::platform::LookAtPort(portName, nullptr, sysClassTty_);
    if (vorn::platform::CheckFindsFree(err)) return Probe::Free;
    if (vorn::platform::CheckFindsBusy(err)) return Probe::Busy;
    return Probe::Absent;
}

int32_t CommPortEnum(CommPortEntry* entries, int32_t* count, bool probe, PortSource& source) {
    if (!entries || !count) return vorn::kMissingArgument;
    if (*count <= 0) return vorn::kOutOfRange;
    const size_t capacity = static_cast<size_t>(*count);
    for (size_t i = 0; i < capacity; ++i) entries[i] = CommPortEntry{};

    std::vector<CommPortEntry> work;
    int32_t status = 1;
    if (!source.DeviceListAvailable()) {
        probe = true;
    } else {
        for (const SerialDeviceInfo& dev : source.Devices()) {
            if (work.size() >= capacity) break;
            if (dev.portName.empty()) continue;
            work.push_back(MakeEntry(dev, source));
        }
        status = static_cast<int32_t>(work.size());
    }

    // Fill from the last used position down, each time taking the entry that sorts last
    // (the first of equals): the result ascends by name prefix, then number.
    size_t used = work.size();
    for (size_t pos = used; pos-- > 0;) {
        auto last = work.begin();
        for (auto it = work.begin(); it != work.end(); ++it)
            if (SortsAfter(*it, *last)) last = it;
        entries[pos] = *last;
        work.erase(last);
    }

    for (size_t i = 0; i < used; ++i)
        if (!source.IsFree(entries[i].name)) vorn::AppendBounded(entries[i].description, kBusyMark, CommPortEntry::kDescriptionMax);

    if (probe) {
        for (int n = 1; n <= kProbeSlots && used < capacity; ++n) {
            std::string name = source.ProbeName(n);
            bool listed = std::any_of(entries, entries + used, [&](const CommPortEntry& e) { return e.name == name; });
            if (listed) continue;
            PortSource::Probe found = source.ProbePort(name);
            if (found == PortSource::Probe::Absent) continue;
            CommPortEntry& e = entries[used++];
            vorn::StoreBounded(e.name, name, CommPortEntry::kNameMax);
            e.number = TrailingNumber(name);
            e.description = name + " Communications Port";
            if (found == PortSource::Probe::Busy) e.description += " (busy)";
            vorn::StoreBounded(e.description, e.description, CommPortEntry::kDescriptionMax);
            status = 1;
        }
    }

    for (size_t i = 0; i < used; ++i) {
        std::string& d = entries[i].description;
        bool radio = d.find("MaxStream PKG-U") != std::string::npos || d.find("Digi PKG-U") != std::string::npos;
        if (radio && d.find(kPxaName) == std::string::npos)
            vorn::StoreBounded(d, Described(entries[i].name, kQr4Name, entries[i].serialNumber),
                               CommPortEntry::kDescriptionMax);
    }

    *count = static_cast<int32_t>(used);
    return status;
}

std::vector<SerialDeviceInfo> SimulatedPorts(VornLog* log) {
    namespace fs = std::filesystem;
    std::vector<SerialDeviceInfo> ports;
    const std::string folder = vorn::platform::SimulatorFolder();
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(folder, ec))) return ports;
    // Whoever controls the folder decides what we list and open: it must be ours alone.
    if (std::string why; !vorn::platform::IsPrivateFolder(folder, &why)) {
        if (log) log->Log(VornLog::kFailures, "SimulatedPorts", "Ignoring simulated ports in %s: %s", folder.c_str(), why.c_str());
        return ports;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        if (!entry.is_symlink(ec)) continue;
        if (vorn::platform::OwnPseudoTerminal(entry.path().string()).empty()) continue;  // gone, or not ours
        SerialDeviceInfo dev;
        dev.portName = entry.path().filename().string();
        dev.friendlyName = vorn::platform::ReadShortLine(entry.path().string() + ".desc", CommPortEntry::kDescriptionMax);
        ports.push_back(dev);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return a.portName < b.portName; });
    return ports;
}
