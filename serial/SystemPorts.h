#pragma once
// The system's serial devices without Qt (for the command-line updater): on Linux the
// tty devices that have hardware behind them in /sys/class/tty, with the USB product
// name and identifiers where there are some, plus the simulated instruments' ports.
#include "serial/CommPortEnum.h"

class SystemPortSource : public PortSource {
public:
    explicit SystemPortSource(VornLog* log = nullptr) : log_(log) {}
    std::vector<SerialDeviceInfo> Devices() override;

private:
    VornLog* log_;
};
