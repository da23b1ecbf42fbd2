// Whole-device operations: every setting in one call (with a new login when the device
// stops answering), the device clock, and erasing the logged data.
#include <bit>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "device/AnswerScan.h"
#include "device/MOSSY_Protocol.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/TimePlatform.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::protocol;
using enum vorn::protocol::Direction;
namespace scan = vorn::protocol::scan;

namespace {

constexpr const char* kReconnectTag = "******";
constexpr uint32_t kOldFirmwareVersionClears = 0x217;  // name, SN, version, wake, radio mode
constexpr uint32_t kShowClears = 0x213;                // name, SN, wake, radio mode
constexpr int64_t kSecondsPerDay = 86400;

int Bits(uint32_t mask) { return std::popcount(mask); }

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct StepOutcome {
    int32_t status;
    uint32_t clear;  // pending bits the step took care of
    uint32_t valid;  // bits it read or wrote successfully
    bool stop;       // end the whole run with this status (unsupported old firmware)
};

// A setting the device does not have (its capability gate, a logger without a radio, a
// family without it) or holds empty: nothing was missed, and nothing is to write back.
// Only a value the device holds and the line did not deliver makes a get partly done.
// A set writes only what a file holds: one the device refuses (its gate, an answer
// without "OK") did not go back, and makes the run partly done.
bool Absent(int32_t status, bool get) {
    if (status == vorn::kRefused) return get;
    return status == vorn::kNoRadio || status == vorn::kEmptyAnswer || status == vorn::kNotApplicable;
}

// The outcome of a step that handles one setting bit.
StepOutcome One(int32_t status, uint32_t bit) { return StepOutcome{status, bit, status > 0 ? bit : 0u, false}; }

}  // namespace

