#pragma once
// The system's serial devices for the port list: Qt's serial port list (udev) plus the
// ports simulated instruments have registered.
#include "serial/CommPortEnum.h"

class QtPortSource : public PortSource {
public:
    explicit QtPortSource(VornLog* log = nullptr) : log_(log) {}
    std::vector<SerialDeviceInfo> Devices() override;

private:
    VornLog* log_;  // hears of a simulator folder that was ignored
};
