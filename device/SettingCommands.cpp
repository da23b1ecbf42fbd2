// The get/set commands of single settings. They share one pattern (gate, set line and
// acceptance, get line, answer size, where parsing starts, how the value is read, log
// texts), so they are one table and one executor; only the true special cases have code
// of their own.
#include <algorithm>
#include <cctype>

#include "device/AnswerScan.h"
#include "device/MOSSY_Protocol.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::protocol;
using enum vorn::protocol::Direction;
namespace scan = vorn::protocol::scan;

namespace {

enum class Gate : uint8_t {
    None,
    Capability,           // the capability bit must be set
    SetNeedsNewFirmware,  // get always; set only on new firmware
    Cellular,             // trait known, type Kt72 and trait bit 3
};
enum class From : uint8_t { WhiteSpace, AfterCR, Start };
enum class Kind : uint8_t { Text, Word, Int, Real, Five };
enum class Accept : uint8_t {
    OK,          // "OK" anywhere in the answer
    OKOrPrompt,  // "OK" on new firmware, a bare prompt ("\r>") on old firmware
    Prompt,      // a bare prompt
};

struct SettingRow {
    const char* op;
    Gate gate;
    uint32_t capability;
    const char* setLine;      // printf format taking the value (five values for Five)
    const char* setLineZero;  // Real: the line sent for 0 (clears the value)
    const char* getLine;
    size_t answerBytes;
    From from;
    Kind kind;
    size_t readMax;           // Text / Word: most characters a get stores
    size_t fieldMax;          // Text / Word: most characters a set sends
    Accept accept;
    bool refuseNegative;      // a negative value is never sent
    const char* setLog;
    const char* getLog;
    const char* notFoundLog;  // Word, Int, Real, Five: the value was not in the answer
    int32_t notFoundCode;
    bool secret = false;      // a credential: its value never reaches the log or the trace
};


constexpr int32_t kNF = vorn::kNotUnderstood;

// clang-format off
constexpr SettingRow kName{"NameCommand", Gate::None, 0, "set -i %s\r", nullptr, "get -i\r", kSettingAnswerBytes,
    From::AfterCR, Kind::Word, DeviceInfo::kDeviceNameMax, DeviceInfo::kDeviceNameMax, Accept::OKOrPrompt, false,
    "NameCommand set device name to \"%s\" (%d ms)", "NameCommand found device named \"%s\" (%d ms)",
    "NameCommand couldn't find device name (%d ms)", kNF};
constexpr SettingRow kDeviceID{"DeviceIDCommand", Gate::Capability, capability::kSiteSettings, "set -devid %s\r", nullptr,
    "get -devid\r", kSettingAnswerBytes, From::WhiteSpace, Kind::Text, 8, DeviceInfo::kDeviceIDMax, Accept::OK, false,
    "DeviceIDCommand set DeviceID to \"%s\" (%d ms)", "DeviceIDCommand found DeviceID \"%s\" (%d ms)", nullptr, kNF};
constexpr SettingRow kReport{"ReportCommand", Gate::Capability, capability::kSiteSettings, "set -report %d\r", nullptr,
    "get -report\r", kSettingAnswerBytes, From::WhiteSpace, Kind::Int, 0, 0, Accept::OK, false,
    "ReportCommand set report mode to %d (%d ms)", "ReportCommand found device report mode %d (%d ms)",
    "ReportCommand could not find device report mode (%d ms)", kNF};
constexpr SettingRow kDepth{"DepthCommand", Gate::Capability, capability::kSiteSettings, "set -depth %d %d %d %d %d\r",
    nullptr, "get -depth\r", kSettingAnswerBytes, From::Start, Kind::Five, 0, 0, Accept::OK, false,
    "DepthCommand set depths to %d %d %d %d %d (%d ms)", "DepthCommand: depths are %d %d %d %d %d (%d ms)",
    "DepthCommand only found %d of %d port depths (%d ms)", kNF};
constexpr SettingRow kSite{"SiteCommand", Gate::Capability, capability::kSiteSettings, "set -site %s\r", nullptr,
    "get -site\r", kSettingAnswerBytes, From::WhiteSpace, Kind::Text, 25, DeviceInfo::kSiteMax, Accept::OK, false,
    "SiteCommand set site to \"%s\" (%d ms)", "SiteCommand found site name \"%s\" (%d ms)", nullptr, kNF};
constexpr SettingRow kLatitude{"LatitudeCommand", Gate::Capability, capability::kCoordinates, "set -lat %+.5f\r",
    "set -lat \r", "get -lat\r", kSettingAnswerBytes, From::WhiteSpace, Kind::Real, 0, 0, Accept::OK, false,
    "LatitudeCommand set latitude to %+.5f (%d ms)", "LatitudeCommand found device latitude %+.5f (%d ms)",
    "LatitudeCommand could not find device latitude (%d ms)", vorn::kEmptyAnswer};
constexpr SettingRow kLongitude{"LongitudeCommand", Gate::Capability, capability::kCoordinates, "set -long %+.5f\r",
    "set -long \r", "get -long\r", kSettingAnswerBytes, From::WhiteSpace, Kind::Real, 0, 0, Accept::OK, false,
    "LongitudeCommand set longitude to %+.5f (%d ms)", "LongitudeCommand found device longitude %+.5f (%d ms)",
    "LongitudeCommand could not find device longitude (%d ms)", vorn::kEmptyAnswer};
constexpr SettingRow kTimeZone{"TimeZoneCommand", Gate::Capability, capability::kSiteSettings, "set -tz %d\r", nullptr,
    "get -tz\r", kSettingAnswerBytes, From::WhiteSpace, Kind::Int, 0, 0, Accept::OK, false,
    "TimeZoneCommand set time zone to %d (%d ms)", "TimeZoneCommand found device time zone %d (%d ms)",
    "TimeZoneCommand could not find device time zone (%d ms)", kNF};
constexpr SettingRow kSerialNumber{"SNCommand", Gate::SetNeedsNewFirmware, 0, "set -sn %s\r", nullptr, "get -sn\r",
    kSettingAnswerBytes, From::AfterCR, Kind::Text, 15, DeviceInfo::kSerialNumberMax, Accept::OK, false,
    "SNCommand set device serial number to \"%s\" (%d ms)", "SNCommand found device serial number \"%s\" (%d ms)",
    nullptr, kNF};
constexpr SettingRow kWake{"WakeCommand", Gate::Capability, capability::kWakePadc, "set -w %d\r", nullptr, "get -w\r",
    kSettingAnswerBytes, From::AfterCR, Kind::Int, 0, 0, Accept::OKOrPrompt, true,
    "WakeCommand set device measurment interval to %d (%d ms)", "WakeCommand found device measurement interval %d (%d ms)",
    "WakeCommand could not find device measurement interval (%d ms)", kNF};
constexpr SettingRow kPadc{"PADCCommand", Gate::Capability, capability::kWakePadc, "set -padc %d\r", nullptr,
    "get -padc\r", kSettingAnswerBytes, From::AfterCR, Kind::Int, 0, 0, Accept::OK, true,
    "PADCCommand set device PADC %d Hz (%d ms)", "PADCCommand found device PADC %d Hz (%d ms)",
    "PADCCommand could not find device PADC value (%d ms)", kNF};
constexpr SettingRow kPadcOld{"PADCCommand", Gate::Capability, capability::kWakePadc, "set -p %d\r", nullptr, "hertz\r",
    kSettingAnswerBytes, From::AfterCR, Kind::Int, 0, 0, Accept::Prompt, true,
    "PADCCommand set device PADC %d Hz (%d ms)", "PADCCommand found device PADC %d Hz (%d ms)",
    "PADCCommand could not find device PADC value (%d ms)", kNF};
constexpr SettingRow kPorts{"PortsCommand", Gate::Capability, capability::kPorts, "set -ports %d %d %d %d %d\r", nullptr,
    "get -ports\r", kSettingAnswerBytes, From::Start, Kind::Five, 0, 0, Accept::OK, false,
    "PortsCommand set ports to %d %d %d %d %d (%d ms)", "PortsCommand: ports are %d %d %d %d %d (%d ms)",
    "PortsCommand only found %d of %d ports (%d ms)", kNF};
constexpr SettingRow kDataParameter{"DataParameterCommand", Gate::Capability, capability::kDataParameter,
    "set -data %d\r", nullptr, "get -data\r", kSettingAnswerBytes, From::Start, Kind::Int, 0, 0, Accept::OK, false,
    "DataParameterCommand set data parameter to %d (%d ms)", "DataParameterCommand found data parameter %d (%d ms)",
    "DataParameterCommand could not find device data parameter (%d ms)", kNF};
constexpr SettingRow kBuild{"VornBuildCommand", Gate::Capability, capability::kBuildInfo, "set -build %s\r", nullptr,
    "get -build\r", kSettingAnswerBytes, From::AfterCR, Kind::Text, 16, DeviceInfo::kBuildInfoMax, Accept::OK, false,
    "VornBuildCommand set VornBuild number to \"%s\" (%d ms)", "VornBuildCommand found VornBuild info \"%s\" (%d ms)",
    nullptr, kNF};
constexpr SettingRow kApn{"APNCommand", Gate::Cellular, 0, "set -apn %s\r", nullptr, "get -apn\r", kLongAnswerBytes,
    From::WhiteSpace, Kind::Text, 35, DeviceInfo::kApnMax, Accept::OK, false,
    "APNCommand set APN to \"%s\" (%d ms)", "APNCommand found APN \"%s\" (%d ms)", nullptr, kNF};
constexpr SettingRow kApnUser{"APNUserCommand", Gate::Cellular, 0, "set -user %s\r", nullptr, "get -user\r",
    kLongAnswerBytes, From::WhiteSpace, Kind::Text, 35, DeviceInfo::kApnMax, Accept::OK, false,
    "APNUserCommand set APN user name to \"%s\" (%d ms)", "APNUserCommand found APN user name \"%s\" (%d ms)", nullptr,
    kNF};
constexpr SettingRow kApnPassword{"APNPasswdCommand", Gate::Cellular, 0, "set -passwd %s\r", nullptr, "get -passwd\r",
    kLongAnswerBytes, From::WhiteSpace, Kind::Text, 35, DeviceInfo::kApnMax, Accept::OK, false,
    "APNPasswdCommand set APN password to \"%s\" (%d ms)", "APNPasswdCommand found APN password \"%s\" (%d ms)",
    nullptr, kNF, true};
constexpr SettingRow kAuthKey{"AuthKeyCommand", Gate::Cellular, 0, "set -authkey %s\r", nullptr, "get -authkey\r",
    kLongAnswerBytes, From::WhiteSpace, Kind::Text, 32, DeviceInfo::kAuthKeyMax, Accept::OK, false,
    "AuthKeyCommand set authkey to \"%s\" (%d ms)", "AuthKeyCommand found authkey \"%s\" (%d ms)", nullptr, kNF, true};
constexpr SettingRow kTeaKey{"AuthKeyCommand", Gate::Cellular, 0, "set -authkey %s\r", nullptr, "get -teakey\r",
    kLongAnswerBytes, From::WhiteSpace, Kind::Text, 32, DeviceInfo::kAuthKeyMax, Accept::OK, false,
    "AuthKeyCommand set authkey to \"%s\" (%d ms)", "AuthKeyCommand found authkey (as teakey) \"%s\" (%d ms)", nullptr,
    kNF, true};
constexpr SettingRow kHost{"HostCommand", Gate::Cellular, 0, "set -host %s\r", nullptr, "get -host\r", kHostAnswerBytes,
    From::WhiteSpace, Kind::Text, 63, DeviceInfo::kHostMax, Accept::OK, false,
    "HostCommand set remote host name to \"%s\" (%d ms)", "HostCommand found the remote host name \"%s\" (%d ms)",
    nullptr, kNF};
constexpr SettingRow kIpPort{"IPPortCommand", Gate::Cellular, 0, "set -ipport %d\r", nullptr, "get -ipport\r",
    kSettingAnswerBytes, From::WhiteSpace, Kind::Int, 0, 0, Accept::OK, false,
    "IPPortCommand set ipport to %d (%d ms)", "IPPortCommand found device ipport %d (%d ms)",
    "IPPortCommand could not find device ipport (%d ms)", vorn::kEmptyAnswer};
constexpr SettingRow kRmode{"RmodeCommand", Gate::Capability, capability::kRadioMode, "set -r %d\r", nullptr, "get -r\r",
    kSettingAnswerBytes, From::Start, Kind::Int, 0, 0, Accept::OKOrPrompt, false,
    "RmodeCommand set rmode to %d (%d ms)", "RmodeCommand found rmode %d (%d ms)",
    "RmodeCommand could not find device rmode (%d ms)", kNF};
// clang-format on

constexpr uint8_t kDepthMissing = 255;
constexpr uint8_t kPortMissing = 0;
constexpr uint8_t kByteCeiling = 255;
constexpr int32_t kZq8RadioMode = 16;
constexpr int32_t kHostTimeZone = -2;
constexpr int32_t kSecondsPerQuarterHour = 900;
constexpr int32_t kOldPadcMinVersion = 165;

// A value as the log may show it.
std::string Shown(const SettingRow& row, const std::string& value) { return row.secret ? kSecretMask : value; }

bool Accepted(Accept accept, bool newFirmware, const std::string& answer) {
    const bool ok = answer.find("OK") != std::string::npos;
    const bool prompt = answer.find("\r>") != std::string::npos;
    switch (accept) {
        case Accept::OK: return ok;
        case Accept::OKOrPrompt: return newFirmware ? ok : prompt;
        case Accept::Prompt: return prompt;
    }
    return false;
}

uint8_t ClampByte(int64_t value) {
    return (value < 0 || value > kByteCeiling) ? kByteCeiling : static_cast<uint8_t>(value);
}

size_t ParseStart(From from, std::string_view answer) {
    switch (from) {
        case From::WhiteSpace: return scan::SkipSpace(answer, 0);
        case From::AfterCR: return scan::AfterFirstCR(answer);
        case From::Start: return 0;
    }
    return 0;
}

}  // namespace

