// VornBSLHost session operations: wake and connect to the engine, erase, upload, vectors.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bsl/VornBSLHost.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::bsl;

namespace {

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

long Seconds(uint32_t since) { return static_cast<long>((vorn::MsTimer() - since) / 1000); }
long Millis(uint32_t since) { return static_cast<long>(vorn::MsTimer() - since); }

}  // namespace

template <typename Attempt>
int32_t VornBSLHost::WithRetries(Attempt attempt) {
    int32_t rc = vorn::kTriesUsedUp;
    for (uint32_t i = 0; i < tries_; ++i) {
        rc = attempt();
        if (rc >= 0) return rc;
        vorn::MsDelay(kRetryPauseMs);
    }
    return rc;
}

bool VornBSLHost::Report(long total, long done, int stage, int code) {
    if (!progressReporting_ || !progressReport_) return true;
    return progressReport_(total, done, stage, code);
}

int32_t VornBSLHost::ReadHandshake(std::string* answer, size_t max) {
    char buffer[kHandshakeAnswerMax + 1] = {};
    if (max > kHandshakeAnswerMax) max = kHandshakeAnswerMax;
    int32_t got = 0;
    const int32_t rc = VSRead(buffer, max, &got);
    answer->assign(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    return rc;
}

// ---------------------------------------------------------------------------- connect

int32_t VornBSLHost::BSLConnect(const std::string& portName, uint32_t engineBaud, bool progress, uint32_t tries) {
    VornLog* log = Log();
    if (portName.empty()) return vorn::kMissingArgument;
    progressReporting_ = progress;
    tries_ = tries;

    int32_t rc = VSOpen(portName, kInvocationBaud);
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLConnect received error while opening serial port (%d)", rc);
        VSClose();  // a port that opened but could not be configured is not kept
        return rc;
    }
    connected_ = true;
    vorn::MsDelay(kOpenSettleMs);

    int32_t result = vorn::kTriesUsedUp;
    int32_t lastFailure = 0;
    bool settled = false;  // a version was read, or a step failed for good
    for (uint32_t attempt = 0; attempt < tries_ && !settled; ++attempt) {
        const int32_t invoked = BSLInvocation(engineBaud);
        if (invoked < 0) {
            const int32_t state = BSLCheck(portName, engineBaud);
            if (state == vorn::kBslWaiting) {
                // Left in its bootloader (a power loss during an update), the engine waits
                // at its own speed, where "boot ZELK" at 9600 baud never reached it: finish
                // its handshake here and go on as with an engine that is already active.
                uint32_t steps = 0;
                const int32_t joined = CompleteConnection(&steps);
                if (joined < 0) {
                    result = joined;
                    settled = true;
                    break;
                }
                if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLConnect completed the connection to the waiting VornBSL (%d tries)",
                                  static_cast<int>(steps));
            } else if (state != vorn::kBslActive) {
                result = invoked;
                settled = true;
                break;
            }
        }

        std::string answer;
        uint32_t elapsed = 0;
        rc = BSLCommand('g', nullptr, 0, '\r', &answer, &elapsed);
        if (rc >= 0 && Contains(answer, "ERROR")) rc = vorn::kBslRefused;
        if (rc < 0) {
            lastFailure = rc;
            vorn::MsDelay(kRetryPauseMs);
            continue;
        }
        int version = -1;
        // A negative number would read as a failure code: it is no version.
        if (std::sscanf(answer.c_str(), "+%d+", &version) == 1 && version >= 0) {
            engineVersion_ = version;
            result = version;
            settled = true;
        }
    }
    if (!settled && tries_ > 0) {
        // Every attempt reached the version request and none brought a version: the
        // engine is not usable, whatever the single steps said.
        result = lastFailure < 0 ? lastFailure : vorn::kNotUnderstood;
    }

    if (result < 0) {
        BSLDisconnect();
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLConnect failed to connect to device (error %d)", result);
        return result;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLConnect connected to device running VornBSL version %d", result);
    return result;
}

