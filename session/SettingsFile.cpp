// Settings file layouts and readers, one table each.
#include "session/SettingsFile.h"

#include <cstdarg>
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

// The last line of a file of this program names the values it holds: every other line is
// written whatever the device gave, so a number line of 0 may stand for a value never read.
constexpr const char* kValidKey = "valid";

// The valid bits of the "valid" line; every bit for files without one.
uint32_t HeldValues(std::string_view text) {
    uint32_t held = 0;
    return ReadUnsigned(text, kValidKey, &held) ? held : ~0u;
}

void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendFormat(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    out += vorn::FormatV(format, args);
    va_end(args);
}

// key="value"\r\n
void TextLine(std::string& out, std::string_view key, std::string_view value) {
    out.append(key).append("=\"").append(value).append("\"\r\n");
}

// ===================================================================== logger layout

enum class Num : uint8_t { Text, Signed, Unsigned, Five, Real };

using LoggerField = std::variant<std::string DeviceInfo::*, int32_t DeviceInfo::*, uint32_t DeviceInfo::*,
                                 DeviceInfo::Bytes5 DeviceInfo::*, double DeviceInfo::*>;

// Which readers read a line.
constexpr uint8_t kKt72Group = 1;  // KT72, ZQ8, MYR
constexpr uint8_t kKt7r = 2;
constexpr uint8_t kQv = 4;

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
            AppendFormat(out, "%s=\"%d\"\r\n", line.key, static_cast<int>(NumberOf(info, line.field)));
            break;
        case Num::Unsigned:
            AppendFormat(out, "%s=\"%u\"\r\n", line.key, static_cast<unsigned>(NumberOf(info, line.field)));
            break;
        case Num::Five: {
            const auto& v = info.*std::get<DeviceInfo::Bytes5 DeviceInfo::*>(line.field);
            AppendFormat(out, "%s=\"%u %u %u %u %u\"\r\n", line.key, v[0], v[1], v[2], v[3], v[4]);
            break;
        }
        case Num::Real:
            AppendFormat(out, "%s=\"%+.5f\"\r\n", line.key, info.*std::get<double DeviceInfo::*>(line.field));
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

// Type lines each logger reader accepts: the names its own files of old carry, and the
// type name this program writes (an MYR logger calls itself "MYR4").
struct LoggerReader {
    uint8_t group;
    std::vector<const char*> types;
    uint32_t capabilities;
};

const LoggerReader* LoggerReaderOf(int family) {
    static const LoggerReader kKt72Reader{kKt72Group, {"Kt72", "zQ8", "MYR4"}, 0x707FFF7};
    static const LoggerReader kKt7rReader{kKt7r, {"Kt7r"}, 0x474BE};
    static const LoggerReader kQvReader{kQv, {"Quillon"}, 0x24583};
    switch (family) {
        case KT72:
        case ZQ8:
        case MYR: return &kKt72Reader;
        case KT7R: return &kKt7rReader;
        case QV: return &kQvReader;
        default: return nullptr;
    }
}

// The type names logger files carry, for the families that have one of their own.
constexpr std::pair<const char*, int> kLoggerTypeFamilies[] = {
    {"Kt72", KT72}, {"zQ8", ZQ8}, {"MYR4", MYR}, {"Kt7r", KT7R}, {"Quillon", QV},
};

bool TypeMatches(std::string_view text, const std::vector<const char*>& types) {
    std::string type;
    if (!ReadText(text, "type", 64, &type)) return false;
    for (const char* t : types)
        if (type == t) return true;
    return false;
}

// ===================================================================== lab layout

enum class LabValue : uint8_t { Type, Build, Empty, Text, Number };

struct LabLine {
    const char* key;
    LabValue kind;
    std::string InstrumentInfo::*text;
    int32_t InstrumentInfo::*number;
};

