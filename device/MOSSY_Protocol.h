#pragma once
// The device command library: one connection to a logger or instrument speaking the
// maker's line-oriented command protocol, directly or through a radio modem, and
// everything learnt about the device on the other end (DeviceInfo).
//
// Every operation returns a status (common/Status.h, device/ProtocolConstants.h):
// positive success, negative failure; none throws. Every operation logs its own outcome,
// tagged with the port name, and ends its lines with the elapsed milliseconds of its last
// exchange. Single-threaded and not re-entrant: one object serves one connection with
// strictly sequential commands; waits of 170 ms and more run the event pump.
//
// Directions (vorn::protocol::Direction): kGet reads the device into the value, kSet
// writes the value.
#include <array>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/PrintfCheck.h"
#include "device/DeviceInfo.h"
#include "device/ProtocolConstants.h"
#include "serial/VornSerial.h"

class VornLog;
namespace vorn::protocol {
struct SettingExecutor;
}

// Device time: seconds since 2000-01-01 00:00:00 of the host's local time.
using VornSeconds = int64_t;

class MOSSY_Protocol : public VornSerial {
public:
    // hook(total, done, phase) -> go on; phases 1 running, 2 finished, 4 one query try.
    using ProgressHook = std::function<bool(long total, long done, int phase)>;
    using TraceHook = std::function<void(const std::string& text)>;
    using Bytes5 = DeviceInfo::Bytes5;
    using Direction = vorn::protocol::Direction;

    // State 1, default options (3 serial and 5 radio tries), not connected. The log is not
    // owned and may be null.
    explicit MOSSY_Protocol(VornLog* log);
    // Disconnects (closing the port, whatever "keep port open" says) when connected.
    ~MOSSY_Protocol();

    // 1 after construction; kOutOfMemory had a buffer been unavailable.
    int32_t State() const { return state_; }
    bool Connected() const { return request_.connectionType != vorn::protocol::kConnectionNone; }
    const ConnectRequest& Request() const { return request_; }
    uint32_t Tries() const { return tries_; }
    uint32_t Resets() const { return resets_; }
    const DeviceInfo& Info() const { return info_; }
    DeviceInfo& Info() { return info_; }
    // The last answer DeviceCommand read (at most 2048 characters).
    const std::string& LastAnswer() const { return answer_; }
    // Milliseconds of the last exchange (all its tries).
    int32_t LastElapsedMs() const { return lastElapsedMs_; }

    // Defaults: VornLog::ProgressHook (always go on) and VornLog::TranscriptHook.
    void SetProgressHook(ProgressHook hook);
    void SetTraceHook(TraceHook hook);

    // --- channel ---

    // kGet: copies the options out, 1. kSet (and any other value): validates (tries above 12, trace
    // outside 0..3 or extra wait above 30000 -> kOutOfRange, nothing changes), turns tries of 0
    // into 3 and 5, stores them and sets the tries in force; 1. No record -> kMissingArgument.
    int32_t Options(ConnectOptions* record, Direction direction);

    // Sends `command` and reads the answer up to `terminator`, trying up to the tries in
    // force. Each try waits `timeoutMs` + the extra wait; silence is not an error until
    // every try was silent (kPortClosed). An answer with "ERROR", '?' or "Unsupported" is retried
    // (kDeviceError when the tries run out); an answer containing the command itself ends at once
    // with kEchoed. Returns the number of bytes read (the answer, at most 2048, stays in
    // LastAnswer()); kEmptyAnswer when the answer is CR, CR, '>'; other negatives as above or from
    // the port. With a destination, up to size - 1 characters are copied into it (it is
    // emptied on failure, kept for kEmptyAnswer). Elapsed covers all tries.
    [[nodiscard]] int32_t DeviceCommand(std::string_view command, char terminator, uint32_t timeoutMs,
                          std::string* destination = nullptr, size_t size = 0, int32_t* elapsedMs = nullptr);

    // 1 when `name` may be a device name; kNameMissing empty, kNameTooLong longer than 8,
    // kNameReserved a reserved word, kNameBadCharacter a control character, space, 127 or 255,
    // kNameForbiddenCharacter one of ?\"/<>*|:;, and kNameHighCharacter a character of code 128 or
    // above.
    static int32_t CheckDeviceName(std::string_view name);

    // Computes capabilities from type, version and firmware generation.
    void SetCapabilities();

    // --- setting commands: (value, direction) -> 1, kRefused without the capability
    // (nothing sent), kMissingArgument no value, kOutOfRange bad value, kNotUnderstood answer
    // not understood, kEmptyAnswer no value in the answer, or the DeviceCommand status.
    // Time-out 1100 ms per try unless noted. ---

