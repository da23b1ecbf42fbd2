// The port list (serial/CommPortEnum) over a system device list taken from the input:
// one byte of switches, then one device a line, its port name, friendly name and instance
// id separated by TABs. Every entry must stay within its field sizes and the capacity.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "serial/CommPortEnum.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

class FakeSource : public PortSource {
public:
    FakeSource(uint8_t switches, std::string_view list) : switches_(switches) {
        for (size_t at = 0; at < list.size();) {
            size_t end = list.find('\n', at);
            if (end == std::string_view::npos) end = list.size();
            std::string_view line = list.substr(at, end - at);
            SerialDeviceInfo dev;
            std::string* fields[] = {&dev.portName, &dev.friendlyName, &dev.instanceId};
            for (std::string* field : fields) {
                const size_t tab = line.find('\t');
                *field = std::string(line.substr(0, tab));
                line = tab == std::string_view::npos ? std::string_view{} : line.substr(tab + 1);
            }
            devices_.push_back(dev);
            at = end + 1;
        }
    }
    bool DeviceListAvailable() override { return !(switches_ & 1); }
    std::vector<SerialDeviceInfo> Devices() override { return devices_; }
    bool IsFree(const std::string& portName) override { return (portName.size() + switches_) % 3 != 0; }
    Probe ProbePort(const std::string& portName) override {
        return static_cast<Probe>((portName.size() + (switches_ >> 4)) % 3);
    }
    void SetFriendlyName(const SerialDeviceInfo&, const std::string& name) override { Check(name.size() <= 64); }

private:
    uint8_t switches_;
    std::vector<SerialDeviceInfo> devices_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    FakeSource source(data[0], std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    const int32_t capacity = 1 + ((data[0] >> 1) & 7) * 4;
    std::vector<CommPortEntry> entries(static_cast<size_t>(capacity));
    int32_t count = capacity;
    const int32_t rc = CommPortEnum(entries.data(), &count, (data[0] & 2) != 0, source);
    Check(rc >= 0 && count >= 0 && count <= capacity);
    for (int32_t i = 0; i < count; ++i) {
        Check(entries[static_cast<size_t>(i)].name.size() <= CommPortEntry::kNameMax);
        Check(entries[static_cast<size_t>(i)].description.size() <= CommPortEntry::kDescriptionMax);
    }
    return 0;
}
