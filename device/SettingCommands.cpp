// The get/set commands of single settings. They share one pattern (gate, set line and
// acceptance, get line, answer size, where parsing starts, how the value is read, log
// texts), so they are one table and one executor; only the true special cases have code
// of their own.
#include <algorithm>
#include <cctype>

#include "device/AnswerScan.h"
#include "device/MOSSY_Protocol.h"
#include "device/SettingRow.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::protocol;
using enum vorn::protocol::Direction;
namespace scan = vorn::protocol::scan;

namespace {

using namespace vorn::protocol::rows;

constexpr SettingRow kName = Checked({
    .op = "NameCommand",
    .setLine = "set -i %s\r",
    .getLine = "get -i\r",
    .from = From::AfterCR,
    .kind = Kind::Word,
    .readMax = DeviceInfo::kDeviceNameMax,
    .fieldMax = DeviceInfo::kDeviceNameMax,
    .accept = Accept::OKOrPrompt,
    .setLog = "NameCommand set device name to \"%s\" (%d ms)",
    .getLog = "NameCommand found device named \"%s\" (%d ms)",
    .notFoundLog = "NameCommand couldn't find device name (%d ms)"});
constexpr SettingRow kDeviceID = Checked({
    .op = "DeviceIDCommand",
    .gate = Gate::Capability,
    .capability = capability::kSiteSettings,
    .setLine = "set -devid %s\r",
    .getLine = "get -devid\r",
    .readMax = 8,
    .fieldMax = DeviceInfo::kDeviceIDMax,
    .setLog = "DeviceIDCommand set DeviceID to \"%s\" (%d ms)",
    .getLog = "DeviceIDCommand found DeviceID \"%s\" (%d ms)"});
constexpr SettingRow kReport = Checked({
    .op = "ReportCommand",
    .gate = Gate::Capability,
    .capability = capability::kSiteSettings,
    .setLine = "set -report %d\r",
    .getLine = "get -report\r",
    .kind = Kind::Int,
    .setLog = "ReportCommand set report mode to %d (%d ms)",
    .getLog = "ReportCommand found device report mode %d (%d ms)",
    .notFoundLog = "ReportCommand could not find device report mode (%d ms)"});
constexpr SettingRow kDepth = Checked({
    .op = "DepthCommand",
    .gate = Gate::Capability,
    .capability = capability::kSiteSettings,
    .setLine = "set -depth %d %d %d %d %d\r",
    .getLine = "get -depth\r",
    .from = From::Start,
    .kind = Kind::Five,
    .setLog = "DepthCommand set depths to %d %d %d %d %d (%d ms)",
    .getLog = "DepthCommand: depths are %d %d %d %d %d (%d ms)",
    .notFoundLog = "DepthCommand only found %d of %d port depths (%d ms)"});
constexpr SettingRow kSite = Checked({
    .op = "SiteCommand",
    .gate = Gate::Capability,
    .capability = capability::kSiteSettings,
    .setLine = "set -site %s\r",
    .getLine = "get -site\r",
    .readMax = 25,
    .fieldMax = DeviceInfo::kSiteMax,
    .setLog = "SiteCommand set site to \"%s\" (%d ms)",
    .getLog = "SiteCommand found site name \"%s\" (%d ms)"});
constexpr SettingRow kLatitude = Checked({
    .op = "LatitudeCommand",
    .gate = Gate::Capability,
    .capability = capability::kCoordinates,
    .setLine = "set -lat %+.5f\r",
    .setLineZero = "set -lat \r",
    .getLine = "get -lat\r",
    .kind = Kind::Real,
    .setLog = "LatitudeCommand set latitude to %+.5f (%d ms)",
    .getLog = "LatitudeCommand found device latitude %+.5f (%d ms)",
    .notFoundLog = "LatitudeCommand could not find device latitude (%d ms)",
    .notFoundCode = vorn::kEmptyAnswer});
constexpr SettingRow kLongitude = Checked({
    .op = "LongitudeCommand",
    .gate = Gate::Capability,
    .capability = capability::kCoordinates,
    .setLine = "set -long %+.5f\r",
    .setLineZero = "set -long \r",
    .getLine = "get -long\r",
    .kind = Kind::Real,
    .setLog = "LongitudeCommand set longitude to %+.5f (%d ms)",
    .getLog = "LongitudeCommand found device longitude %+.5f (%d ms)",
    .notFoundLog = "LongitudeCommand could not find device longitude (%d ms)",
    .notFoundCode = vorn::kEmptyAnswer});
constexpr SettingRow kTimeZone = Checked({
    .op = "TimeZoneCommand",
    .gate = Gate::Capability,
    .capability = capability::kSiteSettings,
    .setLine = "set -tz %d\r",
    .getLine = "get -tz\r",
    .kind = Kind::Int,
    .setLog = "TimeZoneCommand set time zone to %d (%d ms)",
    .getLog = "TimeZoneCommand found device time zone %d (%d ms)",
    .notFoundLog = "TimeZoneCommand could not find device time zone (%d ms)"});
constexpr SettingRow kSerialNumber = Checked({
    .op = "SNCommand",
    .gate = Gate::SetNeedsNewFirmware,
    .setLine = "set -sn %s\r",
    .getLine = "get -sn\r",
    .from = From::AfterCR,
    .readMax = 15,
    .fieldMax = DeviceInfo::kSerialNumberMax,
    .setLog = "SNCommand set device serial number to \"%s\" (%d ms)",
    .getLog = "SNCommand found device serial number \"%s\" (%d ms)"});
constexpr SettingRow kWake = Checked({
    .op = "WakeCommand",
    .gate = Gate::Capability,
    .capability = capability::kWakePadc,
    .setLine = "set -w %d\r",
    .getLine = "get -w\r",
    .from = From::AfterCR,
    .kind = Kind::Int,
    .accept = Accept::OKOrPrompt,
    .refuseNegative = true,
    .setLog = "WakeCommand set device measurment interval to %d (%d ms)",
    .getLog = "WakeCommand found device measurement interval %d (%d ms)",
    .notFoundLog = "WakeCommand could not find device measurement interval (%d ms)"});
constexpr SettingRow kPadc = Checked({
    .op = "PADCCommand",
    .gate = Gate::Capability,
    .capability = capability::kWakePadc,
    .setLine = "set -padc %d\r",
    .getLine = "get -padc\r",
    .from = From::AfterCR,
    .kind = Kind::Int,
    .refuseNegative = true,
    .setLog = "PADCCommand set device PADC %d Hz (%d ms)",
    .getLog = "PADCCommand found device PADC %d Hz (%d ms)",
    .notFoundLog = "PADCCommand could not find device PADC value (%d ms)"});
constexpr SettingRow kPadcOld = Checked({
    .op = "PADCCommand",
    .gate = Gate::Capability,
    .capability = capability::kWakePadc,
    .setLine = "set -p %d\r",
    .getLine = "hertz\r",
    .from = From::AfterCR,
    .kind = Kind::Int,
    .accept = Accept::Prompt,
    .refuseNegative = true,
    .setLog = "PADCCommand set device PADC %d Hz (%d ms)",
    .getLog = "PADCCommand found device PADC %d Hz (%d ms)",
    .notFoundLog = "PADCCommand could not find device PADC value (%d ms)"});
constexpr SettingRow kPorts = Checked({
    .op = "PortsCommand",
    .gate = Gate::Capability,
    .capability = capability::kPorts,
    .setLine = "set -ports %d %d %d %d %d\r",
    .getLine = "get -ports\r",
    .from = From::Start,
    .kind = Kind::Five,
    .setLog = "PortsCommand set ports to %d %d %d %d %d (%d ms)",
    .getLog = "PortsCommand: ports are %d %d %d %d %d (%d ms)",
    .notFoundLog = "PortsCommand only found %d of %d ports (%d ms)"});
constexpr SettingRow kDataParameter = Checked({
    .op = "DataParameterCommand",
    .gate = Gate::Capability,
    .capability = capability::kDataParameter,
    .setLine = "set -data %d\r",
    .getLine = "get -data\r",
    .from = From::Start,
    .kind = Kind::Int,
    .setLog = "DataParameterCommand set data parameter to %d (%d ms)",
    .getLog = "DataParameterCommand found data parameter %d (%d ms)",
    .notFoundLog = "DataParameterCommand could not find device data parameter (%d ms)"});
constexpr SettingRow kBuild = Checked({
    .op = "VornBuildCommand",
    .gate = Gate::Capability,
    .capability = capability::kBuildInfo,
    .setLine = "set -build %s\r",
    .getLine = "get -build\r",
    .from = From::AfterCR,
    .readMax = 16,
    .fieldMax = DeviceInfo::kBuildInfoMax,
    .setLog = "VornBuildCommand set VornBuild number to \"%s\" (%d ms)",
    .getLog = "VornBuildCommand found VornBuild info \"%s\" (%d ms)"});
constexpr SettingRow kApn = Checked({
    .op = "APNCommand",
    .gate = Gate::Cellular,
    .setLine = "set -apn %s\r",
    .getLine = "get -apn\r",
    .answerBytes = kLongAnswerBytes,
    .readMax = 35,
    .fieldMax = DeviceInfo::kApnMax,
    .setLog = "APNCommand set APN to \"%s\" (%d ms)",
    .getLog = "APNCommand found APN \"%s\" (%d ms)"});
constexpr SettingRow kApnUser = Checked({
    .op = "APNUserCommand",
    .gate = Gate::Cellular,
    .setLine = "set -user %s\r",
    .getLine = "get -user\r",
    .answerBytes = kLongAnswerBytes,
    .readMax = 35,
    .fieldMax = DeviceInfo::kApnMax,
    .setLog = "APNUserCommand set APN user name to \"%s\" (%d ms)",
    .getLog = "APNUserCommand found APN user name \"%s\" (%d ms)"});
constexpr SettingRow kApnPassword = Checked({
    .op = "APNPasswdCommand",
    .gate = Gate::Cellular,
    .setLine = "set -passwd %s\r",
    .getLine = "get -passwd\r",
    .answerBytes = kLongAnswerBytes,
    .readMax = 35,
    .fieldMax = DeviceInfo::kApnMax,
    .setLog = "APNPasswdCommand set APN password to \"%s\" (%d ms)",
    .getLog = "APNPasswdCommand found APN password \"%s\" (%d ms)",
    .secret = true});
constexpr SettingRow kAuthKey = Checked({
    .op = "AuthKeyCommand",
    .gate = Gate::Cellular,
    .setLine = "set -authkey %s\r",
    .getLine = "get -authkey\r",
    .answerBytes = kLongAnswerBytes,
    .readMax = 32,
    .fieldMax = DeviceInfo::kAuthKeyMax,
    .setLog = "AuthKeyCommand set authkey to \"%s\" (%d ms)",
    .getLog = "AuthKeyCommand found authkey \"%s\" (%d ms)",
    .secret = true});
constexpr SettingRow kTeaKey = Checked({
    .op = "AuthKeyCommand",
    .gate = Gate::Cellular,
    .setLine = "set -authkey %s\r",
    .getLine = "get -teakey\r",
    .answerBytes = kLongAnswerBytes,
    .readMax = 32,
    .fieldMax = DeviceInfo::kAuthKeyMax,
    .setLog = "AuthKeyCommand set authkey to \"%s\" (%d ms)",
    .getLog = "AuthKeyCommand found authkey (as teakey) \"%s\" (%d ms)",
    .secret = true});
constexpr SettingRow kHost = Checked({
    .op = "HostCommand",
    .gate = Gate::Cellular,
    .setLine = "set -host %s\r",
    .getLine = "get -host\r",
    .answerBytes = kHostAnswerBytes,
    .readMax = 63,
    .fieldMax = DeviceInfo::kHostMax,
    .setLog = "HostCommand set remote host name to \"%s\" (%d ms)",
    .getLog = "HostCommand found the remote host name \"%s\" (%d ms)"});
constexpr SettingRow kIpPort = Checked({
    .op = "IPPortCommand",
    .gate = Gate::Cellular,
    .setLine = "set -ipport %d\r",
    .getLine = "get -ipport\r",
    .kind = Kind::Int,
    .setLog = "IPPortCommand set ipport to %d (%d ms)",
    .getLog = "IPPortCommand found device ipport %d (%d ms)",
    .notFoundLog = "IPPortCommand could not find device ipport (%d ms)",
    .notFoundCode = vorn::kEmptyAnswer});
constexpr SettingRow kRmode = Checked({
    .op = "RmodeCommand",
    .gate = Gate::Capability,
    .capability = capability::kRadioMode,
    .setLine = "set -r %d\r",
    .getLine = "get -r\r",
    .from = From::Start,
    .kind = Kind::Int,
    .accept = Accept::OKOrPrompt,
    .setLog = "RmodeCommand set rmode to %d (%d ms)",
    .getLog = "RmodeCommand found rmode %d (%d ms)",
    .notFoundLog = "RmodeCommand could not find device rmode (%d ms)"});

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
    static void Log(MOSSY_Protocol& p, const TableFormat& text, std::initializer_list<vorn::FormatArg> args) {
        p.Say(VornLog::kDetails, "%s", text.Fill(args).c_str());
    }

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
                    line = row.setLine.Fill({vorn::Bounded(*v.text, row.fieldMax)});
                    break;
                }
                case Kind::Int:
                    if (row.refuseNegative && *v.number < 0) return vorn::kOutOfRange;
                    line = row.setLine.Fill({*v.number});
                    break;
                case Kind::Real:
                    line = (*v.real == 0.0 && row.setLineZero.Present()) ? std::string(row.setLineZero.Text())
                                                                         : row.setLine.Fill({*v.real});
                    break;
                case Kind::Five: {
                    const auto& a = *v.five;
                    line = row.setLine.Fill({a[0], a[1], a[2], a[3], a[4]});
                    break;
                }
            }
            int32_t status;
            {
                // A credential's value as sent: the transcript takes it out.
                const std::string sent = row.secret && v.text ? vorn::Bounded(*v.text, row.fieldMax) : std::string();
                MOSSY_Protocol::TraceMask mask(p, row.secret, row.setLine.Fill({kSecretMask}), &sent);
                status = p.DeviceCommand(line, '>', kCommandTimeoutMs, &answer, row.answerBytes);
            }
            if (status < 0) return status;
            if (!Accepted(row.accept, p.info_.newFirmware, answer)) return vorn::kNotUnderstood;
            const int ms = p.lastElapsedMs_;
            switch (row.kind) {
                case Kind::Text:
                case Kind::Word: Log(p, row.setLog, {Shown(row, vorn::Bounded(*v.text, row.fieldMax)), ms}); break;
                case Kind::Int: Log(p, row.setLog, {*v.number, ms}); break;
                case Kind::Real: Log(p, row.setLog, {*v.real, ms}); break;
                case Kind::Five: {
                    const auto& a = *v.five;
                    Log(p, row.setLog, {a[0], a[1], a[2], a[3], a[4], ms});
                    break;
                }
            }
            return 1;
        }

        int32_t status;
        {
            MOSSY_Protocol::TraceMask mask(p, row.secret, row.getLine.Text());
            status = p.DeviceCommand(row.getLine.Text(), '>', kCommandTimeoutMs, &answer, row.answerBytes);
        }
        if (status < 0) return status;
        const int ms = p.lastElapsedMs_;
        const size_t from = ParseStart(row.from, answer);
        switch (row.kind) {
            case Kind::Text: {
                if (from < answer.size() && answer[from] == '>') return vorn::kEmptyAnswer;
                const std::string text = scan::UpToCR(answer, from, row.answerBytes);
                if (row.secret) p.Credential(text);
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
                Log(p, row.getLog, {Shown(row, *v.text), ms});
                return 1;
            }
            case Kind::Word: {
                std::string word = scan::Word(answer, from, row.readMax);
                if (row.secret) p.Credential(scan::Word(answer, from, answer.size()));
                // A lone prompt is the end of the answer, not a value.
                if (word.empty() || word.front() == '>') {
                    Log(p, row.notFoundLog, {ms});
                    return row.notFoundCode;
                }
                if (!vorn::IsPlainText(word)) return vorn::kNotUnderstood;
                *v.text = word;
                Log(p, row.getLog, {Shown(row, *v.text), ms});
                return 1;
            }
            case Kind::Int: {
                int64_t value = 0;
                if (scan::Scan(answer, from, "d", &value, 1) != 1) {
                    Log(p, row.notFoundLog, {ms});
                    return row.notFoundCode;
                }
                *v.number = scan::ClampInt32(value);
                Log(p, row.getLog, {*v.number, ms});
                return 1;
            }
            case Kind::Real: {
                double value = 0;
                if (!scan::Real(answer, from, &value)) {
                    Log(p, row.notFoundLog, {ms});
                    return row.notFoundCode;
                }
                *v.real = value;
                Log(p, row.getLog, {*v.real, ms});
                return 1;
            }
            case Kind::Five: {
                int64_t values[5] = {};
                int count = scan::Scan(answer, from, "d d d d d", values, 5);
                if (count != 5) {
                    Log(p, row.notFoundLog, {count, 5, ms});
                    return row.notFoundCode;
                }
                auto& a = *v.five;
                for (size_t i = 0; i < a.size(); ++i) a[i] = ClampByte(values[i]);
                Log(p, row.getLog, {a[0], a[1], a[2], a[3], a[4], ms});
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