    int32_t NameCommand(std::string* name, Direction direction);          // get kEmptyAnswer -> kNameEmpty
    int32_t DeviceIDCommand(std::string* id, Direction direction);
    int32_t ReportCommand(int32_t* mode, Direction direction);
    int32_t DepthCommand(Bytes5* depths, Direction direction);            // values above 255 -> 255
    int32_t SiteCommand(std::string* site, Direction direction);
    int32_t LatitudeCommand(double* degrees, Direction direction);
    int32_t LongitudeCommand(double* degrees, Direction direction);
    int32_t TimeZoneCommand(int32_t* quarterHours, Direction direction);  // set -2: the host's zone
    int32_t SNCommand(std::string* serialNumber, Direction direction);
    int32_t WakeCommand(int32_t* interval, Direction direction);
    int32_t PADCCommand(int32_t* hertz, Direction direction);
    int32_t PortsCommand(Bytes5* ports, Direction direction);
    // kind 1 "-adc30", 2 "-adc15". Get kRefused when a factor is 0 or 255 or the checksum is off.
    int32_t ADCcalCommand(int kind, Bytes5* slopes, Bytes5* offsets, Direction direction);
    int32_t DataParameterCommand(int32_t* value, Direction direction);
    int32_t VornBuildCommand(std::string* build, Direction direction);
    int32_t TraitCommand(uint32_t* traitWord, Direction direction);      // set without 0x1000000 -> kRefusedNow
    int32_t APNCommand(std::string* apn, Direction direction);
    int32_t APNUserCommand(std::string* user, Direction direction);
    int32_t APNPasswdCommand(std::string* password, Direction direction);
    int32_t AuthKeyCommand(std::string* key, Direction direction);       // set needs 32 hex digits
    int32_t HostCommand(std::string* host, Direction direction);
    int32_t IPPortCommand(int32_t* port, Direction direction);
    int32_t RmodeCommand(int32_t* mode, Direction direction);            // zQ8: always 16, nothing sent

    // Radio channel, subchannel and version through the logger, the host's modem or the old
    // firmware's "term" pass-through. `mask` (0x400 RCH, 0x800 RSCH, 0x1000 RVER) names the values
    // on entry and holds those set or found on return. 1, kPartlyDone partly done (found bits in
    // the mask), kNoRadio no radio, kRefusedNow set over the radio, kMissingArgument no mask,
    // kRefused no capability.
    int32_t MSRadioCommand(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                           uint32_t* mask);
    // AT command mode of a radio module ("+++", ATHP, ATDT, ATVR, ATWR, ATCN). 1, kRadioCommandMode
    // when command mode cannot be entered (mask 0), kPartlyDone partly done, kNotUnderstood nothing
    // done, or the status of leaving command mode.
    int32_t Qr4Config(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction, uint32_t* mask);

    // --- connection ---

    // Opens the port at 9600 (unless still open from a kept connection), configures the host's
    // radio modem when the radio values are known, and logs in. On return the request's baud code
    // holds the code in use. 1; kMissingArgument no request or unknown type, kOutOfRange type 0 or
    // baud code outside the table, kNotApplicable known but unsupported type, kRadioCommandMode
    // modem configuration failed, the open's or DeviceLogin's status. A failure closes the port
    // unless "keep port open".
    int32_t Connect(ConnectRequest* request);
    // Finds out which logger answers over the radio: the name (at most 8 characters) goes to
    // `name`. 1; kTriesUsedUp nothing heard; kRelayActive the query came back (a relay); kCancelled
    // stopped; kNotUnderstood only invalid names heard; other DeviceCommand statuses. Pauses 2.5 s
    // after success.
    int32_t QueryCommand(std::string* name);
    // 909 CR packets 55 ms apart (about 50 s). 1, or kCancelled when the progress hook stops it.
    int32_t SendWake();
    // "login NAME" (or "login" for an empty name). 1; kNameTooLong name too long; kNotUnderstood no
    // prompt.
    int32_t LoginCommand(std::string_view name);
    // The whole login: radio (query, login, one wake) or serial (identify, baud change). An empty
    // name over the radio is replaced by the name heard. 1; kNoConnection nothing listening or the
    // host cannot change its baud; kRelayActive relay; kCancelled stopped; kMissingArgument no
    // name.
    int32_t DeviceLogin(std::string* name, const std::string& reserved, uint8_t* baudCode);
    // Identifies type, firmware text and version. 1; kBslActive / kBslWaiting a bootloader
    // answered; kNotUnderstood not understood; kEchoed echo; kPortClosed silence; kNotApplicable
    // old firmware below 1.10 (via show).
    int32_t VerCommand(int skipShow);
    // Reads "show" of an old-firmware Kt7. With a destination only the name is read into it. 1;
    // kOutOfRange not an old-firmware Kt7; kNotApplicable version below 1.10; kNotUnderstood answer
    // not understood.
    int32_t ParseShowCommand(std::string* name);
    // Asks the device to change its line speed (the host follows only in DeviceLogin). 1; kRefused
    // old firmware; kNotUnderstood / kPortClosed or other DeviceCommand statuses. Silence after a
    // request for 9600 counts as success (the device switched before it answered).
    int32_t SetBaudCommand(uint32_t rate);
    // Leaves the device (logout over the radio, 9600 baud on serial), clears DeviceInfo and
    // closes the port unless "keep port open". 0 when not connected, 1, or kTriesUsedUp when a radio
    // logger kept answering.
    int32_t DisconnectDevice();