namespace vorn::protocol {

// The value a setting command works on: exactly one of the pointers, by the row's kind.
struct SettingValue {
    std::string* text = nullptr;
    int32_t* number = nullptr;
    double* real = nullptr;
    DeviceInfo::Bytes5* five = nullptr;
    bool Present() const { return text || number || real || five; }
};

struct SettingExecutor {
    static bool Allowed(const MOSSY_Protocol& p, const SettingRow& row, Direction direction) {
        const DeviceInfo& info = p.info_;
        switch (row.gate) {
            case Gate::None: return true;
            case Gate::Capability: return (info.capabilities & row.capability) != 0;
            case Gate::SetNeedsNewFirmware: return direction != kSet || info.newFirmware;
            case Gate::Cellular:
                return (info.trait & trait::kKnown) && info.type == LT_KT72 && (info.trait & trait::kCellular);
        }
        return false;
    }

    // One exchange of a row and its judging; no failure line (the caller writes it).
    static int32_t Exchange(MOSSY_Protocol& p, const SettingRow& row, SettingValue v, Direction direction) {
        if (!v.Present()) return vorn::kMissingArgument;
        std::string answer;
        if (direction == kSet) {
            std::string line;
            switch (row.kind) {
                case Kind::Text:
                case Kind::Word: {
                    // Cut, it would be another value: the instrument holds no longer text.
                    if (row.kind == Kind::Text && v.text->size() > row.readMax) {
                        p.Say(VornLog::kFailures, "%s refused a value of %d characters, longer than the %d it holds",
                              row.op, static_cast<int>(v.text->size()), static_cast<int>(row.readMax));
                        return vorn::kOutOfRange;
                    }
                    line = vorn::Format(row.setLine, vorn::Bounded(*v.text, row.fieldMax).c_str());
                    break;
                }
                case Kind::Int:
                    if (row.refuseNegative && *v.number < 0) return vorn::kOutOfRange;
                    line = vorn::Format(row.setLine, *v.number);
                    break;
                case Kind::Real:
                    line = (*v.real == 0.0 && row.setLineZero) ? std::string(row.setLineZero)
                                                               : vorn::Format(row.setLine, *v.real);
                    break;
                case Kind::Five: {
                    const auto& a = *v.five;
                    line = vorn::Format(row.setLine, a[0], a[1], a[2], a[3], a[4]);
                    break;
                }
            }
            int32_t status;
            {
                MOSSY_Protocol::TraceMask mask(p, row.secret, vorn::Format(row.setLine, kSecretMask));
                status = p.DeviceCommand(line, '>', kCommandTimeoutMs, &answer, row.answerBytes);
            }
            if (status < 0) return status;
            if (!Accepted(row.accept, p.info_.newFirmware, answer)) return vorn::kNotUnderstood;
            const int ms = p.lastElapsedMs_;
            switch (row.kind) {
                case Kind::Text:
                case Kind::Word: p.Say(VornLog::kDetails, row.setLog, Shown(row, vorn::Bounded(*v.text, row.fieldMax)).c_str(), ms); break;
                case Kind::Int: p.Say(VornLog::kDetails, row.setLog, *v.number, ms); break;
                case Kind::Real: p.Say(VornLog::kDetails, row.setLog, *v.real, ms); break;
                case Kind::Five: {
                    const auto& a = *v.five;
                    p.Say(VornLog::kDetails, row.setLog, a[0], a[1], a[2], a[3], a[4], ms);
                    break;
                }
            }
            return 1;
        }

        int32_t status;
        {
            MOSSY_Protocol::TraceMask mask(p, row.secret, row.getLine);
            status = p.DeviceCommand(row.getLine, '>', kCommandTimeoutMs, &answer, row.answerBytes);
        }
        if (status < 0) return status;
        const int ms = p.lastElapsedMs_;
        const size_t from = ParseStart(row.from, answer);
        switch (row.kind) {
            case Kind::Text: {
                if (from < answer.size() && answer[from] == '>') return vorn::kEmptyAnswer;
                const std::string text = scan::UpToCR(answer, from, row.answerBytes);
                // Line noise in a value is no part of it: the setting counts as not read.
                if (text.empty() || !vorn::IsPlainText(text)) {
                    v.text->clear();
                    return vorn::kNotUnderstood;
                }
                // Longer than the field that carries it back: saved cut, it would come back
                // as another value, so it counts as not read.
                if (text.size() > row.readMax) {
                    v.text->clear();
                    p.Say(VornLog::kFailures, "%s found a value of %d characters, longer than the %d it keeps (%d ms)",
                          row.op, static_cast<int>(text.size()), static_cast<int>(row.readMax), ms);
                    return vorn::kOutOfRange;
                }
                vorn::StoreBounded(*v.text, text, row.readMax);
                p.Say(VornLog::kDetails, row.getLog, Shown(row, *v.text).c_str(), ms);
                return 1;
            }
            case Kind::Word: {
                std::string word = scan::Word(answer, from, row.readMax);
                // A lone prompt is the end of the answer, not a value.
                if (word.empty() || word.front() == '>') {
                    p.Say(VornLog::kDetails, row.notFoundLog, ms);
                    return row.notFoundCode;
                }
                if (!vorn::IsPlainText(word)) return vorn::kNotUnderstood;
                *v.text = word;
                p.Say(VornLog::kDetails, row.getLog, Shown(row, *v.text).c_str(), ms);
                return 1;
            }
            case Kind::Int: {
                int64_t value = 0;
                if (scan::Scan(answer, from, "d", &value, 1) != 1) {
                    p.Say(VornLog::kDetails, row.notFoundLog, ms);
                    return row.notFoundCode;
                }
                *v.number = scan::ClampInt32(value);
                p.Say(VornLog::kDetails, row.getLog, *v.number, ms);
                return 1;
            }
            case Kind::Real: {
                double value = 0;
                if (!scan::Real(answer, from, &value)) {
                    p.Say(VornLog::kDetails, row.notFoundLog, ms);
                    return row.notFoundCode;
                }
                *v.real = value;
                p.Say(VornLog::kDetails, row.getLog, *v.real, ms);
                return 1;
            }
            case Kind::Five: {
                int64_t values[5] = {};
                int count = scan::Scan(answer, from, "d d d d d", values, 5);
                if (count != 5) {
                    p.Say(VornLog::kDetails, row.notFoundLog, count, 5, ms);
                    return row.notFoundCode;
                }
                auto& a = *v.five;
                for (size_t i = 0; i < a.size(); ++i) a[i] = ClampByte(values[i]);
                p.Say(VornLog::kDetails, row.getLog, a[0], a[1], a[2], a[3], a[4], ms);
                return 1;
            }
        }
        return vorn::kNotUnderstood;
    }

