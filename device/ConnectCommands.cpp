// Connection procedures: connect, wake, query, login, identification, baud change and
// disconnect, over a direct serial line (type 10) or through a radio modem (type 30).
#include <algorithm>
#include <cstdint>
#include <cctype>
#include <cstdio>

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

// "2.04" read as {2, 0, 4} -> 204. A major number of any length is read: held to the int32
// range first, its hundredfold cannot overflow, and the result clamps as the true value would.
int32_t VersionNumber(const int64_t (&numbers)[3]) {
    const int64_t major = std::clamp<int64_t>(numbers[0], INT32_MIN, INT32_MAX);
    return vorn::protocol::scan::ClampInt32(major * 100 + numbers[1] * 10 + numbers[2]);
}

constexpr int32_t kMinSupportedOldVersion = 110;
constexpr size_t kIdentityWordMax = 31;
constexpr size_t kBslBannerMin = 4;  // "+95+": a bootloader answering its version request

struct TypeRow {
    const char* word;  // identity word of "get -ver", upper case
    LoggerType type;
};
// In the order the identity words are compared.
constexpr TypeRow kIdentityWords[] = {
    {"KT7", LT_KT7},   {"KT7R", LT_KT7R}, {"KT72", LT_KT72}, {"QV", LT_QV},   {"RL", LT_RL},
    {"GLX", LT_GLX},   {"MOSSY_CAL", LT_MOSSY_CAL}, {"RW", LT_RW}, {"ZQ8", LT_ZQ8}, {"MYR", LT_MYR},
};

constexpr const char* kTypeNames[] = {
    "Unknown", "Unknown Logger", "Kt7", "Kt72", "Quillon", "Ravelin", "Kt7r",
    "Generic", "MOSSY Comm Dev", "MOSSY Calibrator", "Readwell", "zQ8", "MYR4",
};

// The device's own numbering of line speeds for "set -baud": the baud table from 9600 on.
int DeviceBaudNumber(uint32_t rate) {
    for (size_t code = kBaudCode9600; code < kBaudTable.size(); ++code)
        if (kBaudTable[code] == rate) return static_cast<int>(code - kBaudCode9600);
    return -1;
}

bool SafeName(std::string_view name) {
    for (char c : name) {
        unsigned char code = static_cast<unsigned char>(c);
        if (code <= 32 || code == 127) return false;
    }
    return true;
}

}  // namespace

std::string_view LoggerTypeName(uint8_t type) {
    return type < std::size(kTypeNames) ? kTypeNames[type] : kTypeNames[LT_UNKNOWN];
}

void MOSSY_Protocol::ForgetConnection() {
    request_.connectionType = kConnectionNone;
    VSClose();
    owedAnswers_ = 0;
    heardFromDevice_ = false;
}

int32_t MOSSY_Protocol::Connect(ConnectRequest* request) {
    if (!request) return vorn::kMissingArgument;
    if (state_ < 0) return vorn::kOutOfMemory;
    info_.Clear();
    resets_ = 0;

    switch (request->connectionType) {
        case kConnectionSerial: tries_ = options_.serialTries; break;
        case kConnectionRadio: tries_ = options_.radioTries; break;
        case kConnectionNone: return vorn::kOutOfRange;
        case 20: case 40: case 100: case 110: case 120: return vorn::kNotApplicable;
        default: return vorn::kMissingArgument;
    }
    if (request->baudCode == 0) request->baudCode = kBaudCode9600;
    // A code outside the table would index past it: refuse it before anything is opened.
    if (request->baudCode >= kBaudTable.size()) return vorn::kOutOfRange;

    if (!Connected()) {
        int32_t status = VSOpen(request->portName, kBaudTable[kBaudCode9600]);
        if (status < 0) return status;
        owedAnswers_ = 0;
        heardFromDevice_ = false;
    }

    request_ = *request;
    request_.portName = vorn::Bounded(request->portName, ConnectRequest::kPortNameMax);
    request_.deviceName = vorn::Bounded(request->deviceName, ConnectRequest::kDeviceNameMax);
    request_.reserved = vorn::Bounded(request->reserved, ConnectRequest::kReservedMax);

    if (Radio() && request_.radioKnown) {
        tries_ = kRadioConfigTries;
        int32_t channel = request_.radioChannel;
        int32_t subchannel = request_.radioSubchannel;
        uint32_t mask = setting::kRadioChannel | setting::kRadioSubchannel;
        int32_t status = Qr4Config(&channel, &subchannel, nullptr, kSet, &mask);
        if (status != 1) {
            if (!options_.keepPortOpen) ForgetConnection();
            return kRadioCommandMode;
        }
        tries_ = options_.radioTries;
    }

    int32_t status = DeviceLogin(&request_.deviceName, request_.reserved, &request_.baudCode);
    request->baudCode = request_.baudCode;
    request->deviceName = request_.deviceName;
    if (status < 0 && !options_.keepPortOpen) ForgetConnection();
    return status;
}

