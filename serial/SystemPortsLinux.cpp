#include <filesystem>
#include <cctype>
#include <fstream>

#include "serial/SystemPorts.h"

#include "serial/SerialPlatform.h"

namespace fs = std::filesystem;

namespace {

std::string ReadLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The USB device a tty hangs off: the nearest parent folder with idVendor.
fs::path UsbDeviceOf(const fs::path& ttyDevice) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyDevice, ec);
    for (int depth = 0; !ec && depth < 6 && dir.has_parent_path() && dir != dir.root_path(); ++depth) {
        if (fs::exists(dir / "idVendor")) return dir;
        dir = dir.parent_path();
    }
    return {};
}

}  // namespace

std::vector<SerialDeviceInfo> SystemPortSource::Devices() {
    std::vector<SerialDeviceInfo> devices;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        fs::path device = entry.path() / "device";
        if (!fs::exists(device)) continue;  // virtual terminals have no hardware
        SerialDeviceInfo dev;
        dev.portName = entry.path().filename().string();
        // A legacy port node without a UART answers to nothing.
        if (vorn::platform::KnownWithoutHardware(dev.portName)) continue;
        fs::path usb = UsbDeviceOf(device);
        if (!usb.empty()) {
            dev.friendlyName = ReadLine(usb / "product");
            std::string serial = ReadLine(usb / "serial");
            std::string id = "USB\\VID_" + ReadLine(usb / "idVendor") + "&PID_" + ReadLine(usb / "idProduct") + "\\" + serial;
            for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            dev.instanceId = id;
        }
        devices.push_back(dev);
    }
    for (const SerialDeviceInfo& sim : SimulatedPorts(log_)) devices.push_back(sim);
    return devices;
}