int32_t MOSSY_Protocol::DeviceSettings(DeviceInfo* record, uint32_t* mask, Direction direction) {
    if (direction != kGet && direction != kSet) return vorn::kOutOfRange;
    if (!record || !mask) return vorn::kMissingArgument;
    const bool get = direction == kGet;

    uint32_t valid = 0;
    uint32_t request = *mask;
    if (!get) {
        info_ = *record;
    } else {
        if (info_.version != 0)
            valid = setting::kVersion;
        else
            request |= setting::kVersion;
        // The radio step must know whether a radio is fitted.
        if ((request & setting::kRadioAll) && !(info_.valid & setting::kTrait)) request |= setting::kTrait;
    }

    using Run = StepOutcome (*)(MOSSY_Protocol&, Direction direction, uint32_t pending);
    struct Step {
        uint32_t bits;
        bool oldFirmwareGetOnly;
        uint32_t loseOnFailure;  // valid bits the object forgets when the step fails
        Run run;
    };
    // clang-format off
    static const Step kSteps[] = {
        {setting::kVersion, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            if (d == kSet) return StepOutcome{1, setting::kVersion, setting::kVersion, false};
            const DeviceInfo& i = p.info_;
            int32_t st = (i.type != LT_UNKNOWN && !i.versionText.empty() && i.version != 0) ? 1 : p.VerCommand(0);
            if (p.info_.newFirmware)
                return StepOutcome{st, setting::kVersion, st > 0 ? setting::kVersion : 0u, false};
            if (st == vorn::kNotApplicable) {
                p.Say(VornLog::kDetails, "DeviceSettings: old Vaultline model 007 not supported");
                return StepOutcome{st, kOldFirmwareVersionClears, 0, true};
            }
            return StepOutcome{st, kOldFirmwareVersionClears, st > 0 ? setting::kShowRead : 0u, false};
        }},
        {setting::kName | setting::kWake | setting::kRadioMode, true, 0, [](MOSSY_Protocol& p, Direction, uint32_t) {
            int32_t st = p.ParseShowCommand(nullptr);
            return StepOutcome{st, kShowClears, st > 0 ? setting::kShowRead : 0u, false};
        }},
        {setting::kName, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.NameCommand(&p.info_.deviceName, d), setting::kName); }},
        {setting::kDeviceID, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.DeviceIDCommand(&p.info_.deviceID, d), setting::kDeviceID); }},
        {setting::kReportMode, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.ReportCommand(&p.info_.reportMode, d), setting::kReportMode); }},
        {setting::kDepths, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.DepthCommand(&p.info_.depths, d), setting::kDepths); }},
        {setting::kLatitude, false, setting::kLatitude, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.LatitudeCommand(&p.info_.latitude, d), setting::kLatitude); }},
        {setting::kLongitude, false, setting::kLongitude, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.LongitudeCommand(&p.info_.longitude, d), setting::kLongitude); }},
        {setting::kTimeZone, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.TimeZoneCommand(&p.info_.timeZone, d), setting::kTimeZone); }},
        {setting::kSite, false, setting::kSite, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.SiteCommand(&p.info_.site, d), setting::kSite); }},
        {setting::kSerialNumber, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.SNCommand(&p.info_.serialNumber, d), setting::kSerialNumber); }},
        {setting::kWake, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.WakeCommand(&p.info_.measurementInterval, d), setting::kWake); }},
        {setting::kPadc, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.PADCCommand(&p.info_.padc, d), setting::kPadc); }},
        {setting::kPorts, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.PortsCommand(&p.info_.ports, d), setting::kPorts); }},
        {setting::kTrait, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.TraitCommand(&p.info_.trait, d), setting::kTrait); }},
        {setting::kRadioMode, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.RmodeCommand(&p.info_.radioMode, d), setting::kRadioMode); }},
        {setting::kRadioAll, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t pending) {
            DeviceInfo& i = p.info_;
            const bool known = (i.trait & trait::kKnown) != 0;
            // Without a radio there is no channel to read, nor to write back.
            if (known && !(i.trait & trait::kRadioFitted))
                return StepOutcome{vorn::kNoRadio, setting::kRadioAll, 0, false};
            uint32_t radioMask = pending & setting::kRadioAll;
            int32_t st = p.MSRadioCommand(&i.radioChannel, &i.radioSubchannel, &i.radioVersion, d, &radioMask);
            return StepOutcome{st, setting::kRadioAll, radioMask, false}; }},
        {setting::kDataParameter, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.DataParameterCommand(&p.info_.dataParameter, d), setting::kDataParameter); }},
        {setting::kBuildInfo, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.VornBuildCommand(&p.info_.buildInfo, d), setting::kBuildInfo); }},
        {setting::kAdc30, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.ADCcalCommand(1, &p.info_.adc30Slopes, &p.info_.adc30Offsets, d), setting::kAdc30); }},
        {setting::kAdc15, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.ADCcalCommand(2, &p.info_.adc15Slopes, &p.info_.adc15Offsets, d), setting::kAdc15); }},
        {setting::kApn, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.APNCommand(&p.info_.apn, d), setting::kApn); }},
        {setting::kApnUser, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.APNUserCommand(&p.info_.apnUser, d), setting::kApnUser); }},
        {setting::kApnPassword, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.APNPasswdCommand(&p.info_.apnPassword, d), setting::kApnPassword); }},
        {setting::kAuthKey, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.AuthKeyCommand(&p.info_.authKey, d), setting::kAuthKey); }},
        {setting::kHost, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.HostCommand(&p.info_.host, d), setting::kHost); }},
        {setting::kIpPort, false, 0, [](MOSSY_Protocol& p, Direction d, uint32_t) {
            return One(p.IPPortCommand(&p.info_.ipPort, d), setting::kIpPort); }},
    };
    // clang-format on

    const long total = Bits(*mask);
    uint32_t pending = request;
    int32_t last = 0;
    int32_t result = 1;
    uint32_t retries = 0;
    uint32_t savedPending = 0;
    int32_t savedResult = 1;
    bool first = true;

    for (;;) {
        if (options_.progressReporting && !progress_(total, total - Bits(pending), kPhaseRunning)) {
            Say(VornLog::kDetails, "DeviceSettings canceled by user after getting %d of %d settings", Bits(pending),
                static_cast<int>(total));
            progress_(total, total - Bits(pending), kPhaseFinished);
            return vorn::kCancelled;
        }
        if (last == vorn::kEchoed || last == vorn::kRelayActive || last == kNameEmpty) {
            result = last;
            break;
        }
        if (last < 0 && !Absent(last, get)) {
            result = vorn::kPartlyDone;
            vorn::MsDelay(kSettingsRetryPauseMs);
        }
        if (last == vorn::kPortClosed) {
            // The device stopped answering: log in again and repeat the interrupted setting.
            if (retries++ >= tries_ || Radio()) {
                result = vorn::kPortClosed;
                break;
            }
            int32_t status = DeviceLogin(&request_.deviceName, request_.reserved, &request_.baudCode);
            if (status > 0) {
                SayTagged(VornLog::kDetails, kReconnectTag, "DeviceSettings re-connected to device");
                pending = savedPending;
                result = savedResult;
            } else if (status == vorn::kNoConnection) {
                result = vorn::kPortClosed;
                break;
            } else if (pending == 0) {
                // Nothing left to run: the silence stands, so log in again until the
                // tries are used up and the run ends as -21.
                first = false;
                continue;
            }
        } else {
            if (pending == 0 || (!first && pending == savedPending)) break;
            savedPending = pending;
            savedResult = result;
            retries = 0;
        }
        first = false;

        const Step* step = nullptr;
        for (const Step& s : kSteps) {
            if (!(s.bits & pending)) continue;
            if (s.oldFirmwareGetOnly && !(get && !info_.newFirmware)) continue;
            step = &s;
            break;
        }
        if (!step) {
            last = 0;  // bits nobody handles: the next pass sees nothing changed
            continue;
        }
        StepOutcome outcome = step->run(*this, direction, pending);
        if (outcome.stop) return outcome.status;
        pending &= ~(outcome.clear | step->bits);
        valid |= outcome.valid;
        if (outcome.status < 0) info_.valid &= ~step->loseOnFailure;
        last = outcome.status;
    }

    if (valid == 0 && result == 1 && *mask != 0) result = vorn::kRefused;
    *mask = valid;
    if (get) {
        info_.valid |= valid;
        *record = info_;
    }
    if (options_.progressReporting) progress_(total, total, kPhaseFinished);
    return result;
}