int32_t VornBSLHost::BSLInvocation(uint32_t engineBaud) {
    VornLog* log = Log();
    int32_t status = 1;
    bool stopped = false;  // phase 1 ended before its tries were used up
    std::string answer;
    char bootLine[32];
    std::snprintf(bootLine, sizeof bootLine, kBootLine, kBootKey);

    for (uint32_t attempt = 0; attempt < tries_; ++attempt) {
        VSFlush(1);
        answer.clear();
        if (engineBaud != kInvocationBaud) {
            const int32_t rc = VSHostBaud(kInvocationBaud);
            if (rc < 0) {
                status = rc;
                stopped = true;
                break;
            }
        }
        int32_t rc = VSWrite(std::string(bootLine));
        if (rc >= 0) {
            vorn::MsDelay(kBootAnswerWaitMs);
            rc = ReadHandshake(&answer, kHandshakeAnswerMax);
        }
        if (rc < 0) {
            status = rc;
            stopped = true;
            break;
        }
        if (Contains(answer, "ERROR")) {
            status = vorn::kBslRefused;
            vorn::MsDelay(kRetryPauseMs);
            continue;
        }
        if (Contains(answer, "VornBSL MISSING")) {
            status = vorn::kNoBootloader;
            stopped = true;
            break;
        }
        if (Contains(answer, "?")) {  // the engine itself heard the line: already running
            status = vorn::kBslActive;
            stopped = true;
            break;
        }
        if (answer.empty()) {
            status = vorn::kNoBootloader;
            vorn::MsDelay(kRetryPauseMs);
            continue;
        }
        if (Contains(answer, "OK") || Contains(answer, "$$")) status = 1;
        stopped = true;  // anything else ends phase 1 with the status it had
        break;
    }

    uint32_t phase2Tries = 0;
    if (stopped && status == 1) {
        if (engineBaud != kInvocationBaud) {
            int32_t baud = VSHostBaud(engineBaud);
            status = baud < 0 ? baud : 1;  // a port that cannot change speed says so itself
        }
        if (status == 1) status = CompleteConnection(&phase2Tries);
    } else if (!stopped && status > 0) {
        status = vorn::kTriesUsedUp;
    }

    if (status == vorn::kBslActive) {
        // The engine answered "boot ZELK" legibly at the invocation speed, so that is the
        // speed it listens at: the version request goes there too. An engine at another
        // speed hears only garbage here and is found by BSLCheck at its own speed.
        if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLInvocation found the VornBSL already active");
        return 1;
    }
    if (status > 0) {
        if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLInvocation successful (%d tries)", static_cast<int>(phase2Tries));
        return status;
    }
    if (log) log->Log(VornLog::kFailures, kLogTag, "BSLInvocation failed with error %d", status);
    return status;
}

int32_t VornBSLHost::CompleteConnection(uint32_t* attempts) {
    int32_t status = vorn::kTriesUsedUp;
    std::string answer;
    *attempts = 0;
    for (uint32_t i = 0; i < tries_; ++i) {
        ++*attempts;
        int32_t rc = VSWrite(std::string(1, '\r'));
        if (rc < 0) return rc;
        vorn::SleepMs(kHandshakeStepMs);
        rc = ReadHandshake(&answer, kHandshakeAnswerMax);
        if (rc < 0) return rc;
        if (answer.empty() || answer.front() != kPromptChar) {
            status = vorn::kNoBootloader;
            continue;
        }
        VSFlush(1);
        char letter[4];
        std::snprintf(letter, sizeof letter, "%c", kConnectLetter);
        rc = VSWrite(std::string(letter));
        if (rc < 0) return rc;
        vorn::SleepMs(kHandshakeStepMs);
        rc = ReadHandshake(&answer, kHandshakeAnswerMax);
        if (rc < 0) return rc;
        if (answer.find(kConnectedChar) != std::string::npos) return 1;
        status = vorn::kBslRefused;
        vorn::MsDelay(kRetryPauseMs);
    }
    return status;
}

