// Radio channel (RCH), subchannel (RSCH) and radio version (RVER): through the logger's
// own commands (new firmware), the old firmware's "term" pass-through to its radio
// module, or the host computer's radio modem in AT command mode.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "device/AnswerScan.h"
#include "device/MOSSY_Protocol.h"
#include "common/Status.h"
#include "common/TableFormat.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::protocol;
using enum vorn::protocol::Direction;
namespace scan = vorn::protocol::scan;

namespace {

constexpr size_t kRadioVersionDigits = 4;
constexpr size_t kRadioVersionWordMax = 8;

std::string HexLine(const char* prefix, int32_t value) {
    char line[48];
    std::snprintf(line, sizeof line, "%s%X\r", prefix, static_cast<unsigned>(value));
    return line;
}

bool Has(const std::string& answer, const char* text) { return answer.find(text) != std::string::npos; }

// New firmware answers "OK", CR, then the value: it starts two characters after the
// first 'K' (at the start when there is none).
size_t ValueAfterOK(const std::string& answer) {
    size_t k = answer.find('K');
    return k == std::string::npos ? 0 : std::min(k + 2, answer.size());
}

bool FourHexDigits(const std::string& word) {
    if (word.size() != kRadioVersionDigits) return false;
    for (char c : word)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

int32_t MOSSY_Protocol::MSRadioCommand(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                                       uint32_t* mask) {
    lastElapsedMs_ = 0;
    if (!mask) return vorn::kMissingArgument;
    if (!(info_.capabilities & capability::kRadio)) {
        *mask = 0;
        return vorn::kRefused;
    }

    if (Radio()) {
        // Over the radio only the host's own modem can be asked, and nothing may be changed.
        if (direction == kSet) {
            *mask = 0;
            Say(VornLog::kDetails, "MSRadioCommand can't set radio parameters while connected over the radio");
            return kRefusedNow;
        }
        if (request_.radioKnown) {
            if (channel) *channel = request_.radioChannel;
            if (subchannel) *subchannel = request_.radioSubchannel;
            if (version) version->clear();
            *mask = setting::kRadioChannel | setting::kRadioSubchannel;
            Say(VornLog::kDetails, "MSRadioCommand knows the RCH is %d and RSCH is %d (can't get RVER)", request_.radioChannel,
                request_.radioSubchannel);
            return 1;
        }
        *mask = setting::kRadioChannel | setting::kRadioSubchannel;
        int32_t status = Qr4Config(channel, subchannel, version, kGet, mask);
        if (version) version->clear();
        Say(VornLog::kDetails, "MSRadioCommand asked the Qr4 and found the RCH is %d and RSCH is %d (can't get RVER)",
            channel ? *channel : 0, subchannel ? *subchannel : 0);
        return status;
    }

    if (!info_.newFirmware) {
        if (info_.type != LT_KT7) return vorn::kPortClosed;
        // "term" hands the line to the logger's radio module until the next "term".
        int32_t written = 0;
        // Ignored: VSWrite logs its own failure, and Qr4Config, which talks over the same
        // line next, finds a dead port itself and answers for it.
        (void)VSWrite("term\r", &written);
        vorn::MsDelay(kTermSwitchPauseMs);
        int32_t status = Qr4Config(channel, subchannel, version, direction, mask);
        vorn::MsDelay(kTermSwitchPauseMs);
        std::string answer;
        // The radio's own answer decides; a lost "term" shows on the logger's next command.
        (void)DeviceCommand("term\r", '>', kCommandTimeoutMs, &answer, kSettingAnswerBytes);
        return status;
    }
    return MSRadioNewFirmware(channel, subchannel, version, direction, mask);
}

int32_t MOSSY_Protocol::MSRadioNewFirmware(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                                           uint32_t* mask) {
    const uint32_t wanted = *mask;
    const uint32_t attempts = std::max<uint32_t>(tries_, 1);
    int32_t result = 1;
    uint32_t found = 0;
    uint32_t failed = 0;
    std::string answer;
    auto exchange = [&](const std::string& line) {
        return DeviceCommand(line, '>', kRadioValueTimeoutMs, &answer, kSettingAnswerBytes);
    };

    if (direction == kSet) {
        // Type 2 answers for the logger and for its module.
        const char* acceptance = info_.type == LT_KT7 ? "OK\r\rOK" : "OK";
        struct SetItem {
            uint32_t bit;
            int32_t* value;
            const char* prefix;
            vorn::FormatOf<int, int> log;  // the value, the milliseconds
        };
        const SetItem items[] = {
            {setting::kRadioChannel, channel, "set -rch ", "MSRadioCommand set rch to %d (%d ms)"},
            {setting::kRadioSubchannel, subchannel, "set -rsch ", "MSRadioCommand set rsch to %d (%d ms)"},
        };
        for (const SetItem& item : items) {
            if (!(wanted & item.bit) || !item.value) continue;  // "No Radio" ends only its own value
            for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
                int32_t status = exchange(HexLine(item.prefix, *item.value));
                if (status < 0) {
                    failed |= item.bit;
                    result = status;
                    break;
                }
                if (Has(answer, "No Radio")) {
                    failed |= item.bit;
                    result = vorn::kNoRadio;
                    break;
                }
                if (Has(answer, acceptance)) {
                    Say(VornLog::kDetails, "%s", item.log(static_cast<int>(*item.value), lastElapsedMs_).c_str());
                    found |= item.bit;
                    failed &= ~item.bit;
                    break;
                }
                failed |= item.bit;
            }
        }
    } else {
        if ((wanted & setting::kRadioVersion) && version) {
            for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
                int32_t status = exchange("get -rver\r");
                if (status == vorn::kEmptyAnswer) {
                    result = 0;  // the logger heard nothing from a radio
                    break;
                }
                if (status < 0) {
                    failed |= setting::kRadioVersion;
                    result = status;
                    break;
                }
                if (Has(answer, "No Radio")) {
                    failed |= setting::kRadioVersion;
                    result = vorn::kNoRadio;
                    version->clear();
                    break;
                }
                std::string word = scan::Word(answer, ValueAfterOK(answer), kRadioVersionWordMax);
                if (word.compare(0, 2, "00") == 0) {
                    failed |= setting::kRadioVersion;
                    result = vorn::kNoRadio;
                    version->clear();
                    break;
                }
                if (FourHexDigits(word)) {
                    vorn::StoreBounded(*version, word, DeviceInfo::kRadioVersionMax);
                    Say(VornLog::kDetails, "MSRadioCommand found rver %s (%d ms)", version->c_str(), lastElapsedMs_);
                    found |= setting::kRadioVersion;
                    failed &= ~setting::kRadioVersion;
                    break;
                }
                failed |= setting::kRadioVersion;
            }
            if (failed & setting::kRadioVersion) Say(VornLog::kDetails, "MSRadioCommand could not find rver (%d ms)", lastElapsedMs_);
        }
        struct GetItem {
            uint32_t bit;
            int32_t* value;
            const char* line;
            int64_t max;
            vorn::FormatOf<int, int> foundLog;
            vorn::FormatOf<int> missingLog;  // the milliseconds
        };
        const GetItem items[] = {
            {setting::kRadioChannel, channel, "get -rch\r", kMaxRadioChannel, "MSRadioCommand found rch %d (%d ms)",
             "MSRadioCommand could not find rch (%d ms)"},
            {setting::kRadioSubchannel, subchannel, "get -rsch\r", kMaxRadioSubchannel,
             "MSRadioCommand found rsch %d (%d ms)", "MSRadioCommand could not find rsch (%d ms)"},
        };
        for (const GetItem& item : items) {
            if (!(wanted & item.bit) || !item.value || result == vorn::kNoRadio) continue;
            for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
                int32_t status = exchange(item.line);
                if (status == vorn::kEmptyAnswer) {
                    result = 0;
                    failed |= item.bit;
                    break;
                }
                if (status < 0) {
                    failed |= item.bit;
                    result = status;
                    break;
                }
                if (Has(answer, "No Radio")) {
                    failed |= item.bit;
                    result = vorn::kNoRadio;
                    break;
                }
                int64_t value = 0;
                if (scan::Scan(answer, ValueAfterOK(answer), "x", &value, 1) == 1 && value >= 0 && value <= item.max) {
                    *item.value = static_cast<int32_t>(value);
                    found |= item.bit;
                    failed &= ~item.bit;
                    Say(VornLog::kDetails, "%s", item.foundLog(static_cast<int>(value), lastElapsedMs_).c_str());
                    break;
                }
                failed |= item.bit;
            }
            if (failed & item.bit) Say(VornLog::kDetails, "%s", item.missingLog(lastElapsedMs_).c_str());
        }
    }

    if ((result != 0 && result != vorn::kNoRadio) || found) {
        if (result < 0 || failed) {
            if (found)
                result = vorn::kPartlyDone;
            else if (result > 0)
                result = vorn::kNotUnderstood;  // nothing done is not a success
            Say(VornLog::kFailures, "MSRadioCommand failed with error %d setting %d (%d ms)", result, static_cast<int>(failed),
                lastElapsedMs_);
        }
    } else {
        Say(VornLog::kDetails, "MSRadioCommand couldn't find a radio (%d ms)", lastElapsedMs_);
    }
    *mask = found;
    return result;
}