int32_t MOSSY_Protocol::SendWake() {
    bool reporting = options_.progressReporting;
    bool tooSlow = false;
    for (uint32_t packet = 0; packet < kWakePackets; ++packet) {
        const uint32_t sent = vorn::MsTimer();
        int32_t written = 0;
        // Ignored: one lost packet of 909 does not keep the logger asleep, and VSWrite logs
        // its own failure.
        (void)VSWrite("\r", 1, &written);
        uint32_t pause = kWakePacketPauseMs;
        if (reporting) {
            if (packet % kWakeReportEvery == 0 && !progress_(kWakePackets, packet, kPhaseRunning)) {
                Say(VornLog::kDetails, "SendWake canceled by user after sending %d of %d packets", static_cast<int>(packet),
                    static_cast<int>(kWakePackets));
                return vorn::kCancelled;
            }
            const uint32_t spent = vorn::MsTimer() - sent;
            if (spent >= kWakePacketPauseMs) {
                // Reporting costs more than the gap between packets: stop reporting.
                pause = 0;
                reporting = false;
                tooSlow = true;
            } else {
                pause = kWakePacketPauseMs - spent;
            }
        }
        vorn::MsDelay(pause);
    }
    if (tooSlow) Say(VornLog::kDetails, "SendWake executing too slow to send status (PIG status)!");
    Say(VornLog::kDetails, "SendWake sent %d packets", static_cast<int>(kWakePackets));
    if (options_.progressReporting) progress_(kWakePackets, kWakePackets, kPhaseFinished);
    return 1;
}

int32_t MOSSY_Protocol::QueryCommand(std::string* name) {
    if (!name) return vorn::kMissingArgument;
    const uint32_t remembered = std::max<uint32_t>(tries_, 1);
    tries_ = 1;  // every query is one exchange
    int32_t status = vorn::kPortClosed;
    bool nameValid = false;
    for (uint32_t attempt = 1; attempt <= remembered; ++attempt) {
        if (!ReportProgress(remembered, attempt, kPhaseQueryTry)) {
            status = vorn::kCancelled;
            break;
        }
        std::string answer;
        status = DeviceCommand("\rquery\r", '\r', kQueryTimeoutMs, &answer, kQueryAnswerBytes);
        if (status > 0) {
            *name = scan::UpToCR(answer, 0, DeviceInfo::kDeviceNameMax);
            nameValid = CheckDeviceName(*name) > 0;
            if (nameValid) break;
            continue;
        }
        if (status == vorn::kEchoed) break;
    }
    tries_ = remembered;

    if (status > 0 && !nameValid) {
        // Only answers that cannot be a logger's name: nobody usable answered.
        status = vorn::kNotUnderstood;
        name->clear();
    }
    if (status > 0) {
        Say(VornLog::kDetails, "QueryCommand heard from: %s (%d ms)", name->c_str(), lastElapsedMs_);
        vorn::MsDelay(kQueryHeardPauseMs);
        return 1;
    }
    switch (status) {
        case vorn::kCancelled: Say(VornLog::kDetails, "QueryCommand canceled by user"); return vorn::kCancelled;
        case vorn::kEchoed:
            Say(VornLog::kFailures, "QueryCommand is hearing \"query\" -- a relay must be active (%d ms)", lastElapsedMs_);
            return vorn::kRelayActive;
        case vorn::kPortClosed:
            Say(VornLog::kDetails, "QueryCommand didn't get any answers after %d tries (%d ms)", static_cast<int>(remembered),
                lastElapsedMs_);
            return vorn::kTriesUsedUp;
        default: Say(VornLog::kFailures, "QueryCommand failed with error %d (%d ms)", status, lastElapsedMs_); return status;
    }
}