    static void Failed(MOSSY_Protocol& p, const SettingRow& row, int32_t status) {
        p.Say(VornLog::kFailures, "%s failed with error %d (%d ms)", row.op, status, p.lastElapsedMs_);
    }

    // Gate (silent -1), exchange, failure line.
    static int32_t Run(MOSSY_Protocol& p, const SettingRow& row, SettingValue v, Direction direction) {
        p.lastElapsedMs_ = 0;
        if (!Allowed(p, row, direction)) return vorn::kRefused;
        int32_t status = Exchange(p, row, v, direction);
        if (status < 0) Failed(p, row, status);
        return status;
    }

    static SettingValue Text(std::string* t) { return SettingValue{t, nullptr, nullptr, nullptr}; }
    static SettingValue Number(int32_t* n) { return SettingValue{nullptr, n, nullptr, nullptr}; }
    static SettingValue Real(double* r) { return SettingValue{nullptr, nullptr, r, nullptr}; }
    static SettingValue Five(DeviceInfo::Bytes5* f) { return SettingValue{nullptr, nullptr, nullptr, f}; }
};

}  // namespace vorn::protocol

using X = vorn::protocol::SettingExecutor;

int32_t MOSSY_Protocol::NameCommand(std::string* name, Direction direction) {
    lastElapsedMs_ = 0;
    if (!name) return vorn::kMissingArgument;
    if (direction == kSet) {
        int32_t check = CheckDeviceName(*name);
        if (check < 0) {
            Say(VornLog::kFailures, "NameCommand: \"%s\" is an illegal device name (error %d)", name->c_str(), check);
            return check;
        }
        return X::Run(*this, kName, X::Text(name), direction);
    }
    int32_t status = X::Exchange(*this, kName, X::Text(name), direction);
    if (status == vorn::kEmptyAnswer) return kNameEmpty;  // an uninitialised device: no failure line
    if (status < 0) X::Failed(*this, kName, status);
    return status;
}

