// The system's serial ports on Windows: the present devices of the "Ports" setup class,
// each with its "PortName" value, friendly name and device instance id (and the serial
// number that an id of the plain USB form ends in).
#include "serial/SystemPorts.h"

#include <windows.h>
#include <setupapi.h>

#include <cctype>

namespace {

// Releases the device set however the walk ends.
struct DeviceSet {
    HDEVINFO set;
    ~DeviceSet() {
        if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    }
};

// The device's "PortName" from its hardware key; empty unless it is COM and a number
// (a printer port, LPT1, is not ours to list).
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return {};
    char value[33] = {};
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    LONG rc = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
    std::string name(value);
    if (name.size() <= 3 || name.compare(0, 3, "COM") != 0 || !std::isdigit(static_cast<unsigned char>(name[3])))
        return {};
    return name;
}

std::string FriendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
    char value[66] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(value),
                                           sizeof value - 1, nullptr))
        return {};
    return value;
}

std::string InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
    char value[66] = {};
    if (!SetupDiGetDeviceInstanceIdA(set, &info, value, sizeof value - 1, nullptr)) return {};
    return value;
}

}  // namespace

std::vector<SerialDeviceInfo> SystemPortSource::Devices() {
    std::vector<SerialDeviceInfo> devices;
    // First how many classes carry the name; none means no ports. The first one is ours.
    DWORD classes = 0;
    SetupDiClassGuidsFromNameA("Ports", nullptr, 0, &classes);
    if (classes == 0) return devices;
    std::vector<GUID> guids(classes);
    if (!SetupDiClassGuidsFromNameA("Ports", guids.data(), classes, &classes) || classes == 0) return devices;
    DeviceSet present{SetupDiGetClassDevsA(&guids[0], nullptr, nullptr, DIGCF_PRESENT)};
    if (present.set == INVALID_HANDLE_VALUE) return devices;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(present.set, i, &info); ++i) {
        SerialDeviceInfo dev;
        dev.portName = PortNameOf(present.set, info);
        if (dev.portName.empty()) continue;
        dev.friendlyName = FriendlyNameOf(present.set, info);
        dev.instanceId = InstanceIdOf(present.set, info);
        // A COM name already stays with its adapter here; the number tells two apart in the list.
        dev.serialNumber = UsbSerialOfInstanceId(dev.instanceId);
        devices.push_back(dev);
    }
    return devices;
}