int32_t VornBSLHost::BSLCheck(const std::string& portName, uint32_t engineBaud) {
    VornLog* log = Log();
    int32_t rc = 0;
    if (connected_) {
        rc = VSHostBaud(engineBaud);
    } else if (portName.empty()) {
        rc = vorn::kMissingArgument;
    } else {
        rc = VSOpen(portName, engineBaud);
        if (rc < 0) VSClose();
    }
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLCheck received error while opening serial port (%d)", rc);
        return rc;
    }
    connected_ = true;

    vorn::MsDelay(kCheckSettleMs);
    VSFlush(1);
    rc = VSWrite(std::string(1, '\r'));
    if (rc < 0) return rc;
    vorn::MsDelay(kCheckAnswerWaitMs);
    std::string answer;
    rc = ReadHandshake(&answer, kHandshakeAnswerMax);
    if (rc < 0) return rc;
    if (Contains(answer, "?")) {
        if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLCheck found the VornBSL already active");
        return vorn::kBslActive;
    }
    if (answer.find(kPromptChar) != std::string::npos) {
        if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLCheck found the VornBSL waiting for a connection");
        return vorn::kBslWaiting;
    }
    if (log) log->Log(VornLog::kDetails, kLogTag, "BSLCheck didn't get a response from the VornBSL");
    return vorn::kPortClosed;
}

// ---------------------------------------------------------------------------- erase

int32_t VornBSLHost::BSLEraseINFO(uint32_t start, uint32_t count, uint32_t step, bool fiveDigits) {
    VornLog* log = Log();
    const uint32_t started = vorn::MsTimer();
    int32_t rc = 1;
    uint32_t address = start;
    for (uint32_t i = 0; i < count; ++i) {
        rc = WithRetries([&] { return BSLCommand('X', &address, 1, '\r', nullptr, nullptr, fiveDigits); });
        if (rc < 0) break;
        address += step;
    }
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLEraseINFO failed with error %d (%ld ms)", rc, Millis(started));
        return rc;
    }
    if (log)
        log->Log(VornLog::kMilestones, kLogTag, "BSLEraseINFO successful: %d segments @ %X (%ld ms)", static_cast<int>(count),
                 start + count * step, Millis(started));
    return 1;
}

int32_t VornBSLHost::BSLEraseFlash(uint32_t start, uint32_t end, bool fiveDigits) {
    VornLog* log = Log();
    if (start >= kProtectedStart && start <= kProtectedEnd) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLEraseFlash failed with error %d (%ld s)", vorn::kOutOfRange, 0L);
        return vorn::kOutOfRange;
    }
    const uint32_t started = vorn::MsTimer();
    const long total = end > start ? static_cast<long>((end - start) / kFlashSegmentBytes) : 0;
    int32_t rc = 1;
    uint32_t segment = 0;
    for (uint32_t address = start; address < end; ++segment) {
        if (progressReporting_ && segment % kEraseReportEvery == 0 &&
            !Report(total, static_cast<long>((address - start) / kFlashSegmentBytes), kProgressWorking, 'X')) {
            rc = vorn::kCancelled;
            break;
        }
        rc = WithRetries([&] { return BSLCommand('X', &address, 1, '\r', nullptr, nullptr, fiveDigits); });
        if (rc < 0) break;
        address += kFlashSegmentBytes;
        if (address >= kProtectedStart && address <= kProtectedEnd) address = kAfterProtected;
    }
    if (progressReporting_) Report(total, total, kProgressDone, 'X');
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLEraseFlash failed with error %d (%ld s)", rc, Seconds(started));
        return rc;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLEraseFlash successful: segment %X to %X (%ld s)", start, end, Seconds(started));
    return 1;
}

// ---------------------------------------------------------------------------- upload

int32_t VornBSLHost::BSLSendAddress(uint32_t address, bool fiveDigits) {
    VornLog* log = Log();
    int32_t rc = vorn::kOutOfRange;
    if (address <= (fiveDigits ? kMaxAddress : kMaxFourDigitAddress)) {
        char text[8];
        const int length = std::snprintf(text, sizeof text, fiveDigits ? "%05X" : "%04X", address);
        std::string answer;
        rc = WithRetries([&] {
            return BSLCommand('@', text, static_cast<uint32_t>(length), '\r', &answer, nullptr);
        });
    }
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLSendAddress (%05X) failed with error %d", address, rc);
        return rc;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLSendAddress (%05X) successful", address);
    return 1;
}