int32_t MOSSY_Protocol::DeviceIDCommand(std::string* id, Direction direction) {
    return X::Run(*this, kDeviceID, X::Text(id), direction);
}

int32_t MOSSY_Protocol::ReportCommand(int32_t* mode, Direction direction) {
    return X::Run(*this, kReport, X::Number(mode), direction);
}

int32_t MOSSY_Protocol::DepthCommand(Bytes5* depths, Direction direction) {
    if (direction != kSet && depths && !X::Allowed(*this, kDepth, direction)) {
        depths->fill(kDepthMissing);
        return vorn::kRefused;
    }
    return X::Run(*this, kDepth, X::Five(depths), direction);
}

int32_t MOSSY_Protocol::SiteCommand(std::string* site, Direction direction) {
    return X::Run(*this, kSite, X::Text(site), direction);
}

int32_t MOSSY_Protocol::LatitudeCommand(double* degrees, Direction direction) {
    return X::Run(*this, kLatitude, X::Real(degrees), direction);
}

int32_t MOSSY_Protocol::LongitudeCommand(double* degrees, Direction direction) {
    return X::Run(*this, kLongitude, X::Real(degrees), direction);
}

int32_t MOSSY_Protocol::TimeZoneCommand(int32_t* quarterHours, Direction direction) {
    if (!quarterHours) return vorn::kMissingArgument;
    if (direction == kSet && *quarterHours == kHostTimeZone && X::Allowed(*this, kTimeZone, direction))
        *quarterHours = vorn::LocalUtcOffset() / kSecondsPerQuarterHour;  // truncates toward zero
    return X::Run(*this, kTimeZone, X::Number(quarterHours), direction);
}