// The 23 fixed lines of the lab layout, in file order.
const std::vector<LabLine>& LabLines() {
    using I = InstrumentInfo;
    static const std::vector<LabLine> lines = {
        {"type", LabValue::Type, nullptr, nullptr},
        {"name", LabValue::Text, &I::name, nullptr},
        {"sn", LabValue::Text, &I::serialNumber, nullptr},
        {"lang", LabValue::Number, nullptr, &I::language},
        {"VornBuild", LabValue::Build, nullptr, nullptr},
        {"contr", LabValue::Number, nullptr, &I::contrast},
        {"config", LabValue::Text, &I::config, nullptr},
        {"fvals", LabValue::Text, &I::fvals, nullptr},
        {"uvals", LabValue::Text, &I::uvals, nullptr},
        {"units", LabValue::Number, nullptr, &I::units},
        {"adc", LabValue::Text, &I::adc, nullptr},
        {"adccal", LabValue::Text, &I::adccal, nullptr},
        {"calprefs", LabValue::Empty, nullptr, nullptr},
        {"PCUnits", LabValue::Text, &I::pcUnits, nullptr},
        {"sample", LabValue::Text, &I::sample, nullptr},
        {"adc15", LabValue::Text, &I::adc15, nullptr},
        {"adc30", LabValue::Text, &I::adc30, nullptr},
        {"location", LabValue::Text, &I::location, nullptr},
        {"chai", LabValue::Text, &I::chai, nullptr},
        {"extCal", LabValue::Text, &I::ext, nullptr},
        {"tadj", LabValue::Text, &I::tadj, nullptr},
        {"tau", LabValue::Number, nullptr, &I::tau},
        {"hadj", LabValue::Text, &I::hadj, nullptr},
    };
    return lines;
}

// Values the fixed lines have no place for, written after the records and only when the
// instrument holds them, so every other family's file keeps exactly the fixed layout.
struct ExtraLine {
    const char* key;
    uint32_t bit;
    std::string InstrumentInfo::*text;
};
constexpr ExtraLine kExtraLines[] = {
    {"sys", ib::kSys, &InstrumentInfo::sys},
    {"wtoffset", ib::kWtOffset, &InstrumentInfo::wtoffset},
    {"wtfactory", ib::kWtFactory, &InstrumentInfo::wtfactory},
    {"p1offset", ib::kP1Offset, &InstrumentInfo::p1offset},
    {"autosec", ib::kAutosec, &InstrumentInfo::autosec},
};

void WriteRecords(std::string& out, const char* name, const RecordSet& set) {
    for (size_t i = 0; i < set.Count() && i < vorn::records::kFileRecordsMax; ++i) {
        if (set.records[i].text.empty()) break;
        AppendFormat(out, "%s%02zu=\"%s\"\r\n", name, i, set.records[i].text.c_str());
    }
}

// How a lab reader reads one key.
enum class LabRead : uint8_t { Text, Number, HadjTau, CalFrom0, CalFrom1, UserRecords, EqnRecords };

struct LabKey {
    LabRead kind;
    const char* key;
    size_t capacity;
    std::string InstrumentInfo::*text;
    int32_t InstrumentInfo::*number;
    uint32_t bit;
    uint32_t fromVersion;  // read only when the firmware is at least this version
};

struct LabReader {
    int family;
    std::vector<const char*> types;
    std::vector<LabKey> keys;
};

LabKey Text(const char* key, size_t capacity, std::string InstrumentInfo::*field, uint32_t bit, uint32_t fromVersion = 0) {
    return {LabRead::Text, key, capacity, field, nullptr, bit, fromVersion};
}
LabKey Number(const char* key, int32_t InstrumentInfo::*field, uint32_t bit, uint32_t fromVersion = 0) {
    return {LabRead::Number, key, 0, nullptr, field, bit, fromVersion};
}
LabKey Special(LabRead kind, uint32_t bit) { return {kind, nullptr, 0, nullptr, nullptr, bit, 0}; }

