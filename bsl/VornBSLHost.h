#pragma once
// The program's client of the VornBSL engine, the bootstrap loader in every instrument's
// flash. It holds the firmware image read from a TI-Text file, owns the serial port while
// the engine is being talked to, and runs the framed command exchange and the session
// operations of an update: wake the engine, connect, erase, upload, write the vectors.
//
// Every operation logs its outcome with the tag "VornBSL" and answers with a status:
// zero or positive for success, negative for failure (common/Status.h). GUI thread only:
// waits of 175 ms and more pump window events through vorn::MsDelay.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "bsl/BslConstants.h"
#include "catalogue/DeviceCatalogue.h"
#include "serial/VornSerial.h"

class VornLog;

class VornBSLHost : public VornSerial {
public:
    // The window's progress report: total, done, stage (1 working, 2 finished) and the
    // operation letter ('X' erase, 'W' upload). Answers true to go on, false to cancel.
    using ProgressReport = std::function<bool(long total, long done, int stage, int code)>;
    using VectorTable = std::array<uint32_t, vorn::bsl::kVectorCount>;

    // Not connected, no image; ConstructionStatus() is 0, or kOutOfMemory when the frame buffers
    // could not be had (the owner reads it right after construction). `log` is not owned.
    explicit VornBSLHost(VornLog* log);
    // Disconnects; the image and buffers go with the object.
    ~VornBSLHost();

    int32_t ConstructionStatus() const { return constructionStatus_; }

    // ---------------------------------------------------------------- firmware image

    // Reads a TI-Text file into the image. 1 on success; the negated errno when the file
    // cannot be opened or read; kOutOfMemory out of memory; kBadTiText not a valid TI-Text file (also a
    // file above kMaxTiTextFileBytes, a vector block running past the sixteenth slot, an
    // address above 0xFFFFF). A failed load leaves the previous image, vectors and name.
    [[nodiscard]] int32_t BSLLoadTIFile(const std::string& path);
    // Writes the image and the vectors as a readable TI-Text dump. 1 on success; kMissingArgument when
    // no image is loaded (nothing is created); the negated errno when the file cannot be
    // created or written.
    [[nodiscard]] int32_t BSLWriteTIFile(const std::string& path) const;

    bool HasImage() const { return imageOwned_; }
    // Segments as "@%05X" headers followed by four-digit words, high byte first.
    const std::string& ImageText() const { return image_; }
    uint32_t ImageLength() const { return static_cast<uint32_t>(image_.size()); }
    const VectorTable& Vectors() const { return vectors_; }
    // Base name of the last file loaded, at most 64 characters.
    const std::string& FirmwareFileName() const { return firmwareFileName_; }

    // ---------------------------------------------------------------- command channel

    // One framed exchange: the letter, `count` numbers of four (or, with `fiveDigits`, five)
    // hexadecimal digits, the checksum and CR; then up to 1000 ms for `terminator`. Returns the
    // answer length when the engine agreed ("+", or "+" after one stray character); kRefused
    // refused ("-", "?") or not understood; kPortClosed not connected or no answer; kOutOfRange
    // more than 128 numbers or a number too wide for its digits; kMissingArgument `numbers` absent
    // with a count; a serial-layer status when writing, waiting or reading failed. `answer` (may be
    // null) receives up to 20 answer bytes; `elapsedMs` (may be null) the time the exchange took.
    // Exactly one attempt; nothing is sent when an argument is bad.
    [[nodiscard]] int32_t BSLCommand(char letter, const uint32_t* numbers, uint32_t count, char terminator,
                       std::string* answer, uint32_t* elapsedMs, bool fiveDigits);
    // The same with a text argument of `length` characters (at most 512, printable ASCII).
    // kMissingArgument when `answer` is absent, or `text` is absent for any letter but 'g';
    // kOutOfRange when the text is too long or holds a character that would break the frame.
    [[nodiscard]] int32_t BSLCommand(char letter, const char* text, uint32_t length, char terminator, std::string* answer,
                       uint32_t* elapsedMs);
    // Closes the host's own port and pauses 100 ms. 0 when it was not connected, else the
    // result of VSClose.
    int32_t BSLDisconnect();

    bool Connected() const { return connected_; }

    // ---------------------------------------------------------------- session operations