int32_t MOSSY_Protocol::SNCommand(std::string* serialNumber, Direction direction) {
    lastElapsedMs_ = 0;
    if (direction == kSet || !serialNumber) return X::Run(*this, kSerialNumber, X::Text(serialNumber), direction);
    // Some devices answer an empty serial number now and then: ask again. One that
    // answers empty every time has none (a new unit): that is no failure to read it.
    int32_t status = vorn::kNotUnderstood;
    bool alwaysEmpty = true;
    for (uint32_t attempt = 0; attempt < std::max<uint32_t>(tries_, 1); ++attempt) {
        status = X::Exchange(*this, kSerialNumber, X::Text(serialNumber), direction);
        if (status == vorn::kNotUnderstood || status == vorn::kEmptyAnswer) {
            alwaysEmpty = alwaysEmpty && status == vorn::kEmptyAnswer;
            continue;
        }
        alwaysEmpty = false;
        break;
    }
    if (status < 0 && alwaysEmpty) return vorn::kEmptyAnswer;
    if (status == vorn::kEmptyAnswer) status = vorn::kNotUnderstood;
    if (status < 0) X::Failed(*this, kSerialNumber, status);
    return status;
}

int32_t MOSSY_Protocol::WakeCommand(int32_t* interval, Direction direction) {
    return X::Run(*this, kWake, X::Number(interval), direction);
}

