// The table of instrument values and the request masks of the lab families.
#include "session/InstInfo.h"

#include <array>

#include "catalogue/DeviceCatalogue.h"
#include "session/SessionConstants.h"

namespace vorn::instinfo {
namespace {

using I = InstrumentInfo;
using K = ItemKind;

constexpr InstItem Text(uint32_t bit, const char* key, std::string I::*field, size_t max, const char* setLog,
                        bool optional = false) {
    return {bit, key, K::Text, field, nullptr, max, optional, setLog};
}
constexpr InstItem Number(uint32_t bit, const char* key, int32_t I::*field, const char* setLog) {
    return {bit, key, K::Number, nullptr, field, 0, false, setLog};
}
constexpr InstItem Composite(uint32_t bit, K kind) { return {bit, "", kind, nullptr, nullptr, I::kLongTextMax, false, nullptr}; }

// Get order. Set log lines are the ones an accepted set writes.
constexpr std::array kItems = {
    Number(kLanguage, "-lang", &I::language, "SetInstInfo set device language to \"%ld\" (%d ms)"),
    Text(kSerialNumber, "-sn", &I::serialNumber, 15, "SetInstInfo set device serial number to \"%s\" (%d ms)"),
    Number(kContrast, "-contr", &I::contrast, "SetInstInfo set device contrast to \"%ld\" (%d ms)"),
    Text(kConfig, "-config", &I::config, 64, "SetInstInfo set config to \"%s\" (%d ms)"),
    Text(kFvals, "-fvals", &I::fvals, 128, "SetInstInfo set fvals to \"%s\" (%d ms)"),
    Text(kUvals, "-uvals", &I::uvals, 128, "SetInstInfo set uvals/pvuser to \"%s\" (%d ms)"),
    Number(kUnits, "-units", &I::units, "SetInstInfo set device units to \"%ld\" (%d ms)"),
    Text(kAdc, "-adc", &I::adc, 16, "SetInstInfo set adc to \"%s\" (%d ms)"),
    Text(kSample, "-sample", &I::sample, 128, "SetInstInfo set sample to \"%s\" (%d ms)", true),
    Text(kTest, "-test", &I::sample, 128, "SetInstInfo set test to \"%s\" (%d ms)"),
    Number(kInt, "-int", &I::intValue, nullptr),
    Text(kAdcCal, "-adccal", &I::adccal, 63, "SetInstInfo set adccal to \"%s\" (%d ms)"),
    Text(kWtOffset, "-wtoffset", &I::wtoffset, 63, "SetInstInfo set wtoffset to \"%s\" (%d ms)"),
    Text(kWtFactory, "-wtfactory", &I::wtfactory, 63, "SetInstInfo set wtfactory to \"%s\" (%d ms)"),
    Text(kP1Offset, "-p1offset", &I::p1offset, 63, "SetInstInfo set p1offset to \"%s\" (%d ms)"),
    Text(kSys, "-sys", &I::sys, 128, "SetInstInfo set sys to \"%s\" (%d ms)"),
    Text(kAutosec, "-auto", &I::autosec, 63, "SetInstInfo set autosec to \"%s\" (%d ms)"),
    Text(kPcUnits, "-units", &I::pcUnits, 128, "SetInstInfo set pcUnits to \"%s\" (%d ms)"),
    Text(kName, "-i", &I::name, 8, "SetInstInfo set name to \"%s\" (%d ms)"),
    Text(kAdc15, "-adc15", &I::adc15, 128, "SetInstInfo set adc15 to \"%s\" (%d ms)"),
    Text(kAdc30, "-adc30", &I::adc30, 128, "SetInstInfo set adc30 to \"%s\" (%d ms)"),
    Composite(kCalibration, K::Calibration),
    Text(kLocation, "-loc", &I::location, 128, "SetInstInfo set location to \"%s\" (%d ms)"),
    Text(kChai, "-x", &I::chai, 16, "SetInstInfo set chai to \"%s\" (%d ms)"),
    Text(kExt, "-ext", &I::ext, 16, "SetInstInfo set ext to \"%s\" (%d ms)"),
    Composite(kUserRecords, K::UserRecords),
    Composite(kEqnRecords, K::EqnRecords),
    Text(kTadj, "-tadj", &I::tadj, 128, "SetInstInfo set tadj to \"%s\" (%d ms)"),
    Composite(kHadjTau, K::HadjTau),
    Composite(kPressure, K::Pressure),
};

constexpr std::array<uint32_t, 29> kSetOrder = {
    kSerialNumber, kLanguage, kContrast, kFvals,  kConfig,      kUvals,     kUnits,      kAdc,
    kSample,       kTest,     kAdcCal,   kWtOffset, kWtFactory, kP1Offset,  kSys,        kAutosec,
    kPcUnits,      kName,     kAdc15,    kAdc30,  kCalibration, kLocation,  kChai,       kExt,
    kUserRecords,  kEqnRecords, kTadj,   kHadjTau, kPressure,
};

}  // namespace

std::span<const InstItem> InstItems() { return kItems; }
std::span<const uint32_t> SetOrder() { return kSetOrder; }

const InstItem* FindItem(uint32_t bit) {
    for (const InstItem& item : kItems)
        if (item.bit == bit) return &item;
    return nullptr;
}

const char* ItemKey(const InstItem& item, int family) {
    if (item.bit == kUvals && (family == HN9 || family == HN9OPX)) return "-pvuser";
    return item.key;
}

CalNumbering CalibrationNumbering(int family) {
    if (family == FIELDPT) return {"-cal", 1, kFieldptCalSlots};
    return {"-cal ", 0, kCalSlots};
}

uint32_t SaveRequestMask(int family, uint32_t profileVersion, int32_t infoVersion) {
    switch (family) {
        case HMINI: return 0x4000007A;
        case TL: return 0x100192;
        case CF22: return profileVersion >= vorn::session::kCf22NewMaskVersion ? 0x7000C12 : 0x7000400;
        case VM: return 0xB2;
        case SWXR: return 0x80027402;
        case H7S: return 0xC00;
        case GLX: return 0x3;
        case RW: return 0x2C0013;
        case HN9: return infoVersion > vorn::session::kHn9PvuserAfterVersion ? 0x38000842 : 0x38000802;
        case KSR: return 0x28400802;
        case PTX9: return 0x802;
        case HBA: return 0x802;
        case FIELDPT: return 0x8002;
        case HN9OPX: return 0x38000802;
        case BLI: return 0x8012;
        default: return 0;
    }
}

}  // namespace vorn::instinfo
