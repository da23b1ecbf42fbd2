#include "serial/VornSerial.h"

#include <cerrno>
#include <cstring>

#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "serial/WireTranscript.h"

namespace plat = vorn::platform;

namespace {
constexpr const char* kClosedTag = "VornSerial";
}

VornSerial::VornSerial(VornLog* log) : log_(log) {}

VornSerial::~VornSerial() { VSClose(); }

bool VornSerial::IsOpen() const { return handle_ != plat::kNoHandle && handle_ != plat::kInvalidHandle; }

const char* VornSerial::Tag() const { return portName_.empty() ? kClosedTag : portName_.c_str(); }

void VornSerial::SupplyReadBuffer() {
    hasReadBuffer_ = true;
    bufferOwned_ = false;
    readBuffer_.clear();
}

// A transfer error that would make an open report the port missing (EIO, ENXIO, ENODEV)
// means its device went away under the open handle: an unplugged adapter. Said in
// words, so the log does not show a bare error number for it, and a HANGUP in the
// transcript.
void VornSerial::NoteHangUp(const char* operation, int error) const {
    if (plat::OpenFailureStatus(error) != vorn::kPortNotFound) return;
    if (transcript_) transcript_->HungUp();
    if (log_) log_->Log(VornLog::kFailures, Tag(), "%s port hung up: its device was unplugged or went away", operation);
}

void VornSerial::Heard(const char* bytes, size_t count) {
    if (transcript_ && count > 0) transcript_->Received(std::string_view(bytes, count), baud_);
}

void VornSerial::ReleaseOwnedBuffer() {
    if (!bufferOwned_) return;
    readBuffer_.clear();
    readBuffer_.shrink_to_fit();
    hasReadBuffer_ = false;
    bufferOwned_ = false;
}

int32_t VornSerial::VSOpen(const std::string& portName, uint32_t baud) {
    if (IsOpen()) {
        if (log_) log_->Log(VornLog::kBytes, kClosedTag, "VSOpen found port \"%d\" already open", static_cast<int>(handle_));
        VSClose();
        vorn::SleepMs(kReopenPauseMs);
    }
    if (portName.size() > kPortNameMax) {
        if (log_) log_->Log(VornLog::kFailures, kClosedTag, "VSOpen refused a port name of %zu characters", portName.size());
        return vorn::kPortNotFound;
    }
    portName_ = portName;

    std::string holder;
    int err = plat::OpenPort(portName_, &handle_, &holder);
    for (uint32_t waited = 0; plat::CheckFindsBusy(err) && waited < kBusyRetryMs; waited += kBusyRetryStepMs) {
        vorn::SleepMs(kBusyRetryStepMs);
        holder.clear();
        err = plat::OpenPort(portName_, &handle_, &holder);
    }
    if (err != 0) {
        handle_ = plat::kInvalidHandle;
        int32_t status = plat::OpenFailureStatus(err);
        if (log_) {
            log_->Log(VornLog::kFailures, Tag(), "VSOpen failed to open comm port (error %d)", err);
            const std::string path = plat::PortPath(portName_);
            if (status == vorn::kPortNotFound)
                log_->Log(VornLog::kFailures, Tag(), "VSOpen port %s does not exist or is not connected", path.c_str());
            else if (status == vorn::kPortInUse && !holder.empty())
                log_->Log(VornLog::kFailures, Tag(), "VSOpen port %s is in use by another program, held by %s", path.c_str(), holder.c_str());
            else if (status == vorn::kPortInUse)
                log_->Log(VornLog::kFailures, Tag(), "VSOpen port %s is in use by another program", path.c_str());
            else if (status == vorn::kNotSerialPort)
                log_->Log(VornLog::kFailures, Tag(), "VSOpen %s is not a serial port", path.c_str());
            else if (status == vorn::kPortNoPermission)
                log_->Log(VornLog::kFailures, Tag(), "VSOpen no permission to open %s (the user must be in the group that owns it, "
                          "dialout on Debian)", path.c_str());
        }
        return status;
    }

    if (int e = plat::SetQueueSizes(handle_, kReadBufferSize); e != 0 && log_)
        log_->Log(VornLog::kBytes, Tag(), "VSOpen failed to set buffer size on comm port (error %d)", e);

    // Answers come in at once, not at the adapter's latency timer (16 ms each way).
    if (int e = plat::AskLowLatency(handle_); e != 0 && log_)
        log_->Log(VornLog::kBytes, Tag(), "VSOpen: the driver keeps its latency timer (error %d)", e);

    baud_ = baud ? baud : kDefaultBaud;
    lineBusy_ = false;
    plat::LineStep step;
    if (int e = plat::ConfigureLine(handle_, baud_, &step); e != 0) {
        if (log_) {
            const char* what = step == plat::LineStep::ReadSettings ? "retreive DCB"
                               : step == plat::LineStep::Timeouts  ? "set timeouts"
                                                                   : "apply DCB";
            log_->Log(VornLog::kFailures, Tag(), "VSOpen failed to %s on comm port (error %d)", what, e);
        }
        return -e;
    }

    if (int e = plat::SetDtr(handle_, true); e != 0 && log_) {
        if (plat::IsNoLineControl(e))
            log_->Log(VornLog::kBytes, Tag(), "VSOpen port has no DTR line (error %d)", e);
        else
            log_->Log(VornLog::kFailures, Tag(), "VSOpen failed to raise DTR (error %d)", e);
    }
    plat::ClearLineErrors(handle_);

    if (!hasReadBuffer_) {
        hasReadBuffer_ = true;
        bufferOwned_ = true;
    }
    readBuffer_.clear();
    readBuffer_.reserve(kReadBufferSize);
    dataReady_ = false;

    if (transcript_) transcript_->Opened(portName_, baud_);
    if (log_) log_->Log(VornLog::kDetails, Tag(), "VSOpen successfully opened and configured comm port at %d baud", static_cast<int>(baud_));
    return 1;
}