    // --- whole device ---

    // Reads (kGet) or writes (kSet) the settings named by *mask; on return *mask holds the bits
    // handled. Get copies the object's DeviceInfo out into `record`; set copies `record` in first.
    // 1; kPartlyDone some failed; kNotApplicable unsupported old firmware; kPortClosed the device
    // went away; kEchoed / kRelayActive / kNameEmpty stop at once; kCancelled stopped; kRefused
    // nothing valid; kMissingArgument / kOutOfRange arguments.
    int32_t DeviceSettings(DeviceInfo* record, uint32_t* mask, Direction direction);
    // Set: the clock to *value, or to now when value is absent or 0 (*value receives the
    // VornSeconds sent). Get: *value receives the device time, -1 on failure. 1; kRefused no
    // clock; kMissingArgument get without a value; kNotUnderstood answer not understood.
    int32_t DeviceTime(VornSeconds* value, Direction direction);
    // Erases the logged data after checking the device's name. 1; kIdentityMismatch another device
    // (or its name cannot be read), nothing sent; kBrokenDataFlash broken data memory;
    // kNotUnderstood other answers.
    int32_t EraseData();

private:
    friend struct vorn::protocol::SettingExecutor;

    // One log line tagged with the port name.
    void Say(uint32_t level, const char* format, ...) VORN_PRINTF(3, 4);
    // The same with another tag.
    void SayTagged(uint32_t level, const char* tag, const char* format, ...) VORN_PRINTF(4, 5);
    // What both come to: Say is SayTagged with the port name as the tag.
    void SayTaggedV(uint32_t level, const char* tag, const char* format, va_list args)
        VORN_PRINTF(4, 0);
    bool Radio() const { return request_.connectionType == vorn::protocol::kConnectionRadio; }
    bool ReportProgress(long total, long done, int phase);
    void Trace(int what, std::string_view text);
    // While it lives, the trace shows `command` for the command sent and a mask for the
    // answer, and the wire transcript holds the exchange back until the credential is known
    // (`value` when it is being set; a read one is told with Credential after the answer):
    // a credential that is set or read never reaches whoever listens to either.
    struct TraceMask {
        TraceMask(MOSSY_Protocol& p, bool active, std::string command, const std::string* value = nullptr);
        ~TraceMask();
        MOSSY_Protocol& protocol;
        bool active;
    };
    // The credential a masked exchange read: taken out of its transcript lines.
    void Credential(std::string_view value);
    // The ADC command's work; logging is left to the caller.
    int32_t AdcExchange(int kind, Bytes5* slopes, Bytes5* offsets, Direction direction);
    int32_t TraitExchange(uint32_t* traitWord, Direction direction);
    int32_t MSRadioNewFirmware(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                               uint32_t* mask);
    int32_t DateTimeSet(VornSeconds* value);
    int32_t DateTimeGet(VornSeconds* value);
    void ForgetConnection();
    // Reads and drops the answers of commands that ran out of time, as far as they come
    // before the last of them is given up (kLateAnswerMs after it was sent).
    void DropLateAnswers();

    int32_t state_ = 1;
    ConnectOptions options_{};
    DeviceInfo info_{};
    ConnectRequest request_{};
    uint32_t tries_ = vorn::protocol::kDefaultSerialTries;
    uint32_t resets_ = 0;
    std::string answer_;            // the answer buffer: the last answer, at most 2048 characters
    int32_t lastElapsedMs_ = 0;
    // Answers still owed on this connection: commands that ran out of time before their
    // terminator came. On a slow line such an answer arrives later and would be read as
    // the next command's answer, and every answer after it one command late.
    uint32_t owedAnswers_ = 0;
    char owedTerminator_ = '>';
    uint32_t owedUntil_ = 0;       // MsTimer() at which the last owed answer is given up
    bool owedCredential_ = false;  // an owed answer is one of a masked exchange
    bool heardFromDevice_ = false; // an answer came since the port was opened
    ProgressHook progress_;
    TraceHook trace_;
    bool traceMasked_ = false;
    std::string maskedCommand_;  // shown in the trace instead of a command with a secret
};
