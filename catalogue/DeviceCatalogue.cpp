#include "catalogue/DeviceCatalogue.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "common/Status.h"
#include "common/Text.h"

namespace {

// A family's memory and its loader's line speed.
struct Layout {
    bool extended;  // 20-bit addresses
    uint32_t flashStart, flashEnd, infoStart, infoSegments, infoSegmentSize;
    uint32_t baud;  // the loader's speed
};

// clang-format off
constexpr Layout kClassic{.extended = false, .flashStart = 0x1100, .flashEnd = 0xF9FF, .infoStart = 0x1000, .infoSegments = 2, .infoSegmentSize = 128, .baud = 9600};
constexpr Layout kWide{.extended = true, .flashStart = 0x2100, .flashEnd = 0x1FF00, .infoStart = 0x1000, .infoSegments = 3, .infoSegmentSize = 64, .baud = 57600};
constexpr Layout kSensor{.extended = false, .flashStart = 0x8000, .flashEnd = 0xF9FF, .infoStart = 0x1000, .infoSegments = 3, .infoSegmentSize = 64, .baud = 9600};
constexpr Layout kKsr{.extended = true, .flashStart = 0x5C00, .flashEnd = 0x3BFFF, .infoStart = 0x1800, .infoSegments = 3, .infoSegmentSize = 128, .baud = 57600};
constexpr Layout kOpx{.extended = true, .flashStart = 0x8000, .flashEnd = 0x27FFF, .infoStart = 0x1800, .infoSegments = 3, .infoSegmentSize = 128, .baud = 57600};
// clang-format on

constexpr uint32_t kAlways = 0;
constexpr uint32_t kNever = vorn::catalogue::kNeverSupported;

// The window of firmware versions a family's updater was built for (none: 0 and 0).
struct VersionWindow {
    uint32_t minVersion, maxVersion;
};
constexpr VersionWindow kNoWindow{0, 0};
constexpr VersionWindow kHn9Window{202, 999};

// What an update does with a family, besides loading its firmware.
enum Step : uint32_t {
    kSave = 1u << 0,         // save its settings before and restore them after
    kEraseData = 1u << 1,    // erase its stored data after the update
    kBattery = 1u << 2,      // check its battery first
    kLogin = 1u << 3,        // log in before reading or writing settings
    kClock = 1u << 4,        // set its clock after the update
    kCheckInit = 1u << 5,    // its new firmware is checked by its initialisation answer
    kCalibration = 1u << 6,  // remind the user to calibrate it after the update
    kWipesData = 1u << 7,    // loading firmware erases its stored data
};

struct FamilyRow {
    DeviceFamily family;
    const char* code;
    const char* displayName;
    uint32_t steps = 0;  // Step bits
    uint32_t restartWaitMs = 0;
    uint32_t minSupported = kNever;  // kAlways, kNever or the first version that can be updated
    Layout layout = kClassic;
    VersionWindow window = kNoWindow;
};

// clang-format off
constexpr std::array<FamilyRow, END + 1> kFamilies{{
    {.family = UNKNOWN, .code = "UNKNOWN", .displayName = "UNKNOWN", .steps = 0, .restartWaitMs = 7000, .minSupported = kNever},
    {.family = KT7, .code = "KT7", .displayName = "Kt7", .steps = kSave | kBattery | kClock | kCheckInit | kWipesData, .restartWaitMs = 1000, .minSupported = kNever},
    {.family = KT7R, .code = "KT7R", .displayName = "Kt7r", .steps = kSave | kBattery | kClock | kCheckInit | kWipesData, .restartWaitMs = 1000, .minSupported = kAlways},
    {.family = KT72, .code = "KT72", .displayName = "Kt72", .steps = kSave | kEraseData | kBattery | kClock | kCheckInit | kWipesData, .restartWaitMs = 6000, .minSupported = 103},
    {.family = QV, .code = "QV", .displayName = "Quillon", .steps = kSave | kEraseData | kBattery | kCheckInit | kWipesData, .restartWaitMs = 6000, .minSupported = 105},
    {.family = RL, .code = "RL", .displayName = "Ravelin", .steps = kSave | kEraseData | kCheckInit | kWipesData, .restartWaitMs = 4000, .minSupported = kNever},
    {.family = HMINI, .code = "HMINI", .displayName = "Heron Mini", .steps = kSave | kLogin, .restartWaitMs = 8500, .minSupported = 118},
    {.family = TL, .code = "TL", .displayName = "Tallis 8", .steps = kSave | kEraseData | kBattery | kClock | kWipesData, .restartWaitMs = 7000, .minSupported = kAlways},
    {.family = CF22, .code = "CF22", .displayName = "Lumex CF-22", .steps = kSave | kEraseData | kClock | kCalibration | kWipesData, .restartWaitMs = 3000, .minSupported = 150},
    {.family = VM, .code = "VM", .displayName = "Vellum Meter", .steps = kSave | kEraseData | kBattery | kClock | kCalibration | kWipesData, .restartWaitMs = 7000, .minSupported = kAlways},
    {.family = DIGITAL_SENSOR, .code = "MOSSY-QA", .displayName = "Digital Sensor", .steps = 0, .restartWaitMs = 1000, .minSupported = kNever, .layout = kSensor},
    {.family = SWXR, .code = "SWXR", .displayName = "Swallow XR", .steps = kSave | kEraseData | kClock | kWipesData, .restartWaitMs = 2000, .minSupported = kAlways},
    {.family = H7S, .code = "H7S", .displayName = "Heron Series 7", .steps = kSave | kLogin, .restartWaitMs = 2000, .minSupported = 351},
    {.family = GLX, .code = "GLX", .displayName = "GLX", .steps = kSave | kBattery, .restartWaitMs = 7000, .minSupported = kAlways},
    {.family = RW, .code = "RW", .displayName = "Readwell", .steps = kSave | kEraseData | kBattery | kClock | kWipesData, .restartWaitMs = 2000, .minSupported = kAlways, .layout = kWide},
    {.family = HN9, .code = "HN9", .displayName = "Heron 9", .steps = kSave | kEraseData | kLogin | kClock | kWipesData, .restartWaitMs = 8000, .minSupported = kAlways, .layout = kWide, .window = kHn9Window},
    {.family = KSR, .code = "KSR", .displayName = "Heron KSR", .steps = kSave | kEraseData | kClock | kWipesData, .restartWaitMs = 8000, .minSupported = kAlways, .layout = kKsr},
    {.family = PTX9, .code = "PTX9", .displayName = "PTX9", .steps = kSave | kLogin, .restartWaitMs = 2000, .minSupported = kAlways},
    {.family = ZQ8, .code = "ZQ8", .displayName = "zQ8", .steps = kSave | kEraseData | kBattery | kClock | kCheckInit | kWipesData, .restartWaitMs = 6000, .minSupported = kAlways},
    {.family = MYR, .code = "MYR", .displayName = "MYR4 Logger", .steps = kSave | kEraseData | kClock | kCheckInit | kWipesData, .restartWaitMs = 6000, .minSupported = kAlways},
    {.family = HBA, .code = "HBA", .displayName = "Heron Base", .steps = kSave | kLogin, .restartWaitMs = 2000, .minSupported = kAlways},
    {.family = FIELDPT, .code = "FIELDPT", .displayName = "fieldpt", .steps = kSave | kClock | kCheckInit, .restartWaitMs = 6000, .minSupported = kAlways, .layout = kWide},
    {.family = HN9OPX, .code = "HN9OPX", .displayName = "Heron 9 OPX", .steps = kSave | kEraseData | kLogin | kClock | kWipesData, .restartWaitMs = 8000, .minSupported = kAlways, .layout = kOpx},
    {.family = BLI, .code = "BLI", .displayName = "Brasslock Infiltrometer", .steps = kSave | kEraseData | kBattery | kClock | kWipesData, .restartWaitMs = 8000, .minSupported = kAlways, .layout = kWide},
    {.family = END, .code = "END", .displayName = "END", .steps = 0, .restartWaitMs = 0, .minSupported = kNever},
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

bool UpdateErasesStoredData(int family) { return InTable(family) && (kFamilies[family].steps & kWipesData) != 0; }

int FamilyOfOtherLoaderSpeed() {
    static constexpr int kFamily = [] {
        for (int f = UNKNOWN + 1; f < END; ++f)
            if (kFamilies[f].layout.baud != kClassic.baud) return f;
        return static_cast<int>(UNKNOWN);
    }();
    static_assert(kFamily != UNKNOWN, "some family's loader runs at another speed than the command line");
    return kFamily;
}

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
    profile->saveSettings = (row.steps & kSave) != 0;
    profile->eraseDataAfterUpdate = (row.steps & kEraseData) != 0;
    profile->checkBattery = (row.steps & kBattery) != 0;
    profile->loginBeforeSettings = (row.steps & kLogin) != 0;
    profile->setClockAfterUpdate = (row.steps & kClock) != 0;
    profile->firmwareCheckInit = (row.steps & kCheckInit) != 0;
    profile->calibrationReminder = (row.steps & kCalibration) != 0;
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