    // Opens `portName` at 9600 baud, wakes the engine (BSLInvocation, or finds it already active or
    // waiting through BSLCheck), and reads its version with "g". Makes up to `tries` attempts (0:
    // none). Returns the engine version (>= 0); kMissingArgument no port name; kNoBootloader no
    // working engine; kTriesUsedUp no attempt made; kNotUnderstood every attempt answered without a
    // version; another negative status of the failing step. Leaves the host connected on success
    // and disconnected on failure. `progress` turns on the erase and upload reports.
    [[nodiscard]] int32_t BSLConnect(const std::string& portName, uint32_t engineBaud, bool progress, uint32_t tries);
    // Wakes the engine of a connected host: "boot ZELK" to the firmware at 9600 baud, then at the
    // engine's speed a CR for its "$" prompt and "P" for its "#". 1 when connected or the engine
    // was already active (it answered "?" at 9600 baud, and the port stays at that speed);
    // kBslRefused refused or wrong handshake; kNoBootloader no engine; kTriesUsedUp no attempt
    // made; a serial-layer status on a write or read failure.
    [[nodiscard]] int32_t BSLInvocation(uint32_t engineBaud);
    // Asks which state an engine is in at its own speed (opening the port when needed): kBslActive
    // in command mode, kBslWaiting waiting for a connection, kPortClosed no answer, or a
    // serial-layer status. Leaves the port open and the host connected; the caller disconnects.
    [[nodiscard]] int32_t BSLCheck(const std::string& portName, uint32_t engineBaud);
    // Erases `count` INFO segments from `start`, `step` bytes apart. 1 on success (also
    // for a count of 0); the failing command's status otherwise.
    [[nodiscard]] int32_t BSLEraseINFO(uint32_t start, uint32_t count, uint32_t step, bool fiveDigits);
    // Erases the 512-byte flash segments from `start` below `end`, jumping over the
    // protected area 0xFA00..0xFFFF. 1 on success (also when start is not below end);
    // kOutOfRange a start inside the protected area; kCancelled cancelled by the progress report.
    [[nodiscard]] int32_t BSLEraseFlash(uint32_t start, uint32_t end, bool fiveDigits);
    // Sets the engine's write address. 1 on success; kOutOfRange an address too wide for its digits.
    [[nodiscard]] int32_t BSLSendAddress(uint32_t address, bool fiveDigits);
    // Uploads the image in blocks of 512 characters, sending an address at every segment
    // start and after every failed block attempt (the last one too). 1 on success; kMissingArgument
    // no image; kOutOfRange the image does not start with a segment header, or a segment address
    // does not fit four digits; kCancelled cancelled by the progress report.
    [[nodiscard]] int32_t BSLSendFirmware(bool fiveDigits);
    // Writes the 16 vectors; the engine then restarts the instrument. 1 on success.
    [[nodiscard]] int32_t BSLSendVectors();

    int32_t EngineVersion() const { return engineVersion_; }
    uint32_t Tries() const { return tries_; }
    void SetTries(uint32_t tries) { tries_ = tries; }
    bool ProgressReporting() const { return progressReporting_; }
    void SetProgressReporting(bool on) { progressReporting_ = on; }
    // Installed by the window; without one every report answers "go on".
    void SetProgressReport(ProgressReport report) { progressReport_ = std::move(report); }

private:
    int32_t Frame(char letter, const std::string& argument, char terminator, std::string* answer,
                  uint32_t* elapsedMs);
    // Runs `attempt` up to tries times with the retry pause after each failure; the last
    // attempt's status, or kTriesUsedUp when no attempt was made.
    template <typename Attempt>
    int32_t WithRetries(Attempt attempt);
    // The engine's half of the wake-up at its own speed: CR for "$", then "P" for "#".
    // `attempts` receives the number of attempts made.
    int32_t CompleteConnection(uint32_t* attempts);
    // Reads at most `max` bytes of a handshake answer into `answer`.
    int32_t ReadHandshake(std::string* answer, size_t max);
    int32_t FlushBlock(uint32_t address, bool fiveDigits);
    bool Report(long total, long done, int stage, int code);

    int32_t engineVersion_ = 0;
    std::string firmwareFileName_;
    int32_t constructionStatus_ = 0;
    std::string image_;
    VectorTable vectors_{};
    bool connected_ = false;
    bool progressReporting_ = false;
    uint32_t tries_ = vorn::bsl::kDefaultTries;
    bool imageOwned_ = false;
    std::string command_;  // the outgoing frame, capacity kCommandBufferSize
    std::string block_;    // the upload block being gathered, capacity kBlockBufferSize
    ProgressReport progressReport_;
};
