// The table of instrument values; the request masks of the lab families are their rows in
// session/FamilyTable.h.
#include "session/InstInfo.h"

#include <array>

#include "catalogue/DeviceCatalogue.h"
#include "session/FamilyTable.h"

namespace vorn::instinfo {
namespace {

using I = InstrumentInfo;
using K = ItemKind;

// A set's log line takes the value as the item holds it, then the milliseconds.
consteval InstItem Text(uint32_t bit, const char* key, std::string I::*field, size_t max, vorn::TableFormat setLog,
                        bool optional = false) {
    if (setLog.Args() != "sd") throw "a text item's set log takes the text and the milliseconds";
    return {bit, key, K::Text, field, nullptr, max, optional, setLog};
}
consteval InstItem Number(uint32_t bit, const char* key, int32_t I::*field, vorn::TableFormat setLog) {
    if (setLog.Present() && setLog.Args() != "dd") throw "a number item's set log takes the number and the milliseconds";
    return {bit, key, K::Number, nullptr, field, 0, false, setLog};
}
consteval InstItem Composite(uint32_t bit, K kind) { return {bit, "", kind, nullptr, nullptr, I::kLongTextMax, false, {}}; }

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
    Number(kInt, "-int", &I::intValue, {}),
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
    const char* own = vorn::session::FactsOf(family).uvalsKey;
    return item.bit == kUvals && own ? own : item.key;
}

CalNumbering CalibrationNumbering(int family) { return vorn::session::FactsOf(family).calCommands; }

uint32_t SaveRequestMask(int family, uint32_t profileVersion, int32_t infoVersion) {
    const vorn::session::FamilyFacts& row = vorn::session::FactsOf(family);
    if (row.layout != vorn::session::FileLayout::Lab) return 0;
    return vorn::session::SaveMaskOf(row, profileVersion, infoVersion);
}

}  // namespace vorn::instinfo