int32_t VornSerial::VSClose() {
    if (!IsOpen()) {
        handle_ = plat::kNoHandle;
        return 0;
    }
    if (int e = plat::SetDtr(handle_, false); e != 0 && log_ && plat::IsNoLineControl(e))
        log_->Log(VornLog::kBytes, Tag(), "VSClose port has no DTR line (error %d)", e);
    int err = plat::ClosePort(handle_);
    handle_ = plat::kNoHandle;
    if (transcript_) transcript_->Closed();
    ReleaseOwnedBuffer();
    if (err != 0) {
        if (log_) log_->Log(VornLog::kFailures, Tag(), "VSClose failed to close comm port (error %d)", err);
        return -err;
    }
    if (log_) log_->Log(VornLog::kDetails, Tag(), "VSClose closed comm port");
    return 1;
}

int32_t VornSerial::VSWrite(const std::string& bytes, int32_t* written) {
    int32_t ignored = 0;
    return VSWrite(bytes.data(), bytes.size(), written ? written : &ignored);
}

int32_t VornSerial::VSWrite(const char* bytes, size_t count, int32_t* written) {
    if (written) *written = 0;
    if (!IsOpen()) {
        if (log_) log_->Log(VornLog::kFailures, kClosedTag, "VSWrite tried to write to a closed port");
        return vorn::kPortClosed;
    }
    size_t done = 0;
    if (int e = plat::WritePort(handle_, bytes, count, &done); e != 0) {
        if (log_) log_->Log(VornLog::kFailures, Tag(), "VSWrite WriteFile failed (error %d)", e);
        NoteHangUp("VSWrite", e);
        return vorn::kPortClosed;
    }
    if (written) *written = static_cast<int32_t>(done);
    if (transcript_) transcript_->Sent(std::string_view(bytes, done), baud_);
    if (log_) log_->Log(VornLog::kBytes, Tag(), "VSWrite wrote %d bytes", static_cast<int>(done));
    if (done > 0 && baud_ > 0) {
        // The bytes go out after what is still on the line.
        const uint32_t now = vorn::MsTimer();
        const uint32_t from = now + SendingLeftMs();
        lineFreeAt_ = from + static_cast<uint32_t>((static_cast<uint64_t>(done) * 10 * 1000 + baud_ - 1) / baud_);
        lineBusy_ = true;
    }
    return static_cast<int32_t>(done);
}

