// VornBSLHost: construction, the firmware image files and the framed command channel.
// The session operations built on the channel are in BslSession.cpp.
#include "bsl/VornBSLHost.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "bsl/TiText.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"

using namespace vorn::bsl;

namespace {

using FileCloser = std::unique_ptr<FILE, int (*)(FILE*)>;

// The part of a path after its last folder separator; both kinds are accepted so a
// Windows path names the same file on every platform.
std::string BaseName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

int Elapsed(uint32_t since) { return static_cast<int>(vorn::MsTimer() - since); }

}  // namespace

VornBSLHost::VornBSLHost(VornLog* log) : VornSerial(log) {
    vectors_.fill(kErasedWord);
    try {
        command_.reserve(kCommandBufferSize);
        block_.reserve(kBlockBufferSize);
    } catch (const std::bad_alloc&) {
        constructionStatus_ = vorn::kOutOfMemory;
    }
}

VornBSLHost::~VornBSLHost() { BSLDisconnect(); }

// ---------------------------------------------------------------------------- image

int32_t VornBSLHost::BSLLoadTIFile(const std::string& path) {
    const uint32_t started = vorn::MsTimer();
    VornLog* log = Log();
    FileCloser file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        const int err = errno;
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLLoadTIFile got error %d trying to open datafile %s", err, path.c_str());
        return -err;
    }
    try {
        // Read in pieces and stop just past the limit, so neither a huge file nor one
        // whose size cannot be asked (a pipe, a device) costs more than the limit.
        std::string content;
        char piece[64 * 1024];
        for (;;) {
            const size_t got = std::fread(piece, 1, sizeof piece, file.get());
            content.append(piece, got);
            if (got < sizeof piece || content.size() > static_cast<size_t>(kMaxTiTextFileBytes)) break;
        }
        if (std::ferror(file.get())) {
            const int err = errno ? errno : EIO;
            if (log) log->Log(VornLog::kFailures, kLogTag, "BSLLoadTIFile got error %d trying to read datafile %s", err, path.c_str());
            return -err;
        }
        if (content.size() > static_cast<size_t>(kMaxTiTextFileBytes)) {
            if (log) {
                log->Log(VornLog::kDetails, kLogTag, "BSLLoadTIFile: file %s is larger than %ld bytes, more than any firmware",
                         path.c_str(), kMaxTiTextFileBytes);
                log->Log(VornLog::kMilestones, kLogTag, "BSLLoadTIFile: file %s is not a valid TI-Text file (%d ms)", path.c_str(),
                         Elapsed(started));
            }
            return vorn::kBadTiText;
        }

        std::string image;
        VectorWords vectors;
        switch (ConvertTiText(content, &image, &vectors)) {
            case TiTextVerdict::kNotTiText:
                return vorn::kBadTiText;
            case TiTextVerdict::kInvalid:
                if (log)
                    log->Log(VornLog::kMilestones, kLogTag, "BSLLoadTIFile: file %s is not a valid TI-Text file (%d ms)", path.c_str(),
                             Elapsed(started));
                return vorn::kBadTiText;
            case TiTextVerdict::kImage:
                break;
        }
        // Only a good file replaces anything: the image, its vectors and its name stay
        // together, so a failed load never leaves an image with someone else's vectors.
        image_ = std::move(image);
        vectors_ = vectors;
        imageOwned_ = true;
        vorn::StoreBounded(firmwareFileName_, BaseName(path), kFileNameMax);
    } catch (const std::bad_alloc&) {
        return vorn::kOutOfMemory;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLLoadTIFile loaded file %s (%d ms)", path.c_str(), Elapsed(started));
    return 1;
}

int32_t VornBSLHost::BSLWriteTIFile(const std::string& path) const {
    const uint32_t started = vorn::MsTimer();
    VornLog* log = Log();
    if (!imageOwned_) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLWriteTIFile has no firmware image to write to %s", path.c_str());
        return vorn::kMissingArgument;
    }
    FileCloser file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        const int err = errno;
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLWriteTIFile got error %d trying to open datafile %s", err, path.c_str());
        return -err;
    }
    const std::string dump = FormatTiTextDump(image_, vectors_);
    const size_t written = std::fwrite(dump.data(), 1, dump.size(), file.get());
    int err = written == dump.size() ? 0 : (errno ? errno : EIO);
    if (std::fclose(file.release()) != 0 && err == 0) err = errno ? errno : EIO;
    if (err != 0) {
        // A dump that did not reach the disk is not reported as written.
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLWriteTIFile got error %d trying to write datafile %s", err, path.c_str());
        return -err;
    }
    if (log) log->Log(VornLog::kMilestones, kLogTag, "BSLWriteTIFile wrote file %s (%d ms)", path.c_str(), Elapsed(started));
    return 1;
}