int32_t MOSSY_Protocol::PADCCommand(int32_t* hertz, Direction direction) {
    lastElapsedMs_ = 0;
    if (!X::Allowed(*this, kPadc, direction)) return vorn::kRefused;
    if (info_.newFirmware) return X::Run(*this, kPadc, X::Number(hertz), direction);
    if (info_.version < kOldPadcMinVersion) {
        if (hertz) *hertz = -1;
        return vorn::kRefused;
    }
    return X::Run(*this, kPadcOld, X::Number(hertz), direction);
}

int32_t MOSSY_Protocol::PortsCommand(Bytes5* ports, Direction direction) {
    if (direction != kSet && ports && !X::Allowed(*this, kPorts, direction)) {
        ports->fill(kPortMissing);
        return vorn::kRefused;
    }
    return X::Run(*this, kPorts, X::Five(ports), direction);
}

int32_t MOSSY_Protocol::DataParameterCommand(int32_t* value, Direction direction) {
    return X::Run(*this, kDataParameter, X::Number(value), direction);
}

int32_t MOSSY_Protocol::VornBuildCommand(std::string* build, Direction direction) {
    return X::Run(*this, kBuild, X::Text(build), direction);
}

int32_t MOSSY_Protocol::APNCommand(std::string* apn, Direction direction) {
    return X::Run(*this, kApn, X::Text(apn), direction);
}

int32_t MOSSY_Protocol::APNUserCommand(std::string* user, Direction direction) {
    return X::Run(*this, kApnUser, X::Text(user), direction);
}

