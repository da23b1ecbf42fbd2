// The command channel: construction, options, the request/answer primitive, the name
// check and the capability rule.
#include "device/MOSSY_Protocol.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/Status.h"
#include "device/AnswerScan.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "serial/WireTranscript.h"

using namespace vorn::protocol;
namespace scan = vorn::protocol::scan;

namespace {

constexpr const char* kReservedNames[] = {
    "ERROR", "Unsupported", "volt", "show", "yes", "hertz", "time", "dump", "erase",
    "login", "logout", "query", "help", "temp", "scan", "term", "ping", "post",
    "get", "set", "teltst", "ack", "nack", "OK", "boot",
};

constexpr std::string_view kForbiddenNameCharacters = "?\\\"/<>*|:;,";

constexpr int kTraceAnswers = 1;
constexpr int kTraceCommands = 2;


}  // namespace

MOSSY_Protocol::MOSSY_Protocol(VornLog* log)
    : VornSerial(log), progress_(&VornLog::ProgressHook), trace_(&VornLog::TranscriptHook) {
    options_.serialTries = kDefaultSerialTries;
    options_.radioTries = kDefaultRadioTries;
    tries_ = kDefaultSerialTries;
    answer_.reserve(kAnswerMax + 1);
    SupplyReadBuffer();
}

MOSSY_Protocol::~MOSSY_Protocol() {
    if (Connected()) {
        options_.keepPortOpen = false;
        DisconnectDevice();
    }
}

void MOSSY_Protocol::SetProgressHook(ProgressHook hook) {
    progress_ = hook ? std::move(hook) : ProgressHook(&VornLog::ProgressHook);
}

void MOSSY_Protocol::SetTraceHook(TraceHook hook) {
    trace_ = hook ? std::move(hook) : TraceHook(&VornLog::TranscriptHook);
}

void MOSSY_Protocol::Say(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SayTaggedV(level, Tag(), format, args);
    va_end(args);
}

void MOSSY_Protocol::SayTagged(uint32_t level, const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SayTaggedV(level, tag, format, args);
    va_end(args);
}

void MOSSY_Protocol::SayTaggedV(uint32_t level, const char* tag, const char* format, va_list args) {
    VornLog* log = Log();
    if (!log || level > log->Level()) return;
    log->Log(level, tag, "%s", vorn::FormatV(format, args).c_str());
}

bool MOSSY_Protocol::ReportProgress(long total, long done, int phase) {
    if (!options_.progressReporting) return true;
    return progress_(total, done, phase);
}

void MOSSY_Protocol::Trace(int what, std::string_view text) {
    if (!(options_.trace & what)) return;
    if (!traceMasked_) trace_(std::string(text));
    else trace_(what == kTraceCommands ? maskedCommand_ : std::string(vorn::protocol::kSecretMask));
}

MOSSY_Protocol::TraceMask::TraceMask(MOSSY_Protocol& p, bool on, std::string command, const std::string* value)
    : protocol(p), active(on) {
    if (!active) return;
    protocol.traceMasked_ = true;
    protocol.maskedCommand_ = std::move(command);
    if (auto* transcript = protocol.Transcript()) {
        transcript->BeginCredential();
        if (value) transcript->Credential(*value);
    }
}

MOSSY_Protocol::TraceMask::~TraceMask() {
    if (!active) return;
    protocol.traceMasked_ = false;
    protocol.maskedCommand_.clear();
    if (auto* transcript = protocol.Transcript()) transcript->EndCredential();
}

void MOSSY_Protocol::Credential(std::string_view value) {
    if (auto* transcript = Transcript()) transcript->Credential(value);
}

int32_t MOSSY_Protocol::Options(ConnectOptions* record, Direction direction) {
    if (!record) return vorn::kMissingArgument;
    if (direction == Direction::kGet) {
        *record = options_;
        return 1;
    }
    if (record->serialTries > kMaxTries || record->radioTries > kMaxTries || record->trace < 0 ||
        record->trace > kMaxTrace || record->extraWaitMs > kMaxExtraWaitMs)
        return vorn::kOutOfRange;
    if (record->serialTries == 0) record->serialTries = kDefaultSerialTries;
    if (record->radioTries == 0) record->radioTries = kDefaultRadioTries;
    options_ = *record;
    tries_ = Radio() ? options_.radioTries : options_.serialTries;
    return 1;
}

