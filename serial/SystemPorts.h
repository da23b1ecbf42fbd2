#pragma once
// The system's serial devices without Qt (for the command-line updater): on Linux the
// tty devices that have hardware behind them in /sys/class/tty, with the USB product
// name, identifiers and serial number where there are some and the /dev/serial/by-id
// name of each, plus the simulated instruments' ports.
#include <string>
#include <utility>
#include <vector>

#include "serial/CommPortEnum.h"

class SystemPortSource : public PortSource {
public:
    static constexpr const char* kByIdFolder = "/dev/serial/by-id";
    // The folders are the system's own but in tests (Linux; unused on Windows).
    explicit SystemPortSource(VornLog* log = nullptr, std::string sysClassTty = kSysClassTty,
                              std::string byIdFolder = kByIdFolder)
        : PortSource(std::move(sysClassTty)), log_(log), byIdFolder_(std::move(byIdFolder)) {}
    std::vector<SerialDeviceInfo> Devices() override;

private:
    VornLog* log_;
    std::string byIdFolder_;
};

#ifndef _WIN32
// The ttys of `sysClassTty` with hardware behind them, a legacy port node without a UART
// left out, in the folder's order: each with its USB device's product, identifiers and
// serial number, and its link in `byIdFolder` (the first by name whose target has the
// tty's name: udev writes them relative, "../../ttyUSB0").
std::vector<SerialDeviceInfo> LinuxSerialDevices(const std::string& sysClassTty, const std::string& byIdFolder);
// The first link by name in `byIdFolder` whose target's file name is `ttyName`, as
// `byIdFolder`/<link>; empty for none.
std::string ByIdLinkOf(const std::string& ttyName, const std::string& byIdFolder = SystemPortSource::kByIdFolder);
#endif
