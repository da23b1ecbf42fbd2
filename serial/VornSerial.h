#pragma once
// The serial-port layer every device conversation runs on. Opens a port with fixed line
// settings (8N1, no flow control, DTR and RTS on), reads and writes raw bytes with short
// time-outs, and waits for a terminating character while the window stays alive.
//
// Each operation logs its outcome (tag: the port name, or "VornSerial" before one is
// known and for operations on a closed port) and answers with a status: zero or positive
// for success, negative for failure (see common/Status.h; platform errors negated).
// Dropping the status of an open, read, write, wait or baud change is a fault the compiler
// points out ([[nodiscard]]); a caller that may ignore one says why with a cast to void.
// VSClose and VSFlush are not marked: closing is cleanup with nothing left to do on failure
// (VSClose logs it), and VSFlush always answers 0.
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/SerialPlatform.h"

class VornLog;
namespace vorn::serial {
class WireTranscript;
}

class VornSerial {
public:
    // A port name is a path on Linux (/dev/serial/by-id/... runs past 64 characters): one
    // longer than a path may be is refused, never cut, which would open another port.
    static constexpr size_t kPortNameMax = 4095;
    static constexpr size_t kReadBufferSize = 2048;  // one byte stays for the terminating zero
    static constexpr uint32_t kDefaultBaud = 9600;
    static constexpr uint32_t kReopenPauseMs = 100;
    // A port list looks at a port by opening it for a moment (ours does so on Windows and
    // for pseudo-terminals; other serial programs' lists too): a port busy at the first try
    // is tried again for this long before it counts as held.
    static constexpr uint32_t kBusyRetryMs = 500;
    static constexpr uint32_t kBusyRetryStepMs = 25;
    static constexpr uint32_t kSliceMs = 100;             // one port read waits at most this long
    static constexpr uint32_t kIdleSlicesBeforePause = 5;
    static constexpr uint32_t kIdlePauseMs = 200;
    static constexpr uint32_t kPumpingWaitMs = 400;       // longer waits pause and pump between slices

    explicit VornSerial(VornLog* log = nullptr);
    ~VornSerial();
    VornSerial(const VornSerial&) = delete;
    VornSerial& operator=(const VornSerial&) = delete;

    // Opens and configures the port (baud 0 means 9600); an open port is closed first.
    // 1 on success. A port that cannot be opened gives kPortNotFound, kPortInUse,
    // kPortNoPermission or kNotSerialPort (common/Status.h), or another platform error
    // negated; a port another program holds is logged with its holders; a failed
    // configuration gives the platform error negated and leaves the port open for the
    // caller to close.
    [[nodiscard]] int32_t VSOpen(const std::string& portName, uint32_t baud);
    // Lowers DTR, clears the exclusive mark VSOpen set and closes. 1 closed, 0 when nothing was
    // open, negated error on failure.
    int32_t VSClose();
    // Takes what a wait buffered, else reads the port (at most 100 ms). The count read
    // (also in *count), kPortClosed on a closed port, a failed read or a port that hung up (its
    // device unplugged), kOutOfMemory without a read buffer.
    [[nodiscard]] int32_t VSRead(char* destination, size_t capacity, int32_t* count);
    // Writes all bytes in one call; the number written may fall short on a time-out. kPortClosed
    // on a closed port, a failed write or a port that hung up.
    [[nodiscard]] int32_t VSWrite(const char* bytes, size_t count, int32_t* written);
    [[nodiscard]] int32_t VSWrite(const std::string& bytes, int32_t* written = nullptr);
    // Gathers bytes into the read buffer until `terminator` arrives. Returns the
    // terminator, 0 on time-out (what arrived stays buffered), kPortClosed closed, read failure or
    // hung up (at once, not at the time-out), kOutOfMemory without a read buffer. Waits longer
    // than 400 ms pump events between slices.
    [[nodiscard]] int32_t VSWait(uint32_t timeoutMs, char terminator);
    // Empties the read buffer; mode 1 also discards what the port has received. Always 0.
    int32_t VSFlush(int mode);
    // Changes the baud rate of the open port. 1 changed, 0 already at that rate, kNoPortName
    // before any port name was known, negated platform error on failure.
    [[nodiscard]] int32_t VSHostBaud(uint32_t baud);

    bool IsOpen() const;
    uint32_t Baud() const { return baud_; }
    const std::string& PortName() const { return portName_; }
    VornLog* Log() const { return log_; }
    void SetLog(VornLog* log) { log_ = log; }
    bool DataReady() const { return dataReady_; }
    // What the last wait gathered and VSRead has not yet taken.
    const std::string& ReadBuffer() const { return readBuffer_; }
    // The wire transcript every byte of this port goes into from now on (none: null). Not
    // owned; it must outlive its use here.
    void SetTranscript(vorn::serial::WireTranscript* transcript) { transcript_ = transcript; }
    vorn::serial::WireTranscript* Transcript() const { return transcript_; }

protected:
    // A derived class that keeps its own wait buffer for the life of the object calls
    // this before the first open; the layer then never releases it.
    void SupplyReadBuffer();
    const char* Tag() const;

private:
    void ReleaseOwnedBuffer();
    void NoteHangUp(const char* operation, int error) const;
    void Heard(const char* bytes, size_t count);

    VornLog* log_;
    vorn::platform::PortHandle handle_ = vorn::platform::kNoHandle;
    uint32_t baud_ = 0;
    std::string portName_;
    std::string readBuffer_;   // the wait buffer ("gReadBuffer"), at most 2047 bytes
    bool hasReadBuffer_ = false;
    bool dataReady_ = false;
    bool bufferOwned_ = false;
    vorn::serial::WireTranscript* transcript_ = nullptr;
    // When the last byte written has left the line, by the line speed (8N1: 10 bits a
    // byte): a write returns once the bytes are queued, and an answer cannot start before
    // the frame has gone out, so an answer window starts then, not at the write's return.
    uint32_t lineFreeAt_ = 0;
    bool lineBusy_ = false;
    uint32_t SendingLeftMs() const;
};