int32_t MOSSY_Protocol::DeviceCommand(std::string_view command, char terminator, uint32_t timeoutMs,
                                      std::string* destination, size_t size, int32_t* elapsedMs) {
    const uint32_t start = vorn::MsTimer();
    int32_t result = 1;
    uint32_t emptyReads = 0;
    const uint32_t tries = tries_ ? tries_ : 1;
    char buffer[kAnswerMax];
    int32_t bytesRead = 0;

    // One command line: line ends around it, nothing below 0x20 inside. A value with a
    // line end in it (from the user, a settings file or the device's own answers) would
    // run a second command of its own.
    std::string_view body = command;
    auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
    while (!body.empty() && lineEnd(body.front())) body.remove_prefix(1);
    while (!body.empty() && lineEnd(body.back())) body.remove_suffix(1);
    if (!vorn::IsPrintableLine(body)) {
        if (traceMasked_)
            Say(VornLog::kFailures, "DeviceCommand refused to send a command with a control character inside it");
        else
            Say(VornLog::kFailures, "DeviceCommand refused to send a command with a control character inside it: \"%.*s\"",
                static_cast<int>(body.size()), body.data());
        answer_.clear();
        lastElapsedMs_ = 0;
        if (elapsedMs) *elapsedMs = 0;
        if (destination) destination->clear();
        return vorn::kOutOfRange;
    }

    Trace(kTraceCommands, command);
    // A late answer of an exchange that carried a credential may come in this one: its
    // answers are kept out of the transcript word by word.
    const vorn::serial::CredentialExchange late(owedCredential_ && owedAnswers_ > 0 ? Transcript() : nullptr, true);
    for (uint32_t attempt = 0; attempt < tries; ++attempt) {
        // A device that has answered before and then ran out of time is slow, not gone:
        // its late answer is let in and dropped first. (One that never answered costs
        // nothing: there is nothing to wait for.)
        if (owedAnswers_ > 0 && heardFromDevice_) DropLateAnswers();
        VSFlush(1);
        answer_.clear();
        bytesRead = 0;

        const uint32_t sentAt = vorn::MsTimer();
        int32_t written = 0;
        int32_t status = VSWrite(command.data(), command.size(), &written);
        if (status < 0) {
            Say(VornLog::kDetails, "DeviceCommand got unexpected response (%d) from VCommWrite", status);
            result = status;
            break;
        }
        status = VSWait(timeoutMs + options_.extraWaitMs, terminator);
        if (status < 0) {
            Say(VornLog::kDetails, "DeviceCommand got unexpected response (%d) from VCommWait", status);
            result = status;
            break;
        }
        status = VSRead(buffer, sizeof buffer, &bytesRead);
        if (status < 0) {
            Say(VornLog::kDetails, "DeviceCommand got unexpected response (%d) from VCommRead", status);
            result = status;
            bytesRead = 0;
            break;
        }
        if (bytesRead <= 0 || std::memchr(buffer, terminator, static_cast<size_t>(bytesRead)) == nullptr) {
            ++owedAnswers_;  // its answer (or the rest of it) may still come
            owedCredential_ = owedCredential_ || traceMasked_;
            owedTerminator_ = terminator;
            owedUntil_ = sentAt + kLateAnswerMs;
        } else {
            heardFromDevice_ = true;
        }
        if (bytesRead <= 0) {
            bytesRead = 0;
            ++emptyReads;
            vorn::MsDelay(kEmptyReadPauseMs);
            result = vorn::kTriesUsedUp;
            continue;
        }
        answer_.assign(buffer, std::min(static_cast<size_t>(bytesRead), kAnswerMax));
        Trace(kTraceAnswers, answer_);
        if (!command.empty() && answer_.find(command) != std::string::npos) {
            Say(VornLog::kFailures, "DeviceCommand is hearing echoed commands -- device is broken? Relay active?");
            result = vorn::kEchoed;
            break;
        }
        if (scan::IsErrorAnswer(answer_)) {
            result = vorn::kDeviceError;
            continue;
        }
        result = 1;
        break;
    }
    // An answer that came while others were owed may itself have been one of them: the
    // rest are dropped now, before the next command is sent.
    if (owedAnswers_ > 0 && bytesRead > 0) DropLateAnswers();
    lastElapsedMs_ = static_cast<int32_t>(vorn::MsTimer() - start);
    if (elapsedMs) *elapsedMs = lastElapsedMs_;

    if (emptyReads == tries) result = vorn::kPortClosed;
    if (result < 0) {
        if (destination) destination->clear();
        return result;
    }
    if (destination && size > 0) {
        vorn::StoreBounded(*destination, answer_, size - 1);
        if (destination->size() < answer_.size())
            Say(VornLog::kDetails, "DeviceCommand got %d more bytes than expected (%s)",
                static_cast<int>(answer_.size() - destination->size()),
                traceMasked_ ? maskedCommand_.c_str() : std::string(command).c_str());
    }
    if (answer_.compare(0, 3, "\r\r>") == 0) {
        Say(VornLog::kDetails, "DeviceCommand: device returned empty answer");
        return vorn::kEmptyAnswer;
    }
    return static_cast<int32_t>(answer_.size());
}