int32_t MOSSY_Protocol::APNPasswdCommand(std::string* password, Direction direction) {
    return X::Run(*this, kApnPassword, X::Text(password), direction);
}

int32_t MOSSY_Protocol::AuthKeyCommand(std::string* key, Direction direction) {
    lastElapsedMs_ = 0;
    if (!X::Allowed(*this, kAuthKey, direction)) return vorn::kRefused;
    if (!key) return vorn::kMissingArgument;
    if (direction == kSet) {
        size_t digits = 0;
        while (digits < key->size() && std::isxdigit(static_cast<unsigned char>((*key)[digits]))) ++digits;
        if (digits < DeviceInfo::kAuthKeyMax) {
            X::Failed(*this, kAuthKey, vorn::kOutOfRange);
            return vorn::kOutOfRange;
        }
        key->resize(DeviceInfo::kAuthKeyMax);
        return X::Run(*this, kAuthKey, X::Text(key), direction);
    }
    int32_t status = X::Exchange(*this, kAuthKey, X::Text(key), direction);
    // Older firmware calls the key a "teakey".
    if (status == vorn::kDeviceError) status = X::Exchange(*this, kTeaKey, X::Text(key), direction);
    if (status < 0) X::Failed(*this, kAuthKey, status);
    return status;
}

int32_t MOSSY_Protocol::HostCommand(std::string* host, Direction direction) {
    return X::Run(*this, kHost, X::Text(host), direction);
}

int32_t MOSSY_Protocol::IPPortCommand(int32_t* port, Direction direction) {
    return X::Run(*this, kIpPort, X::Number(port), direction);
}

int32_t MOSSY_Protocol::RmodeCommand(int32_t* mode, Direction direction) {
    lastElapsedMs_ = 0;
    if (!mode) return vorn::kMissingArgument;
    if (info_.type == LT_ZQ8) {
        if (direction != kSet) *mode = kZq8RadioMode;
        Say(VornLog::kDetails, "RmodeCommand found an zQ8 that is always mode %d", kZq8RadioMode);
        return 1;
    }
    return X::Run(*this, kRmode, X::Number(mode), direction);
}

// --- ADC calibration: interleaved slopes and offsets with a checksum ---

int32_t MOSSY_Protocol::AdcExchange(int kind, Bytes5* slopes, Bytes5* offsets, Direction direction) {
    const char* name = kind == 1 ? "-adc30" : "-adc15";
    const bool shortForm = (info_.capabilities & capability::kAdcShort) != 0;
    Bytes5& s = *slopes;
    Bytes5& o = *offsets;
    std::string answer;

    if (direction == kSet) {
        std::string line;
        unsigned checksum = 0;
        if (shortForm) {
            checksum = (s[0] + o[0]) % 256u;
            line = vorn::Format("set %s %u %u %u\r", name, s[0], o[0], checksum);
        } else {
            for (size_t i = 0; i < s.size(); ++i) checksum += s[i] + o[i];
            checksum %= 256u;
            line = vorn::Format("set %s %u %u %u %u %u %u %u %u %u %u %u\r", name, s[0], o[0], s[1], o[1], s[2], o[2],
                                s[3], o[3], s[4], o[4], checksum);
        }
        int32_t status = DeviceCommand(line, '>', kCommandTimeoutMs, &answer, kAdcAnswerBytes);
        if (status > 0 && answer.find("OK") != std::string::npos) {
            Say(VornLog::kDetails, "ADCcalCommand set %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)", name, s[0], o[0], s[1], o[1], s[2],
                o[2], s[3], o[3], s[4], o[4], checksum, lastElapsedMs_);
            return 1;
        }
        return status < 0 ? status : vorn::kNotUnderstood;
    }

    int32_t status = DeviceCommand(vorn::Format("get %s\r", name), '>', kCommandTimeoutMs, &answer, kAdcAnswerBytes);
    if (status < 0) return status;
    const int expected = shortForm ? 3 : 11;
    int64_t values[11] = {};
    int count = scan::Scan(answer, 0, shortForm ? "d d d" : "d d d d d d d d d d d", values, expected);
    if (count != expected) {
        Say(VornLog::kDetails, "ADCcalCommand only found %d of %d cal %s factors (%d ms)", count, 11, name, lastElapsedMs_);
        return vorn::kNotUnderstood;
    }
    int32_t result = 1;
    const size_t pairs = shortForm ? 1 : s.size();
    unsigned sum = 0;
    for (size_t i = 0; i < pairs; ++i) {
        for (int part = 0; part < 2; ++part) {
            int64_t v = values[i * 2 + static_cast<size_t>(part)];
            uint8_t stored = v == 0 ? 0 : ClampByte(v);
            if (stored == 0 || stored == kByteCeiling) result = vorn::kRefused;
            (part == 0 ? s : o)[i] = stored;
            sum += stored;
        }
    }
    // The short form carries one pair, and its checksum covers that pair only.
    const int64_t checksum = values[expected - 1];
    if (checksum != static_cast<int64_t>(sum % 256u)) result = vorn::kRefused;
    Say(VornLog::kDetails, "ADCcalCommand found (%s) %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)", result > 0 ? "valid" : "not valid",
        name, s[0], o[0], s[1], o[1], s[2], o[2], s[3], o[3], s[4], o[4], static_cast<unsigned>(checksum & 0xFFFFFFFF),
        lastElapsedMs_);
    return result;
}

