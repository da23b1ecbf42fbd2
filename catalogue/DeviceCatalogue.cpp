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

// The window of firmware versions a family's updater was built for (none: 0 and 0).
struct VersionWindow {
    uint32_t minVersion, maxVersion;
};
constexpr VersionWindow kNoWindow{0, 0};
constexpr VersionWindow kHn9Window{202, 999};

struct FamilyRow {
    DeviceFamily family;
    const char* code;
    const char* displayName;
    bool save, eraseData, battery, login, clock, checkInit, calibration, updateErasesData;
    uint32_t restartWaitMs;
    uint32_t minSupported;  // kAlways, kNever or the first version that can be updated
    Layout layout;
    VersionWindow window;
};

// clang-format off
constexpr std::array<FamilyRow, END + 1> kFamilies{{
    //                code        display name               save  erase batt  login clock init  calib wipes  wait  supported  layout    window
    {UNKNOWN,        "UNKNOWN",  "UNKNOWN",                  false,false,false,false,false,false,false,false, 7000, kNever,  kClassic, kNoWindow},
    {KT7,            "KT7",      "Kt7",                      true, false,true, false,true, true, false,true,  1000, kNever,  kClassic, kNoWindow},
    {KT7R,           "KT7R",     "Kt7r",                     true, false,true, false,true, true, false,true,  1000, kAlways, kClassic, kNoWindow},
    {KT72,           "KT72",     "Kt72",                     true, true, true, false,true, true, false,true,  6000, 103,     kClassic, kNoWindow},
    {QV,             "QV",       "Quillon",                  true, true, true, false,false,true, false,true,  6000, 105,     kClassic, kNoWindow},
    {RL,             "RL",       "Ravelin",                  true, true, false,false,false,true, false,true,  4000, kNever,  kClassic, kNoWindow},
    {HMINI,          "HMINI",    "Heron Mini",               true, false,false,true, false,false,false,false, 8500, 118,     kClassic, kNoWindow},
    {TL,             "TL",       "Tallis 8",                 true, true, true, false,true, false,false,true,  7000, kAlways, kClassic, kNoWindow},
    {CF22,           "CF22",     "Lumex CF-22",              true, true, false,false,true, false,true, true,  3000, 150,     kClassic, kNoWindow},
    {VM,             "VM",       "Vellum Meter",             true, true, true, false,true, false,true, true,  7000, kAlways, kClassic, kNoWindow},
    {DIGITAL_SENSOR, "MOSSY-QA", "Digital Sensor",           false,false,false,false,false,false,false,false, 1000, kNever,  kSensor,  kNoWindow},
    {SWXR,           "SWXR",     "Swallow XR",               true, true, false,false,true, false,false,true,  2000, kAlways, kClassic, kNoWindow},
    {H7S,            "H7S",      "Heron Series 7",           true, false,false,true, false,false,false,false, 2000, 351,     kClassic, kNoWindow},
    {GLX,            "GLX",      "GLX",                      true, false,true, false,false,false,false,false, 7000, kAlways, kClassic, kNoWindow},
    {RW,             "RW",       "Readwell",                 true, true, true, false,true, false,false,true,  2000, kAlways, kWide,    kNoWindow},
    {HN9,            "HN9",      "Heron 9",                  true, true, false,true, true, false,false,true,  8000, kAlways, kWide,    kHn9Window},
    {KSR,            "KSR",      "Heron KSR",                true, true, false,false,true, false,false,true,  8000, kAlways, kKsr,     kNoWindow},
    {PTX9,           "PTX9",     "PTX9",                     true, false,false,true, false,false,false,false, 2000, kAlways, kClassic, kNoWindow},
    {ZQ8,            "ZQ8",      "zQ8",                      true, true, true, false,true, true, false,true,  6000, kAlways, kClassic, kNoWindow},
    {MYR,            "MYR",      "MYR4 Logger",              true, true, false,false,true, true, false,true,  6000, kAlways, kClassic, kNoWindow},
    {HBA,            "HBA",      "Heron Base",               true, false,false,true, false,false,false,false, 2000, kAlways, kClassic, kNoWindow},
    {FIELDPT,        "FIELDPT",  "fieldpt",                  true, false,false,false,true, true, false,false, 6000, kAlways, kWide,    kNoWindow},
    {HN9OPX,         "HN9OPX",   "Heron 9 OPX",              true, true, false,true, true, false,false,true,  8000, kAlways, kOpx,     kNoWindow},
    {BLI,            "BLI",      "Brasslock Infiltrometer",  true, true, true, false,true, false,false,true,  8000, kAlways, kWide,    kNoWindow},
    {END,            "END",      "END",                      false,false,false,false,false,false,false,false,    0, kNever,  kClassic, kNoWindow},
}};
// clang-format on

// Row i describes family i: the profile and the code lookups index the table by family.
constexpr bool RowsInFamilyOrder() {
    for (size_t i = 0; i < kFamilies.size(); ++i)
        if (kFamilies[i].family != static_cast<int>(i)) return false;
    return true;
}
static_assert(RowsInFamilyOrder(), "kFamilies: row i must describe family i");

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
    if (row.window.maxVersion != 0) {
        profile->hasVersionWindow = true;
        profile->minVersion = row.window.minVersion;
        profile->maxVersion = row.window.maxVersion;
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
