#pragma once
// Each instrument family's updater facts in one row: which settings file layout it uses and
// the type names its files carry, how its clock is set and its data erased, what its
// settings save asks for, and the few commands that differ between families. The catalogue
// (catalogue/DeviceCatalogue) keeps what a family is (code, name, memory layout, update
// steps); this table keeps what the session does with it. Row i is family i, checked at
// compile time below; the session, the settings file and the instrument value code read
// the row instead of switching on the family.
#include <array>
#include <cstdint>

#include "catalogue/DeviceCatalogue.h"
#include "device/DeviceInfo.h"
#include "session/InstInfo.h"

namespace vorn::session {

// The settings file layout of a family (see session/SettingsFile.h).
enum class FileLayout : uint8_t { None, Logger, Lab };

// How the clock is set after an update (when the catalogue's profile asks for it): through
// the device library's DeviceTime, or by the session's own "set -sec".
enum class ClockMode : uint8_t { Library, Seconds };

// How stored data is erased after an update: not at all, through the device library, or by
// answering the instrument's question with "yes".
enum class EraseMode : uint8_t { None, Library, Yes };

// The logger file readers; families sharing one read each other's files.
enum class LoggerReader : uint8_t { None, Kt72, Kt7r, Qv };

// Which firmware version chooses between a family's two save masks.
enum class MaskGate : uint8_t {
    None,            // one mask for every version
    ProfileVersion,  // the catalogue's version (the firmware the values go back to)
    DeviceVersion,   // the version the device itself reports
};

// The request mask of a family's settings save: setting bits of DeviceSettings for the
// loggers, instrument value bits (session/InstInfo.h) for the lab families.
struct SaveMasks {
    uint32_t mask = 0;
    MaskGate gate = MaskGate::None;
    int64_t fromVersion = 0;  // from this version of `gate` on, `newer` is asked for instead
    uint32_t newer = 0;
};

struct FamilyFacts {
    DeviceFamily family;
    FileLayout layout = FileLayout::None;
    ClockMode clock = ClockMode::Library;
    EraseMode erase = EraseMode::None;
    SaveMasks save{};
    // --- settings file ---
    LoggerReader loggerReader = LoggerReader::None;
    const char* loggerType = nullptr;   // the type name a logger's files carry ("MYR4"); null for the others
    uint32_t loggerCapabilities = 0;    // the capability word a logger file's reader restores
    const char* oldLabType = nullptr;   // a lab type name of old read besides the family code; null: none
    int fileCalFirst = 0;               // the lab file's calibration lines: first number and count
    size_t fileCalSlots = 0;
    bool identityInDeviceInfo = false;  // the lab reader copies name and serial number to DeviceInfo too
    // --- instrument commands ---
    const char* uvalsKey = nullptr;     // the word for uvals after "get "/"set "; null: the item's own
    vorn::instinfo::CalNumbering calCommands{"-cal ", 0, vorn::instinfo::kCalSlots};
    bool sensorZeroBeforeSave = false;    // "set -sensor 0" before the save reads the values
    bool serialInConfigChecksum = false;  // the configuration number carries a checksum over the serial number
};

// Versions that change what a save asks for.
inline constexpr uint32_t kCf22NewMaskVersion = 200;    // CF22 from this version on reads more
inline constexpr int32_t kHn9PvuserAfterVersion = 204;  // HN9 above this version keeps pvuser

namespace family_table {

namespace sb = vorn::protocol::setting;
namespace ib = vorn::instinfo;

// --- save masks, from the named bits ---
// Loggers: every setting but the radio version (and the build) for KT72, ZQ8 and MYR.
inline constexpr uint32_t kLoggerSave = sb::kName | sb::kSerialNumber | sb::kVersion | sb::kTrait | sb::kWake |
                                        sb::kPorts | sb::kPadc | sb::kDeviceID | sb::kDataParameter |
                                        sb::kRadioMode | sb::kRadioChannel | sb::kRadioSubchannel | sb::kDepths |
                                        sb::kSite | sb::kLatitude | sb::kLongitude | sb::kTimeZone | sb::kApn |
                                        sb::kApnUser | sb::kApnPassword | sb::kHost | sb::kAuthKey | sb::kIpPort |
                                        sb::kReportMode | sb::kAdc30 | sb::kAdc15;
inline constexpr uint32_t kKt7rSave =
    sb::kName | sb::kSerialNumber | sb::kVersion | sb::kWake | sb::kPorts | sb::kPadc | sb::kBuildInfo;
inline constexpr uint32_t kQvSave =
    sb::kName | sb::kSerialNumber | sb::kVersion | sb::kDataParameter | sb::kRadioChannel | sb::kRadioSubchannel;
// Lab families.
inline constexpr uint32_t kHminiSave = ib::kSerialNumber | ib::kLanguage | ib::kContrast | ib::kFvals | ib::kUvals |
                                       ib::kHadjTau;
inline constexpr uint32_t kTlSave = ib::kSerialNumber | ib::kContrast | ib::kUnits | ib::kAdc | ib::kSample;
inline constexpr uint32_t kCf22Save = ib::kAdcCal | ib::kLocation | ib::kChai | ib::kExt;
inline constexpr uint32_t kCf22NewerSave = kCf22Save | ib::kSerialNumber | ib::kContrast | ib::kConfig;
inline constexpr uint32_t kVmSave = ib::kSerialNumber | ib::kContrast | ib::kFvals | ib::kUnits;
inline constexpr uint32_t kSwxrSave = ib::kSerialNumber | ib::kAdcCal | ib::kWtOffset | ib::kP1Offset | ib::kAutosec |
                                      ib::kWtFactory | ib::kSys;
inline constexpr uint32_t kH7sSave = ib::kAdcCal | ib::kConfig;
inline constexpr uint32_t kGlxSave = ib::kName | ib::kSerialNumber;
inline constexpr uint32_t kRwSave = ib::kName | ib::kSerialNumber | ib::kContrast | ib::kAdc15 | ib::kAdc30 |
                                    ib::kCalibration;
inline constexpr uint32_t kHn9Save = ib::kSerialNumber | ib::kConfig | ib::kEqnRecords | ib::kUserRecords | ib::kTadj;
inline constexpr uint32_t kHn9NewerSave = kHn9Save | ib::kUvals;
inline constexpr uint32_t kKsrSave = ib::kSerialNumber | ib::kConfig | ib::kPressure | ib::kEqnRecords | ib::kTadj;
inline constexpr uint32_t kConfigAndSerialSave = ib::kSerialNumber | ib::kConfig;  // PTX9, HBA
inline constexpr uint32_t kFieldptSave = ib::kSerialNumber | ib::kTest | ib::kCalibration;
inline constexpr uint32_t kBliSave = ib::kSerialNumber | ib::kContrast | ib::kTest;

// --- logger capability words ---
// What each logger file reader gives the restored DeviceInfo: the word the device library
// computes for the newest firmware of KT7R (from 2.04) and QV (from 1.09); the KT72
// reader's word is its own (it is no single type's library word) and is kept as it was.
inline constexpr uint32_t kKt72ReaderCapabilities = 0x707FFF7;
inline constexpr uint32_t kKt7rReaderCapabilities = 0x474BE;
inline constexpr uint32_t kQvReaderCapabilities = 0x24583;

using F = FileLayout;
using C = ClockMode;
using E = EraseMode;
using L = LoggerReader;
using G = MaskGate;

// The fieldpt keeps "-calA" beside its seven numbered slots; its file carries it as the
// line after them.
inline constexpr ib::CalNumbering kFieldptCal{"-cal", 1, ib::kFieldptCalSlots, "-calA"};

constexpr SaveMasks Save(uint32_t mask) { return {mask, G::None, 0, 0}; }
constexpr SaveMasks Save(uint32_t mask, G gate, int64_t fromVersion, uint32_t newer) {
    return {mask, gate, fromVersion, newer};
}

// A logger's row: its file layout, its library erase, its reader.
constexpr FamilyFacts Logger(DeviceFamily f, uint32_t save, L reader, const char* type, uint32_t capabilities) {
    return {.family = f, .layout = F::Logger, .erase = E::Library, .save = Save(save), .loggerReader = reader,
            .loggerType = type, .loggerCapabilities = capabilities};
}

// clang-format off
inline constexpr std::array<FamilyFacts, END + 1> kRows{{
    {.family = UNKNOWN},
    {.family = KT7},
    Logger(KT7R, kKt7rSave, L::Kt7r, "Kt7r", kKt7rReaderCapabilities),
    Logger(KT72, kLoggerSave, L::Kt72, "Kt72", kKt72ReaderCapabilities),
    Logger(QV, kQvSave, L::Qv, "Quillon", kQvReaderCapabilities),
    {.family = RL},
    {.family = HMINI, .layout = F::Lab, .save = Save(kHminiSave)},
    {.family = TL, .layout = F::Lab, .erase = E::Yes, .save = Save(kTlSave)},
    {.family = CF22, .layout = F::Lab, .clock = C::Seconds, .erase = E::Yes,
     .save = Save(kCf22Save, G::ProfileVersion, kCf22NewMaskVersion, kCf22NewerSave)},
    {.family = VM, .layout = F::Lab, .erase = E::Yes, .save = Save(kVmSave), .oldLabType = "WQ"},
    {.family = DIGITAL_SENSOR, .layout = F::Lab},  // a lab layout, but nothing to save or read
    {.family = SWXR, .layout = F::Lab, .clock = C::Seconds, .erase = E::Yes, .save = Save(kSwxrSave)},
    {.family = H7S, .layout = F::Lab, .save = Save(kH7sSave)},
    {.family = GLX, .layout = F::Lab, .save = Save(kGlxSave), .identityInDeviceInfo = true},
    {.family = RW, .layout = F::Lab, .erase = E::Yes, .save = Save(kRwSave), .fileCalFirst = 0, .fileCalSlots = ib::kCalSlots},
    {.family = HN9, .layout = F::Lab, .clock = C::Seconds, .erase = E::Yes,
     .save = Save(kHn9Save, G::DeviceVersion, kHn9PvuserAfterVersion + 1, kHn9NewerSave),
     .uvalsKey = "-pvuser", .sensorZeroBeforeSave = true, .serialInConfigChecksum = true},
    {.family = KSR, .layout = F::Lab, .clock = C::Seconds, .erase = E::Yes, .save = Save(kKsrSave)},
    {.family = PTX9, .layout = F::Lab, .save = Save(kConfigAndSerialSave)},
    Logger(ZQ8, kLoggerSave, L::Kt72, "zQ8", kKt72ReaderCapabilities),
    Logger(MYR, kLoggerSave, L::Kt72, "MYR4", kKt72ReaderCapabilities),
    {.family = HBA, .layout = F::Lab, .save = Save(kConfigAndSerialSave)},
    {.family = FIELDPT, .layout = F::Lab, .clock = C::Seconds, .save = Save(kFieldptSave), .oldLabType = "TRWK",
     .fileCalFirst = 1, .fileCalSlots = kFieldptCal.Count(), .calCommands = kFieldptCal},
    {.family = HN9OPX, .layout = F::Lab, .clock = C::Seconds, .erase = E::Yes, .save = Save(kHn9NewerSave),
     .uvalsKey = "-pvuser", .serialInConfigChecksum = true},
    {.family = BLI, .layout = F::Lab, .clock = C::Seconds, .erase = E::Yes, .save = Save(kBliSave)},
    {.family = END},
}};
// clang-format on

// Row i describes family i.
constexpr bool RowsInFamilyOrder() {
    for (size_t i = 0; i < kRows.size(); ++i)
        if (kRows[i].family != static_cast<int>(i)) return false;
    return true;
}
static_assert(RowsInFamilyOrder(), "kRows: row i must describe family i");

}  // namespace family_table

// The row of a family; the UNKNOWN row for values outside the catalogue.
constexpr const FamilyFacts& FactsOf(int family) {
    return family >= UNKNOWN && family <= END ? family_table::kRows[static_cast<size_t>(family)]
                                              : family_table::kRows[UNKNOWN];
}

// The save mask a row asks for at these versions.
constexpr uint32_t SaveMaskOf(const FamilyFacts& row, uint32_t profileVersion, int32_t deviceVersion) {
    const SaveMasks& s = row.save;
    switch (s.gate) {
        case MaskGate::None: break;
        case MaskGate::ProfileVersion: return int64_t{profileVersion} >= s.fromVersion ? s.newer : s.mask;
        case MaskGate::DeviceVersion: return int64_t{deviceVersion} >= s.fromVersion ? s.newer : s.mask;
    }
    return s.mask;
}

}  // namespace vorn::session