int32_t MOSSY_Protocol::LoginCommand(std::string_view name) {
    lastElapsedMs_ = 0;
    if (name.size() > DeviceInfo::kDeviceNameMax) {
        Say(VornLog::kFailures, "LoginCommand: Device name %s is wrong length (%d characters)", std::string(name).c_str(),
            static_cast<int>(name.size()));
        return kNameTooLong;
    }
    // A line end inside the name would send a second command.
    if (!SafeName(name)) {
        Say(VornLog::kFailures, "LoginCommand: Device name cannot be sent (error %d)", kNameBadCharacter);
        return kNameBadCharacter;
    }
    const std::string line = name.empty() ? std::string("login\r") : "login " + std::string(name) + "\r";
    std::string kept;
    int32_t status = DeviceCommand(line, '>', kCommandTimeoutMs, &kept, kLoginAnswerBytes);
    if (status == vorn::kEmptyAnswer) return 1;  // only the prompt came back
    if (status < 0) return status;
    return kept.find('>') != std::string::npos ? 1 : vorn::kNotUnderstood;
}

int32_t MOSSY_Protocol::DeviceLogin(std::string* name, const std::string& /*reserved*/, uint8_t* baudCode) {
    if (!name || !baudCode) return vorn::kMissingArgument;
    if (Baud() != kBaudTable[kBaudCode9600]) {
        int32_t status = VSHostBaud(kBaudTable[kBaudCode9600]);
        if (status < 0) {
            Say(VornLog::kDetails, "DeviceLogin: host reports it can't change baud (error %d)", status);
            return vorn::kNoConnection;
        }
    }

    if (Radio()) {
        int32_t result = 1;
        bool wakeAllowed = true;
        for (;;) {
            bool login = !name->empty();
            if (!login) {
                std::string heard;
                int32_t status = QueryCommand(&heard);
                if (status > 0) {
                    *name = heard;
                    login = true;
                } else if (status == vorn::kCancelled) {
                    return vorn::kCancelled;
                } else if (status != vorn::kPortClosed && status != vorn::kTriesUsedUp) {
                    result = status;
                    break;
                }
            }
            if (login) {
                int32_t status = LoginCommand(*name);
                if (status > 0) {
                    vorn::StoreBounded(info_.deviceName, *name, DeviceInfo::kDeviceNameMax);
                    result = 1;
                    break;
                }
                if (status != vorn::kPortClosed) {
                    result = status;
                    break;
                }
            }
            if (!wakeAllowed) break;
            wakeAllowed = false;
            if (SendWake() == vorn::kCancelled) return vorn::kCancelled;
        }
        if (result == vorn::kTriesUsedUp || result == vorn::kPortClosed) {
            Say(VornLog::kDetails, "DeviceLogin: nothing is listening over the radio");
            return vorn::kNoConnection;
        }
        if (result == vorn::kEchoed) {
            Say(VornLog::kFailures, "DeviceLogin thinks a relay must be active");
            return vorn::kRelayActive;
        }
        if (result < 0) {
            Say(VornLog::kDetails, "DeviceLogin failed with error %d", result);
            return result;
        }
        if (info_.deviceName.empty()) {
            Say(VornLog::kDetails, "DeviceLogin: nothing is listening over the radio");
            return vorn::kNoConnection;
        }
        *baudCode = kBaudCode9600;
        Say(VornLog::kDetails, "DeviceLogin communicating with a device running %s at %d baud", info_.versionText.c_str(),
            static_cast<int>(Baud()));
        return 1;
    }

    int32_t status = VerCommand(1);
    if (status > 0) {
        if (info_.capabilities & capability::kBaudChange) {
            const uint32_t rate = *baudCode < kBaudTable.size() ? kBaudTable[*baudCode] : 0;
            if (rate == Baud()) {
                *baudCode = kBaudCode9600;
            } else {
                int32_t changed = SetBaudCommand(rate);
                if (changed < 0) {
                    Say(VornLog::kDetails, "DeviceLogin: device didn't change baud rate (error %d)", changed);
                    *baudCode = kBaudCode9600;
                } else {
                    // A rate the device cannot number was sent as 9600: follow the device.
                    const uint32_t hostRate = DeviceBaudNumber(rate) >= 0 ? rate : kBaudTable[kBaudCode9600];
                    int32_t host = VSHostBaud(hostRate);
                    if (host < 0) {
                        Say(VornLog::kFailures, "DeviceLogin: host reports it can't change baud (error %d)", host);
                        return vorn::kNoConnection;
                    }
                    if (hostRate != rate) *baudCode = kBaudCode9600;
                }
            }
        } else {
            *baudCode = kBaudCode9600;
        }
        Say(VornLog::kDetails, "DeviceLogin communicating with a device running %s at %d baud", info_.versionText.c_str(),
            static_cast<int>(Baud()));
        return 1;
    }
    if (status == vorn::kPortClosed) {
        Say(VornLog::kDetails, "DeviceLogin: nothing is listening over the serial port");
        return vorn::kNoConnection;
    }
    Say(VornLog::kDetails, "DeviceLogin failed with error %d", status);
    return status;
}

