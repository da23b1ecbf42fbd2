#include "catalogue/DeviceCatalogue.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "common/Status.h"
#include "common/Text.h"

namespace {

struct Layout {
    bool extended;
    uint32_t flashStart, flashEnd, infoStart, infoSegments, infoSegmentSize, baud;
};

constexpr Layout kClassic{false, 0x1100, 0xF9FF, 0x1000, 2, 128, 9600};
constexpr Layout kWide{true, 0x2100, 0x1FF00, 0x1000, 3, 64, 57600};
constexpr Layout kSensor{false, 0x8000, 0xF9FF, 0x1000, 3, 64, 9600};
constexpr Layout kKsr{true, 0x5C00, 0x3BFFF, 0x1800, 3, 128, 57600};
constexpr Layout kOpx{true, 0x8000, 0x27FFF, 0x1800, 3, 128, 57600};

constexpr uint32_t kAlways = 0;
constexpr uint32_t kNever = vorn::catalogue::kNeverSupported;

struct FamilyRow {
    const char* code;
    const char* displayName;
    bool save, eraseData, battery, login, clock, checkInit, calibration, updateErasesData;
    uint32_t restartWaitMs;
    uint32_t minSupported;  // kAlways, kNever or the first version that can be updated
    Layout layout;
};

// clang-format off
constexpr std::array<FamilyRow, END + 1> kFamilies{{
    //  code        display name               save  erase batt  login clock init  calib wipes  wait  supported  layout
    {"UNKNOWN",  "UNKNOWN",                  false,false,false,false,false,false,false,false, 7000, kNever,  kClassic},
    {"KT7",      "Kt7",                      true, false,true, false,true, true, false,true,  1000, kNever,  kClassic},
    {"KT7R",     "Kt7r",                     true, false,true, false,true, true, false,true,  1000, kAlways, kClassic},
    {"KT72",     "Kt72",                     true, true, true, false,true, true, false,true,  6000, 103,     kClassic},
    {"QV",       "Quillon",                  true, true, true, false,false,true, false,true,  6000, 105,     kClassic},
    {"RL",       "Ravelin",                  true, true, false,false,false,true, false,true,  4000, kNever,  kClassic},
    {"HMINI",    "Heron Mini",               true, false,false,true, false,false,false,false, 8500, 118,     kClassic},
    {"TL",       "Tallis 8",                 true, true, true, false,true, false,false,true,  7000, kAlways, kClassic},
    {"CF22",     "Lumex CF-22",              true, true, false,false,true, false,true, true,  3000, 150,     kClassic},
    {"VM",       "Vellum Meter",             true, true, true, false,true, false,true, true,  7000, kAlways, kClassic},
    {"MOSSY-QA", "Digital Sensor",           false,false,false,false,false,false,false,false, 1000, kNever,  kSensor},
    {"SWXR",     "Swallow XR",               true, true, false,false,true, false,false,true,  2000, kAlways, kClassic},
    {"H7S",      "Heron Series 7",           true, false,false,true, false,false,false,false, 2000, 351,     kClassic},
    {"GLX",      "GLX",                      true, false,true, false,false,false,false,false, 7000, kAlways, kClassic},
    {"RW",       "Readwell",                 true, true, true, false,true, false,false,true,  2000, kAlways, kWide},
    {"HN9",      "Heron 9",                  true, true, false,true, true, false,false,true,  8000, kAlways, kWide},
    {"KSR",      "Heron KSR",                true, true, false,false,true, false,false,true,  8000, kAlways, kKsr},
    {"PTX9",     "PTX9",                     true, false,false,true, false,false,false,false, 2000, kAlways, kClassic},
    {"ZQ8",      "zQ8",                      true, true, true, false,true, true, false,true,  6000, kAlways, kClassic},
    {"MYR",      "MYR4 Logger",              true, true, false,false,true, true, false,true,  6000, kAlways, kClassic},
    {"HBA",      "Heron Base",               true, false,false,true, false,false,false,false, 2000, kAlways, kClassic},
    {"FIELDPT",  "fieldpt",                  true, false,false,false,true, true, false,false, 6000, kAlways, kWide},
    {"HN9OPX",   "Heron 9 OPX",              true, true, false,true, true, false,false,true,  8000, kAlways, kOpx},
    {"BLI",      "Brasslock Infiltrometer",  true, true, true, false,true, false,false,true,  8000, kAlways, kWide},
    {"END",      "END",                      false,false,false,false,false,false,false,false,    0, kNever,  kClassic},
}};
// clang-format on

constexpr uint32_t kHn9MinVersion = 202;
constexpr uint32_t kHn9MaxVersion = 999;

constexpr size_t kParseMax = 256;  // far longer than any identity line

bool InTable(int family) { return family >= 0 && family <= END; }
bool RealFamily(int family) { return family > UNKNOWN && family < END; }

}  // namespace