// --- clock ---

int32_t MOSSY_Protocol::DeviceTime(VornSeconds* value, Direction direction) {
    lastElapsedMs_ = 0;
    if (!(info_.capabilities & capability::kClock)) {
        if (value) *value = -1;
        return vorn::kRefused;
    }
    int32_t result;
    if (direction == kSet) {
        result = DateTimeSet(value);
    } else {
        if (!value) return vorn::kMissingArgument;
        result = DateTimeGet(value);
        if (result < 0) *value = -1;
    }
    if (result < 0) Say(VornLog::kFailures, "DeviceTime failed with error %d (%d ms)", result, lastElapsedMs_);
    return result;
}

int32_t MOSSY_Protocol::DateTimeSet(VornSeconds* value) {
    VornSeconds seconds = 0;
    std::tm parts{};
    if (value && *value != 0) {
        seconds = *value;
        parts = vorn::platform::UtcTime(static_cast<std::time_t>(seconds + kUnixTo2000));
    } else {
        const std::time_t now = std::time(nullptr);
        if (now == static_cast<std::time_t>(-1)) {
            Say(VornLog::kFailures, "DeviceTime failed to get system time with error %d", errno);
            return vorn::kNotUnderstood;
        }
        seconds = vorn::LocalUtcOffset() + static_cast<VornSeconds>(now) - kUnixTo2000;
        if (value) *value = seconds;
        parts = vorn::platform::LocalTime(now);
    }

    const bool inSeconds = (info_.capabilities & capability::kClockSeconds) != 0;
    std::string answer;
    int32_t timeResult = 1;
    if (!inSeconds) {
        char line[48];
        std::snprintf(line, sizeof line, "set -t %d:%d:%d\r", parts.tm_hour, parts.tm_min, parts.tm_sec);
        int32_t status = DeviceCommand(line, '>', kCommandTimeoutMs, &answer, kTimeAnswerBytes);
        const bool accepted = info_.newFirmware ? answer.find("OK") != std::string::npos
                                                : answer.find("\r>") != std::string::npos;
        if (status > 0 && accepted)
            Say(VornLog::kDetails, "DeviceTime set device time to %d:%02d:%02d (%d ms)", parts.tm_hour, parts.tm_min, parts.tm_sec,
                lastElapsedMs_);
        else
            timeResult = status < 0 ? status : vorn::kNotUnderstood;
    }

    char line[48];
    if (inSeconds)
        std::snprintf(line, sizeof line, "set -sec %lu\r", static_cast<unsigned long>(seconds));
    else
        std::snprintf(line, sizeof line, "set -d %d-%d-%d\r", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    int32_t status = DeviceCommand(line, '>', kCommandTimeoutMs, &answer, kTimeAnswerBytes);
    const bool accepted = answer.find("OK") != std::string::npos ||
                          (!info_.newFirmware && answer.find('>') != std::string::npos);
    int32_t result;
    if (status > 0 && accepted) {
        if (inSeconds)
            Say(VornLog::kDetails, "DeviceTime set device vornseconds to %d (%d ms)", static_cast<int>(seconds), lastElapsedMs_);
        else
            Say(VornLog::kDetails, "DeviceTime set device date to %d-%d-%d (%d ms)", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, lastElapsedMs_);
        result = 1;
    } else {
        result = status < 0 ? status : vorn::kNotUnderstood;
    }
    // A clock whose time of day was refused is not set, whatever the date did.
    if (result > 0 && timeResult < 0) result = timeResult;
    return result;
}

int32_t MOSSY_Protocol::DateTimeGet(VornSeconds* value) {
    const bool inSeconds = (info_.capabilities & capability::kClockSeconds) != 0;
    const char* line = inSeconds ? "get -sec\r" : info_.newFirmware ? "get -t\r" : "time\r";
    std::string answer;
    int32_t status = DeviceCommand(line, '>', kTimeGetTimeoutMs, &answer, kTimeAnswerBytes);
    if (status < 0) return vorn::kNotUnderstood;

    if (inSeconds) {
        int64_t read = 0;
        if (scan::Scan(answer, 0, "d", &read, 1) != 1) return vorn::kNotUnderstood;
        // The device counts in 32 bits; a value with the top bit set is no time of ours.
        const bool negative = read < 0 || read > INT32_MAX;
        *value = negative ? 0 : read;
        Say(VornLog::kDetails, "DeviceTime found device date/timr %ld VornSeconds (%d ms)", static_cast<long>(*value), lastElapsedMs_);
        return negative ? vorn::kNotUnderstood : 1;
    }

    constexpr std::string_view kLabel = "Date\\Time:";
    size_t at = answer.find(kLabel);
    const size_t start = at == std::string::npos ? 0 : at + kLabel.size();
    int64_t f[6] = {};
    if (scan::Scan(answer, start, "d-d-d d:d:d", f, 6) != 6) return vorn::kNotUnderstood;
    const bool sane = f[0] >= 1900 && f[0] <= 9999 && f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31 &&
                      f[3] >= 0 && f[3] <= 23 && f[4] >= 0 && f[4] <= 59 && f[5] >= 0 && f[5] <= 60;
    if (!sane) {
        *value = 0;
        return vorn::kNotUnderstood;
    }
    // The device keeps local wall-clock time and VornSeconds count local wall-clock seconds,
    // so the fields convert without any zone.
    const int64_t wallClock = DaysFromCivil(f[0], f[1], f[2]) * kSecondsPerDay + f[3] * 3600 + f[4] * 60 + f[5];
    *value = wallClock - kUnixTo2000;
    Say(VornLog::kDetails, "DeviceTime found device date/time %d-%d-%d %d:%02d:%02d or %ld (%d ms)", static_cast<int>(f[0]),
        static_cast<int>(f[1]), static_cast<int>(f[2]), static_cast<int>(f[3]), static_cast<int>(f[4]),
        static_cast<int>(f[5]), static_cast<long>(*value), lastElapsedMs_);
    return 1;
}

// --- data erase ---

int32_t MOSSY_Protocol::EraseData() {
    lastElapsedMs_ = 0;
    std::string name;
    int32_t status;
    char terminator;
    if (info_.newFirmware) {
        status = NameCommand(&name, kGet);
        terminator = '>';
    } else {
        status = ParseShowCommand(&name);
        terminator = '!';  // old firmware ends its erase answer with '!'
    }
    if (status < 0) {
        Say(VornLog::kFailures, "EraseData failed checking the identity of device (error %d)", status);
        return kIdentityMismatch;
    }
    if (name.substr(0, DeviceInfo::kDeviceNameMax) != info_.deviceName.substr(0, DeviceInfo::kDeviceNameMax)) {
        Say(VornLog::kFailures, "EraseData: Identity mismatch. Class: %s, Device: %s", info_.deviceName.c_str(), name.c_str());
        return kIdentityMismatch;
    }
    std::string answer;
    status = DeviceCommand("yes\r", terminator, kEraseTimeoutMs, &answer, kEraseAnswerBytes);
    if (status > 0) {
        if (answer.find("OK") != std::string::npos) {
            Say(VornLog::kDetails, "InitializeDevice erased device data (%d ms)", lastElapsedMs_);
            return 1;
        }
        status = answer.find("DataFlash FAIL") != std::string::npos ? int32_t{kBrokenDataFlash} : int32_t{vorn::kNotUnderstood};
    }
    if (status == vorn::kDeviceError || status == vorn::kTriesUsedUp || status == vorn::kPortClosed)
        status = kBrokenDataFlash;
    if (status == kBrokenDataFlash)
        Say(VornLog::kFailures, "EraseData failed due to a broken DataFlash (%d ms)", lastElapsedMs_);
    else
        Say(VornLog::kFailures, "EraseData failed with error %d (%d ms)", status, lastElapsedMs_);
    return status;
}