int32_t VornBSLHost::FlushBlock(uint32_t address, bool fiveDigits) {
    int32_t rc = vorn::kTriesUsedUp;
    std::string answer;
    for (uint32_t i = 0; i < tries_; ++i) {
        rc = BSLCommand('W', block_.data(), static_cast<uint32_t>(block_.size()), '\r', &answer, nullptr);
        if (rc >= 0) break;
        vorn::MsDelay(kRetryPauseMs);
        // The engine may have written part of the block or moved on: set its write
        // position back to the block's start, also after the last attempt, so the engine
        // is left pointing at the block that failed.
        const int32_t placed = BSLSendAddress(address, fiveDigits);
        if (placed < 0) {
            rc = placed;
            break;
        }
    }
    block_.clear();
    return rc;
}

int32_t VornBSLHost::BSLSendFirmware(bool fiveDigits) {
    VornLog* log = Log();
    const uint32_t started = vorn::MsTimer();
    // Without an image, or with one that does not start with a segment, nothing is sent
    // and nothing is reported.
    if (!imageOwned_) return vorn::kMissingArgument;
    if (image_.empty() || image_.front() != '@') return vorn::kOutOfRange;
    int32_t status = 1;
    const size_t length = image_.size();
    block_.clear();
    uint32_t blockAddress = 0;
    for (size_t pos = 0; status >= 0 && pos < length;) {
        if (progressReporting_ && pos % kProgressEveryChars == 0 &&
            !Report(static_cast<long>(length), static_cast<long>(pos), kProgressWorking, 'W')) {
            status = vorn::kCancelled;
            break;
        }
        if (image_[pos] != '@') {
            block_ += image_[pos++];
            if (block_.size() == kBlockChars) {
                status = FlushBlock(blockAddress, fiveDigits);
                blockAddress += kBlockBytes;
            }
            continue;
        }
        if (!block_.empty()) {
            status = FlushBlock(blockAddress, fiveDigits);
            if (status < 0) break;
        }
        if (pos + kSegmentHeaderChars > length) {
            status = vorn::kOutOfRange;
            break;
        }
        // Four-digit engines take the last four digits; a segment above 0xFFFF cannot be
        // addressed that way and would land 64 KB too low.
        const char* digits = image_.data() + pos + 1;
        if (!fiveDigits && digits[0] != '0') {
            status = vorn::kOutOfRange;
            break;
        }
        char header[8] = {};
        std::memcpy(header, fiveDigits ? digits : digits + 1, fiveDigits ? 5 : 4);
        const uint32_t address = static_cast<uint32_t>(std::strtoul(header, nullptr, 16));
        pos += kSegmentHeaderChars;
        status = BSLSendAddress(address, fiveDigits);
        blockAddress = address;
    }
    if (status >= 0 && !block_.empty()) status = FlushBlock(blockAddress, fiveDigits);
    block_.clear();
    if (progressReporting_ && imageOwned_)
        Report(static_cast<long>(length), static_cast<long>(length), kProgressDone, 'W');

    if (status < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLSendFirmware failed with error %d (%d s)", status, static_cast<int>(Seconds(started)));
        return status;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLSendFirmware successful (%d s)", static_cast<int>(Seconds(started)));
    return 1;
}

int32_t VornBSLHost::BSLSendVectors() {
    VornLog* log = Log();
    int32_t rc = vorn::kMissingArgument;
    if (imageOwned_) {
        // Without an image the table is all 0xFFFF: writing it would leave the instrument
        // with no reset vector.
        vorn::SleepMs(kVectorsPauseMs);
        uint32_t words[kVectorCount];
        for (size_t i = 0; i < kVectorCount; ++i) words[i] = vectors_[i] & 0xFFFF;
        std::string answer;
        rc = WithRetries([&] { return BSLCommand('V', words, kVectorCount, '+', &answer, nullptr, false); });
    }
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLSendVectors failed with error %d", rc);
        return rc;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLSendVectors successful");
    return 1;
}
