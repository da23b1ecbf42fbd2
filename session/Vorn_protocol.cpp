// The instrument session: connection, login, battery, firmware check, clock and erase.
// Instrument values are in InstInfoSession.cpp, record lists in RecordsSerial.cpp and the
// settings file in SettingsFileSession.cpp.
#include "session/Vorn_protocol.h"
#include "serial/WireTranscript.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include "device/AnswerScan.h"
#include "device/ProtocolConstants.h"
#include "session/FamilyTable.h"
#include "session/SessionConstants.h"
#include "session/SettingsFile.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::session;
using vorn::Format;

namespace {

bool RealSystemClock(std::time_t* t, int* error) {
    errno = 0;
    std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) {
        *error = errno;
        return false;
    }
    *t = now;
    return true;
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

Vorn_protocol::Vorn_protocol(VornLog* log)
    : log_(log),
      connection_(std::make_unique<MOSSY_Protocol>(log)),
      sensor_(std::make_unique<VornSDI12>(log, connection_.get())),
      clock_(RealSystemClock) {}

Vorn_protocol::~Vorn_protocol() {
    // The sensor refers to the connection: release it first.
    sensor_.reset();
    connection_.reset();
}

void Vorn_protocol::SetSystemClock(SystemClock clock) { clock_ = clock ? std::move(clock) : SystemClock(RealSystemClock); }

void Vorn_protocol::Say(uint32_t level, const char* format, ...) {
    if (!log_ || level > log_->Level()) return;
    va_list args;
    va_start(args, format);
    std::string text = vorn::FormatV(format, args);
    va_end(args);
    log_->Log(level, kLogTag, "%s", text.c_str());
}

int32_t Vorn_protocol::Command(const std::string& command, uint32_t timeoutMs, std::string* answer, int32_t* elapsedMs) {
    std::string scratch;
    int32_t ms = 0;
    int32_t rc = connection_->DeviceCommand(command, '>', timeoutMs, answer ? answer : &scratch, kShortAnswerBytes, &ms);
    if (elapsedMs) *elapsedMs = ms;
    return rc;
}

// ===================================================================== connect

std::string Vorn_protocol::SerialNumber() const {
    return vorn::settingsfile::LayoutOf(family_) == vorn::settingsfile::Layout::Logger ? info_.serialNumber
                                                                                      : inst_.serialNumber;
}

int32_t Vorn_protocol::VPConnect(const std::string& port, int baudCode, int tries, DeviceProfile* profile) {
    if (port.empty() || !profile) return vorn::kMissingArgument;

    ConnectOptions options{};
    options.keepPortOpen = false;
    options.serialTries = tries < 0 ? vorn::protocol::kMaxTries + 1 : static_cast<uint32_t>(tries);
    options.radioTries = 0;
    options.progressReporting = false;
    options.trace = 0;
    options.extraWaitMs = 0;
    int32_t rc = connection_->Options(&options, vorn::protocol::Direction::kSet);
    if (rc < 0) {
        Say(VornLog::kFailures, "VPConnect received error %d trying to configure MOSSY_Prototcol", rc);
        return rc;
    }

    ConnectRequest request{};
    request.portName = vorn::Bounded(port, ConnectRequest::kPortNameMax);
    request.connectionType = vorn::protocol::kConnectionSerial;
    request.baudCode = static_cast<uint8_t>(baudCode < 0 ? 0 : baudCode);
    rc = connection_->Connect(&request);

    DeviceInfo identity{};
    if (rc >= 0) {
        uint32_t mask = 0;
        int32_t st = connection_->DeviceSettings(&identity, &mask, vorn::protocol::Direction::kGet);
        rc = st < 0 ? st : IdentifyDevice(identity.versionText, profile);
    }

    if (rc > 0 && !profile->versionSupported) {
        Say(VornLog::kFailures, "VPConnect this firmware version is not supported");
        return vorn::kNotSupported;
    }
    if (rc == vorn::kNoConnection) {
        Say(VornLog::kMilestones, "VPConnect couldn't connect.");
        return rc;
    }
    if (rc == vorn::kBslActive || rc == vorn::kBslWaiting) {
        Say(VornLog::kMilestones, "VPConnect found the VornBSL listening (%d)", rc);
        return rc;
    }
    if (rc == vorn::kNotUnderstood || rc == vorn::kEchoed) {
        Say(VornLog::kFailures, "VPConnect this device must not be supported");
        return vorn::kNotSupported;
    }
    if (rc < 0) {
        Say(VornLog::kFailures, "VPConnect received error %d trying to connect to device", rc);
        return rc;
    }
    info_.type = identity.type;
    info_.typeName = identity.typeName;
    info_.versionText = identity.versionText;
    info_.version = identity.version;
    info_.newFirmware = true;
    family_ = profile->family;
    profile_ = *profile;
    Say(VornLog::kMilestones, "VPConnect successfully connected to device");
    return rc;
}

// ===================================================================== login

int32_t Vorn_protocol::VPLogin() {
    char login[32];
    std::snprintf(login, sizeof login, "login %s", kLoginPassword);
    int32_t status = vorn::kLoginRefused;
    int32_t ms = 0;
    bool confirmed = false;
    // Refused: "ERROR", or an answer that is only the prompt (the device library asks
    // again after an "ERROR", and the instrument answers the bare line end with its prompt).
    bool refused = false;
    for (uint32_t attempt = 0; attempt < kLoginAttempts && !confirmed; ++attempt) {
        connection_->VSFlush(1);
        // The instrument's login prompt takes typed characters, not a pasted line.
        for (const char* c = login; *c; ++c) {
            int32_t written = 0;
            // A character that is not written leaves the login unconfirmed: the answer
            // read below decides, and the attempt is made again.
            (void)connection_->VSWrite(c, 1, &written);
            vorn::SleepMs(kLoginCharPauseMs);
        }
        for (uint32_t i = 0; i < kLoginSettlePauses; ++i) vorn::SleepMs(kLoginSettlePauseMs);
        std::string answer;
        status = connection_->DeviceCommand(kLoginEnter, '>', kLoginTimeoutMs, &answer, kShortAnswerBytes, &ms);
        confirmed = status > 0 && (Contains(answer, "OK") || Contains(answer, kLoginConfirm));
        const bool bare = answer.find_first_not_of(" \r\n>") == std::string::npos;
        if (!confirmed) refused = status == vorn::kDeviceError || (status > 0 && bare);
    }
    if (!confirmed && refused) {
        Say(VornLog::kFailures, "VPConnect couldn't log into the device (%d ms)", ms);
        return vorn::kLoginRefused;
    }
    if (status < 0) {
        Say(VornLog::kFailures, "VPConnect couldn't log into the device (%d ms)", ms);
        return vorn::kLoginRefused;
    }
    // Some instruments answer their login in other words. A login that did not take is
    // caught by the settings read that follows; refusing here would block their updates.
    if (!confirmed)
        Say(VornLog::kFailures, "VPLogin: the device answered without \"OK\" or \"8405\"; going on as logged in (%d ms)",
            ms);
    Say(VornLog::kFailures, "VPConnect successfully loged into the device (%d ms)", ms);
    return confirmed ? 1 : status;
}

int32_t Vorn_protocol::VPLogout(bool sendLogout) {
    if (sendLogout && profile_.loginBeforeSettings) Command("logout\r", kLogoutTimeoutMs, nullptr, nullptr);
    int32_t rc = connection_->DisconnectDevice();
    vorn::MsDelay(kAfterDisconnectPauseMs);
    return rc;
}

// ===================================================================== checks

int32_t Vorn_protocol::VPCheckBattery(int32_t* percent) {
    if (!percent) return vorn::kMissingArgument;
    std::string answer;
    int32_t ms = 0;
    int32_t rc = Command("get -batt\r", kBatteryTimeoutMs, &answer, &ms);
    if (rc <= 0) {
        *percent = kBatteryUnknown;
        return rc;
    }
    int value = 0;
    if (std::sscanf(answer.c_str(), "%d", &value) == 1) {
        *percent = value;
        Say(VornLog::kMilestones, "VPCheckBattery: %d%% battery (%d ms)", value, ms);
        return 1;
    }
    Say(VornLog::kFailures, "VPCheckBattery failed to parse battery power (%d ms)", ms);
    return vorn::kNotUnderstood;
}

int32_t Vorn_protocol::VPCheckFirmware(bool init) {
    std::string answer;
    int32_t rc = Command(init ? "post -init\r" : "post\r", kPostTimeoutMs, &answer, nullptr);
    if (rc <= 0) {
        Say(VornLog::kFailures, "VPCheckFirmware can't determine firmware code status (error %d)", rc);
        return rc;
    }
    if (Contains(answer, "Code Good!")) {
        Say(VornLog::kMilestones, "VPCheckFirmware: Device reports good firmware code!");
        return 1;
    }
    if (Contains(answer, "Code Corrupt!")) {
        Say(VornLog::kFailures, "VPCheckFirmware: Device reports corrupt firmware code!");
        return kFirmwareCorrupt;
    }
    Say(VornLog::kFailures, "VPCheckFirmware can't determine firmware code status");
    return vorn::kNotUnderstood;
}

// ===================================================================== erase and clock

int32_t Vorn_protocol::VPEraseData() {
    switch (FactsOf(family_).erase) {
        case EraseMode::Library: return connection_->EraseData();
        case EraseMode::None: return vorn::kNotApplicable;
        case EraseMode::Yes: break;
    }

    std::string answer;
    int32_t ms = 0;
    int32_t rc = Command("yes\r", kEraseTimeoutMs, &answer, &ms);
    if (rc > 0) {
        if (Contains(answer, "OK"))
            rc = 1;
        else if (Contains(answer, "DataFlash FAIL"))
            rc = vorn::protocol::kBrokenDataFlash;
        else
            rc = vorn::kNotUnderstood;
    }
    if (rc > 0)
        Say(VornLog::kMilestones, "VPEraseData erased device data (%d ms)", ms);
    else if (rc == vorn::protocol::kBrokenDataFlash)
        Say(VornLog::kFailures, "VPEraseData failed due to a broken DataFlash (%d ms)", ms);
    else
        Say(VornLog::kFailures, "VPEraseData failed with error %d (%d ms)", rc, ms);
    return rc;
}

int32_t Vorn_protocol::VPSetTime() {
    if (!profile_.setClockAfterUpdate) return vorn::kNotApplicable;
    // The time sent is the time of this run: a replay of its transcript lets it differ.
    const vorn::serial::VaryingLines varying(connection_->Transcript());
    int32_t rc = 0;
    int32_t ms = 0;
    long value = 0;
    if (FactsOf(family_).clock == ClockMode::Seconds) {
        std::time_t now = 0;
        int error = 0;
        if (!clock_(&now, &error)) {
            Say(VornLog::kFailures, "VPSetTime failed to get system time with error %d", error);
            return vorn::kNotUnderstood;
        }
        value = static_cast<long>(static_cast<int64_t>(now) + vorn::LocalUtcOffset() - kUnixTo2000);
        char command[48];
        std::snprintf(command, sizeof command, "set -sec %ld\r", value);
        std::string answer;
        rc = Command(command, kSetSecondsTimeoutMs, &answer, &ms);
        // An exchange the device did not accept has not set the clock.
        if (rc > 0 && !Contains(answer, "OK")) rc = vorn::kNotUnderstood;
    } else {
        VornSeconds seconds = 0;
        rc = connection_->DeviceTime(&seconds, vorn::protocol::Direction::kSet);
        value = static_cast<long>(seconds);
        ms = connection_->LastElapsedMs();
    }
    if (rc > 0)
        Say(VornLog::kDetails, "VPSetTime set the time to: %ld", value);
    else
        Say(VornLog::kDetails, "VPSetTime got error %d (%d ms)", rc, ms);
    return rc;
}

// ===================================================================== values

int32_t Vorn_protocol::GetValueString(const std::string& command, uint32_t timeoutMs, std::string* destination,
                                      size_t maxChars) {
    if (!destination) return vorn::kMissingArgument;
    const std::string line = vorn::Bounded(command, kValueCommandMax - 1) + "\r";
    const std::string shown = vorn::Bounded(command, kValueCommandMax - 1);
    int32_t status = vorn::kNotUnderstood;
    int32_t ms = 0;
    std::string value;
    bool found = false;
    for (uint32_t attempt = 0; attempt < kValueAttempts && !found; ++attempt) {
        std::string answer;
        status = connection_->DeviceCommand(line, '>', timeoutMs, &answer, kValueAnswerBytes, &ms);
        // A clean empty answer is the instrument's: the value is empty, not lost on the line.
        if (status == vorn::kEmptyAnswer) break;
        if (status <= 0) continue;
        // The instruments' own refusal ("Error 4"); a value that holds the word is a value.
        if (vorn::protocol::scan::ALineStartsWith(answer, "Error")) {
            status = vorn::kNotUnderstood;
            continue;
        }
        size_t p = 0;
        if (p < answer.size() && answer[p] == '\r') ++p;
        if (p < answer.size() && answer[p] == '\n') ++p;
        size_t end = p;
        while (end < answer.size() && answer[end] != '\r' && end - p < maxChars) ++end;
        value = answer.substr(p, end - p);
        if (!value.empty() && value[0] == '>') {
            status = vorn::kNotUnderstood;
            Say(VornLog::kMilestones, "GetValueString found a leading prompt character executing command \"%s\" (%d ms)",
                shown.c_str(), ms);
            continue;
        }
        if (value.empty()) {
            status = vorn::kNotUnderstood;
            continue;
        }
        if (!vorn::IsPlainText(value)) {  // damaged on the line: asked again
            status = vorn::kNotUnderstood;
            Say(VornLog::kMilestones, "GetValueString found damaged text executing command \"%s\" (%d ms)",
                shown.c_str(), ms);
            continue;
        }
        found = true;
    }
    if (!found) {
        // Nothing half-read is kept: a field holds a device value or nothing.
        destination->clear();
        Say(VornLog::kMilestones, "GetValueString received error %d executing command \"%s\" (%d ms)", status,
            shown.c_str(), ms);
        return status;
    }
    *destination = value;
    Say(VornLog::kMilestones, "GetValueString found %s \"%s\" (%d ms)", shown.c_str(), value.c_str(), ms);
    return 1;
}

int32_t Vorn_protocol::GetValueLong(const std::string& command, uint32_t timeoutMs, int32_t* value) {
    if (!value) return vorn::kMissingArgument;
    const std::string line = vorn::Bounded(command, kValueCommandMax - 1) + "\r";
    const std::string shown = vorn::Bounded(command, kValueCommandMax - 1);
    int32_t status = vorn::kNotUnderstood;
    int32_t ms = 0;
    long number = 0;
    bool found = false;
    for (uint32_t attempt = 0; attempt < kValueAttempts && !found; ++attempt) {
        std::string answer;
        status = connection_->DeviceCommand(line, '>', timeoutMs, &answer, kValueAnswerBytes, &ms);
        if (status <= 0) continue;
        size_t cr = answer.find('\r');
        size_t p = cr == std::string::npos ? 0 : cr + 1;
        if (p < answer.size() && answer[p] == '\n') ++p;
        if (std::sscanf(answer.c_str() + p, "%ld", &number) == 1) {
            found = true;
        } else {
            status = vorn::kNotUnderstood;
        }
    }
    if (!found) {
        Say(VornLog::kMilestones, "GetValueLong received error %d executing command \"%s\" (%d ms)", status,
            shown.c_str(), ms);
        return status;
    }
    *value = static_cast<int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
    Say(VornLog::kMilestones, "GetValueLong found %s \"%ld\" (%d ms)", shown.c_str(), number, ms);
    return 1;
}

// ===================================================================== update sequence helpers

void Vorn_protocol::ClearSavedSettings() {
    info_.Clear();
    inst_.Clear();
    user_.Clear();
    eqn_.Clear();
    savedMask_ = 0;
    settingsSaved_ = false;
    savedInPart_ = false;
}

void Vorn_protocol::TakeIdentity(const DeviceInfo& live) {
    info_.type = live.type;
    info_.typeName = live.typeName;
    info_.newFirmware = live.newFirmware;
    info_.versionText = live.versionText;
    info_.version = live.version;
    info_.capabilities = live.capabilities;
}

void Vorn_protocol::PrepareSerialNumberOnlyRestore() {
    // Nothing was saved, so the identity the settings commands go by is the connected
    // device's own.
    if (info_.capabilities == 0) TakeIdentity(connection_->Info());
    settingsSaved_ = true;
    info_.valid = vorn::protocol::setting::kSerialNumber;
    savedMask_ = vorn::protocol::setting::kSerialNumber;
    inst_.valid = vorn::instinfo::kSerialNumber;
}