namespace vorn::catalogue {

std::string_view FamilyCode(int family) { return InTable(family) ? kFamilies[family].code : kFamilies[0].code; }

std::string_view FamilyDisplayName(int family) {
    return InTable(family) ? kFamilies[family].displayName : kFamilies[0].displayName;
}

bool UpdateErasesStoredData(int family) { return InTable(family) && kFamilies[family].updateErasesData; }

}  // namespace vorn::catalogue

void LoadFamilyProfile(int family, uint32_t version, DeviceProfile* profile) {
    if (!profile) return;
    *profile = DeviceProfile{};
    if (!RealFamily(family)) family = UNKNOWN;
    const FamilyRow& row = kFamilies[family];
    profile->family = static_cast<int8_t>(family);
    profile->version = version;
    vorn::StoreBounded(profile->displayName, row.displayName, DeviceProfile::kDisplayNameMax);
    profile->restartWaitMs = row.restartWaitMs;
    profile->saveSettings = row.save;
    profile->eraseDataAfterUpdate = row.eraseData;
    profile->checkBattery = row.battery;
    profile->loginBeforeSettings = row.login;
    profile->setClockAfterUpdate = row.clock;
    profile->firmwareCheckInit = row.checkInit;
    profile->calibrationReminder = row.calibration;
    profile->flashStart = row.layout.flashStart;
    profile->flashEnd = row.layout.flashEnd;
    profile->extendedAddressing = row.layout.extended;
    profile->infoStart = row.layout.infoStart;
    profile->infoSegmentCount = row.layout.infoSegments;
    profile->infoSegmentSize = row.layout.infoSegmentSize;
    profile->bootloaderBaud = row.layout.baud;
    profile->versionSupported = row.minSupported != kNever && version >= row.minSupported;
    if (family == HN9) {
        profile->hasVersionWindow = true;
        profile->minVersion = kHn9MinVersion;
        profile->maxVersion = kHn9MaxVersion;
    }
}

int32_t IdentifyDevice(std::string_view text, DeviceProfile* profile) {
    if (!profile || text.empty()) return vorn::kMissingArgument;
    // Parsed from a copy (sscanf needs its terminating zero); the code word is read into
    // its field's size, and the stored text is cut to its field.
    const std::string whole = vorn::Bounded(text, kParseMax);

    int family = UNKNOWN;
    uint32_t version = 0;
    int32_t result = 1;
    if (whole.find('.') != std::string::npos) {
        char code[vorn::catalogue::kCodeWordMax + 1] = {};
        int major = 0, minor = 0, subMinor = 0;
        int items = std::sscanf(whole.c_str(), "%19s %d.%1d%1d", code, &major, &minor, &subMinor);
        if (items < 3) return vorn::kNotUnderstood;
        // Worked out wide: a huge major number would overflow an int. Beyond the field it
        // reads as the largest version, which no device has.
        const int64_t number = int64_t{major} * 100 + minor * 10 + subMinor;
        version = number > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(number);
        std::string upper(code);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        result = vorn::kNotUnderstood;
        for (int f = UNKNOWN + 1; f < END; ++f) {
            if (upper == kFamilies[f].code) {
                family = f;
                result = 1;
                break;
            }
        }
    }
    LoadFamilyProfile(family, version, profile);
    vorn::StoreBounded(profile->identityText, whole, DeviceProfile::kIdentityTextMax);
    return result;
}
