#include <algorithm>
#include <filesystem>
#include <cctype>
#include <fstream>

#include "serial/SystemPorts.h"

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

// A legacy port node without a UART answers to nothing: serial core's PORT_UNKNOWN.
bool WithoutHardware(const fs::path& ttyEntry) {
    std::ifstream in(ttyEntry / "type");
    int type = -1;
    return in >> type && type == 0;
}

}  // namespace

std::string ByIdLinkOf(const std::string& ttyName, const std::string& byIdFolder) {
    std::vector<std::string> links;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(byIdFolder, ec)) {
        if (!entry.is_symlink(ec)) continue;
        fs::path target = fs::read_symlink(entry.path(), ec);
        if (!ec && target.filename() == ttyName) links.push_back(entry.path().filename().string());
    }
    if (links.empty()) return {};
    return (fs::path(byIdFolder) / *std::min_element(links.begin(), links.end())).string();
}

std::vector<SerialDeviceInfo> LinuxSerialDevices(const std::string& sysClassTty, const std::string& byIdFolder) {
    std::vector<SerialDeviceInfo> devices;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysClassTty, ec)) {
        fs::path device = entry.path() / "device";
        if (!fs::exists(device)) continue;  // virtual terminals have no hardware
        if (WithoutHardware(entry.path())) continue;
        SerialDeviceInfo dev;
        dev.portName = entry.path().filename().string();
        fs::path usb = UsbDeviceOf(device);
        if (!usb.empty()) {
            dev.friendlyName = ReadLine(usb / "product");
            dev.serialNumber = ReadLine(usb / "serial");
            std::string id = "USB\\VID_" + ReadLine(usb / "idVendor") + "&PID_" + ReadLine(usb / "idProduct") + "\\" +
                             dev.serialNumber;
            for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            dev.instanceId = id;
        }
        dev.stableName = ByIdLinkOf(dev.portName, byIdFolder);
        devices.push_back(dev);
    }
    return devices;
}

std::vector<SerialDeviceInfo> SystemPortSource::Devices() {
    std::vector<SerialDeviceInfo> devices = LinuxSerialDevices(SysClassTty(), byIdFolder_);
    for (const SerialDeviceInfo& sim : SimulatedPorts(log_)) devices.push_back(sim);
    return devices;
}
