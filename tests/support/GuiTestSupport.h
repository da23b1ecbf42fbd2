#pragma once
// For tests of the windows: preferences and the per-user folder in a temporary folder,
// scripted message boxes and file dialogs, the window's event pump, and a port list the
// test fills.
#include <QByteArray>
#include <QSettings>

#include "app/EventPump.h"
#include "gui/UiService.h"
#include "serial/CommPortEnum.h"
#include "common/Timing.h"
#include "support/TestSupport.h"

namespace vorn::test {

class FakePorts : public PortSource {
public:
    std::vector<SerialDeviceInfo> devices;
    std::vector<SerialDeviceInfo> Devices() override { return devices; }
    bool IsFree(const std::string&) override { return true; }
    Probe ProbePort(const std::string&) override { return Probe::Absent; }
};

class IsolatedGui {
public:
    IsolatedGui(const TempDir& dir, UiService& ui) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.File("config")));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.File("data")));
        UiService::Install(&ui);
        InstallQtEventPump();
    }
    ~IsolatedGui() {
        UiService::Install(nullptr);
        vorn::SetEventPump(nullptr);
    }
};

}  // namespace vorn::test