uint32_t VornSerial::SendingLeftMs() const {
    if (!lineBusy_) return 0;
    const int32_t left = static_cast<int32_t>(lineFreeAt_ - vorn::MsTimer());  // wraps with the timer
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

int32_t VornSerial::VSWait(uint32_t timeoutMs, char terminator) {
    if (!IsOpen()) {
        if (log_) log_->Log(VornLog::kFailures, kClosedTag, "VSWait tried to operate on a closed port");
        return vorn::kPortClosed;
    }
    if (!hasReadBuffer_) return vorn::kOutOfMemory;

    const uint32_t start = vorn::MsTimer();
    // The answer window opens when the frame has left: at 9600 baud a 519-byte frame is
    // 541 ms on the wire after the write returned.
    if (const uint32_t sending = SendingLeftMs(); sending > 0) {
        if (log_) log_->Log(VornLog::kBytes, Tag(), "VSWait waits %d ms more while the frame leaves", static_cast<int>(sending));
        timeoutMs += sending;
    }
    uint32_t idleReads = 0;
    readBuffer_.clear();  // every wait gathers from the start of the buffer
    char chunk[kReadBufferSize];
    for (;;) {
        size_t room = (kReadBufferSize - 1) - readBuffer_.size();
        size_t got = 0;
        if (int e = plat::ReadPort(handle_, chunk, room, &got); e != 0) {
            if (log_) log_->Log(VornLog::kFailures, Tag(), "VSWait ReadFile failed (error %d)", e);
            NoteHangUp("VSWait", e);
            return vorn::kPortClosed;
        }
        if (got > 0) {
            Heard(chunk, got);
            readBuffer_.append(chunk, got);
            // The whole buffer is searched, so an answer split over reads is found.
            if (readBuffer_.find(terminator) != std::string::npos) {
                dataReady_ = true;
                if (log_)
                    log_->Log(VornLog::kBytes, Tag(), "VSWait found '%c' in %d ms", terminator,
                              static_cast<int>(vorn::MsTimer() - start));
                return static_cast<int32_t>(static_cast<signed char>(terminator));
            }
            continue;
        }
        if (room == 0) vorn::SleepMs(kSliceMs);  // a full buffer reads nothing; keep the slice
        uint32_t elapsed = vorn::MsTimer() - start;
        if (elapsed > timeoutMs) {
            if (log_)
                log_->Log(VornLog::kBytes, Tag(), "VSWait read %d bytes, but never found '%c' in %d ms",
                          static_cast<int>(readBuffer_.size()), terminator, static_cast<int>(elapsed));
            return 0;
        }
        if (++idleReads > kIdleSlicesBeforePause && timeoutMs > kPumpingWaitMs) vorn::MsDelay(kIdlePauseMs);
    }
}

int32_t VornSerial::VSRead(char* destination, size_t capacity, int32_t* count) {
    if (count) *count = 0;
    if (!hasReadBuffer_) return vorn::kOutOfMemory;
    size_t n = 0;
    if (!readBuffer_.empty()) {
        n = readBuffer_.size();
        if (n > capacity) {
            n = capacity;
            dataReady_ = true;
        }
        if (n) std::memcpy(destination, readBuffer_.data(), n);
        readBuffer_.clear();  // what did not fit is dropped
        if (count) *count = static_cast<int32_t>(n);
        if (log_) log_->Log(VornLog::kBytes, Tag(), "VSRead read %d bytes from gReadBuffer", static_cast<int>(n));
    }
    if (dataReady_) {
        dataReady_ = false;
        return static_cast<int32_t>(n);
    }
    if (!IsOpen()) {
        if (log_) log_->Log(VornLog::kFailures, kClosedTag, "VSRead tried to read from a closed port");
        return vorn::kPortClosed;
    }
    size_t got = 0;
    if (int e = plat::ReadPort(handle_, destination + n, capacity - n, &got); e != 0) {
        if (log_) log_->Log(VornLog::kFailures, Tag(), "VSRead ReadFile failed (error %d)", e);
        NoteHangUp("VSRead", e);
        return vorn::kPortClosed;
    }
    Heard(destination + n, got);
    n += got;
    if (count) *count = static_cast<int32_t>(n);
    if (log_) log_->Log(VornLog::kBytes, Tag(), "VSRead read %d btyes", static_cast<int>(n));
    return static_cast<int32_t>(n);
}

int32_t VornSerial::VSFlush(int mode) {
    if (mode == 1 && IsOpen()) {
        plat::PurgeReceive(handle_);
        if (transcript_) transcript_->Purged();
    }
    if (hasReadBuffer_) readBuffer_.clear();
    return 0;
}

int32_t VornSerial::VSHostBaud(uint32_t baud) {
    if (baud == baud_) return 0;
    if (portName_.empty()) return vorn::kNoPortName;
    if (!IsOpen()) {
        // No port to change: report it as the platform would for a closed handle.
        if (log_) log_->Log(VornLog::kFailures, Tag(), "VSHostBaud failed to apply new baud rate \"%d\" (error %d)", static_cast<int>(baud), EBADF);
        return -EBADF;
    }
    if (int e = plat::SetBaud(handle_, baud); e != 0) {
        if (log_) log_->Log(VornLog::kFailures, Tag(), "VSHostBaud failed to apply new baud rate \"%d\" (error %d)", static_cast<int>(baud), e);
        return -e;
    }
    baud_ = baud;
    if (transcript_) transcript_->BaudChanged(baud_);
    return 1;
}
