// Settings file layouts and readers, one table each.
#include "session/SettingsFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <variant>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "device/ProtocolConstants.h"
#include "common/Status.h"
#include "common/Text.h"

namespace vorn::settingsfile {
namespace {

namespace sb = vorn::protocol::setting;
namespace ib = vorn::instinfo;

bool LineEnd(char c) { return c == '\r' || c == '\n'; }

constexpr std::string_view kExactSuffix = ".hex";

// The last line of a file of this program names the values it holds: every other line is
// written whatever the device gave, so a number line of 0 may stand for a value never read.
constexpr const char* kValidKey = "valid";

// The valid bits of the "valid" line; every bit for files without one.
uint32_t HeldValues(std::string_view text) {
    uint32_t held = 0;
    return ReadUnsigned(text, kValidKey, &held) ? held : ~0u;
}

// What a value needs that a key="value" line cannot carry: a double quote would end it,
// a line end would end the line, and other control bytes (a zero among them) are not text
// a reader keeps as it is.
bool ControlByte(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }
bool LineCannotCarry(std::string_view value) {
    return std::any_of(value.begin(), value.end(), [](char c) { return c == '"' || ControlByte(c); });
}

// key="value"\r\n. A value a line cannot carry faithfully (one with a double quote or a
// control byte) is written with an apostrophe for each quote and a blank for each control byte,
// which earlier readers take, and its exact text follows on a line of its own,
// key.hex="<hexadecimal bytes>", which this reader prefers.
void TextLine(std::string& out, std::string_view key, std::string_view value) {
    if (!LineCannotCarry(value)) {
        out.append(key).append("=\"").append(value).append("\"\r\n");
        return;
    }
    std::string shown(value);
    for (char& c : shown) {
        if (c == '"') c = '\'';
        if (ControlByte(c)) c = ' ';
    }
    out.append(key).append("=\"").append(shown).append("\"\r\n");
    out.append(key).append(kExactSuffix).append("=\"");
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (unsigned char c : value) out.append(1, kDigits[c >> 4]).append(1, kDigits[c & 0xF]);
    out.append("\"\r\n");
}

// The exact text of key.hex; nullopt when the file has no such line or it is not hexadecimal.
std::optional<std::string> ReadExact(std::string_view text, std::string_view key) {
    const auto start = FindKey(text, std::string(key) + std::string(kExactSuffix));
    if (!start) return std::nullopt;
    std::string value;
    size_t at = *start;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (; at + 1 < text.size() && text[at] != '"'; at += 2) {
        const int hi = nibble(text[at]), lo = nibble(text[at + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        value += static_cast<char>(hi << 4 | lo);
    }
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    return value;
}

// ===================================================================== logger layout

enum class Num : uint8_t { Text, Signed, Unsigned, Five, Real };

using LoggerField = std::variant<std::string DeviceInfo::*, int32_t DeviceInfo::*, uint32_t DeviceInfo::*,
                                 DeviceInfo::Bytes5 DeviceInfo::*, double DeviceInfo::*>;

using vorn::session::FactsOf;
using vorn::session::FamilyFacts;
using vorn::session::LoggerReader;

// Which readers read a line, as bits of their LoggerReader.
constexpr uint8_t ReaderBit(LoggerReader reader) { return static_cast<uint8_t>(1u << static_cast<unsigned>(reader)); }
constexpr uint8_t kKt72Group = ReaderBit(LoggerReader::Kt72);  // KT72, ZQ8, MYR
constexpr uint8_t kKt7r = ReaderBit(LoggerReader::Kt7r);
constexpr uint8_t kQv = ReaderBit(LoggerReader::Qv);

struct LoggerLine {
    const char* key;
    Num kind;
    LoggerField field;
    size_t capacity;      // text read capacity (characters + terminating zero)
    uint32_t bit;         // setting bits a reader adds when it finds the key
    uint32_t onlyWith;    // written only when this valid bit is set (0: always)
    uint8_t readers;
    uint32_t heldBit;     // the valid bit that says the file holds a device value here
};

// The logger layout, in file order. "type" comes first and is written from the type name.
const std::vector<LoggerLine>& LoggerLines() {
    static const std::vector<LoggerLine> lines = {
        {"deviceid", Num::Text, &DeviceInfo::deviceID, 9, sb::kDeviceID, 0, kKt72Group, sb::kDeviceID},
        {"name", Num::Text, &DeviceInfo::deviceName, 9, sb::kName, 0, kKt72Group | kKt7r | kQv, sb::kName},
        {"sn", Num::Text, &DeviceInfo::serialNumber, 16, sb::kSerialNumber, 0, kKt72Group | kKt7r | kQv, sb::kSerialNumber},
        {"trait", Num::Signed, &DeviceInfo::trait, 0, sb::kTrait, 0, kKt72Group, sb::kTrait},
        {"wake", Num::Signed, &DeviceInfo::measurementInterval, 0, sb::kWake, 0, kKt72Group | kKt7r, sb::kWake},
        {"padc", Num::Signed, &DeviceInfo::padc, 0, sb::kPadc, 0, kKt72Group | kKt7r, sb::kPadc},
        // A KT7R file carries its ports on this line too; reading it keeps them.
        {"ports", Num::Five, &DeviceInfo::ports, 65, sb::kPorts, 0, kKt72Group | kKt7r, sb::kPorts},
        {"depth", Num::Five, &DeviceInfo::depths, 65, sb::kDepths, 0, kKt72Group, sb::kDepths},
        {"ADC15 slopes", Num::Five, &DeviceInfo::adc15Slopes, 65, 0, sb::kAdc15, kKt72Group, sb::kAdc15},
        {"ADC15 offsets", Num::Five, &DeviceInfo::adc15Offsets, 65, 0, sb::kAdc15, kKt72Group, sb::kAdc15},
        {"ADC30 slopes", Num::Five, &DeviceInfo::adc30Slopes, 65, 0, sb::kAdc30, kKt72Group, sb::kAdc30},
        {"ADC30 offsets", Num::Five, &DeviceInfo::adc30Offsets, 65, 0, sb::kAdc30, kKt72Group, sb::kAdc30},
        {"rmode", Num::Signed, &DeviceInfo::radioMode, 0, sb::kRadioMode, 0, kKt72Group, sb::kRadioMode},
        {"rch", Num::Signed, &DeviceInfo::radioChannel, 0, sb::kRadioChannel, 0, kKt72Group | kQv, sb::kRadioChannel},
        {"rsch", Num::Signed, &DeviceInfo::radioSubchannel, 0, sb::kRadioSubchannel | sb::kTrait, 0, kKt72Group | kQv, sb::kRadioSubchannel},
        {"data", Num::Signed, &DeviceInfo::dataParameter, 0, sb::kDataParameter, 0, kKt72Group | kQv, sb::kDataParameter},
        {"site", Num::Text, &DeviceInfo::site, 26, sb::kSite, 0, kKt72Group, sb::kSite},
        {"lat", Num::Real, &DeviceInfo::latitude, 0, sb::kLatitude, 0, kKt72Group, sb::kLatitude},
        {"lon", Num::Real, &DeviceInfo::longitude, 0, sb::kLongitude, 0, kKt72Group, sb::kLongitude},
        {"timezone", Num::Signed, &DeviceInfo::timeZone, 0, sb::kTimeZone, 0, kKt72Group, sb::kTimeZone},
        {"report", Num::Unsigned, &DeviceInfo::reportMode, 0, sb::kReportMode, 0, kKt72Group, sb::kReportMode},
        {"apn", Num::Text, &DeviceInfo::apn, 36, sb::kApn, 0, kKt72Group, sb::kApn},
        {"user", Num::Text, &DeviceInfo::apnUser, 36, sb::kApnUser, 0, kKt72Group, sb::kApnUser},
        {"passwd", Num::Text, &DeviceInfo::apnPassword, 36, sb::kApnPassword, 0, kKt72Group, sb::kApnPassword},
        {"host", Num::Text, &DeviceInfo::host, 64, sb::kHost, 0, kKt72Group, sb::kHost},
        {"authkey", Num::Text, &DeviceInfo::authKey, 33, sb::kAuthKey, 0, kKt72Group, sb::kAuthKey},
        {"ipport", Num::Unsigned, &DeviceInfo::ipPort, 0, sb::kIpPort, 0, kKt72Group, sb::kIpPort},
        {"VornBuild", Num::Text, &DeviceInfo::buildInfo, 17, sb::kBuildInfo, sb::kBuildInfo, kKt72Group | kKt7r, sb::kBuildInfo},
    };
    return lines;
}

int64_t NumberOf(const DeviceInfo& info, const LoggerField& field) {
    if (auto p = std::get_if<int32_t DeviceInfo::*>(&field)) return info.**p;
    if (auto p = std::get_if<uint32_t DeviceInfo::*>(&field)) return info.**p;
    return 0;
}

void StoreNumber(DeviceInfo& info, const LoggerField& field, uint32_t value) {
    if (auto p = std::get_if<int32_t DeviceInfo::*>(&field)) info.**p = static_cast<int32_t>(value);
    if (auto p = std::get_if<uint32_t DeviceInfo::*>(&field)) info.**p = value;
}

void WriteLoggerLine(std::string& out, const DeviceInfo& info, const LoggerLine& line) {
    switch (line.kind) {
        case Num::Text:
            TextLine(out, line.key, info.*std::get<std::string DeviceInfo::*>(line.field));
            break;
        case Num::Signed:
            out += vorn::Format("%s=\"%d\"\r\n", line.key, static_cast<int>(NumberOf(info, line.field)));
            break;
        case Num::Unsigned:
            out += vorn::Format("%s=\"%u\"\r\n", line.key, static_cast<unsigned>(NumberOf(info, line.field)));
            break;
        case Num::Five: {
            const auto& v = info.*std::get<DeviceInfo::Bytes5 DeviceInfo::*>(line.field);
            out += vorn::Format("%s=\"%u %u %u %u %u\"\r\n", line.key, v[0], v[1], v[2], v[3], v[4]);
            break;
        }
        case Num::Real:
            out += vorn::Format("%s=\"%+.5f\"\r\n", line.key, info.*std::get<double DeviceInfo::*>(line.field));
            break;
    }
}

// Five numbers "%u %u %u %u %u"; all five are needed.
bool ReadFive(std::string_view text, std::string_view key, size_t capacity, DeviceInfo::Bytes5* out) {
    std::string value;
    if (!ReadText(text, key, capacity, &value)) return false;
    unsigned v[5];
    if (std::sscanf(value.c_str(), "%u %u %u %u %u", &v[0], &v[1], &v[2], &v[3], &v[4]) != 5) return false;
    for (size_t i = 0; i < 5; ++i) (*out)[i] = static_cast<uint8_t>(v[i]);
    return true;
}

bool AdcFactorUsable(uint8_t factor) { return factor != 0 && factor != 255; }

// The type line of a file; empty when it has none.
std::string TypeOf(std::string_view text) {
    std::string type;
    ReadText(text, "type", 64, &type);
    return type;
}

// A logger reader takes the files of every family it reads: their rows' type names (an
// MYR logger calls itself "MYR4"; a zQ8 reader takes a Kt72 file).
bool LoggerTypeMatches(std::string_view text, LoggerReader reader) {
    const std::string type = TypeOf(text);
    if (type.empty()) return false;
    for (int family = UNKNOWN + 1; family < END; ++family) {
        const FamilyFacts& row = FactsOf(family);
        if (row.loggerReader == reader && row.loggerType && type == row.loggerType) return true;
    }
    return false;
}

// A lab reader takes its family's code and the row's type name of old ("WQ" for VM).
bool LabTypeMatches(std::string_view text, int family) {
    const std::string type = TypeOf(text);
    if (type.empty()) return false;
    const char* old = FactsOf(family).oldLabType;
    return type == vorn::catalogue::FamilyCode(family) || (old && type == old);
}

// ===================================================================== lab layout

// Families as bits, for the sets of families that read a key.
template <typename... Families>
constexpr uint32_t Read(Families... families) {
    return ((1u << static_cast<unsigned>(families)) | ... | 0u);
}

enum class LabValue : uint8_t {
    Type,         // the family code
    Build,        // the build text of the DeviceInfo
    Empty,        // always ""
    Text,         // a text field
    Number,       // a number field
    HadjTau,      // written as the hadj text; read together with "tau"
    Calibration,  // "cal%02d" lines, numbered and counted by the family's row
    UserRecords,  // "user%02d" lines
    EqnRecords,   // "eqn%02d" lines
};

// Where the writer puts a line: always (the fixed lines, the calibration and the records,
// in this order), or after them and only when the instrument holds the value, so every
// other family's file keeps exactly the fixed layout.
enum class Write : uint8_t { Always, WhenHeld };

// Which families read a key back, and the valid bit it gives them.
struct LabRead {
    uint32_t families = 0;
    uint32_t bit = 0;
    uint32_t fromVersion = 0;  // only for firmware from this version, and only from files that name what they hold
};

struct LabKey {
    const char* key;
    LabValue kind;
    Write write = Write::Always;
    std::string InstrumentInfo::*text = nullptr;
    int32_t InstrumentInfo::*number = nullptr;
    std::array<LabRead, 2> reads{};  // a key may give some families one bit and others another
};

constexpr LabRead By(uint32_t families, uint32_t bit, uint32_t fromVersion = 0) { return {families, bit, fromVersion}; }
// The kinds of key, each with its field.
constexpr LabKey Fixed(const char* key, LabValue kind, LabRead first = {}, LabRead second = {}) {
    return {.key = key, .kind = kind, .reads = {first, second}};
}
constexpr LabKey TextKey(const char* key, std::string InstrumentInfo::*field, LabRead first = {}, LabRead second = {}) {
    return {.key = key, .kind = LabValue::Text, .text = field, .reads = {first, second}};
}
constexpr LabKey NumberKey(const char* key, int32_t InstrumentInfo::*field, LabRead first = {}, LabRead second = {}) {
    return {.key = key, .kind = LabValue::Number, .number = field, .reads = {first, second}};
}
constexpr LabKey HeldTextKey(const char* key, std::string InstrumentInfo::*field, LabRead read) {
    return {.key = key, .kind = LabValue::Text, .write = Write::WhenHeld, .text = field, .reads = {read, {}}};
}

using I = InstrumentInfo;
constexpr uint32_t kCf22Newer = vorn::session::kCf22NewMaskVersion;  // CF22's newer values

// The lab layout, in file order, with the families that read each key. Every family reads
// back each value its save collects (a file of this program's own always carries them),
// besides the keys and type lines files of old carry; FIELDPT reads its "sample" and two
// calibration lines. A text read keeps as many characters as a get of its value stores.
// clang-format off
constexpr LabKey kLabKeys[] = {
    Fixed("type", LabValue::Type),
    TextKey("name", &I::name, By(Read(RW, GLX), ib::kName)),
    TextKey("sn", &I::serialNumber,
            By(Read(HMINI, VM, TL, SWXR, PTX9, HBA, FIELDPT, RW, GLX, KSR, HN9, HN9OPX, BLI), ib::kSerialNumber),
            By(Read(CF22), ib::kSerialNumber, kCf22Newer)),
    NumberKey("lang", &I::language, By(Read(HMINI), ib::kLanguage)),
    Fixed("VornBuild", LabValue::Build),
    NumberKey("contr", &I::contrast, By(Read(HMINI, VM, TL, RW, BLI), ib::kContrast),
              By(Read(CF22), ib::kContrast, kCf22Newer)),
    TextKey("config", &I::config, By(Read(H7S, PTX9, HBA, KSR, HN9, HN9OPX), ib::kConfig),
            By(Read(CF22), ib::kConfig, kCf22Newer)),
    TextKey("fvals", &I::fvals, By(Read(HMINI, VM), ib::kFvals), By(Read(KSR), ib::kPressure)),
    TextKey("uvals", &I::uvals, By(Read(HMINI, HN9, HN9OPX), ib::kUvals), By(Read(KSR), ib::kPressure)),
    NumberKey("units", &I::units, By(Read(VM, TL), ib::kUnits)),
    TextKey("adc", &I::adc, By(Read(TL), ib::kAdc)),
    TextKey("adccal", &I::adccal, By(Read(SWXR, H7S, CF22), ib::kAdcCal)),
    Fixed("calprefs", LabValue::Empty),
    TextKey("PCUnits", &I::pcUnits),
    TextKey("sample", &I::sample, By(Read(TL), ib::kSample), By(Read(FIELDPT, BLI), ib::kTest)),
    TextKey("adc15", &I::adc15, By(Read(RW), ib::kAdc15)),
    TextKey("adc30", &I::adc30, By(Read(RW), ib::kAdc30)),
    TextKey("location", &I::location, By(Read(CF22), ib::kLocation)),
    TextKey("chai", &I::chai, By(Read(CF22), ib::kChai)),
    TextKey("extCal", &I::ext, By(Read(CF22), ib::kExt)),
    TextKey("tadj", &I::tadj, By(Read(KSR, HN9, HN9OPX), ib::kTadj)),
    NumberKey("tau", &I::tau),  // read with hadj
    {.key = "hadj", .kind = LabValue::HadjTau, .text = &I::hadj, .reads = {By(Read(HMINI, HN9, HN9OPX), ib::kHadjTau), {}}},
    Fixed("cal", LabValue::Calibration, By(Read(RW, FIELDPT), ib::kCalibration)),
    Fixed("user", LabValue::UserRecords, By(Read(KSR, HN9, HN9OPX), ib::kUserRecords)),
    Fixed("eqn", LabValue::EqnRecords, By(Read(KSR, HN9, HN9OPX), ib::kEqnRecords)),
    HeldTextKey("sys", &I::sys, By(Read(SWXR), ib::kSys)),
    HeldTextKey("wtoffset", &I::wtoffset, By(Read(SWXR), ib::kWtOffset)),
    HeldTextKey("wtfactory", &I::wtfactory, By(Read(SWXR), ib::kWtFactory)),
    HeldTextKey("p1offset", &I::p1offset, By(Read(SWXR), ib::kP1Offset)),
    HeldTextKey("autosec", &I::autosec, By(Read(SWXR), ib::kAutosec)),
};
// clang-format on

// Every family's save is read back: each bit of its masks is given by one of its keys.
constexpr uint32_t BitsReadBy(int family) {
    uint32_t bits = 0;
    for (const LabKey& k : kLabKeys)
        for (const LabRead& r : k.reads)
            if (r.families & (1u << family)) bits |= r.bit;
    return bits;
}
constexpr bool EverySaveIsReadBack() {
    for (int family = UNKNOWN + 1; family < END; ++family) {
        const vorn::session::SaveMasks& save = FactsOf(family).save;
        if (FactsOf(family).layout != Layout::Lab) continue;
        if (((save.mask | save.newer) & ~BitsReadBy(family)) != 0) return false;
    }
    return true;
}
static_assert(EverySaveIsReadBack(), "kLabKeys: a lab family's save collects a value its reader does not take back");

// The reading of a key by a family; null when the family does not read it.
const LabRead* ReadingOf(const LabKey& key, int family) {
    for (const LabRead& r : key.reads)
        if (r.families & (1u << family)) return &r;
    return nullptr;
}

// How many characters a read of a value keeps, with room for a terminating zero: what a
// get of the value stores (session/InstInfo.h).
size_t CapacityOf(uint32_t bit) {
    const ib::InstItem* item = ib::FindItem(bit);
    return (item ? item->maxChars : InstrumentInfo::kLongTextMax) + 1;
}

void WriteRecords(std::string& out, const char* name, const RecordSet& set) {
    for (size_t i = 0; i < set.Count() && i < vorn::records::kFileRecordsMax; ++i) {
        if (set.records[i].text.empty()) break;
        TextLine(out, vorn::Format("%s%02u", name, static_cast<unsigned>(i)), set.records[i].text);
    }
}

// Calibration lines "cal%02d": numbers from `first`, into slots from 0, up to the first
// missing line; an empty line is an empty slot between others. True when at least one
// slot holds a value.
bool ReadCalibration(std::string_view text, const char* prefix, int first, size_t count, InstrumentInfo* inst) {
    size_t read = 0;
    for (size_t i = 0; i < count && i < inst->cal.size(); ++i) {
        const std::string key = vorn::Format("%s%02d", prefix, first + static_cast<int>(i));
        if (!FindKey(text, key)) break;
        if (ReadText(text, key, CapacityOf(ib::kCalibration), &inst->cal[i])) ++read;
    }
    return read > 0;
}

// The slots the file must carry: up to the last one that holds a value (an empty slot
// before it is written empty, so the ones after it are not lost).
size_t CalibrationSlotsToWrite(const InstrumentInfo& inst, size_t slots) {
    size_t last = 0;
    for (size_t i = 0; i < slots && i < inst.cal.size(); ++i)
        if (!inst.cal[i].empty()) last = i + 1;
    return last;
}

}  // namespace

// ===================================================================== key lookup

std::optional<size_t> FindKey(std::string_view text, std::string_view key) {
    if (key.empty()) return std::nullopt;
    for (size_t pos = text.find(key); pos != std::string_view::npos; pos = text.find(key, pos + 1)) {
        bool lineStart = pos == 0 || LineEnd(text[pos - 1]);
        size_t after = pos + key.size();
        if (!lineStart || after >= text.size() || text[after] != '=') continue;
        for (size_t i = after + 1; i < text.size() && !LineEnd(text[i]); ++i)
            if (text[i] == '"') return i + 1;
        return std::nullopt;
    }
    return std::nullopt;
}

bool ReadText(std::string_view text, std::string_view key, size_t capacity, std::string* value) {
    value->clear();
    if (capacity == 0) return false;
    if (const std::optional<std::string> exact = ReadExact(text, key); exact && FindKey(text, key)) {
        vorn::StoreBounded(*value, *exact, capacity - 1);
        return !value->empty();
    }
    auto start = FindKey(text, key);
    if (!start || capacity == 0) return false;
    size_t end = *start;
    // A zero byte ends the value, as it ends what the writer's "%s" lines write.
    while (end < text.size() && text[end] != '"' && text[end] != '\0' && !LineEnd(text[end])) ++end;
    vorn::StoreBounded(*value, text.substr(*start, end - *start), capacity - 1);
    return !value->empty();
}

bool ReadUnsigned(std::string_view text, std::string_view key, uint32_t* value) {
    auto start = FindKey(text, key);
    if (!start) return false;
    std::string digits(text.substr(*start, 24));
    *value = static_cast<uint32_t>(std::strtoll(digits.c_str(), nullptr, 10));
    return true;
}

bool ReadReal(std::string_view text, std::string_view key, double* value) {
    auto start = FindKey(text, key);
    if (!start) return false;
    double read = 0;  // a line without a number reads as 0
    // The whole value up to its closing quote: "%+.5f" writes a large number in full.
    size_t end = *start;
    while (end < text.size() && text[end] != '"' && !LineEnd(text[end])) ++end;
    vorn::ParseReal(text.substr(*start, end - *start), &read);
    *value = read;
    return true;
}

Layout LayoutOf(int family) { return FactsOf(family).layout; }

std::vector<std::string> SettingNames(int family, uint32_t bits) {
    std::vector<std::string> names;
    auto add = [&names](const char* key) {
        for (const std::string& n : names)
            if (n == key) return;
        names.emplace_back(key);
    };
    if (LayoutOf(family) == Layout::Logger) {
        for (const LoggerLine& line : LoggerLines())
            if (line.heldBit & bits) add(line.key);
    } else if (LayoutOf(family) == Layout::Lab) {
        for (const LabKey& key : kLabKeys)
            if (const LabRead* r = ReadingOf(key, family); r && (r->bit & bits)) add(key.key);
    }
    return names;
}

int FamilyOfFile(std::string_view text) {
    const std::string type = TypeOf(text);
    if (type.empty()) return UNKNOWN;
    // A logger file names its type ("Kt72", "MYR4"), a lab file its family code.
    for (int family = UNKNOWN + 1; family < END; ++family) {
        const FamilyFacts& row = FactsOf(family);
        if (row.layout == Layout::Logger && row.loggerType && type == row.loggerType) return family;
    }
    for (int family = UNKNOWN + 1; family < END; ++family)
        if (LayoutOf(family) == Layout::Lab && type == vorn::catalogue::FamilyCode(family)) return family;
    return UNKNOWN;
}

// ===================================================================== writers

std::string FormatLoggerFile(const DeviceInfo& info) {
    std::string out(kHeader);
    TextLine(out, "type", info.typeName);
    for (const LoggerLine& line : LoggerLines()) {
        if (line.onlyWith && !(info.valid & line.onlyWith)) continue;
        WriteLoggerLine(out, info, line);
    }
    out += vorn::Format("%s=\"%u\"\r\n", kValidKey, info.valid);
    return out;
}

std::string FormatLabFile(int family, const InstrumentInfo& inst, const DeviceInfo& info, const RecordSet& user,
                          const RecordSet& eqn) {
    const FamilyFacts& row = FactsOf(family);
    std::string out(kHeader);
    for (Write pass : {Write::Always, Write::WhenHeld}) {
        for (const LabKey& k : kLabKeys) {
            if (k.write != pass) continue;
            if (pass == Write::WhenHeld && !(inst.valid & k.reads[0].bit)) continue;
            switch (k.kind) {
                case LabValue::Type: TextLine(out, k.key, vorn::catalogue::FamilyCode(family)); break;
                case LabValue::Build: TextLine(out, k.key, info.buildInfo); break;
                case LabValue::Empty: TextLine(out, k.key, ""); break;
                case LabValue::Text:
                case LabValue::HadjTau: TextLine(out, k.key, inst.*k.text); break;
                case LabValue::Number: out += vorn::Format("%s=\"%ld\"\r\n", k.key, static_cast<long>(inst.*k.number)); break;
                case LabValue::Calibration:
                    for (size_t i = 0; i < CalibrationSlotsToWrite(inst, row.fileCalSlots); ++i)
                        TextLine(out, vorn::Format("%s%02d", k.key, row.fileCalFirst + static_cast<int>(i)), inst.cal[i]);
                    break;
                case LabValue::UserRecords: WriteRecords(out, k.key, user); break;
                case LabValue::EqnRecords: WriteRecords(out, k.key, eqn); break;
            }
        }
    }
    out += vorn::Format("%s=\"%u\"\r\n", kValidKey, inst.valid);
    return out;
}

std::string FormatFile(int family, const InstrumentInfo& inst, const DeviceInfo& info, const RecordSet& user,
                       const RecordSet& eqn) {
    switch (LayoutOf(family)) {
        case Layout::Logger: return FormatLoggerFile(info);
        case Layout::Lab: return FormatLabFile(family, inst, info, user, eqn);
        case Layout::None: break;
    }
    return {};
}

// ===================================================================== origin

namespace {

constexpr const char* kSavedSnKey = "savedsn";
constexpr const char* kSavedPortKey = "savedport";
constexpr const char* kSavedAtKey = "savedat";
constexpr const char* kStageKey = "stage";
constexpr const char* kStagePortKey = "stageport";
constexpr const char* kStageAtKey = "stageat";
constexpr const char* kLoadingKey = "loading";
constexpr size_t kUtcTextMax = 32;

// A value as a line can hold it: no double quote, no line end or other control byte.
std::string LineValue(std::string_view text) {
    std::string value = vorn::Bounded(text, kOriginTextMax);
    for (char& c : value) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (c == '"' || code < 0x20 || code == 0x7F) c = '_';
    }
    return value;
}

// `digits` decimal digits at `at`, all of them; false otherwise.
bool Digits(std::string_view text, size_t at, size_t digits, int* value) {
    if (at + digits > text.size()) return false;
    for (size_t i = at; i < at + digits; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return std::from_chars(text.data() + at, text.data() + at + digits, *value).ec == std::errc();
}

}  // namespace

std::string FormatUtc(std::time_t t) {
    using namespace std::chrono;
    const sys_seconds at{seconds{static_cast<long long>(t)}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{at - day};
    return vorn::Format("%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                        static_cast<int>(time.seconds().count()));
}

bool ParseUtc(std::string_view text, std::time_t* t) {
    // 2026-12-09T22:50:00Z
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return false;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!Digits(text, 0, 4, &y) || !Digits(text, 5, 2, &mo) || !Digits(text, 8, 2, &d) || !Digits(text, 11, 2, &h) ||
        !Digits(text, 14, 2, &mi) || !Digits(text, 17, 2, &sec))
        return false;
    using namespace std::chrono;
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || sec > 59) return false;
    const sys_seconds at = sys_days{date} + hours{h} + minutes{mi} + seconds{sec};
    *t = static_cast<std::time_t>(at.time_since_epoch().count());
    return true;
}

std::string OriginValue(std::string_view text) { return LineValue(text); }

std::string FormatOrigin(const SavedOrigin& origin) {
    std::string out;
    TextLine(out, kSavedSnKey, LineValue(origin.serialNumber));
    TextLine(out, kSavedPortKey, LineValue(origin.port));
    if (origin.savedAt) TextLine(out, kSavedAtKey, FormatUtc(*origin.savedAt));
    if (!origin.stage.empty()) TextLine(out, kStageKey, LineValue(origin.stage));
    if (!origin.stagePort.empty()) TextLine(out, kStagePortKey, LineValue(origin.stagePort));
    if (origin.stageAt) TextLine(out, kStageAtKey, FormatUtc(*origin.stageAt));
    if (!origin.loading.empty()) TextLine(out, kLoadingKey, LineValue(origin.loading));
    return out;
}

namespace {

std::optional<std::time_t> ReadUtc(std::string_view text, std::string_view key) {
    std::string at;
    std::time_t t = 0;
    if (ReadText(text, key, kUtcTextMax, &at) && ParseUtc(at, &t)) return t;
    return std::nullopt;
}

}  // namespace

SavedOrigin ReadOrigin(std::string_view text) {
    SavedOrigin origin;
    ReadText(text, kSavedSnKey, kOriginTextMax + 1, &origin.serialNumber);
    ReadText(text, kSavedPortKey, kOriginTextMax + 1, &origin.port);
    origin.savedAt = ReadUtc(text, kSavedAtKey);
    ReadText(text, kStageKey, kOriginTextMax + 1, &origin.stage);
    ReadText(text, kStagePortKey, kOriginTextMax + 1, &origin.stagePort);
    origin.stageAt = ReadUtc(text, kStageAtKey);
    ReadText(text, kLoadingKey, kOriginTextMax + 1, &origin.loading);
    return origin;
}

std::string_view WithoutOrigin(std::string_view text) {
    size_t first = text.size();
    for (const char* key : {kSavedSnKey, kSavedPortKey, kSavedAtKey, kStageKey, kStagePortKey, kStageAtKey, kLoadingKey})
        if (const auto at = FindKey(text, key)) {
            // The start of the key's line.
            const size_t lineStart = text.find_last_of("\r\n", *at);
            first = std::min(first, lineStart == std::string_view::npos ? 0 : lineStart + 1);
        }
    return text.substr(0, first);
}

std::string SerialOfFile(std::string_view text) {
    std::string serial;
    if (FindKey(text, kSavedSnKey)) {
        ReadText(text, kSavedSnKey, kOriginTextMax + 1, &serial);
        return serial;
    }
    ReadText(text, "sn", kOriginTextMax + 1, &serial);
    return serial;
}

// ===================================================================== readers

int32_t ReadLoggerFile(int family, std::string_view text, DeviceInfo* info, uint32_t* mask) {
    const FamilyFacts& row = FactsOf(family);
    if (row.layout != Layout::Logger) return vorn::kNotApplicable;
    if (!info || !mask) return vorn::kMissingArgument;
    if (!LoggerTypeMatches(text, row.loggerReader)) return vorn::kNotUnderstood;
    const uint8_t group = ReaderBit(row.loggerReader);

    // The identity is the connected device's; every setting comes from the file alone.
    DeviceInfo fresh;
    fresh.type = info->type;
    fresh.typeName = info->typeName;
    fresh.newFirmware = info->newFirmware;
    fresh.versionText = info->versionText;
    fresh.version = info->version;
    *info = fresh;

    const uint32_t held = HeldValues(text);
    uint32_t found = 0;
    for (const LoggerLine& line : LoggerLines()) {
        if (!(line.readers & group) || !(held & line.heldBit)) continue;
        switch (line.kind) {
            case Num::Text:
                if (ReadText(text, line.key, line.capacity, &(info->*std::get<std::string DeviceInfo::*>(line.field))))
                    found |= line.bit;
                break;
            case Num::Signed:
            case Num::Unsigned: {
                uint32_t v = 0;
                if (ReadUnsigned(text, line.key, &v)) {
                    StoreNumber(*info, line.field, v);
                    found |= line.bit;
                }
                break;
            }
            case Num::Five:
                if (ReadFive(text, line.key, line.capacity, &(info->*std::get<DeviceInfo::Bytes5 DeviceInfo::*>(line.field))))
                    found |= line.bit;
                break;
            case Num::Real:
                if (ReadReal(text, line.key, &(info->*std::get<double DeviceInfo::*>(line.field)))) found |= line.bit;
                break;
        }
    }
    namespace tb = vorn::protocol::trait;
    // The earlier program wrote the radio lines whatever the logger had, 0 without a
    // radio. In its files (no "valid" line) a trait read as radio-less says there was none.
    const bool traitSaysNoRadio = (found & sb::kTrait) && (info->trait & tb::kKnown) && !(info->trait & tb::kRadioFitted);
    if (held == ~0u && traitSaysNoRadio) {
        found &= ~(sb::kRadioChannel | sb::kRadioSubchannel);
        info->radioChannel = fresh.radioChannel;
        info->radioSubchannel = fresh.radioSubchannel;
    }
    if (found & sb::kRadioSubchannel) {
        // A subchannel means a radio is fitted, and says so about the trait as well.
        info->trait = group == kQv ? (tb::kKnown | tb::kRadioFitted) : (info->trait | tb::kKnown | tb::kRadioFitted);
    }
    if (group == kKt72Group) {
        if (AdcFactorUsable(info->adc15Slopes[0]) && AdcFactorUsable(info->adc15Offsets[0])) found |= sb::kAdc15;
        if (AdcFactorUsable(info->adc30Slopes[0]) && AdcFactorUsable(info->adc30Offsets[0])) found |= sb::kAdc30;
    }
    if (group == kKt7r) {
        // Files of old name each port on a line of its own. Any port set there is restored,
        // not only when the fifth one is: the ports read would otherwise be dropped.
        bool portSet = false;
        for (int i = 0; i < 5; ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "Port number=\"%d\" value", i + 1);
            uint32_t port = 0;
            if (ReadUnsigned(text, key, &port)) {
                info->ports[static_cast<size_t>(i)] = static_cast<uint8_t>(port);
                portSet = portSet || port > 0;
            }
        }
        if (portSet) found |= sb::kPorts;
    }
    info->capabilities = row.loggerCapabilities;
    *mask = found;
    return 1;
}

int32_t ReadLabFile(int family, uint32_t profileVersion, std::string_view text, InstrumentInfo* inst,
                    DeviceInfo* info, RecordSet* user, RecordSet* eqn, VornLog* log) {
    if (!inst || !info || !user || !eqn) return vorn::kMissingArgument;
    // A family reads a lab file when it has the lab layout and a save to take back.
    const FamilyFacts& row = FactsOf(family);
    if (row.layout != Layout::Lab || row.save.mask == 0 || !LabTypeMatches(text, family))
        return vorn::kNotUnderstood;

    inst->Clear();
    user->Clear();
    eqn->Clear();
    inst->family = static_cast<int8_t>(family);
    inst->valid = ib::kFamilyKnown;
    const uint32_t held = HeldValues(text);
    // Files of the earlier program have no "valid" line. Its version-gated keys are only
    // taken from files that say they hold them: an interrupted update of old left
    // contr="0" behind, which must not set the contrast to 0.
    uint32_t validLine = 0;
    const bool saysWhatItHolds = ReadUnsigned(text, kValidKey, &validLine);
    for (const LabKey& k : kLabKeys) {
        const LabRead* r = ReadingOf(k, family);
        if (!r || profileVersion < r->fromVersion || !(held & r->bit)) continue;
        if (r->fromVersion > 0 && !saysWhatItHolds) continue;
        bool found = false;
        switch (k.kind) {
            case LabValue::Text: found = ReadText(text, k.key, CapacityOf(r->bit), &(inst->*k.text)); break;
            case LabValue::Number: {
                uint32_t v = 0;
                found = ReadUnsigned(text, k.key, &v);
                if (found) inst->*k.number = static_cast<int32_t>(v);
                break;
            }
            case LabValue::HadjTau: {
                // The humidity adjustment comes back even when its tau could not be read
                // at the save; only "set -tau" is then left out of the restore.
                found = ReadText(text, k.key, CapacityOf(r->bit), &inst->hadj);
                uint32_t tau = 0;
                const bool tauUnread = saysWhatItHolds && (held & ib::kTauUnread);
                if (!tauUnread && ReadUnsigned(text, "tau", &tau))
                    inst->tau = static_cast<int32_t>(tau);
                else
                    inst->valid |= ib::kTauUnread;
                break;
            }
            case LabValue::Calibration:
                found = ReadCalibration(text, k.key, row.fileCalFirst, row.fileCalSlots, inst);
                break;
            case LabValue::UserRecords:
                found = vorn::records::GetRecords_File(user, vorn::records::kUser, text, log) > 0 && user->Count() > 0;
                break;
            case LabValue::EqnRecords:
                found = vorn::records::GetRecords_File(eqn, vorn::records::kEqn, text, log) > 0 && eqn->Count() > 0;
                break;
            case LabValue::Type:
            case LabValue::Build:
            case LabValue::Empty: break;
        }
        if (found) inst->valid |= r->bit;
    }
    if (row.identityInDeviceInfo) {
        vorn::StoreBounded(info->deviceName, inst->name, DeviceInfo::kDeviceNameMax);
        vorn::StoreBounded(info->serialNumber, inst->serialNumber, DeviceInfo::kSerialNumberMax);
    }
    return 1;
}

}  // namespace vorn::settingsfile