void MOSSY_Protocol::DropLateAnswers() {
    char buffer[kAnswerMax];
    size_t dropped = 0;
    while (owedAnswers_ > 0) {
        const uint32_t now = vorn::MsTimer();
        if (static_cast<int32_t>(owedUntil_ - now) <= 0) break;
        if (VSWait(owedUntil_ - now, owedTerminator_) < 0) break;
        int32_t n = 0;
        if (VSRead(buffer, sizeof buffer, &n) < 0 || n <= 0) break;  // quiet to the end: lost
        dropped += static_cast<size_t>(n);
        const auto ends = std::count(buffer, buffer + n, owedTerminator_);
        owedAnswers_ -= std::min<uint32_t>(owedAnswers_, static_cast<uint32_t>(ends));
    }
    if (dropped > 0) Say(VornLog::kDetails, "DeviceCommand dropped %d bytes of late answers", static_cast<int>(dropped));
    owedAnswers_ = 0;
    owedCredential_ = false;
}

int32_t MOSSY_Protocol::CheckDeviceName(std::string_view name) {
    if (name.empty()) return kNameMissing;
    if (name.size() > DeviceInfo::kDeviceNameMax) return kNameTooLong;
    for (const char* reserved : kReservedNames)
        if (name == reserved) return kNameReserved;
    for (char c : name) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (code <= 32 || code == 127 || code == 255) return kNameBadCharacter;
        if (kForbiddenNameCharacters.find(c) != std::string_view::npos) return kNameForbiddenCharacter;
        if (code >= 128) return kNameHighCharacter;
    }
    return 1;
}

void MOSSY_Protocol::SetCapabilities() {
    // One row per type: base bits and the version steps that add to them.
    struct Step {
        int32_t minVersion;
        uint32_t bits;
    };
    struct Row {
        uint8_t type;
        uint32_t base;
        std::array<Step, 8> steps;
    };
    static constexpr Row kRows[] = {
        {LT_KT72, 0x7737, {{{202, 0x4000000}, {200, 0x1000000}, {119, 0x200000}, {118, 0xC00000},
                            {114, 0x70000}, {112, 0x8800}, {108, 0x40}, {105, 0x80}}}},
        {LT_QV, 0x4503, {{{109, 0x20000}, {105, 0x80}}}},
        {LT_KT7R, 0x74BE, {{{204, 0x40000}}}},
        {LT_GLX, 0x3007, {}},
        {LT_MOSSY_CAL, 0x10026, {}},
        {LT_RW, 0x1D3083, {}},
        {LT_ZQ8, 0x5E3FFF7, {}},
        {LT_MYR, 0x7C3F6F7, {}},
    };
    constexpr uint32_t kKt7NewFirmware = 0x371F;
    constexpr uint32_t kKt7OldFirmware = 0x331C;
    constexpr uint32_t kOtherTypes = 0x1005;

    uint32_t caps = kOtherTypes;
    if (info_.type == LT_KT7) {
        caps = info_.newFirmware ? kKt7NewFirmware : kKt7OldFirmware;
    } else {
        for (const Row& row : kRows) {
            if (row.type != info_.type) continue;
            caps = row.base;
            for (const Step& step : row.steps)
                if (step.bits && info_.version >= step.minVersion) caps |= step.bits;
            break;
        }
    }
    info_.capabilities = caps;
}
