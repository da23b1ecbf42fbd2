// The settings-file readers (session/SettingsFile), both layouts and every family's
// reader. Input: one byte choosing the family (low five bits, so a few values fall outside
// the catalogue) and the firmware version the values go back to (bit 5), then the file.
// A file that reads is written back; that file must read again and write back the same,
// also with origin lines after it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/DeviceCatalogue.h"
#include "session/SettingsFile.h"

namespace sf = vorn::settingsfile;

namespace {

struct Values {
    DeviceInfo info;
    InstrumentInfo inst;
    RecordSet user, eqn;
};

// Reads as the session does, the valid mask taken from what was found. 1 on success.
int32_t Read(int family, uint32_t version, std::string_view text, Values* v) {
    switch (sf::LayoutOf(family)) {
        case sf::Layout::None: return -13;
        case sf::Layout::Logger: {
            uint32_t mask = 0;
            const int32_t rc = sf::ReadLoggerFile(family, text, &v->info, &mask);
            if (rc > 0) v->info.valid = mask;
            return rc;
        }
        case sf::Layout::Lab:
            return sf::ReadLabFile(family, version, text, &v->inst, &v->info, &v->user, &v->eqn, nullptr);
    }
    return -13;
}

std::string Write(int family, const Values& v) {
    // Every value outside the valid mask is no value. Only the hadj/tau pair can leave
    // traces without its bit (hadj missing, tau read or found unread): they are written
    // as a pair never read.
    InstrumentInfo inst = v.inst;
    if (!(inst.valid & vorn::instinfo::kHadjTau)) {
        inst.tau = 0;
        inst.valid &= ~vorn::instinfo::kTauUnread;
    }
    return sf::FormatFile(family, inst, v.info, v.user, v.eqn);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int family = data[0] & 0x1F;
    const uint32_t version = (data[0] & 0x20) ? 250 : 100;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    // The key lookups on their own, with keys the readers never ask for.
    std::string value;
    sf::ReadText(text, "type", 64, &value);
    uint32_t number = 0;
    sf::ReadUnsigned(text, "valid", &number);
    double real = 0;
    sf::ReadReal(text, "lat", &real);

    // The origin lines: once written, they read back as written, and a file with them
    // reads as the same file without them.
    const std::string originLines = sf::FormatOrigin(sf::ReadOrigin(text));
    if (sf::FormatOrigin(sf::ReadOrigin(originLines)) != originLines) __builtin_trap();
    (void)sf::SerialOfFile(text);

    Values first;
    // The file's own type line goes back out: its writer takes the name from the device.
    first.info.typeName = value;
    if (Read(family, version, text, &first) <= 0) return 0;
    const std::string written = Write(family, first);

    Values second;
    second.info.typeName = first.info.typeName;
    if (Read(family, version, written, &second) <= 0) __builtin_trap();
    if (Write(family, second) != written) __builtin_trap();

    Values third;
    third.info.typeName = first.info.typeName;
    if (Read(family, version, written + originLines, &third) <= 0) __builtin_trap();
    if (Write(family, third) != written) __builtin_trap();
    return 0;
}