// Per family: the type lines accepted and the keys read. Every family reads back each
// value its save collects (a file of this program's own always carries them), besides the
// keys and type lines files of old carry.
const std::vector<LabReader>& LabReaders() {
    using I = InstrumentInfo;
    static const LabKey kSn = Text("sn", 16, &I::serialNumber, ib::kSerialNumber);
    static const LabKey kContr = Number("contr", &I::contrast, ib::kContrast);
    static const LabKey kConfig = Text("config", 65, &I::config, ib::kConfig);
    static const LabKey kAdcCal = Text("adccal", 64, &I::adccal, ib::kAdcCal);
    static const LabKey kTadj = Text("tadj", 129, &I::tadj, ib::kTadj);
    static const LabKey kUvals = Text("uvals", 129, &I::uvals, ib::kUvals);
    static const LabKey kFvals = Text("fvals", 129, &I::fvals, ib::kFvals);
    static const LabKey kUnits = Number("units", &I::units, ib::kUnits);
    static const LabKey kHadjTau = Special(LabRead::HadjTau, ib::kHadjTau);
    static const LabKey kUser = Special(LabRead::UserRecords, ib::kUserRecords);
    static const LabKey kEqn = Special(LabRead::EqnRecords, ib::kEqnRecords);
    static const std::vector<LabReader> readers = {
        {HMINI, {"HMINI"}, {kSn, Number("lang", &I::language, ib::kLanguage), kContr, kFvals, kUvals, kHadjTau}},
        {VM, {"WQ", "VM"}, {kSn, kContr, kUnits, kFvals}},
        {TL, {"TL"}, {kSn, kContr, kUnits, Text("adc", 17, &I::adc, ib::kAdc), Text("sample", 129, &I::sample, ib::kSample)}},
        {SWXR,
         {"SWXR"},
         {kSn, kAdcCal, Text("sys", 129, &I::sys, ib::kSys), Text("wtoffset", 64, &I::wtoffset, ib::kWtOffset),
          Text("wtfactory", 64, &I::wtfactory, ib::kWtFactory), Text("p1offset", 64, &I::p1offset, ib::kP1Offset),
          Text("autosec", 64, &I::autosec, ib::kAutosec)}},
        {H7S, {"H7S"}, {kAdcCal, kConfig}},
        {PTX9, {"PTX9"}, {kConfig, kSn}},
        {HBA, {"HBA"}, {kConfig, kSn}},
        // FIELDPT: its save collects "sample" and the two calibration lines; the reader
        // takes all of them, so a restore from file brings back what was saved.
        {FIELDPT, {"TRWK", "FIELDPT"}, {kSn, Special(LabRead::CalFrom1, ib::kCalibration), Text("sample", 129, &I::sample, ib::kTest)}},
        {RW,
         {"RW"},
         {kSn, Text("name", 9, &I::name, ib::kName), kContr, Text("adc15", 129, &I::adc15, ib::kAdc15),
          Text("adc30", 129, &I::adc30, ib::kAdc30), Special(LabRead::CalFrom0, ib::kCalibration)}},
        {GLX, {"GLX"}, {Text("name", 9, &I::name, ib::kName), kSn}},
        {CF22,
         {"CF22"},
         {Text("location", 129, &I::location, ib::kLocation), Text("chai", 17, &I::chai, ib::kChai),
          Text("extCal", 17, &I::ext, ib::kExt), kAdcCal, Text("config", 65, &I::config, ib::kConfig, 200),
          Number("contr", &I::contrast, ib::kContrast, 200), Text("sn", 16, &I::serialNumber, ib::kSerialNumber, 200)}},
        {KSR,
         {"KSR"},
         {kConfig, kSn, kTadj, Text("fvals", 129, &I::fvals, ib::kPressure), Text("uvals", 129, &I::uvals, ib::kPressure),
          kUser, kEqn}},
        {HN9, {"HN9"}, {kConfig, kTadj, kHadjTau, kUvals, kUser, kEqn, kSn}},
        {HN9OPX, {"HN9OPX"}, {kConfig, kTadj, kHadjTau, kUvals, kUser, kEqn, kSn}},
        {BLI, {"BLI"}, {kSn, Text("sample", 129, &I::sample, ib::kTest), kContr}},
    };
    return readers;
}

// Calibration lines "cal%02d": numbers from `first`, into slots from 0, up to the first
// missing one. True when at least one was read.
bool ReadCalibration(std::string_view text, int first, size_t count, InstrumentInfo* inst) {
    size_t read = 0;
    for (size_t i = 0; i < count; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "cal%02d", first + static_cast<int>(i));
        if (!ReadText(text, key, InstrumentInfo::kLongTextMax + 1, &inst->cal[i])) break;
        ++read;
    }
    return read > 0;
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

Layout LayoutOf(int family) {
    switch (family) {
        case KT7R:
        case KT72:
        case QV:
        case ZQ8:
        case MYR: return Layout::Logger;
        case UNKNOWN:
        case KT7:
        case RL: return Layout::None;
        default: return family > UNKNOWN && family < END ? Layout::Lab : Layout::None;
    }
}

int FamilyOfFile(std::string_view text) {
    std::string type;
    if (!ReadText(text, "type", 64, &type)) return UNKNOWN;
    for (const auto& [name, family] : kLoggerTypeFamilies)
        if (type == name) return family;
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
    AppendFormat(out, "%s=\"%u\"\r\n", kValidKey, info.valid);
    return out;
}