// ---------------------------------------------------------------------------- channel

int32_t VornBSLHost::BSLCommand(char letter, const uint32_t* numbers, uint32_t count, char terminator,
                                std::string* answer, uint32_t* elapsedMs, bool fiveDigits) {
    if (elapsedMs) *elapsedMs = 0;
    if (!connected_) return vorn::kPortClosed;
    if (count > kMaxNumbers) return vorn::kOutOfRange;
    if (count > 0 && !numbers) return vorn::kMissingArgument;
    // A wider number would print more digits than its field and shift the frame.
    const uint32_t widest = fiveDigits ? kMaxAddress : kMaxFourDigitAddress;
    std::string argument;
    argument.reserve(count * 5);
    char digits[16];
    for (uint32_t i = 0; i < count; ++i) {
        if (numbers[i] > widest) return vorn::kOutOfRange;
        std::snprintf(digits, sizeof digits, fiveDigits ? "%05X" : "%04X", numbers[i]);
        argument += digits;
    }
    return Frame(letter, argument, terminator, answer, elapsedMs);
}

int32_t VornBSLHost::BSLCommand(char letter, const char* text, uint32_t length, char terminator,
                                std::string* answer, uint32_t* elapsedMs) {
    if (elapsedMs) *elapsedMs = 0;
    if (!connected_) return vorn::kPortClosed;
    if (length > kMaxTextChars) return vorn::kOutOfRange;
    if (!answer) return vorn::kMissingArgument;
    if (!text && letter != 'g') return vorn::kMissingArgument;
    std::string argument;
    if (text) argument.assign(text, length);
    // A carriage return or other control byte inside the text would end or garble the frame.
    for (char c : argument)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return vorn::kOutOfRange;
    return Frame(letter, argument, terminator, answer, elapsedMs);
}

int32_t VornBSLHost::Frame(char letter, const std::string& argument, char terminator, std::string* answer,
                           uint32_t* elapsedMs) {
    VornLog* log = Log();
    command_.clear();
    command_ += letter;
    command_ += argument;
    command_ += kChecksumMark;
    uint32_t sum = 0;
    for (char c : command_) sum += static_cast<unsigned char>(c);
    char check[8];
    std::snprintf(check, sizeof check, "%04X\r", sum % kChecksumModulus);
    command_ += check;

    const uint32_t started = vorn::MsTimer();
    VSFlush(1);
    int32_t failure = 0;
    bool writeFailed = false;
    char buffer[kAnswerMax + 1] = {};
    int32_t got = 0;
    int32_t written = 0;
    int32_t rc = VSWrite(command_.data(), command_.size(), &written);
    if (rc < 0) {
        if (log) log->Log(VornLog::kFailures, kLogTag, "BSLCommand got unexpected response (%d) from VCommWrite", rc);
        failure = rc;
        writeFailed = true;
    } else {
        // A time-out is no failure here: whatever arrived is judged below.
        rc = VSWait(kAnswerWaitMs, terminator);
        if (rc < 0) {
            if (log) log->Log(VornLog::kFailures, kLogTag, "BSLCommand got unexpected response (%d) from VCommWait", rc);
            failure = rc;
        } else {
            rc = VSRead(buffer, kAnswerMax, &got);
            if (rc < 0) {
                if (log) log->Log(VornLog::kFailures, kLogTag, "BSLCommand got unexpected response (%d) from VCommRead", rc);
                failure = rc;
                got = 0;
            }
        }
    }
    if (got < 0) got = 0;
    const std::string text(buffer, static_cast<size_t>(got));
    if (answer) *answer = text;
    if (elapsedMs) *elapsedMs = writeFailed ? 0 : vorn::MsTimer() - started;
    if (got == 0 && failure == 0) failure = vorn::kPortClosed;

    if (got >= 1 && text[0] == '+') return got;
    if (text.size() >= 2 && text[1] == '+') return got;  // one stray character before the ack
    if (!text.empty() && (text[0] == '-' || text[0] == '?')) return vorn::kRefused;
    return failure ? failure : vorn::kRefused;
}

int32_t VornBSLHost::BSLDisconnect() {
    if (!connected_) return 0;
    const int32_t rc = VSClose();
    connected_ = false;
    vorn::SleepMs(kDisconnectPauseMs);
    return rc;
}