int32_t MOSSY_Protocol::ADCcalCommand(int kind, Bytes5* slopes, Bytes5* offsets, Direction direction) {
    lastElapsedMs_ = 0;
    if (!slopes || !offsets) return vorn::kMissingArgument;
    if (kind != 1 && kind != 2) return vorn::kOutOfRange;
    if (!(info_.capabilities & capability::kAdcCal)) return vorn::kRefused;
    int32_t status = AdcExchange(kind, slopes, offsets, direction);
    if (status < 0)
        Say(VornLog::kFailures, "ADCcalCommand (%s) failed with error %d (%d ms)", kind == 1 ? "-adc30" : "-adc15", status, lastElapsedMs_);
    return status;
}

// --- trait: stored by the device as its complement; emulated where there is no command ---

int32_t MOSSY_Protocol::TraitExchange(uint32_t* traitWord, Direction direction) {
    constexpr uint32_t kTraitWithRadio = trait::kKnown | trait::kRadioFitted;
    if (direction == kSet) {
        if (!(info_.capabilities & capability::kSiteSettings)) return kRefusedNow;
        std::string answer;
        const int complement = static_cast<int>(trait::kBitsMask - (*traitWord & trait::kBitsMask));
        int32_t status = DeviceCommand(vorn::Format("set -trait %d\r", complement), '>', kCommandTimeoutMs, &answer,
                                       kSettingAnswerBytes);
        if (status < 0) return status;
        if (answer.find("OK") == std::string::npos) return vorn::kNotUnderstood;
        Say(VornLog::kDetails, "TraitCommand set trait to %d (%d ms)", static_cast<int>(*traitWord), lastElapsedMs_);
        return 1;
    }
    if (info_.type == LT_QV) {
        *traitWord = kTraitWithRadio;
        Say(VornLog::kDetails, "TraitCommand: set trait to %d for Quillon", static_cast<int>(kTraitWithRadio));
        return 1;
    }
    if (info_.capabilities & capability::kTrait) {
        std::string answer;
        int32_t status = DeviceCommand("get -trait\r", '>', kCommandTimeoutMs, &answer, kSettingAnswerBytes);
        if (status < 0) return status;
        int64_t stored = 0;
        // The device keeps the complement of one byte; anything else is not a trait.
        if (scan::Scan(answer, 0, "d", &stored, 1) != 1 || stored < 0 || stored > trait::kBitsMask)
            return vorn::kNotUnderstood;
        *traitWord = (trait::kBitsMask - static_cast<uint32_t>(stored)) | trait::kKnown;
        Say(VornLog::kDetails, "TraitCommand: found %d (%d ms)", static_cast<int>(*traitWord), lastElapsedMs_);
        return 1;
    }
    if (!(info_.capabilities & capability::kRadio)) {
        *traitWord = trait::kKnown;
        return 1;
    }
    if (Radio()) {
        *traitWord = kTraitWithRadio;
        Say(VornLog::kDetails, "TraitCommand (emulated): knows %d", static_cast<int>(kTraitWithRadio));
        return 1;
    }
    std::string version;
    uint32_t mask = setting::kRadioVersion;
    int32_t status = MSRadioCommand(nullptr, nullptr, &version, kGet, &mask);
    *traitWord = (mask & setting::kRadioVersion) ? kTraitWithRadio : trait::kKnown;
    if (status < 0) return 0;
    Say(VornLog::kDetails, "TraitCommand (emulated): found %d", static_cast<int>(*traitWord));
    return 1;
}

int32_t MOSSY_Protocol::TraitCommand(uint32_t* traitWord, Direction direction) {
    lastElapsedMs_ = 0;
    if (!traitWord) return vorn::kMissingArgument;
    int32_t status = TraitExchange(traitWord, direction);
    if (status < 0) Say(VornLog::kFailures, "TraitCommand failed with error %d (%d ms)", status, lastElapsedMs_);
    return status;
}