std::string FormatLabFile(int family, const InstrumentInfo& inst, const DeviceInfo& info, const RecordSet& user,
                          const RecordSet& eqn) {
    std::string out(kHeader);
    for (const LabLine& line : LabLines()) {
        switch (line.kind) {
            case LabValue::Type: TextLine(out, line.key, vorn::catalogue::FamilyCode(family)); break;
            case LabValue::Build: TextLine(out, line.key, info.buildInfo); break;
            case LabValue::Empty: TextLine(out, line.key, ""); break;
            case LabValue::Text: TextLine(out, line.key, inst.*line.text); break;
            case LabValue::Number: AppendFormat(out, "%s=\"%ld\"\r\n", line.key, static_cast<long>(inst.*line.number)); break;
        }
    }
    if (family == RW || family == FIELDPT) {
        const bool rw = family == RW;
        const size_t slots = rw ? vorn::instinfo::kCalSlots : 2;
        for (size_t i = 0; i < slots && !inst.cal[i].empty(); ++i)
            AppendFormat(out, "cal%02d=\"%s\"\r\n", static_cast<int>(rw ? i : i + 1), inst.cal[i].c_str());
    }
    WriteRecords(out, "user", user);
    WriteRecords(out, "eqn", eqn);
    for (const ExtraLine& line : kExtraLines)
        if (inst.valid & line.bit) TextLine(out, line.key, inst.*line.text);
    AppendFormat(out, "%s=\"%u\"\r\n", kValidKey, inst.valid);
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

// ===================================================================== readers

int32_t ReadLoggerFile(int family, std::string_view text, DeviceInfo* info, uint32_t* mask) {
    const LoggerReader* reader = LoggerReaderOf(family);
    if (!reader) return vorn::kNotApplicable;
    if (!info || !mask) return vorn::kMissingArgument;
    if (!TypeMatches(text, reader->types)) return vorn::kNotUnderstood;

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
        if (!(line.readers & reader->group) || !(held & line.heldBit)) continue;
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
    if (found & sb::kRadioSubchannel) {
        // A subchannel means a radio is fitted, and says so about the trait as well.
        info->trait = reader->group == kQv ? (tb::kKnown | tb::kRadioFitted) : (info->trait | tb::kKnown | tb::kRadioFitted);
    }
    if (reader->group == kKt72Group) {
        if (AdcFactorUsable(info->adc15Slopes[0]) && AdcFactorUsable(info->adc15Offsets[0])) found |= sb::kAdc15;
        if (AdcFactorUsable(info->adc30Slopes[0]) && AdcFactorUsable(info->adc30Offsets[0])) found |= sb::kAdc30;
    }
    if (reader->group == kKt7r) {
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
    info->capabilities = reader->capabilities;
    *mask = found;
    return 1;
}

int32_t ReadLabFile(int family, uint32_t profileVersion, std::string_view text, InstrumentInfo* inst,
                    DeviceInfo* info, RecordSet* user, RecordSet* eqn, VornLog* log) {
    if (!inst || !info || !user || !eqn) return vorn::kMissingArgument;
    const LabReader* reader = nullptr;
    for (const LabReader& r : LabReaders())
        if (r.family == family) reader = &r;
    if (!reader || !TypeMatches(text, reader->types)) return vorn::kNotUnderstood;

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
    for (const LabKey& k : reader->keys) {
        if (profileVersion < k.fromVersion || !(held & k.bit)) continue;
        if (k.fromVersion > 0 && !saysWhatItHolds) continue;
        bool found = false;
        switch (k.kind) {
            case LabRead::Text: found = ReadText(text, k.key, k.capacity, &(inst->*k.text)); break;
            case LabRead::Number: {
                uint32_t v = 0;
                found = ReadUnsigned(text, k.key, &v);
                if (found) inst->*k.number = static_cast<int32_t>(v);
                break;
            }
            case LabRead::HadjTau: {
                // The humidity adjustment comes back even when its tau could not be read
                // at the save; only "set -tau" is then left out of the restore.
                found = ReadText(text, "hadj", InstrumentInfo::kLongTextMax + 1, &inst->hadj);
                uint32_t tau = 0;
                const bool tauUnread = saysWhatItHolds && (held & ib::kTauUnread);
                if (!tauUnread && ReadUnsigned(text, "tau", &tau))
                    inst->tau = static_cast<int32_t>(tau);
                else
                    inst->valid |= ib::kTauUnread;
                break;
            }
            case LabRead::CalFrom0: found = ReadCalibration(text, 0, vorn::instinfo::kCalSlots, inst); break;
            case LabRead::CalFrom1: found = ReadCalibration(text, 1, 2, inst); break;
            case LabRead::UserRecords:
                found = vorn::records::GetRecords_File(user, vorn::records::kUser, text, log) > 0 && user->Count() > 0;
                break;
            case LabRead::EqnRecords:
                found = vorn::records::GetRecords_File(eqn, vorn::records::kEqn, text, log) > 0 && eqn->Count() > 0;
                break;
        }
        if (found) inst->valid |= k.bit;
    }
    if (family == GLX) {
        vorn::StoreBounded(info->deviceName, inst->name, DeviceInfo::kDeviceNameMax);
        vorn::StoreBounded(info->serialNumber, inst->serialNumber, DeviceInfo::kSerialNumberMax);
    }
    return 1;
}

}  // namespace vorn::settingsfile