int32_t MOSSY_Protocol::Qr4Config(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                                  uint32_t* mask) {
    lastElapsedMs_ = 0;
    if (!mask) return vorn::kMissingArgument;
    const uint32_t wanted = *mask;
    std::string answer;

    int32_t last = kRadioCommandMode;
    bool commandMode = false;
    for (uint32_t attempt = 0; attempt < kPlusAttempts && !commandMode; ++attempt) {
        last = DeviceCommand("+++", 'K', kPlusTimeoutMs, &answer, kSettingAnswerBytes);
        if (last > 0 && Has(answer, "OK"))
            commandMode = true;
        else if (last > 0)
            last = kRadioCommandMode;
    }
    if (!commandMode) {
        Say(VornLog::kFailures, "Qr4Config failed to get into AT command mode: %d (%d ms)", last, lastElapsedMs_);
        *mask = 0;
        return kRadioCommandMode;
    }

    int32_t result = 1;
    uint32_t found = 0;
    int failures = 0;
    if (direction == kSet) {
        struct SetItem {
            uint32_t bit;
            int32_t* value;
            const char* prefix;
            int failure;
            vorn::FormatOf<int, int> log;  // the value, the milliseconds
        };
        const SetItem items[] = {
            {setting::kRadioChannel, channel, "ATHP", 1, "Qr4Config set rch to %d (%d ms)"},
            {setting::kRadioSubchannel, subchannel, "ATDT", 2, "Qr4Config set rsch to %d (%d ms)"},
        };
        for (const SetItem& item : items) {
            if (!(wanted & item.bit) || !item.value) continue;
            int32_t status = DeviceCommand(HexLine(item.prefix, *item.value), 'K', kCommandTimeoutMs, &answer,
                                           kSettingAnswerBytes);
            if (status > 0 && Has(answer, "OK")) {
                Say(VornLog::kDetails, "%s", item.log(static_cast<int>(*item.value), lastElapsedMs_).c_str());
                found |= item.bit;
            } else {
                failures += item.failure;
                if (status < 0) result = status;
            }
        }
        int32_t status = DeviceCommand("ATWR\r", 'K', kAtWriteTimeoutMs, &answer, kSettingAnswerBytes);
        if (status > 0 && Has(answer, "OK")) {
            Say(VornLog::kDetails, "Qr4Config saved configuration (%d ms)", lastElapsedMs_);
            result = 1;
        } else {
            failures += 8;
        }
    } else {
        struct GetItem {
            uint32_t bit;
            int32_t* value;
            const char* line;
            int failure;
            vorn::FormatOf<int, int> foundLog;
            vorn::FormatOf<int> missingLog;  // the milliseconds
        };
        const GetItem items[] = {
            {setting::kRadioChannel, channel, "ATHP\r", 1, "Qr4Config found rch %d (%d ms)",
             "Qr4Config could not find rch (%d ms)"},
            {setting::kRadioSubchannel, subchannel, "ATDT\r", 2, "Qr4Config found rsch %d (%d ms)",
             "Qr4Config could not find rsch (%d ms)"},
        };
        for (const GetItem& item : items) {
            if (!(wanted & item.bit) || !item.value) continue;
            int32_t status = DeviceCommand(item.line, '\r', kCommandTimeoutMs, &answer, kSettingAnswerBytes);
            int64_t value = 0;
            if (status > 0 && scan::Scan(answer, 0, "x", &value, 1) == 1) {
                *item.value = scan::ClampInt32(value);
                found |= item.bit;
                Say(VornLog::kDetails, "%s", item.foundLog(static_cast<int>(*item.value), lastElapsedMs_).c_str());
            } else {
                Say(VornLog::kDetails, "%s", item.missingLog(lastElapsedMs_).c_str());
                failures += item.failure;
            }
        }
        if ((wanted & setting::kRadioVersion) && version) {
            int32_t status = DeviceCommand("ATVR\r", '\r', kCommandTimeoutMs, &answer, kSettingAnswerBytes);
            std::string word = status > 0 ? scan::Word(answer, 0, kRadioVersionWordMax) : std::string();
            if (!word.empty()) {
                vorn::StoreBounded(*version, word, DeviceInfo::kRadioVersionMax);
                found |= setting::kRadioVersion;
                Say(VornLog::kDetails, "Qr4Config found rver %s (%d ms)", version->c_str(), lastElapsedMs_);
            } else {
                Say(VornLog::kDetails, "Qr4Config could not find rver (%d ms)", lastElapsedMs_);
                failures += 4;
            }
        }
    }

    int32_t status = DeviceCommand("ATCN\r", 'K', kCommandTimeoutMs, &answer, kSettingAnswerBytes);
    if (status > 0 && !Has(answer, "OK")) status = vorn::kRefused;
    if (status < 0) {
        Say(VornLog::kFailures, "Qr4Config failed to get out of AT command mode: %d (%d ms)", status, lastElapsedMs_);
        return status;
    }
    if (result < 0 || failures > 0) {
        if (found)
            result = vorn::kPartlyDone;
        else if (result > 0)
            result = vorn::kNotUnderstood;  // nothing done is not a success
        Say(VornLog::kFailures, "Qr4Config failed with error %d and %d (%d ms)", result, failures, lastElapsedMs_);
    }
    *mask = found;
    vorn::MsDelay(kRadioConfigDonePauseMs);
    return result;
}
