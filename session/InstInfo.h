#pragma once
// The configuration of a laboratory instrument: its named values (serial number, "config",
// the calibration slots ...) and two record lists, read before a firmware update and
// written back after it.
//
// Every value is one item of one table (InstItems()): its bit in the request and valid
// masks, the word after "get " and "set ", what kind of value it is and which field holds
// it. The session's get and set runs walk that table (get in table order, set in
// kSetOrder) through one executor (Vorn_protocol::GetInstItem / SetInstItem).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/TableFormat.h"

#include "session/Records.h"

namespace vorn::instinfo {

// Request and valid bits.
inline constexpr uint32_t kName = 0x1;
inline constexpr uint32_t kSerialNumber = 0x2;
inline constexpr uint32_t kFamilyKnown = 0x4;      // set by the settings-file reader; no item
// No item: hadj (kHadjTau) was read but tau was not. The hadj is kept and restored on its
// own; a "set -tau" with a value never read would overwrite the instrument's with 0.
inline constexpr uint32_t kTauUnread = 0x10000;
inline constexpr uint32_t kLanguage = 0x8;
inline constexpr uint32_t kContrast = 0x10;
inline constexpr uint32_t kFvals = 0x20;
inline constexpr uint32_t kUvals = 0x40;
inline constexpr uint32_t kUnits = 0x80;
inline constexpr uint32_t kAdc = 0x100;
inline constexpr uint32_t kInt = 0x200;
inline constexpr uint32_t kAdcCal = 0x400;
inline constexpr uint32_t kConfig = 0x800;
inline constexpr uint32_t kWtOffset = 0x1000;
inline constexpr uint32_t kP1Offset = 0x2000;
inline constexpr uint32_t kAutosec = 0x4000;
inline constexpr uint32_t kTest = 0x8000;
inline constexpr uint32_t kWtFactory = 0x20000;
inline constexpr uint32_t kAdc15 = 0x40000;
inline constexpr uint32_t kAdc30 = 0x80000;
inline constexpr uint32_t kSample = 0x100000;
inline constexpr uint32_t kCalibration = 0x200000;
inline constexpr uint32_t kPressure = 0x400000;    // "-p" and "-pv", kept in fvals and uvals
inline constexpr uint32_t kPcUnits = 0x800000;
inline constexpr uint32_t kLocation = 0x1000000;
inline constexpr uint32_t kChai = 0x2000000;
inline constexpr uint32_t kExt = 0x4000000;
inline constexpr uint32_t kEqnRecords = 0x8000000;
inline constexpr uint32_t kUserRecords = 0x10000000;
inline constexpr uint32_t kTadj = 0x20000000;
inline constexpr uint32_t kHadjTau = 0x40000000;
inline constexpr uint32_t kSys = 0x80000000;

inline constexpr size_t kCalSlots = 20;
inline constexpr size_t kFieldptCalSlots = 7;

}  // namespace vorn::instinfo

// One instrument's values. Text fields are bounded at their field sizes (the "Max"
// constants, characters without the terminating zero).
struct InstrumentInfo {
    static constexpr size_t kSerialNumberMax = 15;
    static constexpr size_t kNameMax = 14;
    static constexpr size_t kLocationMax = 147;
    static constexpr size_t kConfigMax = 64;
    static constexpr size_t kAutosecMax = 192;
    static constexpr size_t kLongTextMax = 128;   // pcUnits, sample, fvals, uvals, sys, adc15, adc30, tadj, cal
    static constexpr size_t kShortTextMax = 16;   // chai, adc, ext
    static constexpr size_t kOffsetMax = 63;      // adccal, wtoffset, wtfactory, p1offset
    static constexpr size_t kHadjMax = 130;

    uint32_t valid = 0;      // bits of the values that hold instrument values
    uint32_t spare = 0;      // cleared together with the valid mask
    int8_t family = 0;       // DeviceFamily of the instrument
    std::string serialNumber;
    std::string name;
    std::string location;
    int32_t language = 0;
    int32_t contrast = 0;
    int32_t units = 0;
    int32_t intValue = 0;
    std::string config;
    std::string autosec;
    std::string pcUnits;
    std::string sample;      // also the "test" value
    std::string chai;
    std::string fvals;
    std::string uvals;
    std::string adc;
    std::string adccal;
    std::string wtoffset;
    std::string wtfactory;
    std::string p1offset;
    std::string sys;
    std::string adc15;
    std::string adc30;
    std::string ext;
    std::string tadj;
    std::string hadj;
    int32_t tau = 0;
    std::array<std::string, vorn::instinfo::kCalSlots> cal;

    void Clear() { *this = InstrumentInfo{}; }
    bool operator==(const InstrumentInfo&) const = default;
};

namespace vorn::instinfo {

enum class ItemKind : uint8_t {
    Text,          // "get -key" into a text field
    Number,        // "get -key" into a number field
    Calibration,   // the calibration slots, one command per slot
    UserRecords,   // record set 1
    EqnRecords,    // record set 2
    HadjTau,       // "-hadj" then "-tau" (set: tau first, unless kTauUnread)
    Pressure,      // "-p" then "-pv" into fvals and uvals
};

struct InstItem {
    uint32_t bit;
    const char* key;                         // "-lang"; empty for the composite kinds
    ItemKind kind;
    std::string InstrumentInfo::*text;       // Text items
    int32_t InstrumentInfo::*number;         // Number items
    size_t maxChars;                         // what a get stores (Text items)
    bool optional;                           // a failed get still counts as success
    vorn::TableFormat setLog;                // log line of an accepted set (value, ms); none: never set
};

// Every item, in the order a get run handles them.
std::span<const InstItem> InstItems();
// The order a set run handles them in.
std::span<const uint32_t> SetOrder();
// The item of a bit; null when no item has it.
const InstItem* FindItem(uint32_t bit);
// The word after "get "/"set " for an item and family (the HN9 pair keep uvals as "-pvuser";
// the family's row in session/FamilyTable.h says so).
const char* ItemKey(const InstItem& item, int family);

// Calibration command prefix and first slot number of a family (its row in
// session/FamilyTable.h): "-cal" 1..7 for FIELDPT, "-cal " 0..19 for the others.
struct CalNumbering {
    const char* prefix;
    int first;
    size_t slots;
    // A slot the instrument keeps beside the numbered ones ("-calA"), after them.
    const char* extraKey = nullptr;
    constexpr size_t Count() const { return slots + (extraKey ? 1 : 0); }
    // The key of slot i ("-cal 3", "-cal3", "-calA").
    std::string Key(size_t i) const {
        return i < slots ? prefix + std::to_string(first + static_cast<int>(i)) : std::string(extraKey);
    }
};
CalNumbering CalibrationNumbering(int family);

// The request mask of a family's settings save (its row in session/FamilyTable.h); 0 for
// the families that keep no instrument values, and for the loggers, whose save goes
// through the device library. `profileVersion` is the catalogue's, `infoVersion` the device's.
uint32_t SaveRequestMask(int family, uint32_t profileVersion, int32_t infoVersion);

}  // namespace vorn::instinfo
