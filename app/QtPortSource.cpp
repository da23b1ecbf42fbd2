#include "app/QtPortSource.h"

#include <QSerialPortInfo>

#include "serial/SystemPorts.h"

std::vector<SerialDeviceInfo> QtPortSource::Devices() {
    std::vector<SerialDeviceInfo> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDeviceInfo dev;
        dev.portName = info.portName().toStdString();
        dev.friendlyName = info.description().toStdString();
        // Two adapters of one make tell apart by their serial numbers, and the by-id name
        // stays when the adapter comes back under another node.
        dev.serialNumber = info.serialNumber().toStdString();
        dev.stableName = ByIdLinkOf(dev.portName);
        // The instance identifier in the form the maker's adapter is recognised by.
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            dev.instanceId = QStringLiteral("USB\\VID_%1&PID_%2\\%3")
                                 .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                 .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
                                 .arg(info.serialNumber())
                                 .toUpper()
                                 .toStdString();
        }
        devices.push_back(dev);
    }
    for (const SerialDeviceInfo& sim : SimulatedPorts(log_)) devices.push_back(sim);
    return devices;
}