int32_t MOSSY_Protocol::VerCommand(int skipShow) {
    if (info_.type == LT_KT7 && !info_.newFirmware) return ParseShowCommand(nullptr);

    const uint32_t timeout = Radio() ? kVerTimeoutRadioMs : kVerTimeoutSerialMs;
    int32_t result = 1;
    uint32_t badAnswers = 0;
    uint32_t attempt = 0;
    for (; attempt < tries_ + kVerExtraAttempts; ++attempt) {
        std::string answer;
        int32_t status = DeviceCommand("get -ver\r", '>', timeout, &answer, kSettingAnswerBytes);
        if (tries_ == 1 && status == vorn::kPortClosed) {
            result = vorn::kPortClosed;
            continue;
        }
        if (answer.size() >= 2 && answer[1] == '>' && answer[0] != '\0') {
            result = vorn::kEchoed;
            continue;
        }
        if (answer == "\r" || answer == ">") {
            result = vorn::kNotUnderstood;
            attempt = static_cast<uint32_t>(-1);  // the loop's increment brings it back to 0
            if (++badAnswers > kVerMaxBadAnswers) break;
            vorn::MsDelay(timeout);
            continue;
        }
        if (status > 0 || status == vorn::kDeviceError) {
            if (answer.find('.') != std::string::npos) {
                size_t start = answer.find_first_not_of('\r');
                size_t cr = start == std::string::npos ? std::string::npos : answer.find('\r', start);
                if (cr == std::string::npos) {
                    vorn::MsDelay(kVerRetryPauseMs);
                    continue;
                }
                info_.versionText = answer.substr(start, std::min<size_t>(cr - start, 20));
                std::string word = scan::Word(info_.versionText, 0, kIdentityWordMax);
                int64_t numbers[3] = {};
                size_t afterWord = info_.versionText.find(word) + word.size();
                int fields = word.empty() ? 0 : 1 + scan::Scan(info_.versionText, afterWord, "d.11", numbers, 3);
                if (fields < 3) {
                    result = vorn::kNotUnderstood;
                    vorn::MsDelay(kVerRetryPauseMs);
                    continue;
                }
                info_.version = VersionNumber(numbers);
                info_.newFirmware = true;
                std::transform(word.begin(), word.end(), word.begin(),
                               [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
                info_.type = LT_UNKNOWN;
                for (const TypeRow& row : kIdentityWords)
                    if (word == row.word) {
                        info_.type = row.type;
                        break;
                    }
                info_.typeName = std::string(LoggerTypeName(info_.type));
                SetCapabilities();
                Say(VornLog::kDetails, "VerCommand found \"%s\" ver %d (%d ms)", info_.versionText.c_str(), info_.version,
                    lastElapsedMs_);
                result = 1;
                break;
            }
            if (answer.find('+') != std::string::npos) {
                size_t start = answer.find_first_not_of('\r');
                if (start != std::string::npos && answer[start] == '+' && answer.size() - start >= kBslBannerMin) {
                    result = vorn::kBslActive;
                    break;
                }
                continue;
            }
            if (answer.find('$') != std::string::npos) {
                if (result == vorn::kBslWaiting) break;
                result = vorn::kBslWaiting;
                vorn::MsDelay(kBootloaderWaitingPauseMs);
                continue;
            }
            if (status == vorn::kDeviceError) {
                if (result == 1) {
                    result = vorn::kNotUnderstood;
                    vorn::MsDelay(kVerRetryPauseMs);
                    continue;
                }
                // Refused twice: old firmware that only knows "show".
                info_.newFirmware = false;
                info_.type = LT_KT7;
                info_.typeName = std::string(LoggerTypeName(LT_KT7));
                Say(VornLog::kDetails, "VerCommand found Kt7 with old firmware (%d ms)", lastElapsedMs_);
                if (!skipShow) ParseShowCommand(nullptr);
                SetCapabilities();
                result = 1;
                break;
            }
            result = vorn::kNotUnderstood;
            Say(VornLog::kDetails, "VerCommand couldn't deciper \"%s\" (%d ms)", answer.c_str(), lastElapsedMs_);
            continue;
        }
        if (status == vorn::kPortClosed) {
            result = vorn::kPortClosed;
            break;
        }
        result = status;
    }
    if (result < 0) {
        Say(VornLog::kFailures, "VerCommand failed with error %d (%d ms)", result, lastElapsedMs_);
        info_.newFirmware = false;
        info_.type = LT_UNKNOWN;
        info_.versionText.clear();
        info_.version = 0;
    }
    return result;
}

int32_t MOSSY_Protocol::ParseShowCommand(std::string* name) {
    if (info_.type != LT_KT7 || info_.newFirmware) {
        Say(VornLog::kFailures, "ParseShowCommand doesn't work with devices running \"new\" firmware.");
        return vorn::kOutOfRange;
    }
    std::string answer;
    int32_t status = DeviceCommand("show\r", '>', kCommandTimeoutMs, &answer, kShowAnswerBytes);
    int errors = 0;
    if (status > 0) {
        // Each value starts after its label, the colon and one space.
        auto valueAt = [&answer](const char* label) -> size_t {
            size_t at = answer.find(label);
            return at == std::string::npos ? std::string::npos : at + std::char_traits<char>::length(label) + 1;
        };
        if (size_t at = valueAt("ID:"); at != std::string::npos) {
            std::string word = scan::Word(answer, at, DeviceInfo::kDeviceNameMax);
            if (name) {
                if (word.empty()) return vorn::kNotUnderstood;
                *name = word;
                return 1;
            }
            if (word.empty())
                errors |= 1;
            else
                info_.deviceName = word;
        } else if (name) {
            return vorn::kNotUnderstood;
        }
        if (size_t at = valueAt("Version:"); at != std::string::npos) {
            std::string word = scan::Word(answer, at, 20);
            int64_t numbers[3] = {};
            int fields = word.empty() ? 0 : scan::Scan(word, 0, "d.11", numbers, 3);
            if (word.empty() || fields < 2) {
                errors |= 2;
            } else {
                info_.versionText = word;
                info_.version = VersionNumber(numbers);
            }
        }
        // A version that is too old, or that could not be read, is not one to work with.
        if (info_.version < kMinSupportedOldVersion) return vorn::kNotApplicable;
        struct Number {
            const char* label;
            int bit;
            int64_t* store;
        };
        int64_t radio = 0, wake = 0, resets = 0;
        const Number numbers[] = {{"Radio:", 4, &radio}, {"Wake:", 8, &wake}, {"Resets:", 16, &resets}};
        for (const Number& n : numbers) {
            size_t at = valueAt(n.label);
            if (at == std::string::npos) continue;
            if (scan::Scan(answer, at, "d", n.store, 1) != 1) {
                errors |= n.bit;
                continue;
            }
            if (n.store == &radio) info_.radioMode = scan::ClampInt32(radio);
            if (n.store == &wake) info_.measurementInterval = scan::ClampInt32(wake);
            if (n.store == &resets) resets_ = static_cast<uint32_t>(std::clamp<int64_t>(resets, 0, UINT32_MAX));
        }
    }
    info_.serialNumber.clear();
    if (status < 0 || errors) {
        Say(VornLog::kFailures, "ParseShowCommand failed with errors %d and %d (%d ms)", status, errors, lastElapsedMs_);
        info_.deviceName.clear();
        info_.version = -1;
        info_.versionText.clear();
        info_.measurementInterval = -1;
        info_.radioMode = 0;
        return vorn::kNotUnderstood;
    }
    Say(VornLog::kFailures, "ParseShowCommand found %s:%s:%d:%d:%d (%d ms)", info_.deviceName.c_str(), info_.versionText.c_str(),
        info_.radioMode, info_.measurementInterval, static_cast<int>(resets_), lastElapsedMs_);
    return 1;
}

int32_t MOSSY_Protocol::SetBaudCommand(uint32_t rate) {
    lastElapsedMs_ = 0;
    if (!info_.newFirmware) {
        Say(VornLog::kDetails, "SetBaudCommand: device (%s) can't change baud rate", info_.deviceName.c_str());
        return vorn::kRefused;
    }
    int number = DeviceBaudNumber(rate);
    if (number < 0) {
        Say(VornLog::kDetails, "SetBaudCommand: unsupported baud rate %d, using 9600", static_cast<int>(rate));
        number = 0;
    }
    char line[32];
    std::snprintf(line, sizeof line, "set -baud %d\r", number);

    int32_t result = vorn::kPortClosed;
    for (uint32_t attempt = 0; attempt < std::max<uint32_t>(tries_, 1); ++attempt) {
        std::string answer;
        int32_t status = DeviceCommand(line, 'K', kCommandTimeoutMs, &answer, kSettingAnswerBytes);
        if (status == vorn::kPortClosed) {
            // Back to 9600 the device may switch before it answers: silence is its yes.
            if (rate == kBaudTable[kBaudCode9600]) {
                result = 1;
                break;
            }
            result = vorn::kPortClosed;
            if (Baud() == kBaudTable[kBaudCode9600]) vorn::MsDelay(kCommandTimeoutMs);
            continue;
        }
        if (status < 0) {
            result = status;
            continue;
        }
        if (answer.find("OK") != std::string::npos) {
            Say(VornLog::kDetails, "SetBaudCommand set device baud rate to %d (%d ms)", static_cast<int>(rate), lastElapsedMs_);
            result = 1;
            break;
        }
        if (answer.find("\r>") != std::string::npos) {
            result = vorn::kNotUnderstood;
            Say(VornLog::kDetails, "SetBaudCommand failed (heard prompt): trying again (%d ms)", lastElapsedMs_);
            continue;
        }
        Say(VornLog::kDetails, "SetBaudCommand failed: heard: %s (%d ms)", answer.c_str(), lastElapsedMs_);
        result = vorn::kNotUnderstood;
        break;
    }
    if (result < 0) Say(VornLog::kFailures, "SetBaudCommand failed with error %d (%d ms)", result, lastElapsedMs_);
    vorn::MsDelay(kBaudSettlePauseMs);
    return result;
}

int32_t MOSSY_Protocol::DisconnectDevice() {
    if (!Connected()) return 0;
    int32_t result = 1;
    if (!Radio()) {
        if (Baud() != kBaudTable[kBaudCode9600]) SetBaudCommand(kBaudTable[kBaudCode9600]);
    } else {
        result = vorn::kTriesUsedUp;
        const std::string login = "login " + info_.deviceName + "\r";
        for (uint32_t attempt = 0; attempt < std::max<uint32_t>(tries_, 1); ++attempt) {
            VSFlush(1);
            answer_.clear();
            int32_t written = 0;
            // Ignored, like the read's status below: only whether the logger still answers
            // counts, and a port that cannot be written or read hears nothing (count 0),
            // which ends the loop as disconnected. VSWrite and VSRead log their own failures.
            (void)VSWrite("logout\r", &written);
            vorn::MsDelay(kLogoutPauseMs);
            (void)VSWrite(login, &written);
            char heard[kDisconnectReadBytes];
            int32_t count = 0;
            (void)VSRead(heard, sizeof heard, &count);
            if (count <= 0) {
                result = 1;  // the logger no longer listens
                break;
            }
            Say(VornLog::kDetails, "DisconnectDevice: Device didn't disconnect, retrying");
        }
    }
    info_.Clear();
    resets_ = 0;
    if (options_.keepPortOpen) {
        int32_t status = VSHostBaud(kBaudTable[kBaudCode9600]);
        if (status < 0) {
            ForgetConnection();
            Say(VornLog::kFailures, "DisconnectDevice: Error setting host baud rate; can't keep port open (error %d)", status);
        }
    } else {
        ForgetConnection();
    }
    if (result > 0) Say(VornLog::kDetails, "DisconnectDevice successful");
    return result;
}
